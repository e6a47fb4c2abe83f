// Full-screen triangle from the vertex index alone: no vertex buffer, no input layout.
// Vertices 0, 1, 2 land at (-1, -1), (3, -1), (-1, 3), so the clip square lies inside it.

float4 VSMain(uint id : SV_VertexID) : SV_Position
{
    float a = (float)((id & 1) << 1);
    float b = (float)(id & 2);
    return float4(a * 2.0 - 1.0, b * 2.0 - 1.0, 0.0, 1.0);
}

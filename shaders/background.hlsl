// The title background: fill, three ornament layers on the turning wall square, the light
// spot and the bottom band, each step rounded to 8 bits as if composed into an 8-bit target.
// Written in the dialect described in DEVELOPERS.md (macros, plain if/else, one return,
// every Sample in uniform control flow) so that every compiler we ship with agrees.

cbuffer C : register(b0)
{
    float2 uRes;
    float2 uExt;
    float uAng;
    float uFarT;
    float uNearT;
    float pad0;
    float4 uCFill;
    float4 uCFar;
    float4 uCNear;
    float4 uCGrad;
    float4 uBr;
    float4 uGeo;
    float4 uSpot;
    float4 uTone;
};

Texture2D tWall : register(t0);
Texture2D tSpot : register(t1);
SamplerState sWall : register(s0);
SamplerState sSpot : register(s1);

// The 8-bit step applied after every stored layer.
#define Q(v) (floor((v) * 255.0 + 0.5) * 0.003921569)

// Light tint of a layer colour X over the base B: X scaled to a largest channel of 1 (its
// hue H), whose deviation from grey moves B by at most 0.07 per channel. The hue is passed
// in already expanded: Wine's preprocessor leaves a parameter unreplaced when a macro hands
// it on to another macro.
#define TINT_HUE(X) ((X).rgb / max(max(max((X).r, (X).g), (X).b), 0.0001))
#define LIGHT_TINT(H, B) (((H) - dot((H), float3(0.33333334, 0.33333334, 0.33333334))) * 0.07 + (B))

float4 PSMain(float4 pos : SV_Position) : SV_Target
{
    // sin and cos of uAng: quadrant by floor, remainder in [-pi/4, pi/4] against pi/2 split
    // in three parts, then the minimax polynomials of each function on that interval.
    float k = floor(uAng * 0.63661977 + 0.5);
    float r = ((uAng - k * 1.5703125) - k * 4.8375129699707031e-4) - k * 7.5497899548918822e-8;
    float z = r * r;
    float polySin = ((-1.9515295891e-4 * z + 8.3321608736e-3) * z - 1.6666654611e-1) * z * r + r;
    float polyCos = ((2.443315711809948e-5 * z - 1.388731625493765e-3) * z + 4.166664568298827e-2) * z * z - 0.5 * z + 1.0;
    float quadrant = k - floor(k * 0.25) * 4.0;
    float sa;
    float ca;
    if (quadrant == 0.0)
    {
        sa = polySin;
        ca = polyCos;
    }
    else if (quadrant == 1.0)
    {
        sa = polyCos;
        ca = -polySin;
    }
    else if (quadrant == 2.0)
    {
        sa = -polySin;
        ca = -polyCos;
    }
    else
    {
        sa = -polyCos;
        ca = polySin;
    }

    float2 n = float2(2.0 * (pos.x / uRes.x) - 1.0, 1.0 - 2.0 * (pos.y / uRes.y));
    float2 p = float2(n.x * uExt.x, n.y * uExt.y);
    float2 q = float2(ca * p.x + sa * p.y, -sa * p.x + ca * p.y);
    float2 wc = q * 0.22222222 + 2.56;
    bool insideWall = 0.0 <= wc.x && wc.x <= 5.12 && 0.0 <= wc.y && wc.y <= 5.12;
    float2 t = float2(wc.x * 0.1953125, 1.0 - wc.y * 0.1953125);
    float2 fineUV = float2(wc.x * 1.171875, 6.0 * t.y);
    float2 farUV = float2((wc.x * uGeo.y) * 0.1953125 + uFarT, t.y * uGeo.y + uFarT);
    float2 nearUV = float2(wc.x * 0.390625 + uNearT, 2.0 * t.y + uNearT);
    float2 sp = (p - uSpot.xy) / uGeo.z + 10.24;
    bool insideSpot = 0.0 <= sp.x && sp.x <= 20.48 && 0.0 <= sp.y && sp.y <= 20.48;
    float2 m = 1.0 - abs(2.0 * (sp * 0.048828125 - 0.5));
    float2 spotUV = m * 0.991285 + 0.0043573;
    float g = (p.y - uGeo.w) / uSpot.w + 10.0;
    float f = saturate(1.0 - g * 0.05);

    // All reads up front, in uniform control flow; one mip level and MaxLOD 0 make each
    // of them a bilinear read of level 0.
    float4 fineTexel = tWall.Sample(sWall, fineUV);
    float4 farTexel = tWall.Sample(sWall, farUV);
    float4 nearTexel = tWall.Sample(sWall, nearUV);
    float3 spotTexel = tSpot.Sample(sSpot, spotUV).rgb;

    float3 c;
    if (0.5 < uTone.x)
    {
        float3 farTint = LIGHT_TINT(TINT_HUE(uCFar), float3(0.70, 0.77, 0.88));
        float3 nearTint = LIGHT_TINT(TINT_HUE(uCNear), float3(0.52, 0.62, 0.79));
        if (insideWall)
        {
            float shade = 1.0 - 0.09 * saturate(fineTexel.a);
            c = float3(floor(247.0 * shade + 0.5), floor(247.0 * shade + 0.5), floor(249.0 * shade + 0.5)) * 0.003921569;
            float farOpacity = 0.55 * saturate(farTexel.a);
            c = Q(saturate(c * (1.0 - farOpacity) + farOpacity * (farTint * farTexel.rgb)));
            float nearOpacity = 0.65 * saturate(nearTexel.a);
            c = Q(saturate(c * (1.0 - nearOpacity) + nearOpacity * (nearTint * nearTexel.rgb)));
        }
        else
        {
            c = float3(0.96862745, 0.96862745, 0.9764706);
        }
        if (insideSpot)
        {
            float3 w = saturate(1.3 * spotTexel);
            w = w * w;
            c = Q(w * (c - 1.0) + 1.0);
        }
        if (g <= 20.0)
        {
            c = Q(min(c + (0.62 * f) * (1.0 - c), 1.0));
        }
    }
    else
    {
        c = Q(saturate(uCFill.rgb * uBr.x));
        if (insideWall)
        {
            c = Q(c * (1.0 - 0.5 * saturate(fineTexel.a)));
            float farCover = saturate(farTexel.a);
            c = Q(saturate(c * (1.0 - farCover) + farCover * ((uCFar.rgb * uBr.y) * farTexel.rgb)));
            float nearCover = saturate(nearTexel.a);
            c = Q(saturate(c * (1.0 - nearCover) + nearCover * ((uCNear.rgb * uBr.z) * nearTexel.rgb)));
        }
        if (insideSpot)
        {
            c = Q(saturate(spotTexel * c));
        }
        if (g <= 20.0)
        {
            c = Q(saturate(c + (uCGrad.rgb * uBr.w) * f));
        }
    }
    return float4(c, 1.0);
}

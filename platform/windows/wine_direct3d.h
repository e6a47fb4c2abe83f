// What the Windows program does before anything loads Direct3D.
#pragma once

// Under Wine: unless the user chose otherwise, asks Wine's Direct3D to draw on the calling
// thread rather than on a command thread of its own. Does nothing on Windows. Must run
// before d3d11.dll or d3dcompiler_47.dll loads.
void PreferSingleThreadedDirect3DUnderWine();

// The process entry: the platform's wide GUI entry on Windows, main elsewhere.
#include "app/startup.h"

#ifdef _WIN32
#include "platform/windows/wine_direct3d.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  PreferSingleThreadedDirect3DUnderWine();
  return RunProgram(instance);
}
#else
int main(int argc, char** argv) {
  PortableSetArguments(argc, argv);
  return RunProgram(GetModuleHandleW(nullptr));
}
#endif

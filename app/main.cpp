// The process entry: the platform's wide GUI entry on Windows, main elsewhere.
#include "app/startup.h"

#ifdef _WIN32
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) { return RunProgram(instance); }
#else
int main(int argc, char** argv) {
  PortableSetArguments(argc, argv);
  return RunProgram(GetModuleHandleW(nullptr));
}
#endif

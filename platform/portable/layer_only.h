// Included by every header of the portable layer. The program reaches the layer only
// through platform/win32.h, which opens the door for the system headers' stand-ins; the
// layer's own code, its tests and the benchmarks build with VELMORA_PORTABLE_LAYER.
// Any other inclusion is a layering fault and stops the build here.
#if !defined(VELMORA_PORTABLE_LAYER) && !defined(VELMORA_WIN32_SEAM)
#error "a header of the portable layer: the program includes platform/win32.h instead"
#endif

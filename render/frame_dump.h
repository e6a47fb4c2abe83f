// The dump run's one frame, written as an uncompressed top-down 24-bit BMP file.
#pragma once

bool DumpFrame();

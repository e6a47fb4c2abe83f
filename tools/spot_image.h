// The light spot: one quarter of a soft circular light, its centre at the bottom-right
// corner, grey and opaque.
#pragma once

#include <cstdint>
#include <vector>

constexpr int kSpotSize = 512;
constexpr int kSpotFloor = 77;  // the flat grey from half the image outwards

// Brightness x 255 at `distance` texels from the light's centre, linear between the
// profile's points.
double SpotProfile(double distance);

// kSpotSize x kSpotSize RGBA texels, rows from the top.
std::vector<uint8_t> MakeSpotImage();

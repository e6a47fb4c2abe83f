// The background shader's constants, named once for the two C++ kernels that port it (the
// scalar one beside it and the vector one of the software device). background.hlsl keeps
// them as literals; its source hash ties the three together.
#pragma once

#include "layer_only.h"

// The wall square: a world position q becomes the wall position q * kWallScale + kWallCentre,
// and the square is [0, kWallSize] in both axes; kWallToTexture is 1 / kWallSize.
constexpr float kWallScale = 0.22222222f;
constexpr float kWallCentre = 2.56f;
constexpr float kWallSize = 5.12f;
constexpr float kWallToTexture = 0.1953125f;

// How often the fine and near layers repeat, across (from the wall position) and down (from
// the texture's row position). The far layer's repeat is a constant of the frame.
constexpr float kFineAcross = 1.171875f;
constexpr float kFineDown = 6.0f;
constexpr float kNearAcross = 0.390625f;
constexpr float kNearDown = 2.0f;

// The light spot's square, [0, kSpotSize] around kSpotCentre, mirrored about its middle
// (kSpotToTexture is 1 / kSpotSize) and inset by half a texel on each side.
constexpr float kSpotCentre = 10.24f;
constexpr float kSpotSize = 20.48f;
constexpr float kSpotToTexture = 0.048828125f;
constexpr float kSpotInsetScale = 0.991285f;
constexpr float kSpotInsetOffset = 0.0043573f;

// The bottom band: g = (y - centre) / height + kBandOffset, fading by kBandFade per unit and
// applied up to g = kBandLimit.
constexpr float kBandOffset = 10.0f;
constexpr float kBandFade = 0.05f;
constexpr float kBandLimit = 20.0f;

// The 8-bit step: floor(v * kUnormLevels + 0.5) * kUnormStep.
constexpr float kUnormLevels = 255.0f;
constexpr float kUnormStep = 0.003921569f;

// Normal variant: how far the fine layer darkens the fill.
constexpr float kFineDarken = 0.5f;

// Light variant: the ground off the wall, the fine layer's shade of the wall's levels, the
// opacities of the far and near layers, the spot's gain and the band's strength.
constexpr float kLightGround[3] = {0.96862745f, 0.96862745f, 0.9764706f};
constexpr float kLightFineShade = 0.09f;
constexpr float kLightWallLevelsRG = 247.0f;
constexpr float kLightWallLevelsB = 249.0f;
constexpr float kLightFarOpacity = 0.55f;
constexpr float kLightNearOpacity = 0.65f;
constexpr float kLightSpotGain = 1.3f;
constexpr float kLightBandStrength = 0.62f;

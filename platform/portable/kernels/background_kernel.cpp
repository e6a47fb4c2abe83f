#include "kernels/background_kernel.h"

#include <atomic>
#include <cmath>

#include "kernels/background_constants.h"

namespace {

// Direct3D's saturate and min: a NaN operand gives 0 and 1 respectively.
inline float Saturate(float v) { return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f; }
inline float MinOne(float v) { return v < 1.0f ? v : 1.0f; }
// Direct3D's max: a NaN operand yields the other one.
inline float Max(float a, float b) { return (a >= b || b != b) ? a : b; }

// The 8-bit step after every stored layer.
inline float Q(float v) { return FloorF(v * kUnormLevels + 0.5f) * kUnormStep; }

inline bool InsideSquare(float a, float b, float size) {
  return 0.0f <= a && a <= size && 0.0f <= b && b <= size;
}

void LightTint(const float colour[4], float b0, float b1, float b2, float tint[3]) {
  float m = Max(Max(Max(colour[0], colour[1]), colour[2]), 0.0001f);
  float h[3] = {colour[0] / m, colour[1] / m, colour[2] / m};
  float average = h[0] * 0.33333334f + h[1] * 0.33333334f + h[2] * 0.33333334f;
  tint[0] = (h[0] - average) * 0.07f + b0;
  tint[1] = (h[1] - average) * 0.07f + b1;
  tint[2] = (h[2] - average) * 0.07f + b2;
}

// One ornament layer of the wall: the tinted texel colour over C with opacity
// opacity * a (a = coverage); the normal variant's opacity is 1, which leaves a exact.
inline void ComposeLayer(const BackgroundFrame& frame, const float coordinate[2],
                         const float tint[3], float opacity, float c[3]) {
  float texel[4];
  SampleBilinear(frame.wall, coordinate[0], coordinate[1], texel);
  float a = Saturate(texel[3]);
  float o = opacity * a;
  for (int i = 0; i < 3; ++i) c[i] = Q(Saturate(c[i] * (1.0f - o) + o * (tint[i] * texel[i])));
}

}  // namespace

void SinCosPolynomial(float angle, float* sine, float* cosine) {
  // Quadrant by floor, then the remainder in [-pi/4, pi/4] by pi/2 split in three parts so
  // that k times the first two parts is exact.
  float k = FloorF(angle * 0.63661977f + 0.5f);
  float r = ((angle - k * 1.5703125f) - k * 4.8375129699707031e-4f) - k * 7.5497899548918822e-8f;
  float z = r * r;
  float s = ((-1.9515295891e-4f * z + 8.3321608736e-3f) * z - 1.6666654611e-1f) * z * r + r;
  float c = ((2.443315711809948e-5f * z - 1.388731625493765e-3f) * z + 4.166664568298827e-2f) *
                z * z -
            0.5f * z + 1.0f;
  float quadrant = k - FloorF(k * 0.25f) * 4.0f;
  if (quadrant == 0.0f) {
    *sine = s;
    *cosine = c;
  } else if (quadrant == 1.0f) {
    *sine = c;
    *cosine = -s;
  } else if (quadrant == 2.0f) {
    *sine = -s;
    *cosine = -c;
  } else {
    *sine = -c;
    *cosine = s;
  }
}

void PrepareBackgroundFrame(const FrameConstants& k, const SampledTexture& wall,
                            const SampledTexture& spot, BackgroundFrame* frame) {
  frame->resX = k.uRes[0];
  frame->resY = k.uRes[1];
  frame->extX = k.uExt[0];
  frame->extY = k.uExt[1];
  SinCosPolynomial(k.uAng, &frame->sa, &frame->ca);
  frame->farT = k.uFarT;
  frame->nearT = k.uNearT;
  frame->farRepeat = k.uGeo[1];
  frame->spotScale = k.uGeo[2];
  frame->bandCentre = k.uGeo[3];
  frame->bandHeight = k.uSpot[3];
  frame->spotX = k.uSpot[0];
  frame->spotY = k.uSpot[1];
  frame->light = 0.5f < k.uTone[0];
  for (int i = 0; i < 3; ++i) {
    frame->fill[i] = Q(Saturate(k.uCFill[i] * k.uBr[0]));
    frame->gradient[i] = k.uCGrad[i] * k.uBr[3];
  }
  if (frame->light) {
    LightTint(k.uCFar, 0.70f, 0.77f, 0.88f, frame->farTint);
    LightTint(k.uCNear, 0.52f, 0.62f, 0.79f, frame->nearTint);
  } else {
    for (int i = 0; i < 3; ++i) {
      frame->farTint[i] = k.uCFar[i] * k.uBr[1];
      frame->nearTint[i] = k.uCNear[i] * k.uBr[2];
    }
  }
  frame->wall = wall;
  frame->spot = spot;
  static std::atomic<uint64_t> serial;
  frame->serial = ++serial;
}

void ComputeBackgroundCoordinates(const BackgroundFrame& frame, float x, float y,
                                  BackgroundCoordinates* o) {
  o->n[0] = 2.0f * (x / frame.resX) - 1.0f;
  o->n[1] = 1.0f - 2.0f * (y / frame.resY);
  o->p[0] = o->n[0] * frame.extX;
  o->p[1] = o->n[1] * frame.extY;
  o->q[0] = frame.ca * o->p[0] + frame.sa * o->p[1];
  o->q[1] = -frame.sa * o->p[0] + frame.ca * o->p[1];
  o->wc[0] = o->q[0] * kWallScale + kWallCentre;
  o->wc[1] = o->q[1] * kWallScale + kWallCentre;
  o->insideWall = InsideSquare(o->wc[0], o->wc[1], kWallSize);
  o->t[0] = o->wc[0] * kWallToTexture;
  o->t[1] = 1.0f - o->wc[1] * kWallToTexture;
  o->fine[0] = o->wc[0] * kFineAcross;
  o->fine[1] = kFineDown * o->t[1];
  o->far[0] = (o->wc[0] * frame.farRepeat) * kWallToTexture + frame.farT;
  o->far[1] = o->t[1] * frame.farRepeat + frame.farT;
  o->near[0] = o->wc[0] * kNearAcross + frame.nearT;
  o->near[1] = kNearDown * o->t[1] + frame.nearT;
  o->sp[0] = (o->p[0] - frame.spotX) / frame.spotScale + kSpotCentre;
  o->sp[1] = (o->p[1] - frame.spotY) / frame.spotScale + kSpotCentre;
  o->insideSpot = InsideSquare(o->sp[0], o->sp[1], kSpotSize);
  for (int i = 0; i < 2; ++i) {
    float m = 1.0f - std::fabs(2.0f * (o->sp[i] * kSpotToTexture - 0.5f));
    o->spotTexture[i] = m * kSpotInsetScale + kSpotInsetOffset;
  }
  o->g = (o->p[1] - frame.bandCentre) / frame.bandHeight + kBandOffset;
  o->f = Saturate(1.0f - o->g * kBandFade);
  o->bandApplies = o->g <= kBandLimit;
}

void ShadeBackgroundPixel(const BackgroundFrame& frame, float x, float y, float rgba[4]) {
  BackgroundCoordinates k;
  ComputeBackgroundCoordinates(frame, x, y, &k);
  float c[3];
  float texel[4];
  if (!frame.light) {
    c[0] = frame.fill[0];
    c[1] = frame.fill[1];
    c[2] = frame.fill[2];
    if (k.insideWall) {
      SampleBilinear(frame.wall, k.fine[0], k.fine[1], texel);
      float darken = 1.0f - kFineDarken * Saturate(texel[3]);
      for (int i = 0; i < 3; ++i) c[i] = Q(c[i] * darken);
      ComposeLayer(frame, k.far, frame.farTint, 1.0f, c);
      ComposeLayer(frame, k.near, frame.nearTint, 1.0f, c);
    }
    if (k.insideSpot) {
      SampleBilinear(frame.spot, k.spotTexture[0], k.spotTexture[1], texel);
      for (int i = 0; i < 3; ++i) c[i] = Q(Saturate(texel[i] * c[i]));
    }
    if (k.bandApplies)
      for (int i = 0; i < 3; ++i) c[i] = Q(Saturate(c[i] + frame.gradient[i] * k.f));
  } else {
    if (!k.insideWall) {
      c[0] = kLightGround[0];
      c[1] = kLightGround[1];
      c[2] = kLightGround[2];
    } else {
      SampleBilinear(frame.wall, k.fine[0], k.fine[1], texel);
      float shade = 1.0f - kLightFineShade * Saturate(texel[3]);
      c[0] = FloorF(kLightWallLevelsRG * shade + 0.5f) * kUnormStep;
      c[1] = FloorF(kLightWallLevelsRG * shade + 0.5f) * kUnormStep;
      c[2] = FloorF(kLightWallLevelsB * shade + 0.5f) * kUnormStep;
      ComposeLayer(frame, k.far, frame.farTint, kLightFarOpacity, c);
      ComposeLayer(frame, k.near, frame.nearTint, kLightNearOpacity, c);
    }
    if (k.insideSpot) {
      SampleBilinear(frame.spot, k.spotTexture[0], k.spotTexture[1], texel);
      for (int i = 0; i < 3; ++i) {
        float w = Saturate(kLightSpotGain * texel[i]);
        w = w * w;
        c[i] = Q(w * (c[i] - 1.0f) + 1.0f);
      }
    }
    if (k.bandApplies) {
      float strength = kLightBandStrength * k.f;
      for (int i = 0; i < 3; ++i) c[i] = Q(MinOne(c[i] + strength * (1.0f - c[i])));
    }
  }
  rgba[0] = c[0];
  rgba[1] = c[1];
  rgba[2] = c[2];
  rgba[3] = 1.0f;
}

uint8_t FloatToUnorm8(float value) { return (uint8_t)(Saturate(value) * 255.0f + 0.5f); }

void ShadeBackgroundSpan(const BackgroundFrame& frame, uint32_t y, uint32_t x0, uint32_t x1,
                         uint8_t* rgba) {
  float centreY = (float)y + 0.5f;
  for (uint32_t x = x0; x < x1; ++x, rgba += 4) {
    float out[4];
    ShadeBackgroundPixel(frame, (float)x + 0.5f, centreY, out);
    for (int i = 0; i < 4; ++i) rgba[i] = FloatToUnorm8(out[i]);
  }
}

// Recomputed whenever background.hlsl changes, together with the kernel above.
const uint64_t kBackgroundShaderSourceHash = 0x62e4a669e8e0fabaull;

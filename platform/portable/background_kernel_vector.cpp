#include "platform/portable/background_kernel_vector.h"

#include <cstring>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "platform/portable/background_kernel_vector.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace background_vector {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using DF = hn::ScalableTag<float>;
using DI = hn::RebindToSigned<DF>;
using VF = hn::Vec<DF>;
using VI = hn::Vec<DI>;
using MF = hn::Mask<DF>;

const DF df;
const DI di;

HWY_INLINE VF K(float v) { return hn::Set(df, v); }

HWY_INLINE VF Saturate(VF v) {
  return hn::IfThenElse(v > hn::Zero(df), hn::IfThenElse(v < K(1.0f), v, K(1.0f)), hn::Zero(df));
}
HWY_INLINE VF MinOne(VF v) { return hn::IfThenElse(v < K(1.0f), v, K(1.0f)); }

HWY_INLINE VF FloorF(VF v) {
  VF t = hn::ConvertTo(df, hn::ConvertTo(di, v));
  VF floored = hn::IfThenElse(t > v, t - K(1.0f), t);
  return hn::IfThenElse(hn::Abs(v) < K(8388608.0f), floored, v);
}

HWY_INLINE VF Q(VF v) { return FloorF(v * K(255.0f) + K(0.5f)) * K(0.003921569f); }

HWY_INLINE VF SafeTexelPosition(VF p) {
  const VF limit = K(16777216.0f);
  VF r = hn::IfThenElse(p > hn::Neg(limit), p, hn::IfThenElse(p != p, hn::Zero(df), hn::Neg(limit)));
  return hn::IfThenElse(r < limit, r, limit);
}

HWY_INLINE VI AddressTexel(VI index, int32_t size, TextureAddress mode) {
  if (mode == TextureAddress::Wrap) return hn::And(index, hn::Set(di, size - 1));
  return hn::Min(hn::Max(index, hn::Zero(di)), hn::Set(di, size - 1));
}

HWY_INLINE VI TexelIndex(const SampledTexture& t, VI x, VI y) {
  VI tile = hn::ShiftRight<2>(y) * hn::Set(di, t.tilesPerRow) + hn::ShiftRight<2>(x);
  return hn::ShiftLeft<4>(tile) + hn::ShiftLeft<2>(hn::And(y, hn::Set(di, 3))) +
         hn::And(x, hn::Set(di, 3));
}

HWY_INLINE VF Channel(VI texels, int shift) {
  return hn::ConvertTo(df, hn::And(hn::ShiftRightSame(texels, shift), hn::Set(di, 0xFF)));
}

struct Texel {
  VF c[4];
};

// The four texels around a sample position and the weights between them.
struct Footprint {
  VI xa, xb, ya, yb;
  VF fx, fy, gx, gy;
};

HWY_INLINE Footprint Locate(const SampledTexture& t, VF u, VF v) {
  VF x = SafeTexelPosition(u * K((float)t.width) - K(0.5f));
  VF y = SafeTexelPosition(v * K((float)t.height) - K(0.5f));
  VF x0 = FloorF(x), y0 = FloorF(y);
  Footprint f;
  f.fx = x - x0;
  f.fy = y - y0;
  VI ix = hn::ConvertTo(di, x0), iy = hn::ConvertTo(di, y0);
  f.xa = AddressTexel(ix, t.width, t.addressU);
  f.xb = AddressTexel(ix + hn::Set(di, 1), t.width, t.addressU);
  f.ya = AddressTexel(iy, t.height, t.addressV);
  f.yb = AddressTexel(iy + hn::Set(di, 1), t.height, t.addressV);
  f.gx = K(1.0f) - f.fx;
  f.gy = K(1.0f) - f.fy;
  return f;
}

// The scalar filter's arithmetic on one channel, in 8-bit units.
HWY_INLINE VF Filter(const Footprint& f, VF c00, VF c10, VF c01, VF c11) {
  VF top = c00 * f.gx + c10 * f.fx;
  VF bottom = c01 * f.gx + c11 * f.fx;
  return (top * f.gy + bottom * f.fy) / K(255.0f);
}

// Channels first .. last of the bilinear sample; the others are left unset.
HWY_INLINE Texel SampleBilinear(const SampledTexture& t, VF u, VF v, int first = 0, int last = 3) {
  const Footprint f = Locate(t, u, v);
  const int32_t* words = (const int32_t*)t.tiles;
  VI t00 = hn::GatherIndex(di, words, TexelIndex(t, f.xa, f.ya));
  VI t10 = hn::GatherIndex(di, words, TexelIndex(t, f.xb, f.ya));
  VI t01 = hn::GatherIndex(di, words, TexelIndex(t, f.xa, f.yb));
  VI t11 = hn::GatherIndex(di, words, TexelIndex(t, f.xb, f.yb));
  Texel out;
  for (int c = first; c <= last; ++c)
    out.c[c] = Filter(f, Channel(t00, 8 * c), Channel(t10, 8 * c), Channel(t01, 8 * c),
                      Channel(t11, 8 * c));
  return out;
}

HWY_INLINE VI AlphaIndex(VI x, VI y, int32_t tilesPerRow) {
  VI tile = hn::ShiftRight<3>(y) * hn::Set(di, tilesPerRow) + hn::ShiftRight<3>(x);
  return hn::ShiftLeft<6>(tile) + hn::ShiftLeft<3>(hn::And(y, hn::Set(di, 7))) +
         hn::And(x, hn::Set(di, 7));
}

// The alpha of the bilinear sample from the alpha tiles: the same value as channel 3 of
// SampleBilinear, from a quarter of the memory.
HWY_INLINE VF SampleAlpha(const SampledTexture& t, VF u, VF v) {
  const Footprint f = Locate(t, u, v);
  const int32_t tilesPerRow = AlphaTilesPerRow(t.width);
  const int32_t* base = (const int32_t*)(const void*)t.alpha;
  auto read = [&](VI x, VI y) {
    return hn::ConvertTo(df, hn::And(hn::GatherOffset(di, base, AlphaIndex(x, y, tilesPerRow)),
                                     hn::Set(di, 0xFF)));
  };
  return Filter(f, read(f.xa, f.ya), read(f.xb, f.ya), read(f.xa, f.yb), read(f.xb, f.yb));
}

HWY_INLINE void ComposeLayer(const Texel& texel, const float tint[3], float opacity, VF c[3]) {
  VF a = Saturate(texel.c[3]);
  VF o = K(opacity) * a;
  for (int i = 0; i < 3; ++i)
    c[i] = Q(Saturate(c[i] * (K(1.0f) - o) + o * (K(tint[i]) * texel.c[i])));
}

// Where the pixels x .. x + lanes - 1 of a row meet the wall's layers.
struct WallCoordinates {
  VF px, wcx, wcy;
  VF fine[2], far[2], near[2];
};

HWY_INLINE WallCoordinates LocateOnWall(const BackgroundFrame& frame, VF pY, uint32_t x) {
  WallCoordinates w;
  VF centreX = hn::Iota(df, (float)x) + K(0.5f);
  VF nx = K(2.0f) * (centreX / K(frame.resX)) - K(1.0f);
  w.px = nx * K(frame.extX);
  VF qx = K(frame.ca) * w.px + K(frame.sa) * pY;
  VF qy = K(-frame.sa) * w.px + K(frame.ca) * pY;
  w.wcx = qx * K(0.22222222f) + K(2.56f);
  w.wcy = qy * K(0.22222222f) + K(2.56f);
  VF ty = K(1.0f) - w.wcy * K(0.1953125f);
  w.fine[0] = w.wcx * K(1.171875f);
  w.fine[1] = K(6.0f) * ty;
  w.far[0] = (w.wcx * K(frame.farRepeat)) * K(0.1953125f) + K(frame.farT);
  w.far[1] = ty * K(frame.farRepeat) + K(frame.farT);
  w.near[0] = w.wcx * K(0.390625f) + K(frame.nearT);
  w.near[1] = K(2.0f) * ty + K(frame.nearT);
  return w;
}

constexpr uint32_t kPrefetchDistance = 4;  // vectors

// Requests the cache line of each lane's first texel in the three wall layers.
HWY_INLINE void PrefetchWall(const SampledTexture& t, const WallCoordinates& w) {
  HWY_ALIGN int32_t index[3][hn::MaxLanes(df)];
  Footprint f = Locate(t, w.fine[0], w.fine[1]);
  hn::Store(AlphaIndex(f.xa, f.ya, AlphaTilesPerRow(t.width)), di, index[0]);
  f = Locate(t, w.far[0], w.far[1]);
  hn::Store(TexelIndex(t, f.xa, f.ya), di, index[1]);
  f = Locate(t, w.near[0], w.near[1]);
  hn::Store(TexelIndex(t, f.xa, f.ya), di, index[2]);
  const int32_t* words = (const int32_t*)(const void*)t.tiles;
  for (size_t i = 0; i < hn::Lanes(df); ++i) {
    __builtin_prefetch(t.alpha + index[0][i]);
    __builtin_prefetch(words + index[1][i]);
    __builtin_prefetch(words + index[2][i]);
  }
}

void ShadeSpan(const BackgroundFrame& frame, uint32_t y, uint32_t x0, uint32_t x1, uint8_t* rgba) {
  // What depends on the row alone, in the scalar kernel's operations.
  const float centreY = (float)y + 0.5f;
  const float ny = 1.0f - 2.0f * (centreY / frame.resY);
  const float py = ny * frame.extY;
  const float spy = (py - frame.spotY) / frame.spotScale + 10.24f;
  const float gRow = (py - frame.bandCentre) / frame.bandHeight + 10.0f;
  const VF pY = K(py), spY = K(spy), g = K(gRow);
  const VF f = Saturate(K(1.0f) - g * K(0.05f));
  const MF band = g <= K(20.0f);
  const MF spotRowInside = hn::And(K(0.0f) <= spY, spY <= K(20.48f));
  const VF mY = K(1.0f) - hn::Abs(K(2.0f) * (spY * K(0.048828125f) - K(0.5f)));
  const VF spotV = mY * K(0.991285f) + K(0.0043573f);

  const size_t lanes = hn::Lanes(df);
  HWY_ALIGN int32_t packed[hn::MaxLanes(df)];
  // The wall is read at texels far apart from one pixel to the next, so its cache lines are
  // requested a few vectors ahead of their use.
  WallCoordinates ahead[kPrefetchDistance];
  for (uint32_t i = 0; i < kPrefetchDistance; ++i) {
    ahead[i] = LocateOnWall(frame, pY, x0 + i * (uint32_t)lanes);
    PrefetchWall(frame.wall, ahead[i]);
  }
  for (uint32_t x = x0, slot = 0; x < x1; x += (uint32_t)lanes) {
    const WallCoordinates w = ahead[slot];
    ahead[slot] = LocateOnWall(frame, pY, x + kPrefetchDistance * (uint32_t)lanes);
    PrefetchWall(frame.wall, ahead[slot]);
    slot = slot + 1 == kPrefetchDistance ? 0 : slot + 1;
    const VF px = w.px, wcx = w.wcx, wcy = w.wcy;
    const VF fineU = w.fine[0], fineV = w.fine[1], farU = w.far[0], farV = w.far[1];
    const VF nearU = w.near[0], nearV = w.near[1];
    MF insideWall = hn::And(hn::And(K(0.0f) <= wcx, wcx <= K(5.12f)),
                            hn::And(K(0.0f) <= wcy, wcy <= K(5.12f)));
    VF spx = (px - K(frame.spotX)) / K(frame.spotScale) + K(10.24f);
    MF insideSpot = hn::And(spotRowInside, hn::And(K(0.0f) <= spx, spx <= K(20.48f)));
    VF mX = K(1.0f) - hn::Abs(K(2.0f) * (spx * K(0.048828125f) - K(0.5f)));
    VF spotU = mX * K(0.991285f) + K(0.0043573f);

    VF fineAlpha = SampleAlpha(frame.wall, fineU, fineV);
    Texel far = SampleBilinear(frame.wall, farU, farV);
    Texel near = SampleBilinear(frame.wall, nearU, nearV);
    Texel spot = SampleBilinear(frame.spot, spotU, spotV, 0, 2);  // light factor only

    VF c[3];
    if (!frame.light) {
      VF wall[3];
      VF darken = K(1.0f) - K(0.5f) * Saturate(fineAlpha);
      for (int i = 0; i < 3; ++i) wall[i] = Q(K(frame.fill[i]) * darken);
      ComposeLayer(far, frame.farTint, 1.0f, wall);
      ComposeLayer(near, frame.nearTint, 1.0f, wall);
      for (int i = 0; i < 3; ++i) {
        c[i] = hn::IfThenElse(insideWall, wall[i], K(frame.fill[i]));
        c[i] = hn::IfThenElse(insideSpot, Q(Saturate(spot.c[i] * c[i])), c[i]);
        c[i] = hn::IfThenElse(band, Q(Saturate(c[i] + K(frame.gradient[i]) * f)), c[i]);
      }
    } else {
      VF shade = K(1.0f) - K(0.09f) * Saturate(fineAlpha);
      VF wall[3];
      wall[0] = FloorF(K(247.0f) * shade + K(0.5f)) * K(0.003921569f);
      wall[1] = FloorF(K(247.0f) * shade + K(0.5f)) * K(0.003921569f);
      wall[2] = FloorF(K(249.0f) * shade + K(0.5f)) * K(0.003921569f);
      ComposeLayer(far, frame.farTint, 0.55f, wall);
      ComposeLayer(near, frame.nearTint, 0.65f, wall);
      const float outside[3] = {0.96862745f, 0.96862745f, 0.9764706f};
      VF strength = K(0.62f) * f;
      for (int i = 0; i < 3; ++i) {
        c[i] = hn::IfThenElse(insideWall, wall[i], K(outside[i]));
        VF w = Saturate(K(1.3f) * spot.c[i]);
        w = w * w;
        c[i] = hn::IfThenElse(insideSpot, Q(w * (c[i] - K(1.0f)) + K(1.0f)), c[i]);
        c[i] = hn::IfThenElse(band, Q(MinOne(c[i] + strength * (K(1.0f) - c[i]))), c[i]);
      }
    }

    VI bytes = hn::Set(di, (int32_t)0xFF000000);
    for (int i = 0; i < 3; ++i) {
      VI unorm = hn::ConvertTo(di, Saturate(c[i]) * K(255.0f) + K(0.5f));
      bytes = hn::Or(bytes, hn::ShiftLeftSame(unorm, 8 * i));
    }
    size_t count = x1 - x < lanes ? x1 - x : lanes;
    if (count == lanes) {
      hn::StoreU(bytes, di, (int32_t*)(void*)(rgba + (size_t)(x - x0) * 4));
    } else {
      hn::Store(bytes, di, packed);
      std::memcpy(rgba + (size_t)(x - x0) * 4, packed, count * 4);
    }
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace background_vector
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace background_vector {
HWY_EXPORT(ShadeSpan);
}  // namespace background_vector

namespace {
bool VectorReady(const SampledTexture& t) {
  auto pow2 = [](int32_t size) { return size > 0 && (size & (size - 1)) == 0; };
  return t.tiles && (t.addressU != TextureAddress::Wrap || pow2(t.width)) &&
         (t.addressV != TextureAddress::Wrap || pow2(t.height));
}
}  // namespace

bool CanShadeBackgroundVector(const BackgroundFrame& frame) {
  return VectorReady(frame.wall) && frame.wall.alpha && VectorReady(frame.spot);
}

void ShadeBackgroundSpanVector(const BackgroundFrame& frame, uint32_t y, uint32_t x0, uint32_t x1,
                               uint8_t* rgba) {
  HWY_DYNAMIC_DISPATCH(background_vector::ShadeSpan)(frame, y, x0, x1, rgba);
}
#endif

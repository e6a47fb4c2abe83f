#include "kernels/background_kernel_vector.h"

#include "control/d3d11_control.h"
#include "kernels/background_constants.h"
#include "kernels/background_vector_plan.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "kernels/background_kernel_vector.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/cache_control.h>
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace background_vector {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using DF = hn::ScalableTag<float>;
using DI = hn::RebindToSigned<DF>;
using DU = hn::RebindToUnsigned<DF>;
using VF = hn::Vec<DF>;
using VI = hn::Vec<DI>;
using MF = hn::Mask<DF>;

const DF df;
const DI di;
const DU du;

HWY_INLINE VF K(float v) { return hn::Set(df, v); }
HWY_INLINE VI KI(int32_t v) { return hn::Set(di, v); }

// Direct3D's saturate: NaN fails the comparison and gives 0.
HWY_INLINE VF Saturate(VF v) { return hn::IfThenElseZero(v > hn::Zero(df), hn::Min(v, K(1.0f))); }
HWY_INLINE VF MinOne(VF v) { return hn::IfThenElse(v < K(1.0f), v, K(1.0f)); }

// The scalar kernel's FloorF differs from floor only in the sign of a zero result, which
// needs a zero input: none of the floors below can see one (x + 0.5 is never -0, and a
// texel position is never -0 either).
// Level is the 8-bit step's whole number, 0 .. 255 for v in [0, 1].
HWY_INLINE VF Level(VF v) { return hn::Floor(v * K(kUnormLevels) + K(0.5f)); }
HWY_INLINE VF Q(VF v) { return Level(v) * K(kUnormStep); }

HWY_INLINE VF SafeTexelPosition(VF p) {
  const float limit = 16777216.0f;
  VF r = hn::IfThenElse(p > K(-limit), hn::Min(p, K(limit)), K(-limit));
  return hn::IfThenZeroElse(hn::IsNaN(p), r);
}

HWY_INLINE VI AddressTexel(VI index, int32_t size, TextureAddress mode) {
  if (mode == TextureAddress::Wrap) return hn::And(index, KI(size - 1));
  return hn::Min(hn::Max(index, hn::Zero(di)), KI(size - 1));
}

// Byte k of each lane as a float, 0 .. 255. Past the lowest byte it is picked out by a byte
// shuffle, which leaves the ports that shift to the arithmetic.
template <int kByte>
HWY_INLINE VF ByteAt(VI v) {
  if (kByte == 0) return hn::ConvertTo(df, hn::And(v, KI(0xFF)));
  // Byte k of each lane of a 128-bit block to the lane's lowest byte, zeros above it.
  alignas(16) static constexpr int32_t kPick[4] = {
      (int32_t)0x80808000 | kByte, (int32_t)0x80808004 | kByte, (int32_t)0x80808008 | kByte,
      (int32_t)0x8080800C | kByte};
  return hn::ConvertTo(df, hn::TableLookupBytesOr0(v, hn::LoadDup128(di, kPick)));
}

// Two ways to read a vector of 32-bit words at byte offsets from a base, or of pairs of
// words (`WordPairs`: the word at each offset and the one after it), one gather or one load
// per lane (`ChooseSpanShader` says which processors take which).
//
// Each way comes with the number of vectors shaded side by side, each stage for all of them
// before the next: a stage is a chain of dependent operations, longer than the processor
// overlaps with the next vector's when the vectors come one after the other. With a load per
// lane, eight vectors measured faster than four (a tenth of a frame on a Zen 5 EPYC);
// with gathers, four were the fastest.
struct Gather {
  static constexpr uint32_t kSideBySide = 4;
  static VI Words(const int32_t* base, VI offset) { return hn::GatherOffset(di, base, offset); }
  // Two gathers of words rather than one of word pairs split afterwards: on an Emerald
  // Rapids Xeon the pairs' split across the vector cost more than the second gather's extra
  // elements (a 1920x1080 frame 3 to 10 % longer).
  static void WordPairs(const int32_t* base, VI offset, VI& first, VI& second) {
    first = Words(base, offset);
    second = Words(base, offset + KI(4));
  }
};

struct LoadPerLane {
  static constexpr uint32_t kSideBySide = 8;
  // Each lane's kWords words at its offset, into `words` one lane after the other. GCC
  // takes the offsets out of the lanes and builds the vectors from the loads in registers;
  // made to go through memory, the vector load waits for the lanes' stores to be written
  // (one load is not forwarded from several stores), and an AVX2 frame took half again as
  // long.
  template <size_t kWords>
  static void LoadLanes(const int32_t* base, VI offset, int32_t* words) {
    HWY_ALIGN uint32_t at[hn::MaxLanes(du)];
    hn::Store(hn::BitCast(du, offset), du, at);
    const uint8_t* bytes = (const uint8_t*)(const void*)base;
    for (size_t i = 0; i < hn::Lanes(di); ++i)
      std::memcpy(words + kWords * i, bytes + at[i], 4 * kWords);
  }
  static VI Words(const int32_t* base, VI offset) {
    HWY_ALIGN int32_t words[hn::MaxLanes(di)];
    LoadLanes<1>(base, offset, words);
    return hn::Load(di, words);
  }
  // One 64-bit load per lane, each pixel's two words side by side, split into the first
  // words and the second.
  static void WordPairs(const int32_t* base, VI offset, VI& first, VI& second) {
    HWY_ALIGN int32_t words[2 * hn::MaxLanes(di)];
    LoadLanes<2>(base, offset, words);
    const VI lo = hn::Load(di, words), hi = hn::Load(di, words + hn::Lanes(di));
#if HWY_TARGET == HWY_SCALAR
    first = lo;
    second = hi;
#else
    first = hn::ConcatEven(di, hi, lo);
    second = hn::ConcatOdd(di, hi, lo);
#endif
  }
};

// The four texels around a sample position and the weights between them.
struct Footprint {
  VI xa, xb, ya, yb;
  VF fx, fy;
};

// A whole number below 2^22 in magnitude as an integer: adding 1.5 * 2^23 leaves
// 2^22 + v in the low bits of the float, exactly.
HWY_INLINE VI WholeToInt(VF v) {
  return hn::BitCast(di, v + K(12582912.0f)) - KI(0x4B400000);
}

HWY_INLINE Footprint LocateFootprint(const SampledTexture& t, VF u, VF v) {
  VF x = u * K((float)t.width) - K(0.5f);
  VF y = v * K((float)t.height) - K(0.5f);
  // Positions that need no saturation (all but those of absurd constants) take the short way.
  const VF limit = K(4194304.0f);
  const bool ordinary = hn::AllTrue(df, hn::And(hn::Abs(x) < limit, hn::Abs(y) < limit));
  if (!ordinary) {
    x = SafeTexelPosition(x);
    y = SafeTexelPosition(y);
  }
  VF x0 = hn::Floor(x), y0 = hn::Floor(y);
  Footprint f;
  f.fx = x - x0;
  f.fy = y - y0;
  VI ix = ordinary ? WholeToInt(x0) : hn::ConvertTo(di, x0);
  VI iy = ordinary ? WholeToInt(y0) : hn::ConvertTo(di, y0);
  f.xa = AddressTexel(ix, t.width, t.addressU);
  f.xb = AddressTexel(ix + KI(1), t.width, t.addressU);
  f.ya = AddressTexel(iy, t.height, t.addressV);
  f.yb = AddressTexel(iy + KI(1), t.height, t.addressV);
  return f;
}

// A footprint ready to be read: where its texels are (byte offsets of up to four reads)
// and the weights between them.
struct Located {
  VI at[4];
  VF fx, fy;
};

// The four texels of a footprint as packed RGBA.
struct Quad {
  VI t00, t10, t01, t11;
};

// v / 255, correctly rounded, for v in [0, 256] (a filter's sum of 8-bit units). Where
// multiply-adds are fused, the product with 1 / 255 corrected once by its exact remainder
// is that quotient for every such v (checked one by one), and takes no divider.
HWY_INLINE VF DivideBy255(VF v) {
#if HWY_NATIVE_FMA
  const VF quotient = v * K(1.0f / 255.0f);
  return hn::MulAdd(hn::NegMulAdd(quotient, K(255.0f), v), K(1.0f / 255.0f), quotient);
#else
  return v / K(255.0f);
#endif
}

// The scalar filter's arithmetic on one channel, in 8-bit units: across each texel row,
// then down between the two.
HWY_INLINE VF Across(VF fx, VF left, VF right) { return left * (K(1.0f) - fx) + right * fx; }
HWY_INLINE VF Down(VF fy, VF top, VF bottom) {
  return DivideBy255(top * (K(1.0f) - fy) + bottom * fy);
}
HWY_INLINE VF Filter(VF fx, VF fy, VF c00, VF c10, VF c01, VF c11) {
  return Down(fy, Across(fx, c00, c10), Across(fx, c01, c11));
}

template <int kByte>
HWY_INLINE VF FilterChannel(VF fx, VF fy, const Quad& q) {
  return Filter(fx, fy, ByteAt<kByte>(q.t00), ByteAt<kByte>(q.t10), ByteAt<kByte>(q.t01),
                ByteAt<kByte>(q.t11));
}

struct Texel {
  VF c[4];
};

// Byte offset of texel (x, y) in the 4 x 4 RGBA tiles, as a row part and a column part.
HWY_INLINE VI TileRow(const SampledTexture& t, VI y) {
  return hn::ShiftLeft<6>(hn::ShiftRight<2>(y) * KI(t.tilesPerRow)) +
         hn::ShiftLeft<4>(hn::And(y, KI(3)));
}
HWY_INLINE VI TileColumn(VI x) {
  return hn::ShiftLeft<6>(hn::ShiftRight<2>(x)) + hn::ShiftLeft<2>(hn::And(x, KI(3)));
}

// The wall in its RGBA tiles: four 32-bit loads per footprint, one per texel.
template <class WordReads>
struct ColourWall {
  using Reads = WordReads;

  static const uint8_t* Base(const SampledTexture& t) { return t.tiles; }
  static const uint8_t* AlphaBase(const SampledTexture& t) { return t.tiles; }

  static Located Locate(const SampledTexture& t, VF u, VF v) {
    const Footprint f = LocateFootprint(t, u, v);
    VI rowA = TileRow(t, f.ya), rowB = TileRow(t, f.yb);
    VI columnA = TileColumn(f.xa), columnB = TileColumn(f.xb);
    return Located{{rowA + columnA, rowA + columnB, rowB + columnA, rowB + columnB}, f.fx, f.fy};
  }

  static Quad Load(const SampledTexture& t, const Located& l) {
    const int32_t* base = (const int32_t*)(const void*)t.tiles;
    return Quad{Reads::Words(base, l.at[0]), Reads::Words(base, l.at[1]),
                Reads::Words(base, l.at[2]), Reads::Words(base, l.at[3])};
  }

  static Texel Read(const SampledTexture& t, const Located& l) {
    const Quad q = Load(t, l);
    return Texel{{FilterChannel<0>(l.fx, l.fy, q), FilterChannel<1>(l.fx, l.fy, q),
                  FilterChannel<2>(l.fx, l.fy, q), FilterChannel<3>(l.fx, l.fy, q)}};
  }

  static Located LocateAlpha(const SampledTexture& t, VF u, VF v) { return Locate(t, u, v); }

  static VF ReadAlpha(const SampledTexture& t, const Located& l) {
    return FilterChannel<3>(l.fx, l.fy, Load(t, l));
  }
};

// The wall in its grey columns, a footprint in two words side by side, and the grey filtered
// once for all three channels (the same operations on the same values); its alpha alone in
// the alpha tiles, a footprint in four bytes of two words. Wrapping both ways.
// Ordinary: every position on the wall lies well within 2^22 texels of the origin, so that
// none needs saturating and a whole number becomes an index through the mantissa; lanes off
// the wall may find any texel, as long as it is one of the texture.
template <bool kOrdinary, class WordReads>
struct GreyWall {
  using Reads = WordReads;

  // y / kDivisor for a row y below 4096, as (m y) / 2^16 with m = 2^16 / kDivisor rounded up.
  template <int32_t kDivisor>
  static VI RowBand(VI y) {
    constexpr int32_t kInverse = (65536 + kDivisor - 1) / kDivisor;
#if HWY_TARGET == HWY_SCALAR
    return hn::ShiftRight<16>(y * KI(kInverse));
#else
    // y is below 2^16: the high half of each lane is zero, and so is its product.
    const hn::Repartition<uint16_t, DI> du16;
    return hn::BitCast(di, hn::MulHigh(hn::BitCast(du16, y), hn::Set(du16, kInverse)));
#endif
  }

  // The byte offset of word (x, y), 32 width (y / 7) + 32 x + 4 (y % 7), worked out as
  // (y / 7) 32 width + 32 (x - y / 7) + 4 (y + y / 7).
  static VI Offset(const SampledTexture& t, VI x, VI y) {
    const VI k = RowBand<7>(y);
    const int columnRowShift = 5 + __builtin_ctz((unsigned)t.width);  // 32 width, a power of two
    return hn::ShiftLeftSame(k, columnRowShift) + hn::ShiftLeft<5>(x - k) +
           hn::ShiftLeft<2>(y + k);
  }

  // The byte offset of the footprint at (x, y) in the alpha tiles, 64 (tiles per row) (y / 11)
  // + 16 (x - x % 4) + 5 (y % 11) + x % 4.
  static VI AlphaOffset(const SampledTexture& t, VI x, VI y) {
    const VI k = RowBand<11>(y);
    const int tileRowShift = 6 + __builtin_ctz((unsigned)AlphaTilesPerRow(t.width));
    return hn::ShiftLeftSame(k, tileRowShift) + hn::ShiftLeft<4>(hn::And(x, KI(~3))) +
           KI(5) * (y - KI(11) * k) + hn::And(x, KI(3));
  }

  // A whole number as an integer that agrees with it in the bits below 2^22.
  static VI Index(VF whole) {
    if (kOrdinary) return hn::BitCast(di, whole + K(12582912.0f));
    return hn::ConvertTo(di, whole);
  }

  static const uint8_t* Base(const SampledTexture& t) { return t.grey; }
  static const uint8_t* AlphaBase(const SampledTexture& t) {
    return t.grey + GreyColumnsBytes(t.width, t.height);
  }

  // The footprint at texture position (u, v), in the columns or in the alpha tiles.
  template <bool kAlpha>
  static Located LocateIn(const SampledTexture& t, VF u, VF v) {
    VF x = u * K((float)t.width) - K(0.5f);
    VF y = v * K((float)t.height) - K(0.5f);
    if (!kOrdinary) {
      x = SafeTexelPosition(x);
      y = SafeTexelPosition(y);
    }
    const VF x0 = hn::Floor(x), y0 = hn::Floor(y);
    const VI xa = hn::And(Index(x0), KI(t.width - 1)), ya = hn::And(Index(y0), KI(t.height - 1));
    Located l;
    l.at[0] = kAlpha ? AlphaOffset(t, xa, ya) : Offset(t, xa, ya);
    l.fx = x - x0;
    l.fy = y - y0;
    return l;
  }

  static Located Locate(const SampledTexture& t, VF u, VF v) { return LocateIn<false>(t, u, v); }
  static Located LocateAlpha(const SampledTexture& t, VF u, VF v) { return LocateIn<true>(t, u, v); }

  // The footprint's two rows, a word each: grey and alpha of its left texel, then of its right.
  struct Rows {
    VI top, bottom;
  };

  static Rows Load(const uint8_t* base, const Located& l) {
    Rows r;
    Reads::WordPairs((const int32_t*)(const void*)base, l.at[0], r.top, r.bottom);
    return r;
  }

  template <int kByte>
  static VF FilterByte(const Located& l, const Rows& r) {
    return Filter(l.fx, l.fy, ByteAt<kByte>(r.top), ByteAt<kByte + 2>(r.top),
                  ByteAt<kByte>(r.bottom), ByteAt<kByte + 2>(r.bottom));
  }

  static Texel Read(const SampledTexture& t, const Located& l) {
    const Rows r = Load(Base(t), l);
    const VF grey = FilterByte<0>(l, r);
    return Texel{{grey, grey, grey, FilterByte<1>(l, r)}};
  }

  // Bytes 0 and 1 of the footprint's first word, 1 and 2 of its second (bytes 5 and 6).
  static VF ReadAlpha(const SampledTexture& t, const Located& l) {
    const Rows r = Load(AlphaBase(t), l);
    return Filter(l.fx, l.fy, ByteAt<0>(r.top), ByteAt<1>(r.top), ByteAt<1>(r.bottom),
                  ByteAt<2>(r.bottom));
  }
};

template <uint32_t kSideBySide>
HWY_INLINE void ComposeLayer(const Texel texel[kSideBySide], const float tint[3], float opacity,
                             VF c[kSideBySide][3]) {
  VF o[kSideBySide], keep[kSideBySide];
  for (uint32_t k = 0; k < kSideBySide; ++k) {
    o[k] = K(opacity) * Saturate(texel[k].c[3]);
    keep[k] = K(1.0f) - o[k];
  }
  for (int i = 0; i < 3; ++i)
    for (uint32_t k = 0; k < kSideBySide; ++k)
      c[k][i] = Q(Saturate(c[k][i] * keep[k] + o[k] * (K(tint[i]) * texel[k].c[i])));
}

// Per vector of pixels of a span, three vectors: ca px, -sa px and the spot's x.
constexpr size_t kColumnQuantities = 3;

// What the spans of one frame on one thread share, kept from one span to the next: the
// quantities of each column, and the spot filtered across the span at the texel rows last
// read. Rows of a frame repeat both: every row has the same columns, and the spot is
// magnified, so that neighbouring rows read the same two texel rows.
struct SpanCache {
  uint64_t serial = 0;  // the frame, and the span [x0, x1)
  uint32_t x0 = 0, x1 = 0;
  std::vector<float> columns;
  int32_t spotRows[2] = {-1, -1};  // the texel rows spotAcross holds, or none
  std::vector<float> spotAcross;
};

// One row's plan with what its vectors read: the plan's values in lanes, the span's column
// quantities and the spot's cached filter.
struct Row {
  BackgroundRowPlan plan;
  const float* columns;  // SpanCache::columns
  VF bandGradient[3];    // normal: gradient * f
  VF bandStrength;       // light: 0.62 * f
  VF spotFy;
  // Where the spot's two texel rows start in its tiles.
  const uint8_t* spotRows[2];
  // The spot filtered across, per vector of the span: top and bottom row, three channels
  // each; already there when an earlier span of the frame read the same two texel rows.
  float* spotAcross;
  bool spotAcrossReady;
};

// Makes room for `count` floats and returns where they start, aligned to a whole vector:
// they are stored and loaded as vectors.
float* VectorAligned(std::vector<float>* values, size_t count) {
  const size_t lanes = hn::Lanes(df);
  values->resize(count + lanes);
  const uintptr_t start = (uintptr_t)values->data(), align = lanes * sizeof(float);
  return (float*)((start + align - 1) & ~(uintptr_t)(align - 1));
}

void PrepareColumns(const BackgroundFrame& frame, uint32_t x0, uint32_t x1, float* columns) {
  const size_t lanes = hn::Lanes(df);
  for (uint32_t x = x0; x < x1; x += (uint32_t)lanes, columns += kColumnQuantities * lanes) {
    VF centreX = hn::Iota(df, (float)x) + K(0.5f);
    VF nx = K(2.0f) * (centreX / K(frame.resX)) - K(1.0f);
    VF px = nx * K(frame.extX);
    hn::Store(K(frame.ca) * px, df, columns);
    hn::Store(K(-frame.sa) * px, df, columns + lanes);
    hn::Store((px - K(frame.spotX)) / K(frame.spotScale) + K(kSpotCentre), df, columns + 2 * lanes);
  }
}

// The column quantities of span [x0, x1), worked out for the first span of a frame that
// covers those columns.
const float* SpanColumns(const BackgroundFrame& frame, uint32_t x0, uint32_t x1, SpanCache* cache) {
  const size_t lanes = hn::Lanes(df), vectors = (x1 - x0 + lanes - 1) / lanes;
  float* columns = VectorAligned(&cache->columns, vectors * kColumnQuantities * lanes);
  if (cache->serial != frame.serial || cache->x0 != x0 || cache->x1 != x1) {
    cache->serial = frame.serial;
    cache->x0 = x0;
    cache->x1 = x1;
    cache->spotRows[0] = cache->spotRows[1] = -1;
    PrepareColumns(frame, x0, x1, columns);
  }
  return columns;
}

// Where the row's spot filter lives; unless the previous row read the same texel rows, it
// is to be filled from the two rows.
void FindSpotAcross(const BackgroundFrame& frame, uint32_t x0, uint32_t x1, SpanCache* cache,
                    Row* row) {
  const size_t lanes = hn::Lanes(df), vectors = (x1 - x0 + lanes - 1) / lanes;
  const int32_t* texelRows = row->plan.spotTexelRows;
  row->spotAcrossReady = cache->spotRows[0] == texelRows[0] && cache->spotRows[1] == texelRows[1];
  row->spotAcross = VectorAligned(&cache->spotAcross, vectors * 6 * lanes);
  cache->spotRows[0] = texelRows[0];
  cache->spotRows[1] = texelRows[1];
  for (int i = 0; i < 2; ++i) row->spotRows[i] = TexelAddress(frame.spot, 0, texelRows[i]);
}

Row PrepareRow(const BackgroundFrame& frame, uint32_t y, uint32_t x0, uint32_t x1,
               SpanCache* cache) {
  Row row;
  row.plan = PlanBackgroundRow(frame, y);
  row.columns = SpanColumns(frame, x0, x1, cache);
  const VF f = K(row.plan.bandFade);
  for (int i = 0; i < 3; ++i) row.bandGradient[i] = K(frame.gradient[i]) * f;
  row.bandStrength = K(kLightBandStrength) * f;
  if (row.plan.spotInside) {
    row.spotFy = K(row.plan.spotFy);
    FindSpotAcross(frame, x0, x1, cache, &row);
  }
  return row;
}

// Where one vector of pixels reads the wall, found before any texel is read.
struct WallReads {
  MF insideWall;
  Located fine, far, near;
};

template <class Wall>
HWY_INLINE void LocateOnWall(const BackgroundFrame& frame, const Row& row, const float* column,
                             WallReads& r) {
  const size_t lanes = hn::Lanes(df);
  VF qx = hn::Load(df, column) + K(row.plan.saPy);
  VF qy = hn::Load(df, column + lanes) + K(row.plan.caPy);
  VF wcx = qx * K(kWallScale) + K(kWallCentre);
  VF wcy = qy * K(kWallScale) + K(kWallCentre);
  r.insideWall = hn::And(hn::And(K(0.0f) <= wcx, wcx <= K(kWallSize)),
                         hn::And(K(0.0f) <= wcy, wcy <= K(kWallSize)));
  VF ty = K(1.0f) - wcy * K(kWallToTexture);
  const SampledTexture& t = frame.wall;
  r.fine = Wall::LocateAlpha(t, wcx * K(kFineAcross), K(kFineDown) * ty);
  r.far = Wall::Locate(t, (wcx * K(frame.farRepeat)) * K(kWallToTexture) + K(frame.farT),
                       ty * K(frame.farRepeat) + K(frame.farT));
  r.near = Wall::Locate(t, wcx * K(kNearAcross) + K(frame.nearT), K(kNearDown) * ty + K(frame.nearT));
}

// Requests the cache line of each lane's first texel in the three wall layers. The offsets
// are never negative: as unsigned numbers they need no sign extension to become addresses.
template <class Wall>
HWY_INLINE void PrefetchWall(const SampledTexture& t, const WallReads& r) {
  const uint8_t* alpha = Wall::AlphaBase(t);
  const uint8_t* base = Wall::Base(t);
  HWY_ALIGN uint32_t offset[3][hn::MaxLanes(df)];
  hn::Store(hn::BitCast(du, r.fine.at[0]), du, offset[0]);
  hn::Store(hn::BitCast(du, r.far.at[0]), du, offset[1]);
  hn::Store(hn::BitCast(du, r.near.at[0]), du, offset[2]);
  for (size_t i = 0; i < hn::Lanes(df); ++i) {
    hwy::Prefetch(alpha + offset[0][i]);
    hwy::Prefetch(base + offset[1][i]);
    hwy::Prefetch(base + offset[2][i]);
  }
}

// The ground: the fill, or the light variant's ground off the wall.
template <uint32_t kSideBySide>
HWY_INLINE void ShadeGround(const BackgroundFrame& frame, VF c[kSideBySide][3]) {
  const float* ground = frame.light ? kLightGround : frame.fill;
  for (uint32_t k = 0; k < kSideBySide; ++k)
    for (int i = 0; i < 3; ++i) c[k][i] = K(ground[i]);
}

// The wall's three layers over the ground, where the pixels are on the wall: the fine
// layer darkens (normal) or shades (light) it, the far and near layers are composed over it.
template <class Wall, uint32_t kSideBySide = Wall::Reads::kSideBySide>
HWY_INLINE void ComposeWallLayers(const BackgroundFrame& frame, const WallReads* r[kSideBySide],
                                  VF c[kSideBySide][3]) {
  VF fineAlpha[kSideBySide];
  Texel far[kSideBySide], near[kSideBySide];
  for (uint32_t k = 0; k < kSideBySide; ++k) fineAlpha[k] = Wall::ReadAlpha(frame.wall, r[k]->fine);
  for (uint32_t k = 0; k < kSideBySide; ++k) far[k] = Wall::Read(frame.wall, r[k]->far);
  for (uint32_t k = 0; k < kSideBySide; ++k) near[k] = Wall::Read(frame.wall, r[k]->near);
  VF wall[kSideBySide][3];
  for (uint32_t k = 0; k < kSideBySide; ++k) {
    if (!frame.light) {
      VF darken = K(1.0f) - K(kFineDarken) * Saturate(fineAlpha[k]);
      for (int i = 0; i < 3; ++i) wall[k][i] = Q(K(frame.fill[i]) * darken);
    } else {
      VF shade = K(1.0f) - K(kLightFineShade) * Saturate(fineAlpha[k]);
      wall[k][0] = hn::Floor(K(kLightWallLevelsRG) * shade + K(0.5f)) * K(kUnormStep);
      wall[k][1] = wall[k][0];
      wall[k][2] = hn::Floor(K(kLightWallLevelsB) * shade + K(0.5f)) * K(kUnormStep);
    }
  }
  ComposeLayer<kSideBySide>(far, frame.farTint, frame.light ? kLightFarOpacity : 1.0f, wall);
  ComposeLayer<kSideBySide>(near, frame.nearTint, frame.light ? kLightNearOpacity : 1.0f, wall);
  for (uint32_t k = 0; k < kSideBySide; ++k)
    for (int i = 0; i < 3; ++i) c[k][i] = hn::IfThenElse(r[k]->insideWall, wall[k][i], c[k][i]);
}

// The spot filtered across one vector of pixels, into across[0..2] (top row) and
// across[3..5] (bottom row), at the row's two texel rows.
template <class Reads>
HWY_INLINE void FilterSpotAcross(const SampledTexture& t, const Row& row, VF u, VF across[6]) {
  VF x = SafeTexelPosition(u * K((float)t.width) - K(0.5f));
  VF x0 = hn::Floor(x);
  VF fx = x - x0;
  VI ix = hn::ConvertTo(di, x0);
  const VI left = TileColumn(AddressTexel(ix, t.width, t.addressU));
  const VI right = TileColumn(AddressTexel(ix + KI(1), t.width, t.addressU));
  const int32_t* top = (const int32_t*)(const void*)row.spotRows[0];
  const int32_t* bottom = (const int32_t*)(const void*)row.spotRows[1];
  const Quad q = {Reads::Words(top, left), Reads::Words(top, right), Reads::Words(bottom, left),
                  Reads::Words(bottom, right)};
  across[0] = Across(fx, ByteAt<0>(q.t00), ByteAt<0>(q.t10));
  across[1] = Across(fx, ByteAt<1>(q.t00), ByteAt<1>(q.t10));
  across[2] = Across(fx, ByteAt<2>(q.t00), ByteAt<2>(q.t10));
  across[3] = Across(fx, ByteAt<0>(q.t01), ByteAt<0>(q.t11));
  across[4] = Across(fx, ByteAt<1>(q.t01), ByteAt<1>(q.t11));
  across[5] = Across(fx, ByteAt<2>(q.t01), ByteAt<2>(q.t11));
}

// The light spot over c where the pixels are in its square: it multiplies the colour
// (normal) or lightens it by its squared, boosted weight (light). `vector` holds the
// vectors' indices in the span.
template <class Reads, uint32_t kSideBySide = Reads::kSideBySide>
HWY_INLINE void LightSpot(const BackgroundFrame& frame, const Row& row,
                          const size_t vector[kSideBySide], VF c[kSideBySide][3]) {
  const size_t lanes = hn::Lanes(df);
  VF spx[kSideBySide];
  MF insideSpot[kSideBySide];
  bool anyInside = false;
  for (uint32_t k = 0; k < kSideBySide; ++k) {
    spx[k] = hn::Load(df, row.columns + (vector[k] * kColumnQuantities + 2) * lanes);
    insideSpot[k] = hn::And(K(0.0f) <= spx[k], spx[k] <= K(kSpotSize));
    anyInside = anyInside || !hn::AllFalse(df, insideSpot[k]);
  }
  if (!anyInside) return;
  VF across[kSideBySide][6];
  for (uint32_t k = 0; k < kSideBySide; ++k) {
    float* cached = row.spotAcross + vector[k] * 6 * lanes;
    if (row.spotAcrossReady) {
      for (int i = 0; i < 6; ++i) across[k][i] = hn::Load(df, cached + i * lanes);
    } else {
      VF mX = K(1.0f) - hn::Abs(K(2.0f) * (spx[k] * K(kSpotToTexture) - K(0.5f)));
      FilterSpotAcross<Reads>(frame.spot, row, mX * K(kSpotInsetScale) + K(kSpotInsetOffset),
                              across[k]);
      for (int i = 0; i < 6; ++i) hn::Store(across[k][i], df, cached + i * lanes);
    }
  }
  for (int i = 0; i < 3; ++i)
    for (uint32_t k = 0; k < kSideBySide; ++k) {
      const VF spot = Down(row.spotFy, across[k][i], across[k][3 + i]);
      VF lit;
      if (!frame.light) {
        // The scalar kernel saturates the product first, which changes no 8-bit step: c
        // lies in [0, 1], and so does the spot, up to a rounding above 1 that Q takes to
        // 255 either way.
        lit = Q(spot * c[k][i]);
      } else {
        VF weight = Saturate(K(kLightSpotGain) * spot);
        weight = weight * weight;
        lit = Q(weight * (c[k][i] - K(1.0f)) + K(1.0f));
      }
      c[k][i] = hn::IfThenElse(insideSpot[k], lit, c[k][i]);
    }
}

// The bottom band over c, and the target's 8-bit levels of the result. The target stores
// Level(Saturate(c)). After the band, c is Q(v) with v in [0, 1] (c and the band's strength
// are), and the store of Q(v) is Level(v) itself for every level 0 .. 255.
HWY_INLINE void ApplyBand(const BackgroundFrame& frame, const Row& row, const VF c[3],
                          VF level[3]) {
  for (int i = 0; i < 3; ++i) {
    if (!row.plan.band)
      level[i] = Level(Saturate(c[i]));
    else if (frame.light)
      level[i] = Level(MinOne(c[i] + row.bandStrength * (K(1.0f) - c[i])));
    else
      level[i] = Level(Saturate(c[i] + row.bandGradient[i]));
  }
}

// Stores `count` pixels of levels as RGBA bytes, alpha 255.
HWY_INLINE void StoreLevels(const VF level[3], uint32_t count, uint8_t* rgba) {
  VI bytes = KI((int32_t)0xFF000000);
  for (int i = 0; i < 3; ++i) bytes = hn::Or(bytes, hn::ShiftLeftSame(WholeToInt(level[i]), 8 * i));
  if (count == hn::Lanes(di)) {
    hn::StoreU(bytes, di, (int32_t*)(void*)rgba);
  } else {
    HWY_ALIGN int32_t packed[hn::MaxLanes(di)];
    hn::Store(bytes, di, packed);
    std::memcpy(rgba, packed, count * 4);
  }
}

// A span is shaded kSideBySide vectors at a time, in two passes: the first locates every
// vector's reads of the wall and requests their cache lines, the second reads, filters and
// composes. The wall is read at texels far apart from one pixel to the next, and this way
// its cache misses overlap with the work on the vectors before them.
template <class Wall>
void ShadeSpan(const BackgroundFrame& frame, uint32_t y, uint32_t x0, uint32_t x1, uint8_t* rgba) {
  constexpr uint32_t kSideBySide = Wall::Reads::kSideBySide;
  thread_local SpanCache cache;
  const Row row = PrepareRow(frame, y, x0, x1, &cache);
  const uint32_t lanes = (uint32_t)hn::Lanes(df);
  for (uint32_t chunk = x0; chunk < x1; chunk += kSideBySide * lanes) {
    const uint32_t vectors = std::min<uint32_t>(kSideBySide, (x1 - chunk + lanes - 1) / lanes);
    const size_t first = (chunk - x0) / lanes;  // the chunk's first vector in the span
    WallReads reads[kSideBySide];
    for (uint32_t v = 0; v < vectors; ++v) {
      LocateOnWall<Wall>(frame, row, row.columns + (first + v) * kColumnQuantities * lanes, reads[v]);
      PrefetchWall<Wall>(frame.wall, reads[v]);
    }
    // Past the chunk's last vector, that vector again, shaded and not stored.
    size_t vector[kSideBySide];
    const WallReads* read[kSideBySide];
    bool onWall = false;
    for (uint32_t k = 0; k < kSideBySide; ++k) {
      const uint32_t inChunk = std::min(k, vectors - 1);
      vector[k] = first + inChunk;
      read[k] = &reads[inChunk];
      onWall = onWall || !hn::AllFalse(df, read[k]->insideWall);
    }
    VF c[kSideBySide][3];
    ShadeGround<kSideBySide>(frame, c);
    if (onWall) ComposeWallLayers<Wall>(frame, read, c);
    if (row.plan.spotInside) LightSpot<typename Wall::Reads>(frame, row, vector, c);
    for (uint32_t k = 0; k < vectors; ++k) {
      const uint32_t x = chunk + k * lanes;
      VF level[3];
      ApplyBand(frame, row, c[k], level);
      StoreLevels(level, std::min(lanes, x1 - x), rgba + (size_t)(x - x0) * 4);
    }
  }
}

template <class Reads>
BackgroundSpanShader ChooseSpanShaderReading(const BackgroundFrame& frame) {
  if (!UsesGreyWall(frame.wall)) return ShadeSpan<ColourWall<Reads>>;
  if (WallPositionsOrdinary(frame)) return ShadeSpan<GreyWall<true, Reads>>;
  return ShadeSpan<GreyWall<false, Reads>>;
}

// The span shader of this instruction set for the frame's wall and the way texels are read.
// AVX2 reads one load per lane on every processor: on AMD's it is much the faster way, on an
// Emerald Rapids Xeon as fast as the gathers or a little faster, and it avoids the gathers
// that the microcode's mitigation slows. AVX-512 gathers unless the gathers are slow: on the
// Emerald Rapids Xeon they took up to a tenth less of a frame than loads per lane.
BackgroundSpanShader ChooseSpanShader(const BackgroundFrame& frame, PortableKernelReads reads,
                                      bool slowGathers) {
  const bool loadPerLane =
      reads == PortableKernelReads::LoadPerLane ||
      (reads == PortableKernelReads::Processor &&
       (HWY_TARGET == HWY_AVX2 || (HWY_TARGET < HWY_AVX2 && slowGathers)));
  return loadPerLane ? ChooseSpanShaderReading<LoadPerLane>(frame)
                     : ChooseSpanShaderReading<Gather>(frame);
}

}  // namespace HWY_NAMESPACE
}  // namespace background_vector
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace background_vector {
HWY_EXPORT(ChooseSpanShader);

// The instruction set a test or benchmark asked for, or 0 for the best one, and the way of
// reading texels.
std::atomic<int64_t> gForcedTarget{0};
std::atomic<PortableKernelReads> gForcedReads{PortableKernelReads::Processor};

// Whether Linux reports the microcode's mitigation of gather data sampling on ("Mitigation:
// Microcode", locked or not): it slows every gather instruction, and Intel names rendering
// among the work that feels it.
bool GathersMitigated() {
  std::FILE* file = std::fopen("/sys/devices/system/cpu/vulnerabilities/gather_data_sampling", "r");
  if (!file) return false;
  char state[64] = {};
  const size_t read = std::fread(state, 1, sizeof state - 1, file);
  std::fclose(file);
  static constexpr char kMitigated[] = "Mitigation: Microcode";
  return read >= sizeof kMitigated - 1 && std::memcmp(state, kMitigated, sizeof kMitigated - 1) == 0;
}

// AMD's processors, and Hygon's of the same design, whose gathers are many more
// micro-operations than the loads they stand for, and Intel's with the gathers mitigated.
bool SlowGathers() {
#if defined(__x86_64__) || defined(__i386__)
  static const bool slow = [] {
    unsigned highest, b, c, d;
    if (!__get_cpuid(0, &highest, &b, &c, &d)) return false;
    char vendor[12];
    std::memcpy(vendor, &b, 4);
    std::memcpy(vendor + 4, &d, 4);
    std::memcpy(vendor + 8, &c, 4);
    return std::memcmp(vendor, "AuthenticAMD", 12) == 0 ||
           std::memcmp(vendor, "HygonGenuine", 12) == 0 || GathersMitigated();
  }();
  return slow;
#else
  return false;
#endif
}
}  // namespace background_vector

namespace {
bool VectorReady(const SampledTexture& t) {
  return t.tiles && (t.addressU != TextureAddress::Wrap || IsPowerOfTwo(t.width)) &&
         (t.addressV != TextureAddress::Wrap || IsPowerOfTwo(t.height));
}
}  // namespace

bool CanShadeBackgroundVector(const BackgroundFrame& frame) {
  return VectorReady(frame.wall) && VectorReady(frame.spot);
}

BackgroundSpanShader ChooseBackgroundSpanVector(const BackgroundFrame& frame) {
  using namespace background_vector;
  const int64_t forced = gForcedTarget;
  const PortableKernelReads reads = gForcedReads;
  if (forced == 0) return HWY_DYNAMIC_DISPATCH(ChooseSpanShader)(frame, reads, SlowGathers());
  hwy::ChosenTarget chosen;
  chosen.Update(forced);
  return HWY_DISPATCH_TABLE(ChooseSpanShader)[chosen.GetIndex()](frame, reads, SlowGathers());
}

void ShadeBackgroundSpanVector(const BackgroundFrame& frame, uint32_t y, uint32_t x0, uint32_t x1,
                               uint8_t* rgba) {
  ChooseBackgroundSpanVector(frame)(frame, y, x0, x1, rgba);
}

std::vector<int64_t> PortableKernelTargets() { return hwy::SupportedAndGeneratedTargets(); }

void PortableSetKernelTarget(int64_t target) {
  const std::vector<int64_t> targets = PortableKernelTargets();
  const bool known = std::find(targets.begin(), targets.end(), target) != targets.end();
  background_vector::gForcedTarget = known ? target : 0;
}

void PortableSetKernelReads(PortableKernelReads reads) { background_vector::gForcedReads = reads; }
#endif

#include "tools/icon.h"

#include <cairo.h>

#include <cmath>

#include "tools/curves.h"
#include "tools/ornament.h"
#include "tools/png_write.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

void RoundedSquare(cairo_t* cr, double x, double y, double side, double radius) {
  cairo_new_path(cr);
  cairo_arc(cr, x + side - radius, y + radius, radius, -kPi / 2, 0);
  cairo_arc(cr, x + side - radius, y + side - radius, radius, 0, kPi / 2);
  cairo_arc(cr, x + radius, y + side - radius, radius, kPi / 2, kPi);
  cairo_arc(cr, x + radius, y + radius, radius, kPi, 3 * kPi / 2);
  cairo_close_path(cr);
}

// The lily drawn on a 16-unit grid for the small icons: three bold petals, a calyx, a
// stem and two leaves, each shape a pixel or more wide with a pixel of space around the
// centre petal, so that the flower reads at 16 pixels.
void DrawBoldLily(cairo_t* cr) {
  for (double side : {-1.0, 1.0}) {
    cairo_save(cr);
    cairo_translate(cr, 8, 0);
    cairo_scale(cr, side, 1);
    FillAlong(cr, Scroll({0.9, 9.2}, -62, 7.2, 0.0, 0.42, 1.6, 64), {0.9, 1.35, 0.35, 0});
    FillAlong(cr, Scroll({0.5, 13.6}, -18, 5.6, 0.0, 0.30, 1.5, 64), {0.5, 1.15, 0.4, 0});
    cairo_restore(cr);
  }
  cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
  FillAlong(cr, Cubic({8, 9.6}, {8, 7}, {8, 4}, {8, 1.0}, 32), {2.0, 2.1, 0.35, 0.4});
  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  FillAlong(cr, Cubic({8, 9.6}, {8, 7}, {8, 4}, {8, 1.0}, 32), {1.0, 1.45, 0.35, 0});
  FillAlong(cr, Cubic({8, 10}, {8, 12}, {8, 13.5}, {8, 15.2}, 16), {0.6, 0.6, 0.5, 0.6});
  cairo_save(cr);
  cairo_translate(cr, 8, 10.2);
  cairo_scale(cr, 2.9, 1.0);
  cairo_new_path(cr);
  cairo_arc(cr, 0, 0, 1, 0, 2 * kPi);
  cairo_restore(cr);
  cairo_fill(cr);
}

void PutU16(std::vector<uint8_t>& out, unsigned v) {
  out.push_back((uint8_t)v);
  out.push_back((uint8_t)(v >> 8));
}

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  PutU16(out, v & 0xFFFF);
  PutU16(out, v >> 16);
}

}  // namespace

std::vector<uint8_t> DrawIcon(int size) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
  cairo_t* cr = cairo_create(surface);
  const double s = size;

  // Dark maroon tile, a little lighter behind the flower.
  RoundedSquare(cr, 0, 0, s, s * 0.16);
  cairo_pattern_t* ground = cairo_pattern_create_radial(s * 0.5, s * 0.42, 0, s * 0.5, s * 0.5, s * 0.75);
  cairo_pattern_add_color_stop_rgb(ground, 0, 0.36, 0.06, 0.10);
  cairo_pattern_add_color_stop_rgb(ground, 1, 0.18, 0.02, 0.05);
  cairo_set_source(cr, ground);
  cairo_fill(cr);
  cairo_pattern_destroy(ground);

  // The motif in red tones, brighter at the flower than at the stem. Small icons show a
  // bold lily fitted to the pixel grid, large ones the ornament's own motif.
  const bool small = size < 128;
  cairo_push_group(cr);
  cairo_pattern_t* red = cairo_pattern_create_linear(0, 0, 0, s);
  cairo_pattern_add_color_stop_rgb(red, 0, 1.00, 0.36, 0.32);
  cairo_pattern_add_color_stop_rgb(red, 0.5, 0.92, 0.16, 0.18);
  cairo_pattern_add_color_stop_rgb(red, 1, 0.70, 0.08, 0.12);
  cairo_set_source(cr, red);
  if (small) {
    cairo_scale(cr, s / 16.0, s / 16.0);
    DrawBoldLily(cr);
  } else {
    cairo_translate(cr, s * 0.5, s * 0.53);
    cairo_scale(cr, s / 960.0, s / 960.0);
    DrawLilyMotif(cr);
  }
  cairo_pattern_destroy(red);
  cairo_pop_group_to_source(cr);
  RoundedSquare(cr, 0, 0, s, s * 0.16);
  cairo_clip(cr);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_flush(surface);

  std::vector<uint8_t> rgba((size_t)size * size * 4);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      // Cairo stores premultiplied 0xAARRGGBB words; icons want straight alpha.
      const uint32_t argb = *(const uint32_t*)(data + y * stride + x * 4);
      const unsigned a = argb >> 24;
      uint8_t* p = &rgba[((size_t)y * size + x) * 4];
      for (int ch = 0; ch < 3; ++ch) {
        const unsigned c = (argb >> (16 - 8 * ch)) & 0xFF;
        p[ch] = (uint8_t)(a ? (c * 255 + a / 2) / a : 0);
      }
      p[3] = (uint8_t)a;
    }
  }
  cairo_surface_destroy(surface);
  return rgba;
}

std::vector<uint8_t> MakeIconFile() {
  std::vector<std::vector<uint8_t>> images;
  for (int size : kIconSizes) images.push_back(EncodePng(DrawIcon(size).data(), size, size, 4));

  std::vector<uint8_t> out;
  PutU16(out, 0);  // reserved
  PutU16(out, 1);  // type: icon
  PutU16(out, (unsigned)images.size());
  uint32_t offset = (uint32_t)(6 + 16 * images.size());
  for (size_t i = 0; i < images.size(); ++i) {
    const int size = kIconSizes[i];
    out.push_back((uint8_t)(size >= 256 ? 0 : size));  // 0 stands for 256
    out.push_back((uint8_t)(size >= 256 ? 0 : size));
    out.push_back(0);  // no palette
    out.push_back(0);
    PutU16(out, 1);   // colour planes
    PutU16(out, 32);  // bits per pixel
    PutU32(out, (uint32_t)images[i].size());
    PutU32(out, offset);
    offset += (uint32_t)images[i].size();
  }
  for (const auto& image : images) out.insert(out.end(), image.begin(), image.end());
  return out;
}

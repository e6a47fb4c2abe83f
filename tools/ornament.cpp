#include "tools/ornament.h"

#include <cmath>
#include <functional>

#include "tools/curves.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRepeat = 2048.0;
constexpr double kCell = 512.0;  // half the height of a lattice cell

// Fills a shape with a thin empty gap around it first, so that overlapping petals and
// leaves stay apart as in a woven damask instead of merging into one blot.
void Layered(cairo_t* cr, const Poly& line, Taper taper, double gap) {
  cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
  FillAlong(cr, line, {taper.h0 + gap, taper.hmax + gap, taper.peak, taper.h1 + gap});
  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  FillAlong(cr, line, taper);
}

void Cut(cairo_t* cr, const Poly& line, Taper taper) {
  cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
  FillAlong(cr, line, taper);
  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
}

void Disc(cairo_t* cr, Pt c, double r) {
  cairo_new_path(cr);
  cairo_arc(cr, c.x, c.y, r, 0, 2 * kPi);
  cairo_fill(cr);
}

// Draws `half` and its mirror image about the vertical axis through the origin.
void Mirrored(cairo_t* cr, const std::function<void()>& half) {
  half();
  cairo_save(cr);
  cairo_scale(cr, -1, 1);
  half();
  cairo_restore(cr);
}

// A pointed leaf along `line` with its mid-rib and side veins cut out.
void VeinedLeaf(cairo_t* cr, const Poly& line, double width, double gap, int veins) {
  const Taper shape{width * 0.18, width, 0.42, 0};
  Layered(cr, line, shape, gap);
  Cut(cr, Sub(line, 0.06, 0.86), {1.6, 2.6, 0.3, 0.3});
  for (int i = 0; i < veins; ++i) {
    // Veins branch from the rib on alternate sides, leaning towards the tip.
    const double t = 0.22 + 0.56 * i / (veins > 1 ? veins - 1 : 1);
    const Pt p = PointAt(line, t), d = DirectionAt(line, t);
    const double reach = 0.7 * shape.At(t), side = i % 2 ? 1.0 : -1.0;
    const Pt end{p.x + reach * (0.8 * d.x - side * d.y), p.y + reach * (0.8 * d.y + side * d.x)};
    Cut(cr, Cubic(p, {(p.x + end.x) / 2, (p.y + end.y) / 2}, end, end, 8), {1.6, 1.6, 0.5, 0.3});
  }
}

// A lily petal: a pointed shape with a hollow centre and a rib, like an outlined petal.
void Petal(cairo_t* cr, const Poly& line, double width, double gap, bool hollow) {
  Layered(cr, line, {width * 0.3, width, 0.38, 0}, gap);
  if (!hollow) return;
  Cut(cr, Sub(line, 0.1, 0.8), {0, width * 0.5, 0.4, 0});
  FillAlong(cr, Sub(line, 0.12, 0.72), {1.5, 3.0, 0.4, 0.2});
}

// A thin tendril ending in a tight curl.
void Tendril(cairo_t* cr, Pt start, double heading, double length, double curl, double width) {
  FillAlong(cr, Scroll(start, heading, length, 0.0, curl, 2.0), {width, width, 0.3, width * 0.35});
}

void DrawFlowerHead(cairo_t* cr) {
  // Outer petals flare outwards and droop at the tips, inner petals rise beside the centre.
  Mirrored(cr, [&] {
    Petal(cr, Scroll({14, -40}, -58, 290, 0.0, 0.018, 1.3), 28, 7, true);
    Petal(cr, Scroll({6, -60}, -84, 270, 0.0, 0.009, 1.5), 20, 6, true);
  });
  Petal(cr, Cubic({0, -40}, {0, -160}, {0, -280}, {0, -410}), 36, 8, true);
  // Stamens between the petals, ending in seeds.
  Mirrored(cr, [&] {
    const Poly stamen = Scroll({4, -70}, -72, 150, 0.0, 0.012);
    Layered(cr, stamen, {2.5, 3.0, 0.5, 2.0}, 4);
    Disc(cr, stamen.back(), 8);
  });
  // Calyx and sepals curling down under the flower.
  cairo_save(cr);
  cairo_translate(cr, 0, -26);
  cairo_scale(cr, 40, 22);
  cairo_new_path(cr);
  cairo_arc(cr, 0, 0, 1, 0, 2 * kPi);
  cairo_restore(cr);
  cairo_fill(cr);
  Mirrored(cr, [&] { FillAlong(cr, Scroll({24, -24}, 35, 70, 0.0, 0.03), {9, 10, 0.3, 2}); });
}

void DrawStemAndLeaves(cairo_t* cr) {
  FillAlong(cr, Cubic({0, -10}, {0, 100}, {0, 200}, {0, 300}), {8, 9, 0.5, 10});
  Mirrored(cr, [&] {
    // The large leaves rise from the stem, bend outwards and droop at the tips.
    const Poly leaf = Scroll({6, 150}, -28, 320, -0.005, 0.013, 1.3);
    VeinedLeaf(cr, leaf, 34, 7, 4);
    // Volutes at the foot of the stem, winding up into spirals, each with a small leaf.
    const Poly volute = Scroll({0, 300}, 18, 270, 0.0, -0.075, 2.0);
    FillAlong(cr, volute, {7, 7, 0.2, 3});
    const Pt p = PointAt(volute, 0.3), d = DirectionAt(volute, 0.3);
    const double heading = std::atan2(d.y, d.x) * 180 / kPi;
    VeinedLeaf(cr, Scroll(p, heading + 55, 110, 0.0, -0.01), 18, 5, 2);
    // A dotted spiral under each leaf.
    DotsAlong(cr, Scroll({40, 215}, 5, 230, -0.004, -0.055, 2.0), 15, 6.0, 2.5, 6);
  });
}

// Where four cells of the lattice meet: a small crowned rosette.
void DrawRosette(cairo_t* cr) {
  Mirrored(cr, [&] {
    Petal(cr, Scroll({6, -20}, -70, 80, 0.0, 0.02), 13, 5, false);
    Petal(cr, Scroll({6, 20}, 70, 80, 0.0, -0.02), 13, 5, false);
    FillAlong(cr, Scroll({20, 0}, 0, 80, 0.0, 0.1, 1.8), {5, 5, 0.3, 2.5});
  });
  Disc(cr, {0, 0}, 20);
  cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
  Disc(cr, {0, 0}, 11);
  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  Disc(cr, {0, 0}, 6);
}

// A quarter of a cell's outline in the ogee lattice: the wavy vine x = w(y) from the
// cell's top tip (w = 0) down to its waist (w = 512, where it meets the next cell's tip),
// with a leaf and a tendril. The quarters below the waist are drawn by the cells there.
void DrawFrameVine(cairo_t* cr) {
  Poly vine;
  for (int i = 0; i <= 128; ++i) {
    const double y = -kCell + kCell * i / 128;
    vine.push_back({256 + 256 * std::cos(kPi * y / kCell), y});
  }
  FillAlong(cr, vine, {3.7, 4.3, 0.5, 3.7});
  const Pt p = PointAt(vine, 0.45), d = DirectionAt(vine, 0.45);
  const double heading = std::atan2(d.y, d.x) * 180 / kPi;
  Layered(cr, Scroll(p, heading - 45, 130, 0, -0.008), {3, 21, 0.4, 0}, 4);
  Tendril(cr, PointAt(vine, 0.62), heading + 40, 150, 0.09, 2.2);
}

// The second motif, in the cells between the lilies: a palmette of pointed petals fanning
// out of a seed pod, on a short stem with volutes, under a dotted arch.
void DrawPalmette(cairo_t* cr) {
  const Pt centre{0, 40};
  FillAlong(cr, Cubic({0, 100}, {0, 170}, {0, 240}, {0, 310}), {7, 8, 0.5, 9});
  Mirrored(cr, [&] {
    const double angles[4] = {-90, -68, -46, -24}, lengths[4] = {330, 300, 245, 180};
    for (int i = 3; i >= 0; --i) {
      // Outer petals first, so that the inner ones lie over them with a gap.
      const double rad = angles[i] * kPi / 180;
      const Pt start{centre.x + 30 * std::cos(rad), centre.y + 30 * std::sin(rad)};
      const Poly petal = Scroll(start, angles[i], lengths[i], 0.0, i == 0 ? 0.0 : 0.006 + 0.002 * i, 1.5);
      Petal(cr, petal, i == 0 ? 32 : 29 - 3 * i, 6, i < 2);
    }
    // Volutes under the pod, a small leaf on the stem and the dotted arch.
    FillAlong(cr, Scroll({0, 120}, 10, 230, 0.0, -0.08, 2.0), {7, 6, 0.2, 3});
    Layered(cr, Scroll({4, 240}, 40, 120, 0.0, -0.012), {3, 18, 0.42, 0}, 5);
    Poly arch;
    for (int k = 0; k <= 48; ++k) {
      const double a = (-90 + 55 * k / 48.0) * kPi / 180;
      arch.push_back({centre.x + 360 * std::cos(a), centre.y + 360 * std::sin(a)});
    }
    DotsAlong(cr, arch, 19, 6.5, 3.5, 0);
  });
  // The seed pod: an outlined oval filled with seeds.
  cairo_save(cr);
  cairo_translate(cr, centre.x, centre.y);
  cairo_scale(cr, 50, 62);
  cairo_new_path(cr);
  cairo_arc(cr, 0, 0, 1, 0, 2 * kPi);
  cairo_restore(cr);
  cairo_fill(cr);
  cairo_save(cr);
  cairo_translate(cr, centre.x, centre.y);
  cairo_scale(cr, 38, 50);
  cairo_new_path(cr);
  cairo_arc(cr, 0, 0, 1, 0, 2 * kPi);
  cairo_restore(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
  cairo_fill(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  for (int row = -2; row <= 2; ++row)
    for (int col = -1; col <= 1; ++col)
      if (std::abs(row) + std::abs(col) < 3) Disc(cr, {centre.x + 20.0 * col + (row % 2 ? 10 : 0), centre.y + 18.0 * row}, 6.5);
}

// Lilies in every other column of cells, palmettes in the columns between.
void DrawCell(cairo_t* cr, bool lily) {
  if (lily) {
    DrawStemAndLeaves(cr);
    DrawFlowerHead(cr);
  } else {
    DrawPalmette(cr);
  }
}

}  // namespace

void DrawLilyMotif(cairo_t* cr) {
  DrawStemAndLeaves(cr);
  DrawFlowerHead(cr);
}

std::vector<uint8_t> DrawWallOrnament(int size) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, size, size);
  cairo_t* cr = cairo_create(surface);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_GOOD);
  cairo_scale(cr, size / kRepeat, size / kRepeat);
  cairo_set_source_rgba(cr, 1, 1, 1, 1);

  // Cells in a half-drop: columns 512 apart, every other column dropped by half a cell.
  // Each is drawn with its copies one repeat away so that shapes crossing an edge wrap.
  for (int pass = 0; pass < 3; ++pass) {
    for (int col = 0; col < 4; ++col) {
      for (int row = 0; row < 2; ++row) {
        const double cx = col * kCell, cy = row * 2 * kCell + (col % 2) * kCell;
        for (int dx = -1; dx <= 1; ++dx) {
          for (int dy = -1; dy <= 1; ++dy) {
            cairo_save(cr);
            cairo_translate(cr, cx + dx * kRepeat, cy + dy * kRepeat);
            if (pass == 0) {
              DrawFrameVine(cr);
              cairo_scale(cr, -1, 1);
              DrawFrameVine(cr);
            } else if (pass == 1) {
              DrawCell(cr, col % 2 == 0);
            } else {
              cairo_translate(cr, 0, -kCell);
              DrawRosette(cr);
            }
            cairo_restore(cr);
          }
        }
      }
    }
  }
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  std::vector<uint8_t> coverage((size_t)size * size);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) coverage[(size_t)y * size + x] = data[y * stride + x];
  cairo_surface_destroy(surface);
  return coverage;
}

#include "tools/curves.h"

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

std::vector<double> ArcLengths(const Poly& line) {
  std::vector<double> s(line.size(), 0.0);
  for (size_t i = 1; i < line.size(); ++i)
    s[i] = s[i - 1] + std::hypot(line[i].x - line[i - 1].x, line[i].y - line[i - 1].y);
  return s;
}

Pt Normalised(double x, double y) {
  const double l = std::hypot(x, y);
  return l > 0 ? Pt{x / l, y / l} : Pt{1, 0};
}

}  // namespace

Poly Cubic(Pt p0, Pt p1, Pt p2, Pt p3, int steps) {
  Poly out;
  for (int i = 0; i <= steps; ++i) {
    const double t = (double)i / steps, u = 1 - t;
    const double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
    out.push_back({a * p0.x + b * p1.x + c * p2.x + d * p3.x,
                   a * p0.y + b * p1.y + c * p2.y + d * p3.y});
  }
  return out;
}

Poly Scroll(Pt start, double headingDeg, double length, double k0, double k1, double power,
            int steps) {
  Poly out{start};
  double heading = headingDeg * kPi / 180.0;
  const double ds = length / steps;
  Pt p = start;
  for (int i = 0; i < steps; ++i) {
    // Midpoint rule: the curvature and heading at the middle of the step.
    const double s = (i + 0.5) / steps;
    const double k = k0 + (k1 - k0) * std::pow(s, power);
    const double mid = heading + 0.5 * k * ds;
    p = {p.x + ds * std::cos(mid), p.y + ds * std::sin(mid)};
    heading += k * ds;
    out.push_back(p);
  }
  return out;
}

Poly Join(Poly a, const Poly& b) {
  size_t first = 0;
  if (!a.empty() && !b.empty() && std::hypot(a.back().x - b[0].x, a.back().y - b[0].y) < 1e-6)
    first = 1;
  a.insert(a.end(), b.begin() + (long)first, b.end());
  return a;
}

double Taper::At(double t) const {
  if (t <= peak) {
    const double u = peak > 0 ? t / peak : 1.0;
    return h0 + (hmax - h0) * std::sin(0.5 * kPi * u);
  }
  const double u = (t - peak) / (1.0 - peak);
  return h1 + (hmax - h1) * std::cos(0.5 * kPi * u);
}

void FillAlong(cairo_t* cr, const Poly& line, Taper taper) {
  if (line.size() < 2) return;
  const std::vector<double> s = ArcLengths(line);
  const double total = s.back();
  const size_t n = line.size();
  std::vector<Pt> left(n), right(n);
  for (size_t i = 0; i < n; ++i) {
    const Pt& a = line[i == 0 ? 0 : i - 1];
    const Pt& b = line[i + 1 == n ? n - 1 : i + 1];
    const Pt d = Normalised(b.x - a.x, b.y - a.y);
    const double h = taper.At(s[i] / total);
    left[i] = {line[i].x - d.y * h, line[i].y + d.x * h};
    right[i] = {line[i].x + d.y * h, line[i].y - d.x * h};
  }
  cairo_new_path(cr);
  cairo_move_to(cr, left[0].x, left[0].y);
  for (size_t i = 1; i < n; ++i) cairo_line_to(cr, left[i].x, left[i].y);
  for (size_t i = n; i-- > 0;) cairo_line_to(cr, right[i].x, right[i].y);
  cairo_close_path(cr);
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
  cairo_fill(cr);
  // Round caps where the shape ends with a width, so vines end softly.
  for (const auto& [index, h] : {std::pair{size_t{0}, taper.h0}, std::pair{n - 1, taper.h1}}) {
    if (h < 0.5) continue;
    cairo_arc(cr, line[index].x, line[index].y, h, 0, 2 * kPi);
    cairo_fill(cr);
  }
}

void DotsAlong(cairo_t* cr, const Poly& line, double spacing, double r0, double r1,
               double offset) {
  const double total = Length(line);
  for (double d = offset; d <= total + 1e-9; d += spacing) {
    const double t = total > 0 ? d / total : 0;
    const Pt p = PointAt(line, t);
    cairo_new_path(cr);
    cairo_arc(cr, p.x, p.y, r0 + (r1 - r0) * t, 0, 2 * kPi);
    cairo_fill(cr);
  }
}

double Length(const Poly& line) { return line.size() < 2 ? 0.0 : ArcLengths(line).back(); }

namespace {

// Index of the segment holding fraction t, and the fraction within it.
std::pair<size_t, double> Locate(const Poly& line, double t) {
  const std::vector<double> s = ArcLengths(line);
  const double target = t * s.back();
  size_t i = 1;
  while (i + 1 < s.size() && s[i] < target) ++i;
  const double seg = s[i] - s[i - 1];
  return {i, seg > 0 ? (target - s[i - 1]) / seg : 0.0};
}

}  // namespace

Pt PointAt(const Poly& line, double t) {
  if (line.size() < 2) return line.empty() ? Pt{0, 0} : line[0];
  const auto [i, f] = Locate(line, t);
  return {line[i - 1].x + (line[i].x - line[i - 1].x) * f,
          line[i - 1].y + (line[i].y - line[i - 1].y) * f};
}

Pt DirectionAt(const Poly& line, double t) {
  if (line.size() < 2) return {1, 0};
  const size_t i = Locate(line, t).first;
  return Normalised(line[i].x - line[i - 1].x, line[i].y - line[i - 1].y);
}

Poly Sub(const Poly& line, double t0, double t1, int steps) {
  Poly out;
  for (int i = 0; i <= steps; ++i) out.push_back(PointAt(line, t0 + (t1 - t0) * i / steps));
  return out;
}

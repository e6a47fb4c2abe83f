// Centre lines and the filled shapes built along them: every petal, leaf, vine and
// tendril of the ornament is a polyline with a width profile.
#pragma once

#include <cairo.h>

#include <vector>

struct Pt {
  double x, y;
};

using Poly = std::vector<Pt>;

// A cubic Bezier curve sampled at `steps` + 1 points.
Poly Cubic(Pt p0, Pt p1, Pt p2, Pt p3, int steps = 64);

// A curve grown from `start` in direction `headingDeg` (0 = right, 90 = down, the
// drawing's y axis points down) whose curvature goes from k0 to k1 along its length,
// reaching k1 as (s / length)^power: a scroll that winds up into a spiral when k1 is large.
Poly Scroll(Pt start, double headingDeg, double length, double k0, double k1, double power = 1.0,
            int steps = 160);

// `b` appended to `a`, dropping b's first point when it repeats a's last one.
Poly Join(Poly a, const Poly& b);

// Half-width profile of a shape along its centre line: h0 at the start, hmax at
// `peak` (0..1 of the length), h1 at the end, with rounded transitions.
struct Taper {
  double h0, hmax, peak, h1;
  double At(double t) const;
};

// Fills the outline of the centre line widened by the taper.
void FillAlong(cairo_t* cr, const Poly& line, Taper taper);

// Round dots along the centre line every `spacing` units of length, radius going from
// r0 to r1; the first dot sits `offset` units in.
void DotsAlong(cairo_t* cr, const Poly& line, double spacing, double r0, double r1,
               double offset = 0.0);

// Point at fraction t (0..1) of the line's length, and the unit direction there.
Pt PointAt(const Poly& line, double t);
Pt DirectionAt(const Poly& line, double t);
double Length(const Poly& line);

// The part of the line between fractions t0 and t1 of its length.
Poly Sub(const Poly& line, double t0, double t1, int steps = 64);

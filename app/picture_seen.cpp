// The decision whether the picture is seen, and the exact measure of a rectangle covered by
// a union of rectangles, which the decision's last rule needs.
#include "app/picture_seen.h"

#include <algorithm>

namespace {

int64_t Area(const RECT& r) {
  return r.right > r.left && r.bottom > r.top ? (int64_t)(r.right - r.left) * (r.bottom - r.top)
                                              : 0;
}

RECT Clip(const RECT& r, const RECT& to) {
  return {std::max(r.left, to.left), std::max(r.top, to.top), std::min(r.right, to.right),
          std::min(r.bottom, to.bottom)};
}

// A window wholly off the screen leaves nothing to measure; it is drawn as it was before
// anything was measured, since no window of another program can be what hides it.
bool MostlyCovered(const RECT& area, const std::vector<RECT>& covers) {
  return Area(area) > 0 && CoveredArea(area, covers) * 100 >= Area(area) * kCoveredPercent;
}

}  // namespace

SeenVerdict PictureSeen(const SeenInputs& in) {
  if (in.displayOff) return UnseenDisplayOff;
  if (in.suspending) return UnseenSuspending;
  if (in.sessionLocked || in.consoleDisconnected) return UnseenSessionAway;
  if (in.otherFullScreen) return UnseenOtherFullScreen;
  if (MostlyCovered(in.area, in.covers)) return UnseenCovered;
  return Seen;
}

// Columns between consecutive vertical edges; in each, the spans of the rectangles that
// cross it, merged. A few hundred windows at most, so the square cost does not matter.
int64_t CoveredArea(const RECT& area, const std::vector<RECT>& rects) {
  std::vector<RECT> inside;
  for (const RECT& r : rects)
    if (Area(Clip(r, area)) > 0) inside.push_back(Clip(r, area));
  std::vector<LONG> edges;
  for (const RECT& r : inside) edges.insert(edges.end(), {r.left, r.right});
  std::sort(edges.begin(), edges.end());
  edges.erase(std::unique(edges.begin(), edges.end()), edges.end());

  int64_t covered = 0;
  std::vector<std::pair<LONG, LONG>> spans;
  for (size_t i = 0; i + 1 < edges.size(); ++i) {
    spans.clear();
    for (const RECT& r : inside)
      if (r.left <= edges[i] && r.right >= edges[i + 1]) spans.push_back({r.top, r.bottom});
    std::sort(spans.begin(), spans.end());
    int64_t height = 0;
    LONG reached = area.top;
    for (auto [top, bottom] : spans) {
      top = std::max(top, reached);
      if (bottom > top) height += bottom - top, reached = bottom;
    }
    covered += height * (edges[i + 1] - edges[i]);
  }
  return covered;
}

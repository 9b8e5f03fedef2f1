// 3D line segments: Liang-Barsky clipping in clip space, then a DDA that
// steps one whole pixel at a time along the longer axis.
#include <cmath>

#include "render3d/convert.h"
#include "render3d/render3d.h"

bool clipLineParameter(float p, float q, float& tE, float& tL) {
  if (p > 0) {
    const float r = q / p;  // entering
    if (r > tL) return false;
    if (r > tE) tE = r;
    return true;
  }
  if (p < 0) {
    const float r = q / p;  // leaving
    if (r < tE) return false;
    if (r < tL) tL = r;
    return true;
  }
  return q <= 0;  // parallel: kept when on or inside the plane
}

bool clipLine(Vec4& a, Vec4& b) {
  if (insideClipVolume(a) && insideClipVolume(b)) return true;
  const Vec4 d = {b.x - a.x, b.y - a.y, b.z - a.z, b.w - a.w};
  float tE = 0, tL = 1;
  // The last plane is z <= w, not the triangles' z <= 0: lines use no depth,
  // so points between the near plane and the eye may stay.
  if (!clipLineParameter(d.x + d.w, -(a.x + a.w), tE, tL)) return false;
  if (!clipLineParameter(d.w - d.x, a.x - a.w, tE, tL)) return false;
  if (!clipLineParameter(d.y + d.w, -(a.y + a.w), tE, tL)) return false;
  if (!clipLineParameter(d.w - d.y, a.y - a.w, tE, tL)) return false;
  if (!clipLineParameter(d.z + d.w, -(a.z + a.w), tE, tL)) return false;
  if (!clipLineParameter(d.w - d.z, a.z - a.w, tE, tL)) return false;
  auto along = [&](float t) {
    return Vec4{float(a.x + double(t) * d.x), float(a.y + double(t) * d.y), float(a.z + double(t) * d.z),
                float(a.w + double(t) * d.w)};
  };
  if (tL < 1) b = along(tL);  // from A as it was
  if (tE > 0) a = along(tE);
  return true;
}

namespace {

// Walks the major coordinate from trunc(start) one unit at a time towards
// `end` (upwards while below it, downwards while at or above it), the minor
// coordinate from `minor` by `step`, and sets the pixel at the minor
// coordinate rounded half up. Lines the Rasterizer clipped stay on the
// target; for any other input the walk is limited to the target's extent
// and pixels off it are dropped.
void walkLine(float start, float end, bool upwards, float minor, float step, bool majorIsRow, uint32_t colour,
              PixelSurface& target) {
  const double majorSize = majorIsRow ? target.height : target.width;
  const double minorSize = majorIsRow ? target.width : target.height;
  double i = std::trunc(double(start));
  if (upwards) {
    if (!(i < majorSize)) return;
    if (i < 0) {
      minor = float(minor + (0 - i) * double(step));
      i = 0;
    }
  } else {
    if (!(i >= 0)) return;
    if (i > majorSize - 1) {
      minor = float(minor + (i - (majorSize - 1)) * double(step));
      i = majorSize - 1;
    }
  }
  int64_t major = int64_t(i);
  const int64_t direction = upwards ? 1 : -1;
  while (upwards ? (double(major) < end && double(major) < majorSize) : (double(major) >= end && major >= 0)) {
    const double m = double(minor) + 0.5;
    if (truncatesToIndexBelow(m, minorSize)) {
      const size_t row = majorIsRow ? size_t(major) : size_t(uint32_t(m));
      const size_t column = majorIsRow ? size_t(uint32_t(m)) : size_t(major);
      target.pixels[row * target.width + column] = colour;
    }
    major += direction;
    minor += step;
  }
}

}  // namespace

void plotLine(Vec4 a, Vec4 b, uint32_t colour, PixelSurface& target) {
  const float dx = b.x - a.x;
  const float dy = b.y - a.y;
  if (std::fabs(dx) <= std::fabs(dy)) {
    if (a.y < b.y) {
      walkLine(a.y, b.y, true, a.x, dx / dy, true, colour, target);
    } else {
      walkLine(a.y, b.y, false, a.x, dx / (a.y - b.y), true, colour, target);
    }
  } else if (a.x < b.x) {
    walkLine(a.x, b.x, true, a.y, dy / dx, false, colour, target);
  } else {
    walkLine(a.x, b.x, false, a.y, dy / (a.x - b.x), false, colour, target);
  }
}

void Rasterizer::drawLine(Vec3 a, Vec3 b, float red, float green, float blue) {
  const Matrix4 m = projection * view * model;
  Vec4 from = transformPoint(m, a);
  Vec4 to = transformPoint(m, b);
  if (!clipLine(from, to)) return;
  from = toScreen(perspectiveDivide(from), viewport);
  to = toScreen(perspectiveDivide(to), viewport);
  PixelSurface surface = *target;
  plotLine(from, to, packColour(red, green, blue), surface);
}

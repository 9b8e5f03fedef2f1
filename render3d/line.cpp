// 3D line segments: Liang-Barsky clipping in clip space, then a DDA that
// steps one whole pixel at a time along the longer axis.
#include <cmath>

#include "render3d/convert.h"
#include "render3d/pipeline.h"
#include "render3d/render3d.h"

bool clipLineParameter(double p, double q, float& tE, float& tL) {
  // The ratio is compared unrounded; only the parameter kept is a float.
  if (p > 0) {
    const double r = q / p;  // entering
    if (r > tL) return false;
    if (r > tE) tE = float(r);
    return true;
  }
  if (p < 0) {
    const double r = q / p;  // leaving
    if (r < tE) return false;
    if (r < tL) tL = float(r);
    return true;
  }
  return q <= 0;  // parallel: kept when on or inside the plane
}

bool clipLine(Vec4& a, Vec4& b) {
  if (insideClipVolume(a) && insideClipVolume(b)) return true;
  // The differences and the sums of each plane in double.
  const double ax = a.x, ay = a.y, az = a.z, aw = a.w;
  const double dx = double(b.x) - ax, dy = double(b.y) - ay, dz = double(b.z) - az, dw = double(b.w) - aw;
  float tE = 0, tL = 1;
  // The last plane is z <= w, not the triangles' z <= 0: lines use no depth,
  // so points between the near plane and the eye may stay.
  if (!clipLineParameter(dx + dw, -(ax + aw), tE, tL)) return false;
  if (!clipLineParameter(dw - dx, ax - aw, tE, tL)) return false;
  if (!clipLineParameter(dy + dw, -(ay + aw), tE, tL)) return false;
  if (!clipLineParameter(dw - dy, ay - aw, tE, tL)) return false;
  if (!clipLineParameter(dz + dw, -(az + aw), tE, tL)) return false;
  if (!clipLineParameter(dw - dz, az - aw, tE, tL)) return false;
  auto along = [&](float t) {
    return Vec4{float(ax + t * dx), float(ay + t * dy), float(az + t * dz), float(aw + t * dw)};
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
void walkLine(float start, float end, bool upwards, double minor, double step, bool majorIsRow, uint32_t colour,
              PixelSurface& target) {
  const double majorSize = majorIsRow ? target.height : target.width;
  const double minorSize = majorIsRow ? target.width : target.height;
  double i = std::trunc(double(start));
  if (upwards) {
    if (!(i < majorSize)) return;
    if (i < 0) {
      minor += (0 - i) * step;
      i = 0;
    }
  } else {
    if (!(i >= 0)) return;
    if (i > majorSize - 1) {
      minor += (i - (majorSize - 1)) * step;
      i = majorSize - 1;
    }
  }
  int64_t major = int64_t(i);
  const int64_t direction = upwards ? 1 : -1;
  while (upwards ? (double(major) < end && double(major) < majorSize) : (double(major) >= end && major >= 0)) {
    const double m = minor + 0.5;
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
  // Differences, step and the running minor coordinate in double.
  const double dx = double(b.x) - a.x;
  const double dy = double(b.y) - a.y;
  if (std::fabs(dx) <= std::fabs(dy)) {
    if (a.y < b.y) {
      walkLine(a.y, b.y, true, a.x, dx / dy, true, colour, target);
    } else {
      walkLine(a.y, b.y, false, a.x, dx / (double(a.y) - b.y), true, colour, target);
    }
  } else if (a.x < b.x) {
    walkLine(a.x, b.x, true, a.y, dy / dx, false, colour, target);
  } else {
    walkLine(a.x, b.x, false, a.y, dy / (double(a.x) - b.x), false, colour, target);
  }
}

void Rasterizer::drawLine(Vec3 a, Vec3 b, float red, float green, float blue) {
  const Matrix4& m = clipTransform();
  Vec4 from = transformPoint(m, a);
  Vec4 to = transformPoint(m, b);
  if (!clipLine(from, to)) return;
  from = toScreen(perspectiveDivide(from), viewport);
  to = toScreen(perspectiveDivide(to), viewport);
  PixelSurface surface = *target;
  plotLine(from, to, packColour(red, green, blue), surface);
}

void Rasterizer::drawLines(const Vec3* vertices, const int32_t (*edges)[2], int32_t edgeCount, float red, float green,
                           float blue) {
  if (edgeCount < 1) return;
  const ScreenMapping mapping(viewport);
  TransformedVertices transformed(vertices, clipTransform(), nullptr, mapping);
  const uint32_t colour = packColour(red, green, blue);
  PixelSurface surface = *target;
  for (int32_t k = 0; k < edgeCount; ++k) {
    const int32_t i0 = edges[k][0], i1 = edges[k][1];
    Vec4 from, to;
    if (transformed.inside(i0) && transformed.inside(i1)) {
      // clipLine keeps such a segment as it is: its ends are the vertices'
      // own divided and mapped positions.
      from = transformed.screen(i0);
      to = transformed.screen(i1);
    } else {
      from = transformed.clip(i0);
      to = transformed.clip(i1);
      if (!clipLine(from, to)) continue;
      from = mapping(perspectiveDivide(from));
      to = mapping(perspectiveDivide(to));
    }
    plotLine(from, to, colour, surface);
  }
}

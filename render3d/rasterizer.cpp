// The Rasterizer's front end: vertex transform, culling and flat lighting,
// homogeneous clipping, division, viewport mapping and fan triangulation.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "render3d/convert.h"
#include "render3d/pipeline.h"
#include "render3d/render3d.h"

Vec4 transformPoint(const Matrix4& m, Vec3 p) {
  const double x = p.x, y = p.y, z = p.z;
  const float* e = m.m;
  return {float(e[0] * x + e[4] * y + e[8] * z + e[12]), float(e[1] * x + e[5] * y + e[9] * z + e[13]),
          float(e[2] * x + e[6] * y + e[10] * z + e[14]), float(e[3] * x + e[7] * y + e[11] * z + e[15])};
}

Vec4 transformPoint(const Matrix4& m, Vec4 p) { return transformPoint(m, Vec3{p.x, p.y, p.z}); }

bool insideClipVolume(const Vec4& v) {
  return -v.w < v.x && v.x < v.w && -v.w < v.y && v.y < v.w && v.z < 0 && -v.w < v.z;
}

Vec4 perspectiveDivide(Vec4 v) {
  // The reciprocal in double: a vertex the clipper put on x = -w then divides
  // to exactly -1 and maps exactly onto the first column, where a float
  // reciprocal would leave it a rounding inside or outside.
  const double s = 1.0 / double(v.w);
  v.x = float(v.x * s);
  v.y = float(v.y * s);
  v.z = float(v.z * s);
  v.w = 1;
  return v;
}

// In double so that no viewport, however wide, overflows the integer span.
Vec4 toScreen(Vec4 v, ViewportRect rect) { return ScreenMapping(rect)(v); }

namespace {

uint32_t channelByte(float c) {
  double v = double(c) * 255;
  if (!(v < 255)) v = 255;
  return truncatedLowByte(v);
}

}  // namespace

uint32_t packColour(float r, float g, float b) {
  return 0x01000000u | channelByte(r) << 16 | channelByte(g) << 8 | channelByte(b);
}

// ---------------------------------------------------------------------------
// Clipping

namespace {

bool insidePlane(const Vec4& v, ClipPlane plane) {
  switch (plane) {
    case ClipPlane::leftPlane:
      return -v.w <= v.x;
    case ClipPlane::bottomPlane:
      return -v.w <= v.y;
    case ClipPlane::rightPlane:
      return v.x <= v.w;
    case ClipPlane::topPlane:
      return v.y <= v.w;
    case ClipPlane::farPlane:
      return -v.w <= v.z;
    case ClipPlane::nearPlane:
      return v.z <= 0;
  }
  return false;
}

// How far inside the plane v is (positive inside); the edge from A to B
// crosses the plane at t = d(A) / (d(A) - d(B)).
double planeDistance(const Vec4& v, ClipPlane plane) {
  switch (plane) {
    case ClipPlane::leftPlane:
      return double(v.x) + v.w;
    case ClipPlane::bottomPlane:
      return double(v.y) + v.w;
    case ClipPlane::rightPlane:
      return double(v.w) - v.x;
    case ClipPlane::topPlane:
      return double(v.w) - v.y;
    case ClipPlane::farPlane:
      return double(v.w) + v.z;
    case ClipPlane::nearPlane:
      return v.z;
  }
  return 0;
}

Vec4 crossing(const Vec4& a, const Vec4& b, ClipPlane plane) {
  // t stays in double: rounded to float it would put the new vertex up to a
  // float step off the plane, and after division off the buffer's edge.
  const double da = planeDistance(a, plane);
  const double t = da / (da - planeDistance(b, plane));
  Vec4 v = {float(a.x + t * (double(b.x) - a.x)), float(a.y + t * (double(b.y) - a.y)),
            float(a.z + t * (double(b.z) - a.z)), float(a.w + t * (double(b.w) - a.w))};
  // Strictly in front of the eye, so that 1/z in the depth filler is finite.
  if (plane == ClipPlane::nearPlane) v.z = -1.1920929e-7f;
  return v;
}

}  // namespace

int clipPolygon(const Vec4* in, int count, Vec4* out, ClipPlane plane) {
  if (count <= 0) return 0;
  int n = 0;
  // A convex polygon gains at most one vertex per plane; rounding or
  // non-numbers could make a degenerate one gain more, and the buffers hold 9.
  auto emit = [&](const Vec4& v) {
    if (n < kMaxPolygonVertices) out[n++] = v;
  };
  Vec4 a = in[count - 1];
  bool aInside = insidePlane(a, plane);
  for (int k = 0; k < count; ++k) {
    const Vec4 b = in[k];
    const bool bInside = insidePlane(b, plane);
    if (bInside) {
      if (!aInside) emit(crossing(a, b, plane));
      emit(b);
    } else if (aInside) {
      emit(crossing(a, b, plane));
    }
    a = b;
    aInside = bInside;
  }
  return n;
}

int clipTriangle(Vec4 v0, Vec4 v1, Vec4 v2, Vec4 (&polygon)[kMaxPolygonVertices],
                 Vec4 (&scratch)[kMaxPolygonVertices]) {
  polygon[0] = v0;
  polygon[1] = v1;
  polygon[2] = v2;
  // Six passes alternate between the buffers and end in `polygon`.
  int n = clipPolygon(polygon, 3, scratch, ClipPlane::leftPlane);
  n = clipPolygon(scratch, n, polygon, ClipPlane::bottomPlane);
  n = clipPolygon(polygon, n, scratch, ClipPlane::rightPlane);
  n = clipPolygon(scratch, n, polygon, ClipPlane::topPlane);
  n = clipPolygon(polygon, n, scratch, ClipPlane::farPlane);
  return clipPolygon(scratch, n, polygon, ClipPlane::nearPlane);
}

void orderConvexPolygon(Vec4* polygon, int count) {
  if (count <= 0) return;
  int leftmost = 0;
  for (int k = 1; k < count; ++k) {
    if (polygon[k].x <= polygon[leftmost].x) leftmost = k;  // the later of equals wins
  }
  std::swap(polygon[0], polygon[leftmost]);
  for (int i = 1; i < count; ++i) {
    const Vec4 f = polygon[i - 1];
    int s = i;
    for (int k = i + 1; k < count; ++k) {
      const Vec4& q = polygon[k];
      const Vec4& sv = polygon[s];
      // Q replaces S when it lies further clockwise seen from F; strict, so
      // of collinear candidates the earlier stays.
      if ((double(q.y) - f.y) * (double(sv.x) - f.x) < (double(sv.y) - f.y) * (double(q.x) - f.x)) s = k;
    }
    std::swap(polygon[i], polygon[s]);
  }
}

// ---------------------------------------------------------------------------
// The Rasterizer

Rasterizer::Rasterizer(PixelSurface& surface, ViewportRect rect)
    : target(&surface), viewport(rect), depthBuffer(nullptr), depthCount_(0) {
  const uint64_t count = uint64_t(surface.width) * surface.height;
  if (count == 0) return;
  if (count > SIZE_MAX / sizeof(float) ||
      !(depthBuffer = static_cast<float*>(std::malloc(size_t(count) * sizeof(float))))) {
    std::fprintf(stderr, "Out of memory: cannot allocate the depth buffer for a %u x %u render buffer\n",
                 unsigned(surface.width), unsigned(surface.height));
    std::exit(EXIT_FAILURE);
  }
  depthCount_ = size_t(count);
}

Rasterizer::~Rasterizer() { std::free(depthBuffer); }

void Rasterizer::clearDepthBuffer() {
  for (size_t i = 0; i < depthCount_; ++i) depthBuffer[i] = 0.0f;
}

PixelSurface Rasterizer::drawableTarget() const {
  PixelSurface surface = *target;
  // A target that grew after construction would outrun the depth buffer.
  if (uint64_t(surface.width) * surface.height > depthCount_) {
    surface.height = surface.width ? uint32_t(depthCount_ / surface.width) : 0;
  }
  return surface;
}

namespace {

bool sameBits(const Matrix4& a, const Matrix4& b) { return std::memcmp(a.m, b.m, sizeof a.m) == 0; }

}  // namespace

const Matrix4& Rasterizer::clipTransform() {
  // Compared bit for bit: equal bits give an equal product, whatever they
  // hold (also -0 against 0, or not-a-number).
  ProductCache& pv = projectionView_;
  if (!pv.valid || !sameBits(pv.left, projection) || !sameBits(pv.right, view)) {
    pv.left = projection;
    pv.right = view;
    pv.product = projection * view;
    pv.valid = true;
    clipTransform_.valid = false;
  }
  ProductCache& pvm = clipTransform_;
  if (!pvm.valid || !sameBits(pvm.right, model)) {
    pvm.left = pv.product;
    pvm.right = model;
    pvm.product = pv.product * model;
    pvm.valid = true;
  }
  return pvm.product;
}

namespace {

// Fills the triangle of three vertices of `transformed`: straight from their
// cached screen positions when all three lie inside the view volume, else
// clipped, divided, mapped and cut into a fan. `fill` receives screen-space
// triangles. The two polygon buffers belong to the caller's draw.
template <typename Fill>
void rasterizeTriangle(TransformedVertices& transformed, int32_t i0, int32_t i1, int32_t i2,
                       const ScreenMapping& mapping, Vec4 (&polygon)[kMaxPolygonVertices],
                       Vec4 (&scratch)[kMaxPolygonVertices], Fill&& fill) {
  // Copies, not references: two indices of one triangle may share a slot.
  if (transformed.inside(i0) && transformed.inside(i1) && transformed.inside(i2)) {
    const Vec4 s0 = transformed.screen(i0), s1 = transformed.screen(i1), s2 = transformed.screen(i2);
    fill(s0, s1, s2);
    return;
  }
  const Vec4 v0 = transformed.clip(i0), v1 = transformed.clip(i1), v2 = transformed.clip(i2);
  const int n = clipTriangle(v0, v1, v2, polygon, scratch);
  if (n < 3) return;
  for (int k = 0; k < n; ++k) polygon[k] = mapping(perspectiveDivide(polygon[k]));
  orderConvexPolygon(polygon, n);
  for (int k = 1; k + 1 < n; ++k) fill(polygon[0], polygon[k], polygon[k + 1]);
}

// Unit vector of (x, y, z), scaled by one reciprocal square root; kept in
// double, as nothing stores it.
struct Direction {
  double x, y, z;
};

Direction normalised(double x, double y, double z) {
  const double scale = 1.0 / std::sqrt(x * x + y * y + z * z);
  return {x * scale, y * scale, z * scale};
}

}  // namespace

void Rasterizer::drawSubtractive(const Vec3* vertices, const int32_t* indices, int32_t indexCount, float r, float g,
                                 float b) {
  if (indexCount < 1) return;
  const Matrix4& m = clipTransform();
  PixelSurface surface = drawableTarget();
  const uint32_t colour = packColour(r, g, b);
  const ScreenMapping mapping(viewport);
  Vec4 polygon[kMaxPolygonVertices];
  Vec4 scratch[kMaxPolygonVertices];
  TransformedVertices transformed(vertices, m, nullptr, mapping);
  // Only whole triples: a count that is not a multiple of 3 must not read
  // past the index array.
  for (int32_t k = 0; k < indexCount - 2; k += 3) {
    rasterizeTriangle(transformed, indices[k], indices[k + 1], indices[k + 2], mapping, polygon, scratch,
                      [&](Vec4 s0, Vec4 s1, Vec4 s2) { fillTriangleSubtract(s0, s1, s2, surface, colour); });
  }
}

void Rasterizer::drawShaded(const Vec3* vertices, const int32_t* indices, int32_t indexCount, float r, float g,
                            float b) {
  const Matrix4 modelView = view * model;
  if (indexCount < 1) return;
  PixelSurface surface = drawableTarget();
  float* depth = depthBuffer;
  const ScreenMapping mapping(viewport);
  Vec4 polygon[kMaxPolygonVertices];
  Vec4 scratch[kMaxPolygonVertices];
  TransformedVertices transformed(vertices, modelView, &projection, mapping);
  for (int32_t k = 0; k < indexCount - 2; k += 3) {
    const int32_t i0 = indices[k], i1 = indices[k + 1], i2 = indices[k + 2];
    const Vec4 e0 = transformed.first(i0);
    const Vec4 e1 = transformed.first(i1);
    const Vec4 e2 = transformed.first(i2);

    // Face normal (E0 - E1) x (E0 - E2): towards the viewer for a triangle
    // that appears counter-clockwise.
    const double ax = double(e0.x) - e1.x, ay = double(e0.y) - e1.y, az = double(e0.z) - e1.z;
    const double bx = double(e0.x) - e2.x, by = double(e0.y) - e2.y, bz = double(e0.z) - e2.z;
    const double nx = ay * bz - az * by, ny = az * bx - ax * bz, nz = ax * by - ay * bx;
    const double px = e2.x, py = e2.y, pz = e2.z;  // from the eye to the third vertex

    // The facing test is d = n . p on the unit vectors n and p: facing away
    // when 0 < d < 1. A back face seen exactly head-on (d reaching 1) and a
    // degenerate one (d not a number) are drawn. The unit vectors cost a
    // square root and a division each, and the test's outcome is plain
    // without them unless the face is seen almost edge-on or head-on: from
    // the unscaled vectors, the squared cosine of their angle comes out
    // within about 1e-15, d itself within a few 1e-15 of the cosine, and the
    // margins here are a million times wider. Lengths far from 1e+-150 (and
    // anything not a number) take the full test.
    const double nn = nx * nx + ny * ny + nz * nz;
    const double pp = px * px + py * py + pz * pz;
    const double np = nx * px + ny * py + nz * pz;
    const double bound = nn * pp;
    const bool plain =
        nn > 1e-150 && nn < 1e150 && pp > 1e-150 && pp < 1e150 && np * np > 1e-12 * bound && np * np < 0.999999 * bound;
    if (plain && np > 0) continue;  // 0 < d < 1
    const Direction n = normalised(nx, ny, nz);
    if (!plain) {
      const Direction p = normalised(px, py, pz);
      const double d = n.x * p.x + n.y * p.y + n.z * p.z;
      if (d > 0 && d < 1) continue;
    }

    // Light along the viewing axis.
    double intensity = n.z;
    if (intensity < 0) intensity = 0;
    const uint32_t colour = packColour(float(r * intensity), float(g * intensity), float(b * intensity));

    rasterizeTriangle(transformed, i0, i1, i2, mapping, polygon, scratch,
                      [&](Vec4 s0, Vec4 s1, Vec4 s2) { fillTriangleDepth(s0, s1, s2, surface, depth, colour); });
  }
}

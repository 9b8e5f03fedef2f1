#include "tools/make_assets/geometry.h"

#include <cmath>
#include <map>
#include <stdexcept>
#include <utility>

#include "tools/make_assets/font.h"

namespace {

// Taylor series about 0, good to the last bit of a double for |r| <= pi/4.
double sinSeries(double r) {
  const double r2 = r * r;
  double sum = 0;
  // Terms r^17/17! down to r^3/3!, evaluated innermost first.
  for (int n = 17; n >= 3; n -= 2) sum = r2 / double(n * (n - 1)) * (1.0 - sum);
  return r * (1.0 - sum);
}

double cosSeries(double r) {
  const double r2 = r * r;
  double sum = 0;
  for (int n = 18; n >= 2; n -= 2) sum = r2 / double(n * (n - 1)) * (1.0 - sum);
  return 1.0 - sum;
}

// x = k * pi/2 + r with |r| <= pi/4; returns r and k mod 4.
double reduce(double x, int& quadrant) {
  const double halfPiHigh = 1.5707963267948966;
  const double halfPiLow = 6.123233995736766e-17;
  const double k = std::floor(x / halfPiHigh + 0.5);
  quadrant = int(k - 4.0 * std::floor(k / 4.0));
  return (x - k * halfPiHigh) - k * halfPiLow;
}

}  // namespace

// Turns the part of the mesh from `firstTriangle` on so that it faces
// outwards. The part must be a closed surface: every edge used once in each
// direction. Anything else is a mistake in the shape code.
void closeSolid(MeshBuilder& mesh, size_t firstTriangle, const char* what) {
  std::map<std::pair<int32_t, int32_t>, int> edges;
  double volume = 0;
  for (size_t t = firstTriangle; t < mesh.triangleCount(); ++t) {
    const int32_t* v = &mesh.indices[3 * t];
    for (int k = 0; k < 3; ++k) ++edges[{v[k], v[(k + 1) % 3]}];
    const P3 a = mesh.vertices[size_t(v[0])], b = mesh.vertices[size_t(v[1])], c = mesh.vertices[size_t(v[2])];
    volume += dot(a, cross(b, c));
  }
  for (const auto& [edge, count] : edges) {
    const auto back = edges.find({edge.second, edge.first});
    if (count != 1 || back == edges.end() || back->second != 1) {
      throw std::logic_error(mesh.name + ": " + what + " is not a closed surface");
    }
  }
  if (volume < 0) {
    for (size_t t = firstTriangle; t < mesh.triangleCount(); ++t) {
      std::swap(mesh.indices[3 * t + 1], mesh.indices[3 * t + 2]);
    }
  }
}

double fixedSin(double x) {
  int q;
  const double r = reduce(x, q);
  switch (q) {
    case 0:
      return sinSeries(r);
    case 1:
      return cosSeries(r);
    case 2:
      return -sinSeries(r);
    default:
      return -cosSeries(r);
  }
}

double fixedCos(double x) {
  int q;
  const double r = reduce(x, q);
  switch (q) {
    case 0:
      return cosSeries(r);
    case 1:
      return -sinSeries(r);
    case 2:
      return -cosSeries(r);
    default:
      return sinSeries(r);
  }
}

P3 normalized(P3 v) {
  const double length = std::sqrt(dot(v, v));
  return length > 0 ? v * (1.0 / length) : v;
}

namespace {
// Rotates vector v in the plane of unit axes a, b by angle (a towards b).
void turn(P3& a, P3& b, double angle) {
  const double c = fixedCos(angle), s = fixedSin(angle);
  const P3 na = a * c + b * s;
  const P3 nb = b * c - a * s;
  a = na;
  b = nb;
}
}  // namespace

Frame rotatedX(const Frame& f, double angle) {
  Frame r = f;
  turn(r.ay, r.az, angle);
  return r;
}

Frame rotatedY(const Frame& f, double angle) {
  Frame r = f;
  turn(r.az, r.ax, angle);
  return r;
}

Frame rotatedZ(const Frame& f, double angle) {
  Frame r = f;
  turn(r.ax, r.ay, angle);
  return r;
}

int32_t MeshBuilder::vertex(P3 p) {
  vertices.push_back(p);
  return int32_t(vertices.size() - 1);
}

void MeshBuilder::triangle(int32_t a, int32_t b, int32_t c) {
  indices.push_back(a);
  indices.push_back(b);
  indices.push_back(c);
}

void MeshBuilder::quad(int32_t a, int32_t b, int32_t c, int32_t d) {
  triangle(a, b, c);
  triangle(a, c, d);
}

void addBox(MeshBuilder& mesh, const Frame& frame, P3 h) {
  const size_t first = mesh.triangleCount();
  int32_t c[8];
  for (int i = 0; i < 8; ++i) {
    c[i] = mesh.vertex(frame.apply({i & 1 ? h.x : -h.x, i & 2 ? h.y : -h.y, i & 4 ? h.z : -h.z}));
  }
  mesh.quad(c[0], c[4], c[6], c[2]);  // -x
  mesh.quad(c[1], c[3], c[7], c[5]);  // +x
  mesh.quad(c[0], c[1], c[5], c[4]);  // -y
  mesh.quad(c[2], c[6], c[7], c[3]);  // +y
  mesh.quad(c[0], c[2], c[3], c[1]);  // -z
  mesh.quad(c[4], c[5], c[7], c[6]);  // +z
  closeSolid(mesh, first, "box");
}

void addTube(MeshBuilder& mesh, P3 a, P3 b, double radius, int sides, double twist) {
  const size_t first = mesh.triangleCount();
  const P3 d = normalized(b - a);
  const P3 reference = std::fabs(d.y) < 0.9 ? P3{0, 1, 0} : P3{1, 0, 0};
  const P3 u = normalized(cross(d, reference));
  const P3 v = cross(d, u);
  std::vector<int32_t> ra, rb;
  for (int i = 0; i < sides; ++i) {
    const double angle = twist + 2 * kPi * i / sides;
    const P3 offset = (u * fixedCos(angle) + v * fixedSin(angle)) * radius;
    ra.push_back(mesh.vertex(a + offset));
    rb.push_back(mesh.vertex(b + offset));
  }
  for (int i = 0; i < sides; ++i) {
    const int j = (i + 1) % sides;
    mesh.quad(ra[size_t(i)], ra[size_t(j)], rb[size_t(j)], rb[size_t(i)]);
  }
  for (int i = 1; i + 1 < sides; ++i) {
    mesh.triangle(ra[0], ra[size_t(i + 1)], ra[size_t(i)]);
    mesh.triangle(rb[0], rb[size_t(i)], rb[size_t(i + 1)]);
  }
  closeSolid(mesh, first, "tube");
}

void addOpenTube(MeshBuilder& mesh, P3 a, P3 b, double radius, int sides, double twist) {
  // Built closed, so that the closed-surface check turns the sides outwards,
  // then its caps, which come last, are dropped.
  const size_t first = mesh.triangleCount();
  addTube(mesh, a, b, radius, sides, twist);
  mesh.indices.resize(3 * (first + 2 * size_t(sides)));
}

void addRevolvedLoop(MeshBuilder& mesh, const Frame& frame, const std::vector<P3>& profile, int segments) {
  const size_t first = mesh.triangleCount();
  const size_t n = profile.size();
  std::vector<int32_t> grid;
  for (int s = 0; s < segments; ++s) {
    const double angle = 2 * kPi * s / segments;
    const double c = fixedCos(angle), sn = fixedSin(angle);
    for (const P3& p : profile) grid.push_back(mesh.vertex(frame.apply({p.x * c, p.y, p.x * sn})));
  }
  auto at = [&](int s, size_t p) { return grid[size_t(s % segments) * n + p % n]; };
  for (int s = 0; s < segments; ++s) {
    for (size_t p = 0; p < n; ++p) mesh.quad(at(s, p), at(s + 1, p), at(s + 1, p + 1), at(s, p + 1));
  }
  closeSolid(mesh, first, "revolved loop");
}

void addBipyramid(MeshBuilder& mesh, const Frame& frame, const std::vector<P3>& outline, double frontZ, double backZ) {
  const size_t first = mesh.triangleCount();
  const int32_t front = mesh.vertex(frame.apply({0, 0, frontZ}));
  const int32_t back = mesh.vertex(frame.apply({0, 0, backZ}));
  std::vector<int32_t> ring;
  for (const P3& p : outline) ring.push_back(mesh.vertex(frame.apply({p.x, p.y, 0})));
  for (size_t i = 0; i < ring.size(); ++i) {
    const int32_t a = ring[i], b = ring[(i + 1) % ring.size()];
    mesh.triangle(front, a, b);
    mesh.triangle(back, b, a);
  }
  closeSolid(mesh, first, "bipyramid");
}

void addFrustum(MeshBuilder& mesh, const P3 bottom[4], const P3 top[4]) {
  const size_t first = mesh.triangleCount();
  int32_t a[4], b[4];
  for (int i = 0; i < 4; ++i) {
    a[i] = mesh.vertex(bottom[i]);
    b[i] = mesh.vertex(top[i]);
  }
  for (int i = 0; i < 4; ++i) {
    const int j = (i + 1) % 4;
    mesh.quad(a[i], a[j], b[j], b[i]);
  }
  mesh.quad(a[3], a[2], a[1], a[0]);
  mesh.quad(b[0], b[1], b[2], b[3]);
  closeSolid(mesh, first, "frustum");
}

void addFlatRing(MeshBuilder& mesh, const Frame& frame, double r0, double r1, int segments,
                 std::vector<int32_t>* innerOut, std::vector<int32_t>* outerOut) {
  std::vector<int32_t> inner, outer;
  for (int s = 0; s < segments; ++s) {
    const double angle = 2 * kPi * s / segments;
    const double c = fixedCos(angle), sn = fixedSin(angle);
    inner.push_back(mesh.vertex(frame.apply({r0 * c, r0 * sn, 0})));
    outer.push_back(mesh.vertex(frame.apply({r1 * c, r1 * sn, 0})));
  }
  for (int s = 0; s < segments; ++s) {
    const size_t k = size_t(s), next = size_t((s + 1) % segments);
    mesh.quad(inner[k], outer[k], outer[next], inner[next]);
  }
  if (innerOut) *innerOut = inner;
  if (outerOut) *outerOut = outer;
}

void addFlatText(MeshBuilder& mesh, const Frame& frame, const char* text, double cell) {
  // Cells share the corners of their neighbours, so the letters are one
  // seamless layer of squares.
  std::map<std::pair<int, int>, int32_t> corners;
  auto corner = [&](int gx, int gy) {
    const auto found = corners.find({gx, gy});
    if (found != corners.end()) return found->second;
    const int32_t index = mesh.vertex(frame.apply({gx * cell, -gy * cell, 0}));
    corners[{gx, gy}] = index;
    return index;
  };
  int penX = 0, penY = 0;
  for (const char* p = text; *p; ++p) {
    if (*p == '\n') {
      penX = 0;
      penY += kGlyphHeight + 2;
      continue;
    }
    for (int r = 0; r < kGlyphHeight; ++r) {
      const uint8_t bits = glyphRow(*p, r);
      for (int c = 0; c < kGlyphWidth; ++c) {
        if (!(bits & (0x10 >> c))) continue;
        const int gx = penX + c, gy = penY + r;
        mesh.quad(corner(gx, gy), corner(gx, gy + 1), corner(gx + 1, gy + 1), corner(gx + 1, gy));
      }
    }
    penX += kGlyphAdvance;
  }
}

void faceTowards(MeshBuilder& mesh, size_t firstTriangle, P3 direction) {
  for (size_t t = firstTriangle; t < mesh.triangleCount(); ++t) {
    int32_t* v = &mesh.indices[3 * t];
    const P3 a = mesh.vertices[size_t(v[0])], b = mesh.vertices[size_t(v[1])], c = mesh.vertices[size_t(v[2])];
    if (dot(cross(b - a, c - a), direction) < 0) std::swap(v[1], v[2]);
  }
}

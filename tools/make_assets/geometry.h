// Building blocks for the generated meshes: exactly reproducible trigonometry,
// a mesh under construction, and shape helpers (boxes, tubes, revolved
// profiles, extruded and flat outlines, pixel lettering).
//
// Everything is computed in double precision with +, -, *, / and sqrt only,
// which IEEE 754 rounds the same way on every build host, so the files come
// out byte for byte the same wherever they are made.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr double kPi = 3.14159265358979323846;

// sin and cos from a fixed polynomial: the same bits on every host (the C
// library's versions differ in the last place between implementations).
double fixedSin(double x);
double fixedCos(double x);

struct P3 {
  double x = 0, y = 0, z = 0;
};

inline P3 operator+(P3 a, P3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline P3 operator-(P3 a, P3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline P3 operator*(P3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline double dot(P3 a, P3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline P3 cross(P3 a, P3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
P3 normalized(P3 v);

// A placement: origin plus three axes (columns of a rotation, possibly scaled).
struct Frame {
  P3 origin;
  P3 ax{1, 0, 0}, ay{0, 1, 0}, az{0, 0, 1};
  P3 apply(P3 p) const { return origin + ax * p.x + ay * p.y + az * p.z; }
};

// The frame turned by `angle` about the x, y or z axis (right-handed).
Frame rotatedX(const Frame& f, double angle);
Frame rotatedY(const Frame& f, double angle);
Frame rotatedZ(const Frame& f, double angle);

// A named triangle mesh being built. Triangles are wound counter-clockwise
// seen from their front: (b - a) x (c - a) points out of the front side.
struct MeshBuilder {
  std::string name;
  std::vector<P3> vertices;
  std::vector<int32_t> indices;  // counted from 0

  explicit MeshBuilder(std::string meshName) : name(std::move(meshName)) {}
  int32_t vertex(P3 p);
  void triangle(int32_t a, int32_t b, int32_t c);
  void quad(int32_t a, int32_t b, int32_t c, int32_t d);  // a b c d in order round the face
  size_t triangleCount() const { return indices.size() / 3; }
};

// Closed solids: each helper adds one closed surface and turns it so that
// every face points outwards (it checks that the surface is closed and flips
// it when its enclosed volume comes out negative).
// Turns the part of the mesh from `firstTriangle` on so that it faces
// outwards; throws std::logic_error when that part is not a closed surface
// (every edge used once in each direction).
void closeSolid(MeshBuilder& mesh, size_t firstTriangle, const char* what);
void addBox(MeshBuilder& mesh, const Frame& frame, P3 halfSize);
// A prism of `sides` faces round the segment a-b, with flat end caps.
void addTube(MeshBuilder& mesh, P3 a, P3 b, double radius, int sides, double twist);
// The same prism without its caps: for a strut whose ends lie inside other
// solids, where a cap could never be seen and would only be drawn and then
// covered. It is no closed surface of its own; the caller keeps its ends
// covered.
void addOpenTube(MeshBuilder& mesh, P3 a, P3 b, double radius, int sides, double twist);
// A ring of `segments` copies of a closed profile (r, h) revolved about the
// frame's y axis: a torus when the profile is a polygon round a point.
void addRevolvedLoop(MeshBuilder& mesh, const Frame& frame, const std::vector<P3>& profileRH, int segments);
// A solid whose cross-section is a polygon, with every outline vertex joined
// to a front apex and a back apex (a faceted star or gem).
void addBipyramid(MeshBuilder& mesh, const Frame& frame, const std::vector<P3>& outlineXY, double frontZ, double backZ);
// The solid between two quads (bottom a0..a3, top b0..b3, corresponding corners).
void addFrustum(MeshBuilder& mesh, const P3 bottom[4], const P3 top[4]);

// Flat, single-layer shapes in a frame's xy plane, facing the frame's +z.
// Neighbouring triangles share their vertices, so no pixel is covered twice.
// A ring between radii r0 < r1 with `segments` quads; returns the indices of
// the inner and outer circle vertices (segment k spans vertex k to k + 1).
void addFlatRing(MeshBuilder& mesh, const Frame& frame, double r0, double r1, int segments, std::vector<int32_t>* inner,
                 std::vector<int32_t>* outer);
// Pixel lettering: each filled glyph cell a square of side `cell` in the
// frame (whose axes may scale it), the top left corner of the text at (0, 0),
// lines going down -y.
void addFlatText(MeshBuilder& mesh, const Frame& frame, const char* text, double cell);

// Makes every triangle of the mesh added from `firstTriangle` on face +z of
// `frame` (for flat shapes whose winding is easier to build either way).
void faceTowards(MeshBuilder& mesh, size_t firstTriangle, P3 direction);

// The software 3D renderer: matrices, the Rasterizer with its clipper, triangle
// fillers and line drawing, and the additive particle fountain.
//
// Rounding: every intermediate (products and sums, reciprocals, clip and
// pre-step parameters, slopes, normals, the line walk's step and position) is
// carried in double precision, and a value is rounded to float only where a
// float is stored: a matrix element, a vertex component, a depth entry, a
// filler's edge value (x and 1/depth along the two edges, rounded after each
// row's step), a line's clip parameters, and the depth filler's per-pixel
// value and step along a span (the step worked out in double, rounded once
// per span, so that the inner loop stays one float addition per pixel). A
// vertex clipped onto a side of the view volume thereby maps exactly onto the
// buffer's first or last row or column. Results are the same whether the
// compiler uses SSE or keeps values in wider registers, as long as it does
// not contract multiply-adds; the library is built with contraction off.
#pragma once

#include <cstddef>
#include <cstdint>

#include "render3d/vec.h"
#include "surface/surface.h"

// ---------------------------------------------------------------------------
// Matrices

// 16 floats, column-major: element (row r, column c) at m[4 * c + r]. Acts on
// column vectors, so a translation sits in m[12], m[13], m[14] and a product
// A * B applies B first.
struct Matrix4 {
  float m[16];
};

// The same layout in doubles; only rotationX makes one.
struct Matrix4d {
  double m[16];
};

static_assert(sizeof(Matrix4) == 64, "matrices are copied as 64-byte blocks");

void setIdentity(Matrix4& matrix);
Matrix4 translation(float x, float y, float z);
// Turns +z towards +x for a positive angle (radians).
Matrix4 rotationY(float angle);
// Turns +y towards +z for a positive angle (radians).
Matrix4d rotationX(double angle);

// (a * b)[4c + r] = sum over k of a[4k + r] * b[4c + k], summed in double in
// the order k = 0..3 and rounded once. Results are values, so `a = a * b` is safe.
Matrix4 operator*(const Matrix4& a, const Matrix4& b);
Matrix4 operator*(const Matrix4& a, const Matrix4d& b);

// View matrix of a camera at `eye` looking at `target`; eye-space z is
// negative in front of the camera. Eye equal to target, or up parallel to the
// viewing direction, gives non-finite elements.
Matrix4 lookAt(Vec3 eye, Vec3 target, Vec3 up);

// Projection onto the clip volume -w < x, y < w, -w < z < 0: divided depth is
// 0 at the near plane and -1 at the far plane. The aspect factor multiplies x.
Matrix4 perspective(float fovY, float aspect, float zNear, float zFar);

// ---------------------------------------------------------------------------
// The pipeline steps shared by triangles and lines

// The pixel rectangle clip space maps onto; the last column and row a vertex
// can reach are right - 1 and bottom - 1.
struct ViewportRect {
  int32_t top, bottom, left, right;
};

// m * (p.x, p.y, p.z, 1); a Vec4's own w is ignored.
Vec4 transformPoint(const Matrix4& m, Vec3 p);
Vec4 transformPoint(const Matrix4& m, Vec4 p);

// -w < x < w, -w < y < w and -w < z < 0, all strict; false for non-numbers.
bool insideClipVolume(const Vec4& v);

// x, y and z multiplied by s = 1 / w; w becomes 1.
Vec4 perspectiveDivide(Vec4 v);

// Divided coordinates to pixels: (-1, 1) lands on (left, top), (1, -1) on
// (right - 1, bottom - 1). z and w are unchanged.
Vec4 toScreen(Vec4 v, ViewportRect rect);

// 0x01RRGGBB from channels nominally 0..1: c * 255, 255 unless below 255
// (so above 1 and not-a-number give 255), truncated; negative values wrap.
uint32_t packColour(float r, float g, float b);

// The six planes of the polygon clipper, in the order they are applied.
enum class ClipPlane { leftPlane, bottomPlane, rightPlane, topPlane, farPlane, nearPlane };

// A clipped triangle has at most 3 + 6 vertices.
constexpr int kMaxPolygonVertices = 9;

// Sutherland-Hodgman against one plane: reads `count` vertices of `in`,
// writes at most kMaxPolygonVertices to `out` and returns how many. New
// vertices on the near plane get z = -2^-23 so that 1/z stays finite.
int clipPolygon(const Vec4* in, int count, Vec4* out, ClipPlane plane);

// The triangle clipped against all six planes in order; the result is in
// `polygon`, `scratch` is the second buffer of the alternating passes.
int clipTriangle(Vec4 v0, Vec4 v1, Vec4 v2, Vec4 (&polygon)[kMaxPolygonVertices], Vec4 (&scratch)[kMaxPolygonVertices]);

// Reorders screen-space vertices of a convex polygon into a hull walk from the
// leftmost one, so that a fan from vertex 0 covers the polygon.
void orderConvexPolygon(Vec4* polygon, int count);

// ---------------------------------------------------------------------------
// Triangle fillers
//
// Screen-space vertices in any order and winding: x, y in pixels with pixel
// centres on integers, z the divided depth (negative). A pixel is filled when
// its centre lies inside, or on a top or left edge (top-left rule), so
// triangles that share an edge never both fill, nor both miss, a pixel on it.
// Nothing outside the target is ever written, whatever the vertices.

// Replaces pixels with `colour` where q = 1/z is below the stored depth
// (strict) and stores q. `depth` holds one float per target pixel.
void fillTriangleDepth(Vec4 a, Vec4 b, Vec4 c, PixelSurface& target, float* depth, uint32_t colour);

// Subtracts each colour byte from the pixel's byte, modulo 256; top byte 0.
void fillTriangleSubtract(Vec4 a, Vec4 b, Vec4 c, PixelSurface& target, uint32_t colour);

// ---------------------------------------------------------------------------
// Lines

// Liang-Barsky in clip space against x = -w, x = w, y = -w, y = w, z = -w and
// z = w. Moves A and B onto the visible part; false (A and B untouched) when
// nothing remains.
bool clipLine(Vec4& a, Vec4& b);

// One plane of clipLine: p is the rate and q the offset of the crossing;
// narrows the entry (tE) and exit (tL) parameters, false when the segment is
// wholly outside.
bool clipLineParameter(double p, double q, float& tE, float& tL);

// One-pixel DDA between screen-space points (x and y only), one pixel per
// whole step of the longer axis. Pixels outside the target are dropped.
void plotLine(Vec4 a, Vec4 b, uint32_t colour, PixelSurface& target);

// ---------------------------------------------------------------------------
// The Rasterizer

// Draws indexed triangle lists and lines into one surface through its three
// matrices. Main thread only; draws allocate nothing.
class Rasterizer {
 public:
  // Binds to `target` (kept by address, not owned) and allocates a depth
  // buffer of its size, uninitialised. Ends the process with a message when
  // the buffer cannot be allocated.
  Rasterizer(PixelSurface& target, ViewportRect viewport);
  ~Rasterizer();
  Rasterizer(const Rasterizer&) = delete;
  Rasterizer& operator=(const Rasterizer&) = delete;

  // Flat-lit, back-face culled, depth-tested triangles replacing pixels.
  // indexCount counts indices; consecutive triples are triangles and every
  // index must be below the number of vertices.
  void drawShaded(const Vec3* vertices, const int32_t* indices, int32_t indexCount, float r, float g, float b);

  // Triangles that subtract (r, g, b) from the pixels; no culling, no depth.
  void drawSubtractive(const Vec3* vertices, const int32_t* indices, int32_t indexCount, float r, float g, float b);

  // A clipped 3D segment replacing pixels; the depth buffer is not used.
  void drawLine(Vec3 a, Vec3 b, float red, float green, float blue);

  // The segments between pairs of vertices, edges[k][0] to edges[k][1] for k
  // in order: the same pixels as drawLine for each pair in turn, with each
  // vertex transformed once.
  void drawLines(const Vec3* vertices, const int32_t (*edges)[2], int32_t edgeCount, float red, float green,
                 float blue);

  // Sets every depth entry to 0.0, the empty value.
  void clearDepthBuffer();

  Matrix4 model;       // object to world, applied first
  Matrix4 view;        // world to eye
  Matrix4 projection;  // eye to clip space, applied last
  PixelSurface* target;
  ViewportRect viewport;
  float* depthBuffer;  // 1/depth per target pixel, smaller is nearer, 0.0 empty

 private:
  // The target as the draws may write it: no taller than the depth buffer.
  PixelSurface drawableTarget() const;

  // projection * view * model, multiplied in that order. A field of objects
  // draws many meshes and lines with the same matrices, so the product and
  // the matrices it came from are kept, and the product is worked out again
  // only when one of them has changed.
  const Matrix4& clipTransform();

  size_t depthCount_;  // entries allocated in depthBuffer

  struct ProductCache {
    Matrix4 left, right, product;
    bool valid = false;
  };
  ProductCache projectionView_;  // projection * view
  ProductCache clipTransform_;   // (projection * view) * model
};

// ---------------------------------------------------------------------------
// Particles

// The generator of the particle system, shared by the whole process: state
// starts at 1, each draw is state = state * 214013 + 2531011 (mod 2^32)
// yielding (state >> 16) & 0x7FFF.
int particleRandom();
// Puts the generator back to its starting state (for tests).
void resetParticleRandom();

struct Particle {
  float x, y;    // position, target pixels, y down
  float vx, vy;  // drift, pixels per second
  float life;    // remaining life, also the brightness when drawn
  float angle;   // heading of the circling motion, radians
};

// A 2D spark fountain: particles circle while they drift from the emitter,
// fade as their life runs out and are reborn at once. Main thread only.
class ParticleSystem {
 public:
  // Draws 8 random numbers per particle. `reserved` is kept and never read.
  // Ends the process with a message when the pool cannot be allocated.
  ParticleSystem(uint32_t count, float emitterX, float emitterY, float emitterZ, int32_t reserved);
  ~ParticleSystem();
  ParticleSystem(const ParticleSystem&) = delete;
  ParticleSystem& operator=(const ParticleSystem&) = delete;

  void move(double dt);  // seconds
  // Adds a copy of `sprite` per particle into `target`, scaled by its life.
  void draw(PixelSurface& target, const PixelSurface& sprite) const;
  void update(double dt);  // seconds; reborn particles draw 11 random numbers

  // Each channel times its tint, times factor, truncated; only the low 8 bits
  // stay (no clamping). Top byte 0.
  uint32_t tintColour(uint32_t colour, float factor) const;

  uint8_t tint[3];  // red, green, blue multipliers
  bool active;      // false: move, draw and update do nothing
  Particle* pool;   // `count` records, owned
  float emitter[3];
  double initialLife;
  uint32_t count;
  float baseAngle;  // radians; turns by one degree per update
  int32_t reserved;
};

// Adds half of each colour channel to the pixel nearest (x, y), saturating at
// 255; top byte 0. Positions off the target are dropped.
void plotAdditive(float x, float y, uint32_t colour, PixelSurface& target);

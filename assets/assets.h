// The demo's asset files: raw RGB images, named triangle meshes and point lists.
//
// The loaders never fail loudly: a file that cannot be opened, a truncated
// record or a bad count is reported with one line on the standard output and
// the load carries on with what it could read.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "render3d/vec.h"
#include "surface/surface.h"

// One named triangle mesh. Owns its two arrays (taken with malloc); copies are
// deep. Indices count from 0 and every one lies in 0 .. vertexCount - 1; a count
// of 0 goes with a null array.
class Mesh {
 public:
  Mesh() = default;
  Mesh(const Mesh& other);
  Mesh(Mesh&& other) noexcept;
  Mesh& operator=(const Mesh& other);
  Mesh& operator=(Mesh&& other) noexcept;
  virtual ~Mesh();

  int32_t vertexCount = 0;
  Vec3* vertices = nullptr;
  int32_t indexCount = 0;  // three per triangle
  int32_t* indices = nullptr;
};

using MeshList = std::vector<Mesh>;
using PointList = std::vector<Vec3>;

// Reads a headerless file of width x height pixels, 3 bytes each (red, green,
// blue), rows top to bottom, into `surface` as 0x01RRGGBB values. The surface
// gets a new malloc'd block owned by the caller; the block it held before is
// neither used nor freed. Pixels the file does not supply (it did not open or
// ends early) are 0, which the mask overlay treats as transparent. A size of
// zero or less in either direction gives an empty surface with no block.
void loadRawImage(const char* path, int32_t width, int32_t height, PixelSurface& surface);

// Appends every mesh record of a mesh file to `meshes`, printing each name on
// the standard output as it is read. A record cut short by the end of the file
// is dropped; triangles that name a vertex the mesh does not have are dropped
// with a line saying how many.
void loadMeshFile(MeshList& meshes, const char* path);

// Replaces the contents of `points` with the points of a point file: empty when
// the file does not open; only the complete points when it ends early.
void loadPointFile(PointList& points, const char* path);

// Reads the bytes up to the next zero byte, which is consumed, into `text`,
// followed by a zero so that text.data() is the string. False when the file
// ended before a zero byte: `text` then holds what there was.
bool readZeroTerminatedString(std::FILE* in, std::vector<char>& text);

// Fuzz target: the input is a mesh file. The loaded meshes are checked against
// the format read straight from the bytes, then every mesh is drawn through
// both draws into a small surface, once placed in front of the camera and once
// around it (so that the clipper cuts it at the near plane).
//
// The format as read here: records of a zero-terminated name, a signed 16-bit
// vertex count, 12 bytes per vertex, a signed 16-bit triangle count and three
// signed 16-bit vertex numbers (counted from 1) per triangle. A count below
// zero means none; a record the file does not hold in full ends the list; a
// triangle naming a vertex the mesh lacks is dropped.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "assets/assets.h"
#include "render3d/render3d.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

struct ExpectedMesh {
  int32_t vertexCount;
  const uint8_t* vertexBytes;
  std::vector<int32_t> indices;
};

std::vector<ExpectedMesh> parse(const uint8_t* data, size_t size) {
  std::vector<ExpectedMesh> meshes;
  size_t at = 0;
  while (at < size) {
    const void* end = std::memchr(data + at, 0, size - at);
    if (!end) break;
    at = size_t(static_cast<const uint8_t*>(end) - data) + 1;
    if (size - at < 2) break;
    ExpectedMesh mesh;
    mesh.vertexCount = fuzz::int16At(data + at);
    if (mesh.vertexCount < 0) mesh.vertexCount = 0;
    at += 2;
    if (size - at < 12 * size_t(mesh.vertexCount)) break;
    mesh.vertexBytes = data + at;
    at += 12 * size_t(mesh.vertexCount);
    if (size - at < 2) break;
    int32_t triangles = fuzz::int16At(data + at);
    if (triangles < 0) triangles = 0;
    at += 2;
    if (size - at < 6 * size_t(triangles)) break;
    for (int32_t t = 0; t < triangles; ++t, at += 6) {
      const int32_t a = fuzz::int16At(data + at) - 1;
      const int32_t b = fuzz::int16At(data + at + 2) - 1;
      const int32_t c = fuzz::int16At(data + at + 4) - 1;
      if (a < 0 || b < 0 || c < 0 || a >= mesh.vertexCount || b >= mesh.vertexCount || c >= mesh.vertexCount) continue;
      mesh.indices.insert(mesh.indices.end(), {a, b, c});
    }
    meshes.push_back(std::move(mesh));
  }
  return meshes;
}

void check(const MeshList& meshes, const std::vector<ExpectedMesh>& expected) {
  if (meshes.size() != expected.size()) fuzz::fail("mesh count");
  for (size_t m = 0; m < meshes.size(); ++m) {
    const Mesh& mesh = meshes[m];
    const ExpectedMesh& want = expected[m];
    if (mesh.vertexCount != want.vertexCount || (mesh.vertices == nullptr) != (want.vertexCount == 0)) {
      fuzz::fail("vertex count");
    }
    for (int32_t v = 0; v < mesh.vertexCount; ++v) {
      const uint8_t* p = want.vertexBytes + 12 * size_t(v);
      if (fuzz::floatBits(mesh.vertices[v].x) != fuzz::uint32At(p) ||
          fuzz::floatBits(mesh.vertices[v].y) != fuzz::uint32At(p + 4) ||
          fuzz::floatBits(mesh.vertices[v].z) != fuzz::uint32At(p + 8)) {
        fuzz::fail("vertex bytes");
      }
    }
    if (size_t(mesh.indexCount) != want.indices.size() || (mesh.indices == nullptr) != want.indices.empty()) {
      fuzz::fail("index count");
    }
    if (mesh.indexCount > 0 &&
        std::memcmp(mesh.indices, want.indices.data(), want.indices.size() * sizeof(int32_t)) != 0) {
      fuzz::fail("indices");
    }
  }
}

constexpr uint32_t kWidth = 40, kHeight = 30;

void draw(const MeshList& meshes) {
  // Exactly the surface's size, so that AddressSanitizer sees any stray write.
  PixelSurface surface;
  surface.pixels = static_cast<uint32_t*>(std::malloc(kWidth * kHeight * sizeof(uint32_t)));
  surface.width = kWidth;
  surface.height = kHeight;
  Rasterizer rasterizer(surface, ViewportRect{0, int32_t(kHeight), 0, int32_t(kWidth)});
  rasterizer.projection = perspective(1.5707964f, 1.3333334f, 1.0f, 100.0f);

  for (int placement = 0; placement < 2; ++placement) {
    if (placement == 0) {
      setIdentity(rasterizer.view);
      rasterizer.model = translation(0.0f, 0.0f, -6.0f) * rotationY(0.5235988f);
    } else {
      rasterizer.view = lookAt(Vec3{0.5f, 0.3f, 1.5f}, Vec3{0.0f, 0.0f, 0.0f}, Vec3{0.0f, 1.0f, 0.0f});
      setIdentity(rasterizer.model);
    }
    fillSurface(surface, 0xFFFFFF);
    rasterizer.clearDepthBuffer();
    for (const Mesh& mesh : meshes) {
      rasterizer.drawShaded(mesh.vertices, mesh.indices, mesh.indexCount, 0.0f, 1.0f, 0.0f);
      rasterizer.drawSubtractive(mesh.vertices, mesh.indices, mesh.indexCount, 0.5f, 0.5f, 0.5f);
    }
  }
  std::free(surface.pixels);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::silenceStandardOutput();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MeshList meshes;
  loadMeshFile(meshes, fuzz::writeInput(data, size));
  check(meshes, parse(data, size));
  draw(meshes);
  return 0;
}

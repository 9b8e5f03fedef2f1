#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "assets/assets.h"
#include "assets/file_path.h"

namespace {

// A copy of `count` elements in a new malloc'd block; null for none, and
// null with `count` set to 0 if the block cannot be had.
template <typename T>
T* duplicate(const T* source, int32_t& count) {
  if (count <= 0 || !source) {
    count = 0;
    return nullptr;
  }
  T* copy = static_cast<T*>(std::malloc(size_t(count) * sizeof(T)));
  if (!copy) {
    count = 0;
    return nullptr;
  }
  std::memcpy(copy, source, size_t(count) * sizeof(T));
  return copy;
}

bool readBytes(std::FILE* in, unsigned char* destination, size_t count) {
  if (count == 0) return true;
  return std::fread(destination, 1, count, in) == count;
}

// Little-endian signed 16-bit count or index.
bool readInt16(std::FILE* in, int32_t& value) {
  unsigned char b[2];
  if (!readBytes(in, b, 2)) return false;
  value = int16_t(uint16_t(b[0] | b[1] << 8));
  return true;
}

float floatAt(const unsigned char* b) {
  const uint32_t bits = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

Vec3 vec3At(const unsigned char* b) { return Vec3{floatAt(b), floatAt(b + 4), floatAt(b + 8)}; }

// A count below zero describes nothing: it reads as 0, with a line saying so.
// `owner` names what holds the count: "the point list", or "mesh" and the
// mesh's name when `name` is given.
int32_t usableCount(int32_t count, const char* path, const char* what, const char* owner, const char* name) {
  if (count >= 0) return count;
  if (name) {
    std::fprintf(stderr, "%s: %s \"%s\" has a negative %s count (%d); read as 0\n", path, owner, name, what,
                 int(count));
  } else {
    std::fprintf(stderr, "%s: %s has a negative %s count (%d); read as 0\n", path, owner, what, int(count));
  }
  return 0;
}

// The counts, vertices and triangles of one record, after its name. False
// when the file ends before the record does; `mesh` then holds nothing useful.
bool readMeshBody(std::FILE* in, const char* path, const char* name, Mesh& mesh) {
  int32_t vertexCount = 0;
  if (!readInt16(in, vertexCount)) return false;
  vertexCount = usableCount(vertexCount, path, "vertex", "mesh", name);

  std::vector<unsigned char> bytes(size_t(vertexCount) * 12);
  if (!readBytes(in, bytes.data(), bytes.size())) return false;
  if (vertexCount > 0) {
    mesh.vertices = static_cast<Vec3*>(std::malloc(size_t(vertexCount) * sizeof(Vec3)));
    if (!mesh.vertices) return false;
    mesh.vertexCount = vertexCount;
    for (int32_t i = 0; i < vertexCount; ++i) mesh.vertices[i] = vec3At(bytes.data() + 12 * size_t(i));
  }

  int32_t triangleCount = 0;
  if (!readInt16(in, triangleCount)) return false;
  triangleCount = usableCount(triangleCount, path, "triangle", "mesh", name);
  bytes.resize(size_t(triangleCount) * 6);
  if (!readBytes(in, bytes.data(), bytes.size())) return false;

  // The file counts vertices from 1. A triangle naming a vertex the mesh
  // does not have would send the renderer outside the vertex array: drop it.
  std::vector<int32_t> indices;
  indices.reserve(size_t(triangleCount) * 3);
  int32_t dropped = 0;
  for (int32_t t = 0; t < triangleCount; ++t) {
    int32_t corner[3];
    bool valid = true;
    for (int k = 0; k < 3; ++k) {
      const unsigned char* b = bytes.data() + 6 * size_t(t) + 2 * size_t(k);
      corner[k] = int32_t(int16_t(uint16_t(b[0] | b[1] << 8))) - 1;
      if (corner[k] < 0 || corner[k] >= vertexCount) valid = false;
    }
    if (!valid) {
      ++dropped;
      continue;
    }
    indices.insert(indices.end(), corner, corner + 3);
  }
  if (dropped > 0) {
    std::fprintf(stderr, "%s: mesh \"%s\": dropped %d of %d triangles naming vertices outside 1 .. %d\n", path, name,
                 int(dropped), int(triangleCount), int(vertexCount));
  }
  int32_t indexCount = int32_t(indices.size());
  mesh.indices = duplicate(indices.data(), indexCount);
  mesh.indexCount = indexCount;
  return true;
}

}  // namespace

Mesh::Mesh(const Mesh& other) : vertexCount(other.vertexCount), indexCount(other.indexCount) {
  vertices = duplicate(other.vertices, vertexCount);
  indices = duplicate(other.indices, indexCount);
}

Mesh::Mesh(Mesh&& other) noexcept
    : vertexCount(other.vertexCount), vertices(other.vertices), indexCount(other.indexCount), indices(other.indices) {
  other.vertexCount = 0;
  other.vertices = nullptr;
  other.indexCount = 0;
  other.indices = nullptr;
}

Mesh& Mesh::operator=(const Mesh& other) {
  if (this != &other) *this = Mesh(other);
  return *this;
}

Mesh& Mesh::operator=(Mesh&& other) noexcept {
  if (this != &other) {
    std::swap(vertexCount, other.vertexCount);
    std::swap(vertices, other.vertices);
    std::swap(indexCount, other.indexCount);
    std::swap(indices, other.indices);
  }
  return *this;
}

Mesh::~Mesh() {
  std::free(vertices);
  std::free(indices);
}

bool readZeroTerminatedString(std::FILE* in, std::vector<char>& text) {
  text.clear();
  int c;
  while ((c = std::fgetc(in)) != EOF && c != '\0') text.push_back(char(c));
  text.push_back('\0');
  return c != EOF;
}

void loadMeshFile(MeshList& meshes, const char* path) {
  DataFile data(path);
  std::FILE* file = data.file;
  if (!file) return;
  std::vector<char> nameBytes;
  for (int c; (c = std::fgetc(file)) != EOF;) {
    std::ungetc(c, file);
    if (!readZeroTerminatedString(file, nameBytes)) {
      std::fprintf(stderr, "%s: the file ends inside a mesh name; the rest was ignored\n", path);
      return;
    }
    const char* name = nameBytes.data();
    std::printf("%s\n", name);
    std::fflush(stdout);
    Mesh mesh;
    if (!readMeshBody(file, path, name, mesh)) {
      std::fprintf(stderr, "%s: the file ends inside mesh \"%s\"; that mesh was dropped\n", path, name);
      return;
    }
    meshes.push_back(std::move(mesh));
  }
}

void loadPointFile(PointList& points, const char* path) {
  points.clear();
  DataFile data(path);
  std::FILE* file = data.file;
  if (!file) return;
  int32_t count = 0;
  if (!readInt16(file, count)) {
    std::fprintf(stderr, "%s: the file ends before the point count\n", path);
    return;
  }
  count = usableCount(count, path, "point", "the point list", nullptr);
  points.reserve(size_t(count));
  unsigned char b[12];
  for (int32_t i = 0; i < count; ++i) {
    if (!readBytes(file, b, sizeof b)) {
      std::fprintf(stderr, "%s: the file ends after %d of %d points\n", path, int(i), int(count));
      return;
    }
    points.push_back(vec3At(b));
  }
}

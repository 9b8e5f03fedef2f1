#include <cstring>
#include <stdexcept>

#include "tools/make_assets/make_assets.h"

namespace {

void putInt16(std::vector<uint8_t>& out, size_t value, const std::string& what) {
  if (value > 32767) throw std::length_error(what + ": " + std::to_string(value) + " does not fit a 16-bit count");
  out.push_back(uint8_t(value & 0xFF));
  out.push_back(uint8_t(value >> 8));
}

void putFloat(std::vector<uint8_t>& out, double value) {
  const float f = float(value);
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(bits >> (8 * i)));
}

void putPoint(std::vector<uint8_t>& out, const P3& p) {
  putFloat(out, p.x);
  putFloat(out, p.y);
  putFloat(out, p.z);
}

}  // namespace

std::vector<uint8_t> encodeMeshFile(const std::vector<MeshBuilder>& meshes) {
  std::vector<uint8_t> out;
  for (const MeshBuilder& mesh : meshes) {
    out.insert(out.end(), mesh.name.begin(), mesh.name.end());
    out.push_back(0);
    putInt16(out, mesh.vertices.size(), mesh.name + " vertices");
    for (const P3& v : mesh.vertices) putPoint(out, v);
    putInt16(out, mesh.triangleCount(), mesh.name + " triangles");
    for (int32_t index : mesh.indices) putInt16(out, size_t(index) + 1, mesh.name + " vertex number");
  }
  return out;
}

std::vector<uint8_t> encodePointFile(const std::vector<P3>& points) {
  std::vector<uint8_t> out;
  putInt16(out, points.size(), "points");
  for (const P3& p : points) putPoint(out, p);
  return out;
}

std::vector<AssetFile> makeAssetFiles() {
  std::vector<AssetFile> files;
  files.push_back({"lu09.df", encodeMeshFile({makeCompassEmblem()})});
  files.push_back({"fernoth.df", encodeMeshFile({makeSpaceFrame()})});
  files.push_back({"model.hax", encodePointFile(makePointCloud())});
  files.push_back({"mask.raw", makeMask().rgb});
  files.push_back({"part.raw", makeSprite().rgb});
  // The last scene's three drifting meshes, slowest first: the longest line
  // needs the shortest drift.
  files.push_back({"bolinde.df", encodeMeshFile({makeTopLettering()})});
  files.push_back({"wex.df", encodeMeshFile({makeBottomLettering()})});
  files.push_back({"talmek.df", encodeMeshFile({makeFlatEmblem()})});
  return files;
}

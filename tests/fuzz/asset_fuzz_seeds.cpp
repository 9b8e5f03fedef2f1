// Writes the seed corpora of the asset fuzz targets: the demo's own generated
// files, and a few small files with the shapes the loaders must cope with
// (two records, an empty name, no triangles, a vertex number 0, a negative
// count, a record cut short).
//   asset_fuzz_seeds DIRECTORY
// writes DIRECTORY/mesh, DIRECTORY/point and DIRECTORY/raw.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tools/make_assets/make_assets.h"

namespace {

using Bytes = std::vector<uint8_t>;

void put16(Bytes& out, int32_t v) {
  out.push_back(uint8_t(v & 0xFF));
  out.push_back(uint8_t((v >> 8) & 0xFF));
}

bool write(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  out.close();
  if (!out) std::fprintf(stderr, "asset_fuzz_seeds: cannot write %s\n", path.string().c_str());
  return bool(out);
}

MeshBuilder tetrahedron(const std::string& name) {
  MeshBuilder m(name);
  const int32_t a = m.vertex({0, 0, 1}), b = m.vertex({1, 0, -1}), c = m.vertex({-1, 0, -1}), d = m.vertex({0, 1, 0});
  m.triangle(a, b, d);
  m.triangle(b, c, d);
  m.triangle(c, a, d);
  m.triangle(a, c, b);
  return m;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: asset_fuzz_seeds DIRECTORY\n");
    return 2;
  }
  const std::filesystem::path root = argv[1];
  for (const char* sub : {"mesh", "point", "raw"}) std::filesystem::create_directories(root / sub);
  bool ok = true;

  for (const AssetFile& file : makeAssetFiles()) {
    const std::string ext = std::filesystem::path(file.name).extension().string();
    const char* sub = ext == ".df" ? "mesh" : ext == ".hax" ? "point" : "raw";
    ok &= write(root / sub / file.name, file.bytes);
  }

  MeshBuilder flat("");  // an empty name, and a mesh with no triangles
  flat.vertex({0, 0, 0});
  const Bytes two = encodeMeshFile({tetrahedron("tetra"), flat});
  ok &= write(root / "mesh" / "two_records.df", two);
  ok &= write(root / "mesh" / "cut_short.df", Bytes(two.begin(), two.begin() + 40));

  Bytes odd;  // vertex number 0, and a negative vertex count
  for (char c : std::string("odd")) odd.push_back(uint8_t(c));
  odd.push_back(0);
  put16(odd, 1);
  odd.insert(odd.end(), 12, 0);
  put16(odd, 2);
  for (int32_t v : {1, 1, 1, 0, 1, 1}) put16(odd, v);
  odd.push_back(0);
  put16(odd, -3);
  put16(odd, 0);
  ok &= write(root / "mesh" / "odd_counts.df", odd);

  const Bytes points = encodePointFile({{1, 2, 3}, {-4, 5, -6}});
  ok &= write(root / "point" / "two_points.hax", points);
  ok &= write(root / "point" / "cut_short.hax", Bytes(points.begin(), points.end() - 5));
  Bytes negative;
  put16(negative, -2);
  negative.insert(negative.end(), 24, 0x41);
  ok &= write(root / "point" / "negative.hax", negative);

  ok &= write(root / "raw" / "short.raw", Bytes{0xFF, 0x80, 0x00, 0x12, 0x34});
  return ok ? 0 : 1;
}

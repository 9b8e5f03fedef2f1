// The generated data files, read back through the loaders the demo uses.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <utility>

#include "assets/assets.h"
#include "tests/assets/test_files.h"
#include "tests/fnv1a.h"
#include "tools/make_assets/make_assets.h"

namespace {

struct Expected {
  const char* file;
  size_t size;
  uint64_t hash;
};

// Pinned so that every build, native or cross, is seen to make the same
// bytes. After a deliberate change to the art, take the new values from the
// failure messages.
const Expected kFiles[] = {
    {"lu09.df", 14251, 0xb8a3dedc25260e1aull},   {"fernoth.df", 39160, 0x258a10608df4d5edull},
    {"model.hax", 14402, 0xa9efe200ec08632bull}, {"mask.raw", 921600, 0x39151a177fec6fa5ull},
    {"part.raw", 192, 0xd60718e10ef6792dull},    {"bolinde.df", 2428, 0xc0821d3a0c36f129ull},
    {"wex.df", 5629, 0xd2535ff0e1a9d4c8ull},     {"talmek.df", 4919, 0x73666361e83620b4ull},
};

class GeneratedFiles : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { files_ = new std::vector<AssetFile>(makeAssetFiles()); }
  static void TearDownTestSuite() {
    delete files_;
    files_ = nullptr;
  }
  static const std::vector<uint8_t>& bytes(const std::string& name) {
    for (const AssetFile& f : *files_) {
      if (f.name == name) return f.bytes;
    }
    throw std::runtime_error("no file " + name);
  }
  // Loads one generated mesh file and returns its single mesh and name.
  Mesh loadMesh(const std::string& file, std::string& printed) {
    const std::string path = dir_.write(file, bytes(file));
    MeshList meshes;
    StdoutCapture out;
    loadMeshFile(meshes, path.c_str());
    printed = out.text();
    EXPECT_EQ(meshes.size(), 1u) << file;
    return meshes.empty() ? Mesh() : meshes[0];
  }

  ScratchDir dir_;
  static std::vector<AssetFile>* files_;
};

std::vector<AssetFile>* GeneratedFiles::files_ = nullptr;

TEST_F(GeneratedFiles, AreTheEightFilesWithPinnedBytes) {
  ASSERT_EQ(files_->size(), 8u);
  for (size_t i = 0; i < 8; ++i) {
    const AssetFile& f = (*files_)[i];
    EXPECT_EQ(f.name, kFiles[i].file);
    EXPECT_EQ(f.bytes.size(), kFiles[i].size) << f.name;
    EXPECT_EQ(fnv1a(f.bytes), kFiles[i].hash)
        << f.name << " size " << f.bytes.size() << " hash 0x" << std::hex << fnv1a(f.bytes);
  }
}

// Per mesh: the line it prints at start-up, its counts, whether it is a
// closed solid (seen from any side) or flat (layers in the plane z = 0 facing
// the camera), and the box it must fit.
struct MeshCase {
  const char* file;
  const char* name;
  int32_t vertices, triangles;
  bool closed;
  float maxX, maxY, minExtent;
};

const MeshCase kMeshes[] = {
    {"lu09.df", "compass emblem", 610, 1152, true, 7.0f, 7.0f, 10},
    {"fernoth.df", "space frame", 1744, 3036, true, 40, 40, 28},
    {"bolinde.df", "flat emblem", 133, 136, false, 7, 4, 5},
    {"wex.df", "lettering THANKS FOR", 323, 288, false, 13, 5, 10},
    {"talmek.df", "lettering WATCHING", 282, 252, false, 15, 4, 8},
};

Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 crossProduct(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }

TEST_F(GeneratedFiles, MeshesReadBackWhole) {
  for (const MeshCase& c : kMeshes) {
    SCOPED_TRACE(c.file);
    std::string printed;
    const Mesh mesh = loadMesh(c.file, printed);
    EXPECT_EQ(printed, std::string(c.name) + "\n") << "only the name, no complaint";
    EXPECT_EQ(mesh.vertexCount, c.vertices);
    EXPECT_EQ(mesh.indexCount / 3, c.triangles);
    EXPECT_GT(mesh.indexCount, 0);
    EXPECT_LE(mesh.indexCount / 3, 4000) << "a few thousand triangles at most";

    float lo[3] = {1e9f, 1e9f, 1e9f}, hi[3] = {-1e9f, -1e9f, -1e9f};
    for (int32_t i = 0; i < mesh.vertexCount; ++i) {
      const float v[3] = {mesh.vertices[i].x, mesh.vertices[i].y, mesh.vertices[i].z};
      for (int k = 0; k < 3; ++k) {
        ASSERT_TRUE(std::isfinite(v[k]));
        lo[k] = std::min(lo[k], v[k]);
        hi[k] = std::max(hi[k], v[k]);
      }
    }
    EXPECT_LE(std::max(-lo[0], hi[0]), c.maxX);
    EXPECT_LE(std::max(-lo[1], hi[1]), c.maxY);
    EXPECT_GE(hi[0] - lo[0], c.minExtent);

    // Edges: a closed solid uses each edge once in each direction; a flat
    // layer at most that (inner edges) and never twice the same way, which
    // would mean a fold or an overlap.
    std::map<std::pair<int32_t, int32_t>, int> edges;
    double volume = 0;
    for (int32_t t = 0; t < mesh.indexCount; t += 3) {
      const int32_t* v = mesh.indices + t;
      for (int k = 0; k < 3; ++k) ++edges[{v[k], v[(k + 1) % 3]}];
      const Vec3 a = mesh.vertices[v[0]], b = mesh.vertices[v[1]], d = mesh.vertices[v[2]];
      const Vec3 n = crossProduct(b - a, d - a);
      volume += double(a.x) * (b.y * d.z - b.z * d.y) - double(a.y) * (b.x * d.z - b.z * d.x) +
                double(a.z) * (b.x * d.y - b.y * d.x);
      if (!c.closed) {
        EXPECT_GT(n.z, 0.f) << "flat triangle " << t / 3 << " faces away from the camera";
        EXPECT_FLOAT_EQ(a.z, 0.f);
      }
    }
    int unpaired = 0, doubled = 0;
    for (const auto& [edge, count] : edges) {
      if (count > 1) ++doubled;
      if (!edges.count({edge.second, edge.first})) ++unpaired;
    }
    EXPECT_EQ(doubled, 0);
    if (c.closed) {
      EXPECT_EQ(unpaired, 0) << "not closed";
      EXPECT_GT(volume, 0) << "faces wound inwards";
    }
  }
}

// The last scene subtracts grey per layer modulo 256, so a third layer would
// turn the letters on their bands back to grey: the bands, drawn 2 units up
// and 3 down, stay clear of the emblem whatever their horizontal drift.
TEST_F(GeneratedFiles, LetteringBandsStayClearOfTheEmblem) {
  std::string printed;
  auto yRange = [&](const char* file, float shift, float& lo, float& hi) {
    const Mesh mesh = loadMesh(file, printed);
    lo = 1e9f;
    hi = -1e9f;
    for (int32_t i = 0; i < mesh.vertexCount; ++i) {
      lo = std::min(lo, mesh.vertices[i].y + shift);
      hi = std::max(hi, mesh.vertices[i].y + shift);
    }
  };
  float emblemLo, emblemHi, topLo, topHi, bottomLo, bottomHi;
  yRange("bolinde.df", 0, emblemLo, emblemHi);
  yRange("wex.df", 2, topLo, topHi);
  yRange("talmek.df", -3, bottomLo, bottomHi);
  EXPECT_GT(topLo, emblemHi);
  EXPECT_LT(bottomHi, emblemLo);
}

TEST_F(GeneratedFiles, PointCloudReadsBack) {
  const std::string path = dir_.write("model.hax", bytes("model.hax"));
  PointList points;
  StdoutCapture out;
  loadPointFile(points, path.c_str());
  EXPECT_EQ(out.text(), "");
  ASSERT_EQ(points.size(), 1200u);
  for (const Vec3& p : points) EXPECT_LT(std::fabs(p.y), 1.3f);
}

TEST_F(GeneratedFiles, MaskFramesThePictureAndSpriteNeverWraps) {
  const std::string dir = dir_.path("");
  dir_.write("mask.raw", bytes("mask.raw"));
  dir_.write("part.raw", bytes("part.raw"));
  PixelSurface mask, sprite;
  StdoutCapture out;
  loadRawImage((dir + "\\mask.raw").c_str(), 640, 480, mask);
  loadRawImage((dir + "\\part.raw").c_str(), 8, 8, sprite);
  EXPECT_EQ(out.text(), "");
  ASSERT_NE(mask.pixels, nullptr);
  ASSERT_NE(sprite.pixels, nullptr);

  size_t covered = 0;
  for (size_t i = 0; i < 640 * 480; ++i) covered += (mask.pixels[i] & 0xFFFFFF) != 0;
  EXPECT_GT(covered, 640u * 40) << "the frame is there";
  EXPECT_LT(covered, 640u * 480 / 5) << "and leaves most of the picture through";
  EXPECT_EQ(mask.pixels[240 * 640 + 320] & 0xFFFFFF, 0u) << "the middle is transparent";

  // Particles multiply the sprite by a life of up to 15 and keep the low 8
  // bits: a channel above 17 would wrap.
  uint32_t brightest = 0;
  for (int i = 0; i < 64; ++i) {
    for (int shift : {0, 8, 16}) brightest = std::max(brightest, (sprite.pixels[i] >> shift) & 0xFF);
  }
  EXPECT_LE(brightest * 15, 255u);
  EXPECT_GT(brightest, 0u);
  EXPECT_EQ(sprite.pixels[0] & 0xFFFFFF, 0u) << "soft edge";
  EXPECT_EQ((sprite.pixels[3 * 8 + 3] >> 8) & 0xFF, (sprite.pixels[4 * 8 + 4] >> 8) & 0xFF) << "centred";
  std::free(mask.pixels);
  std::free(sprite.pixels);
}

TEST(FixedTrigonometry, MatchesTheLibraryClosely) {
  for (int i = -2000; i <= 2000; ++i) {
    const double x = i * 0.0173;
    EXPECT_NEAR(fixedSin(x), std::sin(x), 2e-14) << x;
    EXPECT_NEAR(fixedCos(x), std::cos(x), 2e-14) << x;
  }
  EXPECT_EQ(fixedSin(0), 0.0);
  EXPECT_EQ(fixedCos(0), 1.0);
}

TEST(MeshEncoding, RefusesCountsBeyondSixteenBits) {
  MeshBuilder big("big");
  big.vertices.resize(32768);
  EXPECT_THROW(encodeMeshFile({big}), std::length_error);
  big.vertices.resize(32767);
  EXPECT_NO_THROW(encodeMeshFile({big}));
}

}  // namespace

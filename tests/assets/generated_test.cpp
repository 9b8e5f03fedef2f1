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
    {"lu09.df", 40123, 0x73bf834198e6474aull},   {"fernoth.df", 44392, 0x3ed1ca57dc7b9ae5ull},
    {"model.hax", 14402, 0xa9efe200ec08632bull}, {"mask.raw", 921600, 0xb9225c72b6bc4149ull},
    {"part.raw", 192, 0xa6f2a8beca9ce609ull},    {"bolinde.df", 5629, 0x3ad98f733a32d2f8ull},
    {"wex.df", 4919, 0x5538c2a76ddc19f3ull},     {"talmek.df", 3448, 0x07eb50cfb50d9babull},
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
// the camera), and the box it must fit. The space frame's struts are open at
// their ends, which lie inside its nodes: five edges at each end of each of
// its 120 struts have no partner.
struct MeshCase {
  const char* file;
  const char* name;
  int32_t vertices, triangles;
  bool closed;
  int openEdges;  // edges without a partner, in a solid
  float maxX, maxY, minExtent;
};

const MeshCase kMeshes[] = {
    {"lu09.df", "compass emblem", 1698, 3288, true, 0, 25, 9, 40},
    {"fernoth.df", "space frame", 2192, 3012, true, 2 * 120 * 5, 40, 40, 26},
    {"bolinde.df", "lettering THANKS FOR", 323, 288, false, 0, 8, 4, 7},
    {"wex.df", "lettering WATCHING", 282, 252, false, 0, 13, 16, 12},
    {"talmek.df", "flat emblem", 190, 192, false, 0, 15, 23, 10},
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
        EXPECT_FLOAT_EQ(a.z, mesh.vertices[0].z) << "one plane facing the camera";
      }
    }
    int unpaired = 0, doubled = 0;
    for (const auto& [edge, count] : edges) {
      if (count > 1) ++doubled;
      if (!edges.count({edge.second, edge.first})) ++unpaired;
    }
    EXPECT_EQ(doubled, 0);
    if (c.closed) {
      EXPECT_EQ(unpaired, c.openEdges) << "not closed where it should be";
      // A prism's sides alone add two thirds of its volume to this sum
      // wherever the origin lies, so open struts leave its sign as it was.
      EXPECT_GT(volume, 0) << "faces wound inwards";
    }
  }
}

// The last scene subtracts grey per layer modulo 256, so a third layer would
// turn the near-black drawing on a grey ground back to grey: the three shapes
// (each built at its own depth, drawn 10 units away and 0, 2 and 3 units up
// or down) take rows of the screen of their own whatever their horizontal
// drift, the emblem on top and the two lines below it.
TEST_F(GeneratedFiles, FinaleShapesKeepRowsOfTheirOwn) {
  std::string printed;
  // Rows of the 640 x 480 screen: the buffer's 240 rows doubled, y = 1 at
  // one unit away on the top row.
  auto rows = [&](const char* file, float shift, float& top, float& bottom) {
    const Mesh mesh = loadMesh(file, printed);
    top = 1e9f;
    bottom = -1e9f;
    for (int32_t i = 0; i < mesh.vertexCount; ++i) {
      const float depth = 10 - mesh.vertices[i].z;
      const float row = 239.5f - 239 * (mesh.vertices[i].y + shift) / depth;
      top = std::min(top, row);
      bottom = std::max(bottom, row);
    }
  };
  float emblemTop, emblemBottom, upperTop, upperBottom, lowerTop, lowerBottom;
  rows("talmek.df", -3, emblemTop, emblemBottom);
  rows("bolinde.df", 0, upperTop, upperBottom);
  rows("wex.df", 2, lowerTop, lowerBottom);
  EXPECT_GT(emblemTop, 8);
  EXPECT_LT(emblemBottom, upperTop);
  EXPECT_LT(upperBottom, lowerTop);
  EXPECT_LT(lowerBottom, 472);
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
  EXPECT_LE(covered * 100, 640u * 480 * 12) << "and leaves most of the picture through";
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
  for (int i = 0; i < 64; ++i) EXPECT_EQ(sprite.pixels[i] & 0xFF, 0u) << "no blue: a pile never saturates to white";
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

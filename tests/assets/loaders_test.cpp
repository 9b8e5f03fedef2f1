#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "assets/assets.h"
#include "tests/assets/test_files.h"

namespace {

// A two-record mesh file: "tri" (3 vertices, one triangle 1 2 3) and "" (an
// empty name, 4 vertices, two triangles), followed by nothing.
std::vector<uint8_t> twoMeshFile() {
  std::vector<uint8_t> f;
  putName(f, "tri");
  putInt16(f, 3);
  for (float v : {0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.5f, -2.f}) putFloat(f, v);
  putInt16(f, 1);
  for (int i : {1, 2, 3}) putInt16(f, i);
  putName(f, "");
  putInt16(f, 4);
  for (int i = 0; i < 12; ++i) putFloat(f, float(i));
  putInt16(f, 2);
  for (int i : {1, 2, 3, 3, 4, 1}) putInt16(f, i);
  return f;
}

void freeSurface(PixelSurface& s) {
  std::free(s.pixels);
  s = PixelSurface{};
}

TEST(RawImage, PacksEachPixelWithTheTopByteSet) {
  ScratchDir dir;
  // 2 x 2 pixels and one trailing byte that must not matter.
  const std::string path = dir.write("img.raw", {0xFF, 0x80, 0x00, 0, 0, 0, 1, 2, 3, 0x10, 0x20, 0x30, 0x77});
  PixelSurface s;
  StdoutCapture out;
  loadRawImage(path.c_str(), 2, 2, s);
  EXPECT_EQ(out.text(), "");
  ASSERT_NE(s.pixels, nullptr);
  EXPECT_EQ(s.width, 2u);
  EXPECT_EQ(s.height, 2u);
  EXPECT_EQ(s.pixels[0], 0x01FF8000u);
  EXPECT_EQ(s.pixels[1], 0x01000000u);  // black in the file still carries the top byte
  EXPECT_EQ(s.pixels[2], 0x01010203u);
  EXPECT_EQ(s.pixels[3], 0x01102030u);
  freeSurface(s);
}

TEST(RawImage, MissingFileReportsThePathAsGivenAndGivesBlack) {
  PixelSurface s;
  StdoutCapture out;
  loadRawImage(".\\no_such_dir\\part.raw", 8, 8, s);
  EXPECT_EQ(out.text(), "error opening file : .\\no_such_dir\\part.raw\n");
  ASSERT_NE(s.pixels, nullptr);
  EXPECT_EQ(s.width, 8u);
  EXPECT_EQ(s.height, 8u);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(s.pixels[i], 0u) << i;
  freeSurface(s);
}

TEST(RawImage, ShortFileLeavesTheMissingPixelsBlack) {
  ScratchDir dir;
  // One whole pixel and two bytes of the next.
  const std::string path = dir.write("short.raw", {9, 8, 7, 6, 5});
  PixelSurface s;
  loadRawImage(path.c_str(), 3, 2, s);
  ASSERT_NE(s.pixels, nullptr);
  EXPECT_EQ(s.pixels[0], 0x01090807u);
  for (int i = 1; i < 6; ++i) EXPECT_EQ(s.pixels[i], 0u) << i;
  freeSurface(s);
}

TEST(RawImage, NonPositiveSizeGivesAnEmptySurfaceAndLeavesTheOldBlockAlone) {
  ScratchDir dir;
  const std::string path = dir.write("img.raw", {1, 2, 3});
  for (auto [w, h] : {std::pair{0, 4}, std::pair{4, 0}, std::pair{-1, 4}, std::pair{4, -3}}) {
    uint32_t* old = static_cast<uint32_t*>(std::malloc(4));
    PixelSurface s{old, 1, 1};
    loadRawImage(path.c_str(), w, h, s);
    EXPECT_EQ(s.pixels, nullptr);
    EXPECT_EQ(s.width, 0u);
    EXPECT_EQ(s.height, 0u);
    std::free(old);
  }
}

TEST(RawImage, SizeBeyondTheAddressSpaceGivesAnEmptySurface) {
  if (sizeof(size_t) > 4) GTEST_SKIP() << "every int32 size can be counted here";
  PixelSurface s;
  StdoutCapture out;
  loadRawImage("missing.raw", 65536, 65536, s);
  EXPECT_EQ(s.pixels, nullptr);
  EXPECT_EQ(s.width, 0u);
}

TEST(RawImage, BackslashActsAsDirectorySeparator) {
  ScratchDir dir;
  dir.write("sub/mask.raw", {0x11, 0x22, 0x33});
  const std::string quoted = dir.path("sub") + "\\mask.raw";
  PixelSurface s;
  StdoutCapture out;
  loadRawImage(quoted.c_str(), 1, 1, s);
  EXPECT_EQ(out.text(), "");
  ASSERT_NE(s.pixels, nullptr);
  EXPECT_EQ(s.pixels[0], 0x01112233u);
  freeSurface(s);
}

TEST(ZeroTerminatedString, StopsAtZeroAndAtTheEnd) {
  ScratchDir dir;
  const std::string path = dir.write("strings", {'a', 'b', 0, 'c', 'd', 0, 'e', 'f'});
  std::FILE* in = std::fopen(path.c_str(), "rb");
  ASSERT_NE(in, nullptr);
  std::vector<char> text;
  EXPECT_TRUE(readZeroTerminatedString(in, text));
  EXPECT_STREQ(text.data(), "ab");
  EXPECT_TRUE(readZeroTerminatedString(in, text));
  EXPECT_STREQ(text.data(), "cd");
  EXPECT_FALSE(readZeroTerminatedString(in, text));  // no zero byte before the end
  EXPECT_STREQ(text.data(), "ef");
  std::fclose(in);
}

TEST(MeshFile, ReadsRecordsInOrderAndPrintsTheirNames) {
  ScratchDir dir;
  const std::string path = dir.write("two.df", twoMeshFile());
  MeshList meshes;
  StdoutCapture out;
  loadMeshFile(meshes, path.c_str());
  EXPECT_EQ(out.text(), "tri\n\n");
  ASSERT_EQ(meshes.size(), 2u);
  const Mesh& a = meshes[0];
  ASSERT_EQ(a.vertexCount, 3);
  EXPECT_EQ(a.vertices[2].y, 1.5f);
  EXPECT_EQ(a.vertices[2].z, -2.f);
  ASSERT_EQ(a.indexCount, 3);
  EXPECT_EQ(a.indices[0], 0);
  EXPECT_EQ(a.indices[2], 2);
  const Mesh& b = meshes[1];
  ASSERT_EQ(b.vertexCount, 4);
  EXPECT_EQ(b.vertices[3].x, 9.f);
  ASSERT_EQ(b.indexCount, 6);
  const int32_t expected[] = {0, 1, 2, 2, 3, 0};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(b.indices[i], expected[i]);
}

TEST(MeshFile, EmptyAndMissingFiles) {
  ScratchDir dir;
  const std::string empty = dir.write("empty.df", {});
  MeshList meshes;
  {
    StdoutCapture out;
    loadMeshFile(meshes, empty.c_str());
    EXPECT_EQ(out.text(), "");
  }
  EXPECT_TRUE(meshes.empty());

  meshes.emplace_back();
  StdoutCapture out;
  loadMeshFile(meshes, "missing\\lu09.df");
  EXPECT_EQ(out.text(), "error opening file : missing\\lu09.df\n");
  EXPECT_EQ(meshes.size(), 1u);  // left as it was
}

TEST(MeshFile, ZeroCountsGiveNoArrays) {
  ScratchDir dir;
  std::vector<uint8_t> f;
  putName(f, "points only");
  putInt16(f, 1);
  for (int i = 0; i < 3; ++i) putFloat(f, 1.f);
  putInt16(f, 0);
  putName(f, "nothing");
  putInt16(f, 0);
  putInt16(f, 0);
  const std::string path = dir.write("zero.df", f);
  MeshList meshes;
  StdoutCapture out;
  loadMeshFile(meshes, path.c_str());
  ASSERT_EQ(meshes.size(), 2u);
  EXPECT_EQ(meshes[0].vertexCount, 1);
  EXPECT_EQ(meshes[0].indexCount, 0);
  EXPECT_EQ(meshes[0].indices, nullptr);
  EXPECT_EQ(meshes[1].vertexCount, 0);
  EXPECT_EQ(meshes[1].vertices, nullptr);
}

// Every way the file can be cut short: the complete records before the cut
// survive, the cut one is dropped with a line, and nothing reads past the end.
TEST(MeshFile, FileEndingInsideARecordDropsThatRecord) {
  const std::vector<uint8_t> whole = twoMeshFile();
  const size_t firstRecord = 4 + 2 + 36 + 2 + 6;
  ScratchDir dir;
  for (size_t length = 1; length < whole.size(); ++length) {
    const std::string path =
        dir.write("cut.df", std::vector<uint8_t>(whole.begin(), whole.begin() + std::ptrdiff_t(length)));
    MeshList meshes;
    StdoutCapture out;
    StderrCapture err;
    loadMeshFile(meshes, path.c_str());
    const size_t complete = length >= firstRecord ? 1 : 0;
    ASSERT_EQ(meshes.size(), complete) << length;
    if (length == firstRecord) {
      EXPECT_EQ(out.text(), "tri\n") << "a cut exactly between records is a clean end";
      EXPECT_EQ(err.text(), "");
    } else {
      // Standard output keeps only the names; the diagnostic goes to errors.
      EXPECT_EQ(out.text().find("the file ends"), std::string::npos) << length << ": " << out.text();
      EXPECT_NE(err.text().find("the file ends inside"), std::string::npos) << length << ": " << err.text();
    }
    if (length < 4) {
      EXPECT_EQ(out.text().find("tri\n"), std::string::npos) << "a partial name is not announced";
    }
  }
}

TEST(MeshFile, NegativeCountsReadNothing) {
  ScratchDir dir;
  std::vector<uint8_t> f;
  putName(f, "broken");
  putInt16(f, -2);
  putInt16(f, -1);
  putName(f, "next");
  putInt16(f, 3);
  for (int i = 0; i < 9; ++i) putFloat(f, 0.f);
  putInt16(f, 1);
  for (int i : {3, 2, 1}) putInt16(f, i);
  const std::string path = dir.write("negative.df", f);
  MeshList meshes;
  StdoutCapture out;
  StderrCapture err;
  loadMeshFile(meshes, path.c_str());
  ASSERT_EQ(meshes.size(), 2u);
  EXPECT_EQ(out.text(), "broken\nnext\n");
  EXPECT_EQ(meshes[0].vertexCount, 0);
  EXPECT_EQ(meshes[0].vertices, nullptr);
  EXPECT_EQ(meshes[0].indexCount, 0);
  EXPECT_EQ(meshes[0].indices, nullptr);
  EXPECT_EQ(meshes[1].indexCount, 3);
  EXPECT_EQ(meshes[1].indices[0], 2);
  const std::string text = err.text();
  EXPECT_NE(text.find("negative vertex count (-2)"), std::string::npos) << text;
  EXPECT_NE(text.find("negative triangle count (-1)"), std::string::npos) << text;
}

TEST(MeshFile, TrianglesNamingMissingVerticesAreDroppedWithOneLine) {
  ScratchDir dir;
  std::vector<uint8_t> f;
  putName(f, "quad");
  putInt16(f, 4);
  for (int i = 0; i < 12; ++i) putFloat(f, float(i));
  putInt16(f, 4);
  // A stored 0 would become -1 and a stored 5 names a fifth vertex: both go.
  for (int i : {1, 2, 3, 1, 0, 2, 3, 4, 1, 5, 2, 3}) putInt16(f, i);
  const std::string path = dir.write("bad.df", f);
  MeshList meshes;
  StdoutCapture out;
  StderrCapture err;
  loadMeshFile(meshes, path.c_str());
  ASSERT_EQ(meshes.size(), 1u);
  ASSERT_EQ(meshes[0].indexCount, 6);
  const int32_t kept[] = {0, 1, 2, 2, 3, 0};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(meshes[0].indices[i], kept[i]);
  EXPECT_EQ(out.text(), "quad\n");
  EXPECT_EQ(err.text(), path + ": mesh \"quad\": dropped 2 of 4 triangles naming vertices outside 1 .. 4\n");
}

TEST(MeshFile, CopiesAreDeep) {
  ScratchDir dir;
  const std::string path = dir.write("two.df", twoMeshFile());
  MeshList meshes;
  StdoutCapture out;
  loadMeshFile(meshes, path.c_str());
  ASSERT_EQ(meshes.size(), 2u);
  Mesh copy = meshes[1];
  EXPECT_NE(copy.vertices, meshes[1].vertices);
  EXPECT_NE(copy.indices, meshes[1].indices);
  meshes[1].vertices[0].x = 42.f;
  meshes[1].indices[0] = 3;
  EXPECT_EQ(copy.vertices[0].x, 0.f);
  EXPECT_EQ(copy.indices[0], 0);
  copy = meshes[0];
  EXPECT_EQ(copy.vertexCount, 3);
  EXPECT_EQ(copy.indices[2], 2);
}

// A directory where a data file should be is a file that did not open, on
// every platform: the same line, and no data.
TEST(Loaders, DirectoryInPlaceOfAFileIsReportedAsNotOpened) {
  ScratchDir dir;
  dir.write("data/lu09.df/inside", {1});
  const std::string path = dir.path("data") + "\\lu09.df";
  const std::string line = "error opening file : " + path + "\n";
  {
    MeshList meshes;
    StdoutCapture out;
    loadMeshFile(meshes, path.c_str());
    EXPECT_EQ(out.text(), line);
    EXPECT_TRUE(meshes.empty());
  }
  {
    PointList points(2, Vec3{1, 2, 3});
    StdoutCapture out;
    loadPointFile(points, path.c_str());
    EXPECT_EQ(out.text(), line);
    EXPECT_TRUE(points.empty());
  }
  PixelSurface s;
  StdoutCapture out;
  loadRawImage(path.c_str(), 2, 1, s);
  EXPECT_EQ(out.text(), line);
  ASSERT_NE(s.pixels, nullptr);
  EXPECT_EQ(s.pixels[0], 0u);
  EXPECT_EQ(s.pixels[1], 0u);
  freeSurface(s);
}

TEST(PointFile, ReadsTheCountedPointsOnly) {
  ScratchDir dir;
  std::vector<uint8_t> f;
  putInt16(f, 2);
  for (int i = 0; i < 6; ++i) putFloat(f, float(i) + 0.5f);
  putFloat(f, 99.f);  // not part of the list
  const std::string path = dir.write("model.hax", f);
  PointList points;
  loadPointFile(points, path.c_str());
  ASSERT_EQ(points.size(), 2u);
  EXPECT_EQ(points[0].x, 0.5f);
  EXPECT_EQ(points[1].z, 5.5f);
}

TEST(PointFile, BrokenFilesGiveWhatIsThere) {
  ScratchDir dir;
  PointList points(3, Vec3{1, 2, 3});
  {
    StdoutCapture out;
    loadPointFile(points, ".\\missing.hax");
    EXPECT_EQ(out.text(), "error opening file : .\\missing.hax\n");
    EXPECT_TRUE(points.empty());
  }
  std::vector<uint8_t> f;
  putInt16(f, 3);
  for (int i = 0; i < 7; ++i) putFloat(f, 1.f);  // two whole points and one coordinate
  std::string path = dir.write("short.hax", f);
  {
    StdoutCapture out;
    StderrCapture err;
    loadPointFile(points, path.c_str());
    EXPECT_EQ(points.size(), 2u);
    EXPECT_EQ(out.text(), "");
    EXPECT_NE(err.text().find("ends after 2 of 3 points"), std::string::npos) << err.text();
  }
  f.clear();
  putInt16(f, -4);
  path = dir.write("negative.hax", f);
  loadPointFile(points, path.c_str());
  EXPECT_TRUE(points.empty());
  path = dir.write("one_byte.hax", {1});
  loadPointFile(points, path.c_str());
  EXPECT_TRUE(points.empty());
}

}  // namespace

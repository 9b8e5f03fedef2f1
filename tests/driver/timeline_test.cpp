#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "display/screen.h"
#include "driver/demo.h"
#include "driver/scenes.h"

namespace {

// Quits are remembered; nothing else is asked of the platform by a frame.
class QuietPlatform final : public Platform {
 public:
  bool peekMessage(PlatformMessage& message, bool remove) override {
    if (quits == 0) return false;
    message = {quitMessage, 0};
    if (remove) --quits;
    return true;
  }
  void dispatchMessage(const PlatformMessage&) override {}
  // Every reading is `step` later than the one before: each frame lasts step.
  uint32_t milliseconds() override { return now += step; }
  bool keyPressed(int) override { return false; }
  void postQuit(int) override { ++quits; }
  void showCursor(bool) override {}
  int quits = 0;
  uint32_t now = 0;
  uint32_t step = 0;
};

// A square of side 2 facing the camera (+z), lit head-on.
Mesh square(float z) {
  Mesh mesh;
  mesh.vertexCount = 4;
  mesh.vertices = static_cast<Vec3*>(std::malloc(4 * sizeof(Vec3)));
  const Vec3 corners[4] = {{-1, -1, z}, {1, -1, z}, {1, 1, z}, {-1, 1, z}};
  for (int i = 0; i < 4; ++i) mesh.vertices[i] = corners[i];
  mesh.indexCount = 6;
  mesh.indices = static_cast<int32_t*>(std::malloc(6 * sizeof(int32_t)));
  const int32_t indices[6] = {0, 1, 2, 0, 2, 3};
  for (int i = 0; i < 6; ++i) mesh.indices[i] = indices[i];
  return mesh;
}

// The start-up of the driver with meshes made here instead of files: the
// scenes have something to draw wherever the tests run.
class Timeline : public ::testing::Test {
 protected:
  Timeline() : screen("Demo", 640, 480, false) {
    startDemo(state, platform, false);
    // No mask unless a test lays one.
    std::free(state.resources.mask.pixels);
    state.resources.mask.pixels = static_cast<uint32_t*>(std::calloc(640 * 480, 4));
  }
  ~Timeline() override { stopDemo(state); }
  // One frame at clock t after a frame of dt seconds, as the loop runs it.
  void frameAt(double t, double dt = 0) {
    state.clock = t;
    state.frameSeconds = dt;
    renderScene(state, screen, platform);
  }
  // Marks the current rasterizer: a re-created one has a viewport from 0.
  void markRasterizer() { state.resources.rasterizer->viewport.left = -77; }
  bool rasterizerRecreated() const { return state.resources.rasterizer->viewport.left != -77; }
  uint32_t shown(int x, int y) const { return screen.frameBuffer[y * 640 + x] & 0xFFFFFF; }

  Screen screen;
  QuietPlatform platform;
  DemoState state;
};

TEST(SceneChoice, BoundariesFollowTheTableInOrder) {
  struct Case {
    double t;
    int scene;
  };
  const Case cases[] = {{0, 1},
                        {7.46, 1},
                        {std::nextafter(7.46, 8.0), 2},
                        {std::nextafter(11.2, 0.0), 2},
                        {11.2, 3},
                        {14.9, 4},
                        {15.7, 5},
                        {16.2, 6},
                        {16.7, 7},
                        {17.2, 8},
                        {17.7, 9},
                        {22.2, 10},
                        {25.9, 11},
                        {29.7, 12},
                        {36.9, 13},
                        {58.5, 14},
                        {std::nextafter(120.0, 0.0), 14},
                        {120, 0},
                        {1e9, 0}};
  for (const Case& c : cases) EXPECT_EQ(sceneAt(c.t), c.scene) << "t = " << c.t;
}

TEST_F(Timeline, TheEndPostsAQuitOnEveryFrameAndDrawsNothing) {
  frameAt(1);
  const uint32_t before = shown(10, 10);
  screen.frameBuffer[10 * 640 + 10] = 0x123456;
  frameAt(120);
  frameAt(130);
  EXPECT_EQ(platform.quits, 2);
  EXPECT_EQ(shown(10, 10), 0x123456u);
  EXPECT_NE(before, 0x123456u);
}

TEST_F(Timeline, TheBufferSwitchesOnAScenesFirstFrameOnly) {
  frameAt(7.40);
  markRasterizer();
  frameAt(7.46);  // still scene 1
  EXPECT_FALSE(rasterizerRecreated());
  frameAt(7.47);
  EXPECT_TRUE(rasterizerRecreated());
  EXPECT_EQ(state.frame.width, 160u);
  EXPECT_EQ(state.frame.height, 120u);
  markRasterizer();
  frameAt(9);
  EXPECT_FALSE(rasterizerRecreated());
  // One long frame from scene 2 straight into scene 9: one switch, to 80 x 60.
  frameAt(18.0, 9.0);
  EXPECT_TRUE(rasterizerRecreated());
  EXPECT_EQ(state.frame.width, 80u);
  EXPECT_EQ(state.frame.height, 60u);
  const Rasterizer& r = *state.resources.rasterizer;
  EXPECT_EQ(r.viewport.right, 80);
  EXPECT_EQ(r.viewport.bottom, 60);
  EXPECT_EQ(r.target, &state.frame);
  // Scene 11 reached from 10 switches back to the full 320 x 240.
  frameAt(25.0);
  frameAt(26.0);
  EXPECT_EQ(state.frame.width, 320u);
  EXPECT_EQ(state.frame.height, 240u);
  markRasterizer();
  frameAt(30.0);  // scene 12 has the same size: nothing to switch
  EXPECT_FALSE(rasterizerRecreated());
}

TEST_F(Timeline, SceneSixIsTenByFifteenPixelsOf64By32) {
  // The second mesh list, drawn in scenes 6 to 13.
  state.resources.fernothMeshes.push_back(square(0));
  // x = cos(30 deg) * slide - 5 = 0: the square sits in the middle, 3.9 units out.
  state.resources.scene.slide = 5 / std::cos(0.5235988);
  frameAt(16.3);
  ASSERT_EQ(state.frame.width, 10u);
  ASSERT_EQ(state.frame.height, 15u);
  int blocksWithMesh = 0;
  for (int by = 0; by < 15; ++by) {
    for (int bx = 0; bx < 10; ++bx) {
      const uint32_t corner = shown(bx * 64, by * 32);
      for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 64; ++x) ASSERT_EQ(shown(bx * 64 + x, by * 32 + y), corner) << bx << "," << by;
      }
      // Black or white background (left or right half), else the mesh.
      blocksWithMesh += corner != 0 && corner != 0xFFFFFF;
    }
  }
  EXPECT_GT(blocksWithMesh, 0);
}

TEST_F(Timeline, MaskIsLaidOverTheScaledPicture) {
  uint32_t* mask = state.resources.mask.pixels;
  mask[0] = 0x01FF0000;                // top left, over black background
  mask[479 * 640 + 639] = 0x0100FF00;  // bottom right, over white background
  mask[240 * 640 + 320] = 0x01000000;  // black: transparent
  frameAt(1);
  EXPECT_EQ(shown(0, 0), 0xFF0000u);
  EXPECT_EQ(shown(639, 479), 0x00FF00u);
  EXPECT_EQ(shown(1, 0), 0u);
  EXPECT_EQ(shown(638, 479), 0xFFFFFFu);
  frameAt(60);  // the cube field has no mask
  EXPECT_NE(shown(0, 0), 0xFF0000u);
}

TEST_F(Timeline, ParticlesOnTheRightHalfShowInverted) {
  // A white sprite, half the particles at full life on each side, and no
  // motion: 500 additive copies saturate to white.
  PixelSurface& sprite = state.resources.sprite;
  for (uint32_t i = 0; i < 64; ++i) sprite.pixels[i] = 0x01FFFFFF;
  ParticleSystem& particles = *state.resources.particles;
  for (uint32_t k = 0; k < particles.count; ++k) {
    particles.pool[k] = Particle{k % 2 ? 240.0f : 80.0f, 100, 0, 0, 1, 0};
  }
  frameAt(30.0);  // scene 12, no time passes
  for (int y = 0; y < 240; ++y) {
    for (int x = 0; x < 320; ++x) {
      const bool leftSpot = x >= 80 && x < 88 && y >= 100 && y < 108;
      const bool rightSpot = x >= 240 && x < 248 && y >= 100 && y < 108;
      uint32_t expected = x < 160 ? 0 : 0xFFFFFF;
      if (leftSpot) expected = 0xFFFFFF;
      if (rightSpot) expected = 0;
      ASSERT_EQ(shown(2 * x, 2 * y), expected) << x << "," << y;
    }
  }
}

TEST_F(Timeline, BackgroundRampCountsFramesToWhiteAndBack) {
  state.resources.particles->active = false;
  // Long frames do not speed the ramp up: it counts frames.
  for (int i = 0; i < 255; ++i) frameAt(40.0, 0.5);
  EXPECT_EQ(state.resources.scene.fadeColour, 0xFFFFFFu);
  frameAt(40.0, 0.5);  // the fill uses the colour reached by the frame before
  EXPECT_EQ(shown(10, 100), 0xFFFFFFu);
  EXPECT_EQ(shown(630, 100), 0u);
  for (int i = 256; i < 510; ++i) frameAt(40.0, 0.5);
  EXPECT_EQ(state.resources.scene.fadeColour, 0u);
  frameAt(40.0, 0.5);
  EXPECT_EQ(shown(10, 100), 0u);
  EXPECT_EQ(shown(630, 100), 0xFFFFFFu);
  EXPECT_EQ(state.resources.scene.fadeColour, 0x010101u);  // climbing again
}

TEST_F(Timeline, TheCameraDriftsAsTheTableSaysThroughScenesTenToThirteen) {
  state.resources.particles->active = false;
  // Four frames of 0.25 s in each scene; the eye moves after each frame by
  // its rates times 0.25 s (worked out by hand from the rates per second).
  struct Stage {
    double clock;
    float x, y, z;  // the eye after the stage's four frames
  };
  const Stage stages[] = {
      {23.0, -2.7f, -1.7f, 0.0f},   // scene 10: x -2.7/s, y -1.7/s
      {27.0, -2.7f, -2.4f, -2.7f},  // scene 11: z -2.7/s, y -0.7/s
      {31.0, -2.7f, -1.7f, -5.4f},  // scene 12: z -2.7/s, y +0.7/s
      {40.0, -1.7f, -1.0f, -4.7f},  // scene 13: x +1/s, y +0.7/s, z +0.7/s
  };
  for (const Stage& stage : stages) {
    for (int frame = 0; frame < 4; ++frame) frameAt(stage.clock, 0.25);
    const Vec3 eye = state.resources.scene.eye;
    EXPECT_NEAR(eye.x, stage.x, 1e-5) << "at " << stage.clock;
    EXPECT_NEAR(eye.y, stage.y, 1e-5) << "at " << stage.clock;
    EXPECT_NEAR(eye.z, stage.z, 1e-5) << "at " << stage.clock;
  }
  EXPECT_NEAR(state.resources.scene.phase, 16 * 0.25, 1e-12);
}

TEST_F(Timeline, ParticlesAreDrawnBeforeTheyAge) {
  state.resources.fernothMeshes.clear();
  // One particle at (80, 100) with life 1, its drift cancelling its circling
  // (10 cos 0 - 10 = 0): it stays put. The others wait outside the picture.
  PixelSurface& sprite = state.resources.sprite;
  for (uint32_t i = 0; i < 64; ++i) sprite.pixels[i] = 0x01FEFEFE;
  ParticleSystem& particles = *state.resources.particles;
  for (uint32_t k = 0; k < particles.count; ++k) {
    particles.pool[k] = Particle{k == 0 ? 80.0f : -100.0f, k == 0 ? 100.0f : -100.0f, -10, 0, 1, 0};
  }
  frameAt(30.0, 0.1);  // scene 12
  // Drawn at life 1: 254 x 1 = 254, added at half strength: 127 on black.
  // Had the frame aged it first (life 1 - 0.1 x 5 = 0.5) it would show 63.
  for (int y = 100; y < 108; ++y) {
    for (int x = 80; x < 88; ++x) ASSERT_EQ(shown(2 * x, 2 * y), 0x7F7F7Fu) << x << "," << y;
  }
  EXPECT_EQ(shown(2 * 79, 2 * 100), 0u);
  EXPECT_EQ(shown(2 * 88, 2 * 107), 0u);
  // Aged after the draw.
  EXPECT_FLOAT_EQ(particles.pool[0].life, 0.5f);
  EXPECT_FLOAT_EQ(particles.pool[0].x, 80.0f);
  EXPECT_FLOAT_EQ(particles.pool[0].y, 100.0f);
}

TEST_F(Timeline, CubeFieldStandsOnAThreeUnitGrid) {
  // The wire cubes only: no grey meshes over them.
  state.resources.bolindeMeshes.clear();
  state.resources.wexMeshes.clear();
  state.resources.talmekMeshes.clear();
  frameAt(60.0);
  // Cubes of half-edge 1 at x = -20, -17, ..., -2, 1, ..., 19 (and the same
  // y), their centres 25 to 35 units out: their faces lie d = 24 to 36 units
  // out. A point maps to column 159.5 + 212.7 x / d (159.5 times 4/3) and row
  // 119.5 - 119.5 y / d; lines take the column (or row) they walk along
  // truncated and the other rounded. Near the middle, x = -1 (the right
  // side of the cubes at -2) maps to 150.6 to 153.6, drawn up to column 154;
  // x = 0 (the left side of the cubes at 1) maps to 159.5, drawn from column
  // 159. Across, y = 0 (the bottom of the cubes at 1) maps to row 119.5,
  // drawn down to row 120, and y = -1 (the top of the cubes at -2) to 122.8
  // to 124.5, drawn from row 122. Columns 155 to 158 and row 121 see no
  // cube: a grid of any other step puts one across the middle.
  const PixelSurface& frame = state.frame;
  ASSERT_EQ(frame.width, 320u);
  auto at = [&](uint32_t x, uint32_t y) { return frame.pixels[y * 320 + x] & 0xFFFFFF; };
  auto columnHasBlack = [&](uint32_t x) {
    for (uint32_t y = 0; y < 240; ++y) {
      if (at(x, y) == 0) return true;
    }
    return false;
  };
  auto rowHasBlack = [&](uint32_t y) {
    for (uint32_t x = 0; x < 320; ++x) {
      if (at(x, y) == 0) return true;
    }
    return false;
  };
  for (uint32_t x = 155; x <= 158; ++x) EXPECT_FALSE(columnHasBlack(x)) << "column " << x;
  EXPECT_FALSE(rowHasBlack(121));
  EXPECT_TRUE(columnHasBlack(159) || columnHasBlack(160));
  EXPECT_TRUE(columnHasBlack(151) || columnHasBlack(152) || columnHasBlack(153) || columnHasBlack(154));
  EXPECT_TRUE(rowHasBlack(120));
  EXPECT_TRUE(rowHasBlack(122) || rowHasBlack(123) || rowHasBlack(124));
  // Nothing but white and the black wires.
  for (uint32_t i = 0; i < 320 * 240; ++i) {
    const uint32_t p = frame.pixels[i] & 0xFFFFFF;
    ASSERT_TRUE(p == 0 || p == 0xFFFFFF) << i;
  }
}

int countedFrames = 0;
void countedStep(DemoState& state, Screen& screen, Platform& platform) {
  renderScene(state, screen, platform);
  if (++countedFrames == 16) platform.postQuit(0);
}

TEST_F(Timeline, CubeFieldRunsOnADoubledClock) {
  // Frames of 250 ms through the real loop: two of scene 13 from 58 s, then
  // fourteen of scene 14, each of which moves the clock by 500 ms.
  platform.step = 250;
  state.clock = 58;
  state.frameSeconds = 0.25;
  countedFrames = 0;
  runMainLoop(platform, state, screen, countedStep, stdout);
  ASSERT_EQ(countedFrames, 16);
  EXPECT_EQ(state.clock, 58.5 + 14 * 0.5);
  EXPECT_NEAR(state.resources.scene.slideSlow, 14 * 0.25 * 0.1, 1e-12);
  EXPECT_NEAR(state.resources.scene.slideMid, 14 * 0.25 * 0.2, 1e-12);
  EXPECT_NEAR(state.resources.scene.slideFast, 14 * 0.25 * 0.3, 1e-12);
}

// The whole run in a folder where one mesh file is empty and the others are
// missing: every draw of a mesh is skipped and the sequence ends as usual.
TEST(WholeRun, MissingAndEmptyMeshFilesStillEndNormally) {
  namespace fs = std::filesystem;
  const fs::path folder = fs::temp_directory_path() / ("demo-timeline-" + std::to_string(std::rand()));
  fs::remove_all(folder);
  ASSERT_TRUE(fs::create_directory(folder));
  const fs::path previous = fs::current_path();
  fs::current_path(folder);
  std::ofstream("lu09.df", std::ios::binary).close();
  std::ofstream("wex.df", std::ios::binary).close();

  QuietPlatform platform;
  platform.step = 50;  // 50 ms frames: one reading a frame
  testing::internal::CaptureStdout();
  const int code = runDemo(platform, false);
  const std::string out = testing::internal::GetCapturedStdout();
  fs::current_path(previous);
  fs::remove_all(folder);

  EXPECT_EQ(code, 0);
  // 58.5 s of single frames and 61.5 s of doubled ones: about 89 s of frames.
  const double seconds = platform.now / 1000.0;
  EXPECT_GT(seconds, 88.5);
  EXPECT_LT(seconds, 89.6);
  EXPECT_NE(out.find("error opening file : fernoth.df"), std::string::npos);
}

// A cube seen corner-on in front of a white target: in black only its wire
// frame shows (every pixel white or black), in grey its faces darken the
// middle of it.
TEST(DrawCube, BlackShowsTheWireFrameAloneAGreyCubeItsFaces) {
  const Vec3 corners[8] = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                           {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};
  for (const float grey : {0.0f, 0.5f}) {
    std::vector<uint32_t> pixels(64 * 48, 0x00FFFFFF);
    PixelSurface target{pixels.data(), 64, 48};
    Rasterizer rasterizer(target, ViewportRect{0, 48, 0, 64});
    rasterizer.projection = perspective(1.5707964f, 1.3333334f, 1, 100);
    setIdentity(rasterizer.view);
    rasterizer.model = translation(0, 0, -5) * rotationY(0.6f) * rotationX(0.5f);
    drawCube(rasterizer, corners, grey, grey, grey);
    uint32_t white = 0, black = 0;
    for (const uint32_t p : pixels) {
      white += (p & 0x00FFFFFF) == 0x00FFFFFF;
      black += (p & 0x00FFFFFF) == 0;
    }
    EXPECT_GT(black, 40u) << grey;  // the edges
    if (grey == 0) {
      EXPECT_EQ(white + black, pixels.size());
    } else {
      EXPECT_NE(pixels[24 * 64 + 32] & 0x00FFFFFF, 0x00FFFFFFu);
      EXPECT_GT(pixels.size() - white - black, 100u);
    }
  }
}

}  // namespace

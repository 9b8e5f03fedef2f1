#include "driver/scenes.h"

#include <cstdlib>
#include <new>

#include "display/screen.h"

Vec3 cubeCorners[8];

const int32_t cubeIndices[36] = {0, 1, 2, 0, 3, 2, 1, 2, 5, 2, 5, 6, 0, 4, 3, 3, 4, 7,
                                 4, 5, 6, 4, 6, 7, 0, 1, 4, 1, 4, 5, 7, 6, 2, 7, 2, 3};

const int32_t cubeEdges[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                                  {6, 7}, {7, 4}, {0, 4}, {1, 5}, {3, 7}, {2, 6}};

namespace {

void release(MeshList& meshes) { MeshList().swap(meshes); }

void release(PixelSurface& surface) {
  std::free(surface.pixels);
  surface = PixelSurface();
}

// The rasterizer for a buffer of frame's size, covering all of it.
Rasterizer* makeRasterizer(PixelSurface& frame) {
  const ViewportRect viewport = {0, int32_t(frame.height), 0, int32_t(frame.width)};
  Rasterizer* rasterizer = new (std::nothrow) Rasterizer(frame, viewport);
  if (!rasterizer) fatalError("Rasterizer not created due to lack of memory");
  return rasterizer;
}

}  // namespace

void loadSceneResourcesFirst(SceneResources& resources) {
  const Vec3 corners[8] = {{-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1},
                           {-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1}};
  for (int i = 0; i < 8; ++i) cubeCorners[i] = corners[i];
  loadMeshFile(resources.lu09Meshes, "lu09.df");
  loadMeshFile(resources.fernothMeshes, "fernoth.df");
  loadPointFile(resources.points, "model.hax");
}

void loadSceneResourcesSecond(SceneResources& resources, PixelSurface& frame) {
  loadRawImage(".\\mask.raw", 640, 480, resources.mask);
  loadRawImage(".\\part.raw", 8, 8, resources.sprite);
  resources.rasterizer = makeRasterizer(frame);
  SceneState& scene = resources.scene;
  scene.slide = 0;
  scene.phase = 0;
  scene.eye = {0, 0, 0};
  scene.lookTarget = {0, 0, -1};
  scene.up = {0, 1, 0};
  resources.particles = new (std::nothrow) ParticleSystem(1000, 160, 120, 0, 0);
  if (!resources.particles) fatalError("Particle system not created due to lack of memory");
  scene.fadeColour = 0;
  scene.fadeStep = 0x010101;
}

void loadSceneResourcesThird(SceneResources& resources) {
  resources.scene.slideSlow = 0;
  resources.scene.slideMid = 0;
  resources.scene.slideFast = 0;
  loadMeshFile(resources.bolindeMeshes, "bolinde.df");
  loadMeshFile(resources.wexMeshes, "wex.df");
  loadMeshFile(resources.talmekMeshes, "talmek.df");
}

void releaseSceneResources(SceneResources& resources) {
  release(resources.talmekMeshes);
  release(resources.wexMeshes);
  release(resources.bolindeMeshes);
  PointList().swap(resources.points);
  release(resources.fernothMeshes);
  release(resources.lu09Meshes);
  // The rest would go with the process; released here so that leak checkers
  // see a clean run.
  release(resources.mask);
  release(resources.sprite);
  delete resources.particles;
  resources.particles = nullptr;
  delete resources.rasterizer;
  resources.rasterizer = nullptr;
}

void setFrameSize(PixelSurface& frame, SceneResources& resources, uint32_t width, uint32_t height) {
  std::free(frame.pixels);
  frame.pixels = static_cast<uint32_t*>(std::malloc(size_t(width) * height * 4));
  if (!frame.pixels) fatalError("Render buffer not created due to lack of memory");
  frame.width = width;
  frame.height = height;
  delete resources.rasterizer;
  resources.rasterizer = nullptr;
  resources.rasterizer = makeRasterizer(frame);
}

void drawCube(Rasterizer& rasterizer, const Vec3* corners, float r, float g, float b) {
  // Subtracting black changes no colour (the faces neither test nor write
  // depth), so the faces are drawn only in a colour: the cube field's 196
  // black cubes are then their wire frames alone, a third of its frame time.
  // Only the pixels' top byte, which carries no colour, would have differed.
  if ((packColour(r, g, b) & 0x00FFFFFFu) != 0) rasterizer.drawSubtractive(corners, cubeIndices, 36, r, g, b);
  rasterizer.drawLines(corners, cubeEdges, 12, 0, 0, 0);
}

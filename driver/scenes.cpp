#include "driver/scenes.h"

#include <cstdlib>

namespace {

void release(MeshList& meshes) { MeshList().swap(meshes); }

void release(PixelSurface& surface) {
  std::free(surface.pixels);
  surface = PixelSurface();
}

}  // namespace

void loadSceneResourcesFirst(SceneResources& resources) {
  loadMeshFile(resources.lu09Meshes, "lu09.df");
  loadMeshFile(resources.fernothMeshes, "fernoth.df");
  loadPointFile(resources.points, "model.hax");
}

void loadSceneResourcesSecond(SceneResources& resources) {
  loadRawImage(".\\mask.raw", 640, 480, resources.mask);
  loadRawImage(".\\part.raw", 8, 8, resources.sprite);
}

void loadSceneResourcesThird(SceneResources& resources) {
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
  release(resources.mask);
  release(resources.sprite);
}

// The resources the scenes draw with: created in three groups at start-up,
// released at shutdown.
#pragma once

#include "assets/assets.h"
#include "surface/surface.h"

struct SceneResources {
  PixelSurface mask;    // 640 x 480, laid over every mesh scene
  PixelSurface sprite;  // 8 x 8 particle image
  MeshList lu09Meshes;
  MeshList fernothMeshes;
  MeshList bolindeMeshes;
  MeshList wexMeshes;
  MeshList talmekMeshes;
  PointList points;  // loaded and kept; no scene draws it
};

// First group: the first two mesh files and the point file.
void loadSceneResourcesFirst(SceneResources& resources);
// Second group, once the render buffer exists: the mask and sprite images.
void loadSceneResourcesSecond(SceneResources& resources);
// Third group: the last three mesh files.
void loadSceneResourcesThird(SceneResources& resources);
// Releases everything the three groups created.
void releaseSceneResources(SceneResources& resources);

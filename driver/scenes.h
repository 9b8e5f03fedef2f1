// The resources and state the scenes draw with: created in three groups at
// start-up, released at shutdown, and the timeline that draws one frame.
#pragma once

#include <cstdint>

#include "assets/assets.h"
#include "render3d/render3d.h"
#include "surface/surface.h"

// What the scenes advance after drawing; it carries over from one scene to
// the next.
struct SceneState {
  double slide = 0;  // the mesh's travel along its 30-degree line
  double phase = 0;  // seconds of scene time, drives the cube field's wave
  Vec3 eye = {0, 0, 0};
  Vec3 lookTarget = {0, 0, -1};
  Vec3 up = {0, 1, 0};
  uint32_t fadeColour = 0;      // scene 13's background, one grey step per frame
  int32_t fadeStep = 0x010101;  // +1 or -1 on every channel
  double slideSlow = 0;         // x offsets of scene 14's grey meshes
  double slideMid = 0;
  double slideFast = 0;
};

struct SceneResources {
  Rasterizer* rasterizer = nullptr;  // bound to the render buffer; re-created with it
  PixelSurface mask;                 // 640 x 480, laid over every mesh scene
  PixelSurface sprite;               // 8 x 8 particle image
  MeshList lu09Meshes;
  MeshList fernothMeshes;
  MeshList bolindeMeshes;
  MeshList wexMeshes;
  MeshList talmekMeshes;
  PointList points;                     // loaded and kept; no scene draws it
  ParticleSystem* particles = nullptr;  // scenes 12 and 13
  SceneState scene;
};

// The cube of half-edge 1 around the origin, drawn by the last scene's field:
// its corners (filled by the first start-up group), its twelve triangles and
// its twelve edges.
extern Vec3 cubeCorners[8];
extern const int32_t cubeIndices[36];
extern const int32_t cubeEdges[12][2];

// First group: the cube corners, the first two mesh files and the point file.
void loadSceneResourcesFirst(SceneResources& resources);
// Second group, once the render buffer `frame` exists: the mask and sprite
// images, the rasterizer bound to `frame`, the scene state and the particles.
void loadSceneResourcesSecond(SceneResources& resources, PixelSurface& frame);
// Third group: the last three mesh files.
void loadSceneResourcesThird(SceneResources& resources);
// Releases everything the three groups created.
void releaseSceneResources(SceneResources& resources);

// Gives `frame` a fresh width x height block (contents undefined), freeing the
// old one, and re-creates the rasterizer bound to it. Ends the process with a
// message when memory runs out.
void setFrameSize(PixelSurface& frame, SceneResources& resources, uint32_t width, uint32_t height);

// The subtractive cube with the rasterizer's current matrices (left out in
// black, which subtracts nothing), then its twelve edges as black lines.
void drawCube(Rasterizer& rasterizer, const Vec3* corners, float r, float g, float b);

// The scene (1 to 14) that the clock value t selects; 0 from the end on.
int sceneAt(double t);

// The clock value at which the sequence ends and the driver is asked to quit.
constexpr double sequenceEnd = 120;

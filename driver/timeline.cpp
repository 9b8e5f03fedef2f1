// The fourteen scenes on the demo clock. Scenes 1 to 13 draw one green mesh
// into a render buffer that shrinks from 320 x 240 to 10 x 15 and grows back,
// invert its right half, scale it up and lay the mask over it; scene 14 draws
// a waving field of wire cubes under three grey meshes.
#include <cmath>

#include "display/screen.h"
#include "driver/demo.h"
#include "render3d/maths.h"

namespace {

// Constants held as the single-precision values the motion was tuned with.
constexpr float tiltAngle = 0.5235988f;     // pi / 6
constexpr float fieldOfView = 1.5707964f;   // pi / 2
constexpr float aspectFactor = 1.3333334f;  // 4 / 3
constexpr float nearPlane = 1;
constexpr float farPlane = 100;
constexpr float piFloat = 3.1415927f;

struct SceneLayout {
  double end;              // first clock value past the scene
  bool endInclusive;       // scene 1 also takes its end value
  uint32_t width, height;  // render buffer
};

// Scenes 1 to 14 in table order.
constexpr SceneLayout layouts[14] = {{7.46, true, 320, 240},  {11.2, false, 160, 120},       {14.9, false, 80, 60},
                                     {15.7, false, 40, 30},   {16.2, false, 20, 15},         {16.7, false, 10, 15},
                                     {17.2, false, 20, 15},   {17.7, false, 40, 30},         {22.2, false, 80, 60},
                                     {25.9, false, 160, 120}, {29.7, false, 320, 240},       {36.9, false, 320, 240},
                                     {58.5, false, 320, 240}, {sequenceEnd, false, 320, 240}};

const Mesh* firstMesh(const MeshList& meshes) { return meshes.empty() ? nullptr : &meshes.front(); }

void drawMesh(Rasterizer& rasterizer, const Mesh* mesh, bool subtractive, float r, float g, float b) {
  // A mesh file that was missing or empty skips its draw; the run goes on.
  if (!mesh) return;
  if (subtractive) {
    rasterizer.drawSubtractive(mesh->vertices, mesh->indices, mesh->indexCount, r, g, b);
  } else {
    rasterizer.drawShaded(mesh->vertices, mesh->indices, mesh->indexCount, r, g, b);
  }
}

void setProjection(Rasterizer& rasterizer) {
  rasterizer.projection = perspective(fieldOfView, aspectFactor, nearPlane, farPlane);
}

// Background ramp of scene 13: one grey step per frame, turning at white and
// at black.
void advanceFade(SceneState& state) {
  state.fadeColour += uint32_t(state.fadeStep);
  if (state.fadeColour == 0xFFFFFF || state.fadeColour == 0) state.fadeStep = -state.fadeStep;
}

void renderMeshScene(int scene, DemoState& state, Screen& screen) {
  SceneResources& resources = state.resources;
  SceneState& s = resources.scene;
  PixelSurface& frame = state.frame;
  Rasterizer& rasterizer = *resources.rasterizer;
  const double dt = state.frameSeconds;

  fillSurface(frame, scene == 13 ? s.fadeColour : 0);
  rasterizer.clearDepthBuffer();

  const bool early = scene <= 5;
  const double a0 = double(tiltAngle);
  const double depth = early ? 9 : 1;
  const float x = float(maths::cos(a0) * s.slide - 5);
  const float z = float(-maths::sin(a0) * s.slide - depth);
  const float tilt = early ? tiltAngle : -tiltAngle;
  rasterizer.model = translation(x, 0, z) * rotationY(tilt) * rotationX(0);
  setProjection(rasterizer);
  if (scene <= 9) {
    setIdentity(rasterizer.view);
  } else {
    rasterizer.view = lookAt(s.eye, s.lookTarget, s.up);
  }
  drawMesh(rasterizer, firstMesh(early ? resources.lu09Meshes : resources.fernothMeshes), false, 0, 1, 0);

  switch (scene) {
    case 1:
    case 3:
    case 5:
    case 7:
      s.slide += 2.7 * dt;
      break;
    case 2:
    case 4:
    case 6:
    case 8:
      s.slide -= 2.7 * dt;
      break;
    case 9:
      s.slide -= 1.7 * dt;
      break;
    case 10:
      s.eye.x = float(s.eye.x - 2.7 * dt);
      s.eye.y = float(s.eye.y - 1.7 * dt);
      break;
    case 11:
      s.eye.z = float(s.eye.z - 2.7 * dt);
      s.eye.y = float(s.eye.y - 0.7 * dt);
      break;
    case 12:
      s.eye.z = float(s.eye.z - 2.7 * dt);
      s.eye.y = float(s.eye.y + 0.7 * dt);
      break;
    default:  // 13
      advanceFade(s);
      s.eye.x = float(s.eye.x + dt);
      s.eye.y = float(s.eye.y + 0.7 * dt);
      s.eye.z = float(s.eye.z + 0.7 * dt);
      break;
  }
  s.phase += dt;

  if (scene >= 12) {
    resources.particles->move(dt);
    resources.particles->draw(frame, resources.sprite);
    resources.particles->update(dt);
  }

  // Particles included: whatever lies in the right half shows inverted.
  invertRegion(frame.width / 2, 0, frame);
  // Scaled, scene 1 doubled (the same as scaling by 2 and 2), and the mask
  // laid over it, in one pass over the frame buffer.
  const uint32_t sx = scene == 1 ? 2 : uint32_t(screen.width) / frame.width;
  const uint32_t sy = scene == 1 ? 2 : uint32_t(screen.height) / frame.height;
  scaleToScreenUnderMask(frame, resources.mask, screen, sx, sy);
}

void renderCubeField(DemoState& state, Screen& screen) {
  SceneResources& resources = state.resources;
  SceneState& s = resources.scene;
  Rasterizer& rasterizer = *resources.rasterizer;
  const double dt = state.frameSeconds;

  fillSurface(state.frame, 0xFFFFFF);
  rasterizer.clearDepthBuffer();
  setProjection(rasterizer);
  setIdentity(rasterizer.view);

  // The i term carries pi and the j term does not: the field undulates
  // faster across i than across j.
  for (float i = -20; i < 20; i += 3) {
    const double wave = maths::sin(i * double(piFloat) * 0.08 + s.phase);
    for (float j = -20; j < 20; j += 3) {
      const float z = float(maths::cos(j * 0.08 + s.phase) * wave * 5 - 30);
      rasterizer.model = translation(i, j, z);
      drawCube(rasterizer, cubeCorners, 0, 0, 0);
    }
  }
  const float grey = 0.5f;
  rasterizer.model = translation(float(s.slideSlow), 0, -10);
  drawMesh(rasterizer, firstMesh(resources.bolindeMeshes), true, grey, grey, grey);
  rasterizer.model = translation(float(s.slideMid), 2, -10);
  drawMesh(rasterizer, firstMesh(resources.wexMeshes), true, grey, grey, grey);
  rasterizer.model = translation(float(-s.slideFast), -3, -10);
  drawMesh(rasterizer, firstMesh(resources.talmekMeshes), true, grey, grey, grey);

  // The scene runs on a doubled clock.
  state.clock += dt;
  s.slideFast += 0.3 * dt;
  s.slideMid += 0.2 * dt;
  s.slideSlow += 0.1 * dt;
  s.phase += dt;

  doubleToScreen(state.frame, screen);
}

}  // namespace

int sceneAt(double t) {
  for (int scene = 1; scene <= 14; ++scene) {
    const SceneLayout& layout = layouts[scene - 1];
    if (t < layout.end || (layout.endInclusive && t == layout.end)) return scene;
  }
  return 0;
}

void renderScene(DemoState& state, Screen& screen, Platform& platform) {
  const int scene = sceneAt(state.clock);
  if (scene == 0) {
    platform.postQuit(0);
    return;
  }
  // The buffer changes size on a scene's first frame only, and a long frame
  // that skips scenes still lands on the right size.
  const SceneLayout& layout = layouts[scene - 1];
  if (state.frame.width != layout.width || state.frame.height != layout.height) {
    setFrameSize(state.frame, state.resources, layout.width, layout.height);
  }
  if (scene == 14) {
    renderCubeField(state, screen);
  } else {
    renderMeshScene(scene, state, screen);
  }
}

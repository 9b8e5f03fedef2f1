// The designs. Each mesh is made for the scenes that show it; the numbers
// that matter for framing are explained where they are chosen.
#include <cmath>

#include "tools/make_assets/font.h"
#include "tools/make_assets/make_assets.h"

namespace {

// A polygon of `sides` corners round (cx, cy) in a revolve profile, with a
// flat side facing +r so the ring shows a band of even light from the front.
std::vector<P3> polygonProfile(double cx, double cy, double radius, int sides) {
  std::vector<P3> profile;
  for (int i = 0; i < sides; ++i) {
    const double angle = kPi / sides + 2 * kPi * i / sides;
    profile.push_back({cx + radius * fixedCos(angle), cy + radius * fixedSin(angle), 0});
  }
  return profile;
}

// The frame whose y axis (the revolve axis) is the given frame's z axis.
Frame facingZ(const Frame& frame) { return rotatedX(frame, kPi / 2); }

P3 polar(double radius, double angle, double z = 0) { return {radius * fixedCos(angle), radius * fixedSin(angle), z}; }

// An eight-pointed compass star in the xy plane: long points on the axes,
// short ones between, and valleys between each pair of points.
std::vector<P3> compassOutline(double longTip, double shortTip, double valley) {
  std::vector<P3> outline;
  for (int k = 0; k < 8; ++k) {
    const double angle = kPi / 2 + k * kPi / 4;
    outline.push_back(polar(k % 2 == 0 ? longTip : shortTip, angle));
    outline.push_back(polar(valley, angle + kPi / 8));
  }
  return outline;
}

}  // namespace

// Scenes 1 to 5 slide this along a line at 30 degrees, turned 30 degrees about
// y, 9 to 19 units away, and shrink the picture to 20 x 15 blocks. So: a bold
// round silhouette about 13 units across (a ring with teeth) that stays a blob
// of light when coarse, and at full size a faceted compass star whose sixteen
// facets each catch the light differently.
MeshBuilder makeCompassEmblem() {
  MeshBuilder mesh("compass emblem");
  const Frame centre;
  const double ringRadius = 3.6, ringThickness = 0.55;
  addRevolvedLoop(mesh, facingZ(centre), polygonProfile(ringRadius, 0, ringThickness, 8), 40);

  // Sixteen teeth, tapering outwards, rooted inside the ring.
  const int teeth = 16;
  for (int i = 0; i < teeth; ++i) {
    const double angle = 2 * kPi * (i + 0.5) / teeth;
    const P3 radial = polar(1, angle), tangent = polar(1, angle + kPi / 2), depth{0, 0, 1};
    auto corners = [&](double r, double halfWidth, double halfDepth, P3 out[4]) {
      const double sx[4] = {-1, 1, 1, -1}, sz[4] = {-1, -1, 1, 1};
      for (int k = 0; k < 4; ++k) out[k] = radial * r + tangent * (sx[k] * halfWidth) + depth * (sz[k] * halfDepth);
    };
    P3 root[4], tip[4];
    corners(ringRadius + 0.2, 0.42, 0.34, root);
    corners(ringRadius + ringThickness + 0.75, 0.22, 0.16, tip);
    addFrustum(mesh, root, tip);
  }

  // The star: long points reach into the ring, the front apex stands out.
  addBipyramid(mesh, centre, compassOutline(3.3, 2.2, 1.0), 0.75, -0.45);
  // A raised hub ring round the apex.
  addRevolvedLoop(mesh, facingZ(Frame{{0, 0, 0.35}}), polygonProfile(1.05, 0, 0.18, 6), 24);
  // Grown as a whole: at the far end of the slide, in the 20 x 15 picture,
  // the emblem must still cover a few blocks.
  for (P3& v : mesh.vertices) v = v * 1.3;
  return mesh;
}

// Scenes 6 to 13 put the camera inside this and then fly it out. The frame
// is placed so that the point the moving camera of scenes 10 to 13 keeps
// looking at (world (0, 0, -1), here about (-0.8, 0, 6.4) once the slide has
// settled) is the middle of its central cell. There an armillary of three
// rings with a gem at its heart holds the eye while the camera circles out of
// the lattice, 28 units across, which it leaves in scene 12 to look back at it.
MeshBuilder makeSpaceFrame() {
  MeshBuilder mesh("space frame");
  const P3 centre{-0.8, 0, 6.4};
  const double nodes[4] = {-12, -4, 4, 12};
  const double reach = 15;  // beams run past the outer nodes
  const double beam = 0.32, hub = 0.62;

  for (double u : nodes) {
    for (double v : nodes) {
      addTube(mesh, centre + P3{-reach, u, v}, centre + P3{reach, u, v}, beam, 6, 0);
      addTube(mesh, centre + P3{u, -reach, v}, centre + P3{u, reach, v}, beam, 6, 0);
      addTube(mesh, centre + P3{u, v, -reach}, centre + P3{u, v, reach}, beam, 6, 0);
    }
  }
  for (double x : nodes) {
    for (double y : nodes) {
      for (double z : nodes) {
        // Hubs turned 45 degrees about y, so their faces catch the light at
        // angles the beams do not.
        addBox(mesh, rotatedY(Frame{centre + P3{x, y, z}}, kPi / 4), {hub, hub, hub});
      }
    }
  }

  const Frame heart{centre};
  const std::vector<P3> ringProfile = polygonProfile(3.0, 0, 0.2, 6);
  addRevolvedLoop(mesh, heart, ringProfile, 36);
  addRevolvedLoop(mesh, rotatedZ(rotatedX(heart, kPi / 2), kPi / 3), ringProfile, 36);
  addRevolvedLoop(mesh, rotatedZ(rotatedX(heart, kPi / 2), -kPi / 3), ringProfile, 36);
  std::vector<P3> gem;
  for (int k = 0; k < 6; ++k) gem.push_back(polar(0.9, k * kPi / 3));
  addBipyramid(mesh, rotatedX(heart, kPi / 2), gem, 1.2, -1.2);
  return mesh;
}

// The last scene subtracts grey for every face under a pixel, modulo 256: one
// layer turns white into grey, and the black lines of the cube field into the
// same grey; two layers turn either into near black. The emblem is one flat
// layer facing the camera, so it shows grey over the field. The lettering is
// two: a grey band that blanks the wire lines behind the words, and the
// letters on it in near black, so the words read over the busy field. They
// drift for about 31 s (the emblem right at 0.1 units/s, the upper line right
// at 0.2, the lower line left at 0.3) and are placed so that they meet,
// centred, as the demo ends: the words slide in over the emblem, their bands
// clear of its teeth (a third layer would wrap back to grey).
MeshBuilder makeFlatEmblem() {
  MeshBuilder mesh("flat emblem");
  // Narrowed to 3/4 in x: the projection widens x by 4/3, so it shows round.
  const Frame frame{{-3.0, 0, 0}, {0.75, 0, 0}};
  const int segments = 48;
  const double inner = 2.5, outer = 3.0, toothTip = 3.55;
  std::vector<int32_t> innerRing, outerRing;
  addFlatRing(mesh, frame, inner, outer, segments, &innerRing, &outerRing);

  // Teeth on every fourth segment of the rim, sharing its corners.
  for (int s = 1; s < segments; s += 4) {
    const double a0 = 2 * kPi * s / segments, a1 = 2 * kPi * (s + 1) / segments, inset = 0.25 * (a1 - a0);
    const int32_t tip0 = mesh.vertex(frame.apply(polar(toothTip, a0 + inset)));
    const int32_t tip1 = mesh.vertex(frame.apply(polar(toothTip, a1 - inset)));
    mesh.quad(outerRing[size_t(s)], outerRing[size_t(s + 1)], tip1, tip0);
  }

  // The compass star, its long points meeting the ring at shared corners.
  const std::vector<P3> outline = compassOutline(inner, 1.6, 0.5);
  const int32_t hubVertex = mesh.vertex(frame.apply({0, 0, 0}));
  std::vector<int32_t> star;
  for (size_t i = 0; i < outline.size(); ++i) {
    // Long points are outline entries 0, 4, 8, 12 at 90, 180, 270, 0 degrees:
    // ring vertices 12, 24, 36 and 0 of 48.
    if (i % 4 == 0) {
      star.push_back(innerRing[size_t((12 + 12 * (i / 4)) % segments)]);
    } else {
      star.push_back(mesh.vertex(frame.apply(outline[i])));
    }
  }
  for (size_t i = 0; i < star.size(); ++i) mesh.triangle(hubVertex, star[i], star[(i + 1) % star.size()]);
  faceTowards(mesh, 0, {0, 0, 1});
  return mesh;
}

namespace {
// A line of lettering centred on (centreX, centreY) of the mesh, on a band
// with cut corners reaching one cell above and below the letters and two
// cells past their ends. Cells are 0.19 x 0.34 units: about 7 x 9 pixels of
// the screen at 10 units away, where the projection widens x by 4/3.
MeshBuilder makeLettering(const char* name, const char* text, double centreX, double centreY) {
  MeshBuilder mesh(name);
  const double cellX = 0.19, cellY = 0.34;
  const double width = textCells(text) * cellX, height = kGlyphHeight * cellY;
  const double halfX = width / 2 + 2 * cellX, halfY = height / 2 + cellY, cut = cellY;
  const P3 band[8] = {{-halfX + cut, -halfY, 0}, {halfX - cut, -halfY, 0}, {halfX, -halfY + cut, 0},
                      {halfX, halfY - cut, 0},   {halfX - cut, halfY, 0},  {-halfX + cut, halfY, 0},
                      {-halfX, halfY - cut, 0},  {-halfX, -halfY + cut, 0}};
  const P3 centre{centreX, centreY, 0};
  const int32_t hub = mesh.vertex(centre);
  int32_t rim[8];
  for (int k = 0; k < 8; ++k) rim[k] = mesh.vertex(centre + band[k]);
  for (int k = 0; k < 8; ++k) mesh.triangle(hub, rim[k], rim[(k + 1) % 8]);
  addFlatText(mesh, Frame{{centreX - width / 2, centreY + height / 2, 0}, {cellX, 0, 0}, {0, cellY, 0}}, text, 1.0);
  faceTowards(mesh, 0, {0, 0, 1});
  return mesh;
}
}  // namespace

// Drawn 2 units up and drifting right: ends centred above the emblem.
MeshBuilder makeTopLettering() { return makeLettering("lettering THANKS FOR", "THANKS FOR", -6.1, 3.1); }

// Drawn 3 units down and drifting left: ends centred below the emblem.
MeshBuilder makeBottomLettering() { return makeLettering("lettering WATCHING", "WATCHING", 9.2, -2.1); }

// A (2, 3) torus knot: the demo keeps it in memory.
std::vector<P3> makePointCloud() {
  std::vector<P3> points;
  const int count = 1200;
  for (int i = 0; i < count; ++i) {
    const double t = 2 * kPi * i / count;
    const double r = 3 + 1.2 * fixedCos(3 * t);
    points.push_back({r * fixedCos(2 * t), 1.2 * fixedSin(3 * t), r * fixedSin(2 * t)});
  }
  return points;
}

namespace {

void fillRect(RgbImage& image, int x0, int y0, int x1, int y1, uint32_t colour) {
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      if (x < 0 || y < 0 || x >= image.width || y >= image.height) continue;
      uint8_t* p = &image.rgb[3 * (size_t(y) * size_t(image.width) + size_t(x))];
      p[0] = uint8_t(colour >> 16);
      p[1] = uint8_t(colour >> 8);
      p[2] = uint8_t(colour);
    }
  }
}

void drawText(RgbImage& image, int x, int y, const char* text, int scale, uint32_t colour) {
  for (int i = 0; text[i]; ++i) {
    for (int r = 0; r < kGlyphHeight; ++r) {
      const uint8_t bits = glyphRow(text[i], r);
      for (int c = 0; c < kGlyphWidth; ++c) {
        if (!(bits & (0x10 >> c))) continue;
        const int px = x + (i * kGlyphAdvance + c) * scale, py = y + r * scale;
        fillRect(image, px, py, px + scale, py + scale, colour);
      }
    }
  }
}

}  // namespace

// Letterbox bars over the top and bottom of every mesh scene, with a fine
// green rule at their inner edges and the title and a credit line in the
// lower bar. The bars are near black, not black: black would let the picture
// through.
RgbImage makeMask() {
  RgbImage image;
  image.width = 640;
  image.height = 480;
  image.rgb.assign(size_t(image.width) * size_t(image.height) * 3, 0);
  const int bar = 26;
  const uint32_t barColour = 0x0A0C0A, rule = 0x2F7A3A, title = 0xD8E8D8, credit = 0x7C8C7C;
  fillRect(image, 0, 0, 640, bar, barColour);
  fillRect(image, 0, 480 - bar, 640, 480, barColour);
  fillRect(image, 0, bar - 1, 640, bar, rule);
  fillRect(image, 0, 480 - bar, 640, 480 - bar + 1, rule);
  drawText(image, 14, 480 - bar + 6, "DEMO", 2, title);
  const char* line = "EVERY PIXEL DRAWN BY ITS OWN CODE";
  drawText(image, 640 - 14 - textCells(line), 480 - bar + 10, line, 1, credit);
  return image;
}

// The particle system multiplies the sprite by a particle's life (up to 15)
// and keeps only the low 8 bits of each product: a sprite brighter than 17
// per channel would wrap into speckle. So the glow peaks at 17 (255 / 15)
// and fades smoothly to 0 at the edge, warm white.
RgbImage makeSprite() {
  RgbImage image;
  image.width = 8;
  image.height = 8;
  const double peak[3] = {17, 15, 11};
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      const double dx = x - 3.5, dy = y - 3.5;
      double f = 1 - (dx * dx + dy * dy) / 16.0;
      f = f > 0 ? f * f : 0;
      for (double p : peak) image.rgb.push_back(uint8_t(std::floor(p * f + 0.5)));
    }
  }
  return image;
}

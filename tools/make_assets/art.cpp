// The designs. Each mesh is made for the scenes that show it; the numbers
// that matter for framing are explained where they are chosen.
#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

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

// Gears of one tooth size, so that any two of them mesh: the pitch radius
// grows with the tooth count, and two gears mesh when their centres lie the
// sum of their pitch radii apart.
constexpr double kToothPitch = 2.2;  // arc between teeth on the pitch circle
double pitchRadius(int teeth) { return kToothPitch * teeth / (2 * kPi); }

struct Gear {
  P3 centre;
  int teeth;
  double phase;  // angle of the first tooth
};

// The next gear in a train: `teeth` teeth, its centre seen from `previous`'s
// at `angle`, turned so that its teeth fall into the gaps of the previous one.
Gear meshedGear(const Gear& previous, int teeth, double angle) {
  const double distance = pitchRadius(previous.teeth) + pitchRadius(teeth);
  // Where, in tooth steps, the previous gear's teeth stand past the contact
  // line; the new gear's teeth stand half a step off the mirror of that.
  double offset = (previous.phase - angle) * previous.teeth / (2 * kPi);
  offset -= std::floor(offset);
  double mine = -offset - 0.5;
  mine -= std::floor(mine);
  return {previous.centre + polar(distance, angle), teeth, angle + kPi + 2 * kPi * mine / teeth};
}

// A toothed rim between `innerRadius` and the tips, `halfThickness` either
// side of the xy plane: four outline points per tooth (root, flank, flank,
// root) joined to four points on the inner circle.
void addGearRim(MeshBuilder& mesh, const Gear& gear, double innerRadius, double halfThickness) {
  const double r = pitchRadius(gear.teeth), root = r - 0.72, tip = r + 0.62;
  const double step = 2 * kPi / gear.teeth;
  std::vector<P3> outer, inner;
  for (int k = 0; k < gear.teeth; ++k) {
    const double a = gear.phase + k * step;
    // Tooth centred on a: wide at the root, narrow at the tip.
    const double rootHalf = 0.30 * step, tipHalf = 0.16 * step, gapStart = 0.5 * step;
    const double angles[4] = {a - gapStart, a - rootHalf, a - tipHalf, a + tipHalf};
    const double radii[4] = {root, root, tip, tip};
    for (int i = 0; i < 4; ++i) outer.push_back(polar(radii[i], angles[i]));
    outer.push_back(polar(root, a + rootHalf));
    for (int i = 0; i < 5; ++i) {
      const double t = double(i) / 5;
      inner.push_back(polar(innerRadius, a - gapStart + t * step));
    }
  }
  const size_t first = mesh.triangleCount();
  const size_t n = outer.size();
  std::vector<int32_t> of, ob, inf, inb;
  for (size_t i = 0; i < n; ++i) {
    of.push_back(mesh.vertex(gear.centre + outer[i] + P3{0, 0, halfThickness}));
    ob.push_back(mesh.vertex(gear.centre + outer[i] + P3{0, 0, -halfThickness}));
    inf.push_back(mesh.vertex(gear.centre + inner[i] + P3{0, 0, halfThickness}));
    inb.push_back(mesh.vertex(gear.centre + inner[i] + P3{0, 0, -halfThickness}));
  }
  for (size_t i = 0; i < n; ++i) {
    const size_t j = (i + 1) % n;
    mesh.quad(inf[i], of[i], of[j], inf[j]);    // front
    mesh.quad(inb[j], ob[j], ob[i], inb[i]);    // back
    mesh.quad(of[i], ob[i], ob[j], of[j]);      // tooth flanks and tips
    mesh.quad(inf[j], inb[j], inb[i], inf[i]);  // bore
  }
  closeSolid(mesh, first, "gear rim");
}

// A whole gear: the rim, `spokes` bars to a hub, and the hub itself.
void addGear(MeshBuilder& mesh, const Gear& gear, int spokes) {
  const double r = pitchRadius(gear.teeth), rimInner = r - 1.75;
  addGearRim(mesh, gear, rimInner, 0.45);
  for (int k = 0; k < spokes; ++k) {
    const double a = gear.phase + kPi / gear.teeth + 2 * kPi * k / spokes;
    addTube(mesh, gear.centre + polar(0.6, a), gear.centre + polar(rimInner + 0.2, a), 0.42, 4, kPi / 4);
  }
  addTube(mesh, gear.centre + P3{0, 0, -0.7}, gear.centre + P3{0, 0, 0.7}, 1.0, 6, 0);
}

}  // namespace

// Scenes 1 to 5 slide this along its own x axis (the line at 30 degrees),
// 9 to 19 units away, 0 to 20 units along, while the picture's middle sees
// the line about 6 units past the slide and the left edge 1.4 units short of
// it. So the emblem leads a train of meshing gears: the compass gear at the
// origin, two gears behind it that enter from the left as it moves out to
// the right, two ahead that fill the right half at the start. Every frame
// shows gears on both sides of the mirror line, and at 20 x 15 blocks the
// big gear silhouettes still read.
MeshBuilder makeCompassEmblem() {
  MeshBuilder mesh("compass emblem");
  const Gear compass{{0, 0, 0}, 16, 0};
  // The compass gear: a rim with the star inside instead of spokes.
  const double r = pitchRadius(compass.teeth), rimInner = r - 1.6;
  addGearRim(mesh, compass, rimInner, 0.55);
  addBipyramid(mesh, Frame{}, compassOutline(rimInner + 0.15, 0.62 * rimInner, 0.26 * rimInner), 1.1, -0.5);
  addRevolvedLoop(mesh, facingZ(Frame{{0, 0, 0.45}}), polygonProfile(1.2, 0, 0.22, 6), 16);

  const Gear behind1 = meshedGear(compass, 12, kPi + 0.42);
  const Gear behind2 = meshedGear(behind1, 16, kPi - 0.42);
  const Gear ahead1 = meshedGear(compass, 10, 0.36);
  const Gear ahead2 = meshedGear(ahead1, 14, -0.3);
  addGear(mesh, behind1, 5);
  addGear(mesh, behind2, 6);
  addGear(mesh, ahead1, 5);
  addGear(mesh, ahead2, 6);
  return mesh;
}

namespace {

// The edges of an icosahedron with each edge split in two, its points pushed
// out onto the sphere of `radius` round the origin: 42 points, 120 edges of
// nearly one length, a round outline from any side.
void geodesicSphere(double radius, std::vector<P3>& points, std::vector<std::pair<int, int>>& edges) {
  const double g = (1 + std::sqrt(5.0)) / 2;
  const P3 corners[12] = {{-1, g, 0},  {1, g, 0},  {-1, -g, 0}, {1, -g, 0}, {0, -1, g},  {0, 1, g},
                          {0, -1, -g}, {0, 1, -g}, {g, 0, -1},  {g, 0, 1},  {-g, 0, -1}, {-g, 0, 1}};
  points.clear();
  for (const P3& c : corners) points.push_back(normalized(c) * radius);
  // The icosahedron's edges are the pairs of corners at distance 2.
  std::vector<std::pair<int, int>> base;
  for (int i = 0; i < 12; ++i) {
    for (int j = i + 1; j < 12; ++j) {
      const P3 d = corners[i] - corners[j];
      if (std::fabs(dot(d, d) - 4) < 1e-9) base.push_back({i, j});
    }
  }
  // Each split at its middle; the middles of the edges round a face are
  // joined too.
  std::map<std::pair<int, int>, int> middle;
  for (const auto& [i, j] : base) {
    middle[{i, j}] = int(points.size());
    points.push_back(normalized(corners[i] + corners[j]) * radius);
    edges.push_back({i, middle[{i, j}]});
    edges.push_back({middle[{i, j}], j});
  }
  auto mid = [&](int i, int j) { return middle.at({std::min(i, j), std::max(i, j)}); };
  for (int i = 0; i < 12; ++i) {
    for (int j = i + 1; j < 12; ++j) {
      for (int k = j + 1; k < 12; ++k) {
        if (middle.count({i, j}) && middle.count({j, k}) && middle.count({i, k})) {
          edges.push_back({mid(i, j), mid(j, k)});
          edges.push_back({mid(j, k), mid(i, k)});
          edges.push_back({mid(i, k), mid(i, j)});
        }
      }
    }
  }
}

}  // namespace

// Scenes 6 to 13 put the camera inside this and then fly it out. The frame
// is placed so that the point the moving camera of scenes 10 to 13 keeps
// looking at (world (0, 0, -1), here about (-0.8, 0, 6.4) once the slide has
// settled) is its heart: an armillary of three broad rings round a gem. Round
// it a geodesic cage, 26 units across: from inside, in the coarse pictures,
// its struts make one net of triangles across the whole view; from outside,
// where the camera ends up in scenes 12 and 13, a round silhouette with the
// rings turning in it.
MeshBuilder makeSpaceFrame() {
  MeshBuilder mesh("space frame");
  const P3 centre{-0.8, 0, 6.4};
  std::vector<P3> points;
  std::vector<std::pair<int, int>> edges;
  geodesicSphere(13, points, edges);
  // Turned so that no strut lies along the camera's path.
  Frame turn = rotatedX(rotatedY(Frame{centre}, 0.35), 0.2);
  // Each strut ends at the centre of a node's cube, whose inscribed ball is
  // wider than the strut: the strut's ends stay inside the cube from any
  // side, so they are left open.
  constexpr double strutRadius = 0.34, nodeHalf = 0.62;
  static_assert(strutRadius < nodeHalf, "a strut's open end must fit inside its node");
  for (const auto& [i, j] : edges) {
    addOpenTube(mesh, turn.apply(points[size_t(i)]), turn.apply(points[size_t(j)]), strutRadius, 5, 0);
  }
  for (const P3& p : points) addBox(mesh, rotatedY(Frame{turn.apply(p)}, kPi / 4), {nodeHalf, nodeHalf, nodeHalf});

  const Frame heart{centre};
  const std::vector<P3> ringProfile = polygonProfile(8.0, 0, 0.65, 6);
  addRevolvedLoop(mesh, heart, ringProfile, 36);
  addRevolvedLoop(mesh, rotatedZ(rotatedX(heart, kPi / 2), kPi / 3), ringProfile, 36);
  addRevolvedLoop(mesh, rotatedZ(rotatedX(heart, kPi / 2), -kPi / 3), ringProfile, 36);
  std::vector<P3> gem;
  // Small: the camera passes within a unit of its centre as scene 9 ends.
  for (int k = 0; k < 6; ++k) gem.push_back(polar(0.8, k * kPi / 3));
  addBipyramid(mesh, rotatedX(heart, kPi / 2), gem, 1.1, -1.1);
  return mesh;
}

// The last scene subtracts grey for every face under a pixel, modulo 256: one
// layer turns white into grey, and the black lines of the cube field into the
// same grey, so a single layer hides the wires; two layers turn either into
// near black. Each shape is therefore a grey ground with its drawing on it in
// near black: the lettering on a band, the emblem on a gear-shaped disc.
//
// The three meshes are drawn 10 units away, 0, 2 and 3 units up and down,
// and drift for the scene's 30.7 seconds: the first right at 0.1 units/s,
// the second right at 0.2, the third left at 0.3. Each is built further
// away than that (its own z), where the same drift crosses fewer pixels and
// the same size takes more units, so that each travels about 130 to 160
// pixels of the screen, stays whole on it from the first frame, and ends
// centred: the emblem on top, the two lines below it.
namespace {

// What the drift of a mesh adds up to by the end of the scene, per unit of
// its speed: the scene's 61.5 clock seconds at two per frame duration.
constexpr double kFinaleSeconds = 30.74;

// Units per pixel of the 640 x 480 screen at `depth`: the projection widens
// x by 4/3 over a 320-pixel buffer shown doubled.
double unitsPerPixelX(double depth) { return depth / (2 * 159.5 * 4.0 / 3.0); }
double unitsPerPixelY(double depth) { return depth / (2 * 119.5); }

// Where a mesh drawn at (shiftX, shiftY, -10) and built `depth` away must put
// a point so that it ends at screen pixel (x, y).
P3 finalePoint(double depth, double endShiftX, double shiftY, double x, double y) {
  return {(x - 319.5) * unitsPerPixelX(depth) - endShiftX, (239.5 - y) * unitsPerPixelY(depth) - shiftY, 10 - depth};
}

// A line of lettering ending centred on screen row `y`, in cells of 5.5 x 7.5
// pixels: the letters are 28 x 52 pixels, on a band with cut corners one
// cell above and below them and two past their ends.
MeshBuilder makeLettering(const char* name, const char* text, double depth, double endShiftX, double shiftY, double y) {
  MeshBuilder mesh(name);
  const double cellX = 5.5 * unitsPerPixelX(depth), cellY = 7.5 * unitsPerPixelY(depth);
  const P3 centre = finalePoint(depth, endShiftX, shiftY, 319.5, y);
  const double width = textCells(text) * cellX, height = kGlyphHeight * cellY;
  const double halfX = width / 2 + 2 * cellX, halfY = height / 2 + cellY, cutX = cellX * 1.4, cutY = cellY;
  const P3 band[8] = {{-halfX + cutX, -halfY, 0}, {halfX - cutX, -halfY, 0}, {halfX, -halfY + cutY, 0},
                      {halfX, halfY - cutY, 0},   {halfX - cutX, halfY, 0},  {-halfX + cutX, halfY, 0},
                      {-halfX, halfY - cutY, 0},  {-halfX, -halfY + cutY, 0}};
  const int32_t hub = mesh.vertex(centre);
  int32_t rim[8];
  for (int k = 0; k < 8; ++k) rim[k] = mesh.vertex(centre + band[k]);
  for (int k = 0; k < 8; ++k) mesh.triangle(hub, rim[k], rim[(k + 1) % 8]);
  addFlatText(mesh, Frame{centre + P3{-width / 2, height / 2, 0}, {cellX, 0, 0}, {0, cellY, 0}}, text, 1.0);
  faceTowards(mesh, 0, {0, 0, 1});
  return mesh;
}

}  // namespace

// The slowest mesh (drawn level, 0.1 units/s right) carries the longer line,
// built at the drawing distance: it travels 130 pixels.
MeshBuilder makeTopLettering() {
  return makeLettering("lettering THANKS FOR", "THANKS FOR", 10, 0.1 * kFinaleSeconds, 0, 291);
}

// The middle one (2 up, 0.2 units/s right), built 20 away: 130 pixels.
MeshBuilder makeBottomLettering() {
  return makeLettering("lettering WATCHING", "WATCHING", 20, 0.2 * kFinaleSeconds, 2, 368);
}

// The fastest (3 down, 0.3 units/s left), built 25 away, carries the emblem,
// 190 pixels across, in from the right over 157 pixels: a gear-shaped grey
// disc bearing a black rim ring and the compass star.
MeshBuilder makeFlatEmblem() {
  MeshBuilder mesh("flat emblem");
  const double depth = 25, radius = 95;
  const P3 centre = finalePoint(depth, -0.3 * kFinaleSeconds, -3, 319.5, 150);
  // Round on the screen: as many pixels per unit of radius both ways.
  const Frame frame{centre, {radius * unitsPerPixelX(depth), 0, 0}, {0, radius * unitsPerPixelY(depth), 0}};
  const int teeth = 16;
  const double root = 0.86, tipRadius = 1.0;

  // The ground: one fan round the centre over the toothed outline.
  const int32_t hub = mesh.vertex(frame.apply({0, 0, 0}));
  std::vector<int32_t> outline;
  for (int k = 0; k < teeth; ++k) {
    const double a = 2 * kPi * k / teeth, step = 2 * kPi / teeth;
    outline.push_back(mesh.vertex(frame.apply(polar(root, a - 0.5 * step))));
    outline.push_back(mesh.vertex(frame.apply(polar(root, a - 0.27 * step))));
    outline.push_back(mesh.vertex(frame.apply(polar(tipRadius, a - 0.15 * step))));
    outline.push_back(mesh.vertex(frame.apply(polar(tipRadius, a + 0.15 * step))));
    outline.push_back(mesh.vertex(frame.apply(polar(root, a + 0.27 * step))));
  }
  for (size_t i = 0; i < outline.size(); ++i) mesh.triangle(hub, outline[i], outline[(i + 1) % outline.size()]);

  // On it: a ring inside the teeth and the star, whose long points meet the
  // ring at its own corners so that no pixel gets a third layer.
  const int segments = 48;
  const double inner = 0.62, outer = 0.74;
  std::vector<int32_t> innerRing;
  addFlatRing(mesh, frame, inner, outer, segments, &innerRing, nullptr);
  const std::vector<P3> star = compassOutline(inner, 0.40, 0.15);
  const int32_t starHub = mesh.vertex(frame.apply({0, 0, 0}));
  std::vector<int32_t> points;
  for (size_t i = 0; i < star.size(); ++i) {
    // Long points are outline entries 0, 4, 8, 12 at 90, 180, 270, 0 degrees:
    // ring vertices 12, 24, 36 and 0 of 48.
    points.push_back(i % 4 == 0 ? innerRing[size_t((12 + 12 * (i / 4)) % segments)]
                                : mesh.vertex(frame.apply(star[i])));
  }
  for (size_t i = 0; i < points.size(); ++i) mesh.triangle(starHub, points[i], points[(i + 1) % points.size()]);
  faceTowards(mesh, 0, {0, 0, 1});
  return mesh;
}

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
// green rule at their inner edges: the title and a line on what the demo is
// in the top bar, the credit in the bottom one, all in letters of 10 x 14
// pixels (the font doubled), and a notch on each rule marking the mirror
// line where the right half turns to complementary colours. The bars are
// near black, not black: black would let the picture through.
RgbImage makeMask() {
  RgbImage image;
  image.width = 640;
  image.height = 480;
  image.rgb.assign(size_t(image.width) * size_t(image.height) * 3, 0);
  const int bar = 26, margin = 14, textTop = 6;
  const uint32_t barColour = 0x0A0C0A, rule = 0x2F7A3A, title = 0xD8F0D8, caption = 0x8CA08C;
  fillRect(image, 0, 0, 640, bar, barColour);
  fillRect(image, 0, 480 - bar, 640, 480, barColour);
  fillRect(image, 0, bar - 1, 640, bar, rule);
  fillRect(image, 0, 480 - bar, 640, 480 - bar + 1, rule);
  // The notches: triangles 12 pixels wide at the rule, 6 deep, pointing at
  // the line between columns 319 and 320.
  for (int d = 0; d < 6; ++d) {
    fillRect(image, 320 - 6 + d, bar + d, 320 + 6 - d, bar + d + 1, rule);
    fillRect(image, 320 - 6 + d, 480 - bar - 1 - d, 320 + 6 - d, 480 - bar - d, rule);
  }
  const int scale = 2;
  auto width = [&](const char* text) { return textCells(text) * scale; };
  drawText(image, margin, textTop, "QUENVAR", scale, title);
  const char* about = "REAL TIME SOFTWARE 3D";
  drawText(image, 640 - margin - width(about), textTop, about, scale, caption);
  const char* credit = "EVERY PIXEL DRAWN BY ITS OWN CODE";
  drawText(image, 640 - margin - width(credit), 480 - bar + textTop, credit, scale, caption);
  return image;
}

// The particle system multiplies the sprite by a particle's life (up to 15)
// and keeps only the low 8 bits of each product: a sprite brighter than 17
// per channel would wrap into speckle. It adds half of that, saturating, and
// the right half of the picture is then inverted. So the glow is amber with
// no blue at all: where the particles pile up it saturates to orange, never
// to white, and so never to a black blot in the inverted half; and on the
// grey backgrounds its hue shows where its brightness would not.
RgbImage makeSprite() {
  RgbImage image;
  image.width = 8;
  image.height = 8;
  const double peak[3] = {17, 9, 0};
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

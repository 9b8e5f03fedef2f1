// Checks frames written by `demo_capture --at` for what each scene must
// show, worked out from the scene table rather than by drawing:
//
//   capture_checks MASK.raw FRAME.png...
//
// Each file is named frame-<clock>.png; the clock gives the scene. For every
// frame:
// - the picture is made of the scene's blocks (2 x 2 at 320 x 240, 64 x 32
//   at 10 x 15, ...) wherever the mask leaves them free;
// - scenes 1 to 13 show the mask exactly where the mask file is not black;
// - the right half is the complement of the left: scenes 1 to 11 draw a green
//   mesh on black, so every free pixel on the left has red and blue 0 and
//   every one on the right has them at 255; in scenes 12 and 13 (particles,
//   fading background) the two backgrounds add up to white;
// - scenes 1 to 13: the mesh changes at least 3% of the free pixels;
// - scenes 1 to 5: the mesh covers at least 15% of the free pixels, and 10%
//   of each half;
// - 17.2 to 22.2 s (the coarsest pictures): one connected piece of mesh that
//   crosses the mirror line covers at least 8% of the free pixels;
// - 26 to 36 s: the rings round the middle of the picture show, at least
//   3 pixels thick, in every direction from the middle;
// - scene 12: where the right half is white, particles make no black blot
//   there (at most 300 pixels with every channel under 32); scene 13: on the
//   grey backgrounds the particles show as colour (pixels where red and blue
//   differ, which neither the greys nor the green mesh have);
// - scene 14: the grey shapes and the black wire cubes each cover at least
//   3%; no grey shape touches the left or right edge; in the last frame both
//   lines of lettering are centred on the middle column, and the emblem
//   above them hides the wires behind it;
// - the mask: a title in the top bar, captions of letters at least 10 x 14
//   pixels, a mark on the mirror line, at most 12% of the screen.
// A few frames are also pinned by the hash of their pixels, so that any
// change to them is deliberate; each pinned frame must be among the files
// (a capture that named its frames otherwise would pass unchecked).
//
// Prints one line per frame that fails and a summary; exits 1 on a failure.
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tests/fnv1a.h"

namespace {

constexpr int W = 640;
constexpr int H = 480;

struct Pin {
  const char* clock;
  uint64_t hash;
  const char* reason;
};
// Pinned frames: any pixel change to them must be deliberate.
const Pin pins[] = {
    // Re-pinned when the art changed: the gear train, the geodesic cage with
    // its armillary, the amber sprite, the mask with title and notches, and
    // the finale's shapes built at their own depths.
    {"2.000", 0xf1d562d1d16e9879ull, "scene 1: the gear train at 320 x 240 with the mask, left and inverted right"},
    {"16.400", 0x3d5ee45a4ac94c62ull, "scene 6: the coarsest picture, 10 x 15 pixels of 64 x 32"},
    {"33.000", 0x1f827a8d91c51e89ull, "scene 12: the camera leaving the cage round the armillary, with particles"},
    {"47.000", 0x9b0349c0db272cb5ull, "scene 13: the fading grey background under the cage and particles"},
    {"80.000", 0x815c0819a3e34ca5ull, "scene 14: the cube field, the three grey shapes and the doubled clock"},
};

bool readPng(const std::string& path, std::vector<uint8_t>& rgb) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGB;
  if (image.width != W || image.height != H) {
    png_image_free(&image);
    return false;
  }
  rgb.resize(size_t(W) * H * 3);
  return png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr) != 0;
}

// Scene, end of its interval and block size, from the table.
struct SceneRow {
  double end;
  int blockWidth, blockHeight;
};
const SceneRow scenes[14] = {{7.46, 2, 2},   {11.2, 4, 4},   {14.9, 8, 8},   {15.7, 16, 16}, {16.2, 32, 32},
                             {16.7, 64, 32}, {17.2, 32, 32}, {17.7, 16, 16}, {22.2, 8, 8},   {25.9, 4, 4},
                             {29.7, 2, 2},   {36.9, 2, 2},   {58.5, 2, 2},   {120, 2, 2}};

int sceneOf(double t) {
  if (t <= 7.46) return 1;
  for (int s = 2; s <= 14; ++s) {
    if (t < scenes[s - 1].end) return s;
  }
  return 0;
}

uint32_t pixel(const std::vector<uint8_t>& rgb, int x, int y) {
  const uint8_t* p = &rgb[(size_t(y) * W + x) * 3];
  return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
}

// The most common colour of the free pixels in columns [x0, x1).
uint32_t modalColour(const std::vector<uint8_t>& rgb, const std::vector<bool>& masked, int x0, int x1) {
  std::map<uint32_t, int> counts;
  for (int y = 0; y < H; ++y) {
    for (int x = x0; x < x1; ++x) {
      if (!masked[size_t(y) * W + x]) ++counts[pixel(rgb, x, y)];
    }
  }
  uint32_t best = 0;
  int bestCount = -1;
  for (const auto& entry : counts) {
    if (entry.second > bestCount) {
      best = entry.first;
      bestCount = entry.second;
    }
  }
  return best;
}

// Largest 4-connected piece of `on` that has pixels in both halves, in pixels.
long largestCrossingPiece(const std::vector<bool>& on) {
  std::vector<int> label(on.size(), 0);
  std::vector<int> stack;
  long best = 0;
  int next = 0;
  for (size_t start = 0; start < on.size(); ++start) {
    if (!on[start] || label[start]) continue;
    ++next;
    long size = 0;
    bool left = false, right = false;
    stack.assign(1, int(start));
    label[start] = next;
    while (!stack.empty()) {
      const int i = stack.back();
      stack.pop_back();
      ++size;
      const int x = i % W, y = i / W;
      (x < W / 2 ? left : right) = true;
      const int around[4] = {x > 0 ? i - 1 : -1, x + 1 < W ? i + 1 : -1, y > 0 ? i - W : -1, y + 1 < H ? i + W : -1};
      for (int j : around) {
        if (j >= 0 && on[size_t(j)] && !label[size_t(j)]) {
          label[size_t(j)] = next;
          stack.push_back(j);
        }
      }
    }
    if (left && right) best = std::max(best, size);
  }
  return best;
}

// The mask's own properties, read from the mask file (which every frame of
// scenes 1 to 13 shows exactly, as checked there). Returns the problems.
std::string checkMask(const std::vector<uint8_t>& mask) {
  std::string problems;
  auto problem = [&](const std::string& text) { problems += (problems.empty() ? "" : "; ") + text; };
  auto at = [&](int x, int y) { return &mask[(size_t(y) * W + x) * 3]; };
  auto covered = [&](int x, int y) { return (at(x, y)[0] | at(x, y)[1] | at(x, y)[2]) != 0; };
  auto bright = [&](int x, int y) { return std::max({at(x, y)[0], at(x, y)[1], at(x, y)[2]}) >= 128; };
  long count = 0;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) count += covered(x, y);
  if (count * 100 > 12L * W * H)
    problem("the mask covers " + std::to_string(count * 100 / (W * H)) + "% of the screen");
  // The bars: the rows covered right across.
  int top = 0, bottom = H;
  while (top < H && covered(0, top) && covered(W - 1, top) && covered(W / 2 - 100, top)) ++top;
  while (bottom > 0 && covered(0, bottom - 1) && covered(W - 1, bottom - 1) && covered(W / 2 - 100, bottom - 1))
    --bottom;
  // Lettering: bright pieces (8-connected) in each bar; every one at least
  // 14 pixels high and drawn in cells of at least 2 x 2 pixels.
  int pieces[2] = {0, 0}, small = 0, thin = 0;
  for (int bar = 0; bar < 2; ++bar) {
    const int y0 = bar ? bottom : 0, y1 = bar ? H : top;
    std::vector<bool> seen(size_t(W) * H);
    for (int y = y0; y < y1; ++y) {
      for (int x = 0; x < W; ++x) {
        if (!bright(x, y) || seen[size_t(y) * W + x]) continue;
        int lo = y, hi = y;
        std::vector<int> stack{y * W + x};
        seen[size_t(y) * W + x] = true;
        while (!stack.empty()) {
          const int i = stack.back();
          stack.pop_back();
          const int px = i % W, py = i / W;
          lo = std::min(lo, py);
          hi = std::max(hi, py);
          for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
              const int qx = px + dx, qy = py + dy;
              if (qx < 0 || qx >= W || qy < y0 || qy >= y1 || seen[size_t(qy) * W + qx] || !bright(qx, qy)) continue;
              seen[size_t(qy) * W + qx] = true;
              stack.push_back(qy * W + qx);
            }
          }
        }
        ++pieces[bar];
        small += hi - lo + 1 < 14;
      }
      // Runs of bright pixels along the row: none of a single pixel.
      for (int x = 0; x < W;) {
        if (!bright(x, y)) {
          ++x;
          continue;
        }
        int end = x;
        while (end < W && bright(end, y)) ++end;
        thin += end - x < 2;
        x = end;
      }
    }
  }
  if (pieces[0] < 3) problem("no title in the top bar");
  if (pieces[1] < 3) problem("no caption in the bottom bar");
  if (small || thin)
    problem(std::to_string(small) + " letters under 14 pixels high, " + std::to_string(thin) +
            " strokes 1 pixel wide in the bars");
  // The mark: covered pixels on both columns of the mirror line just inside
  // the picture, mirrored about it, and narrower than the picture.
  bool mark = false;
  for (int y : {top, bottom - 1}) {
    if (y < 0 || y >= H) continue;
    bool symmetric = covered(W / 2 - 1, y) && covered(W / 2, y) && !covered(W / 2 - 40, y) && !covered(W / 2 + 39, y);
    for (int d = 0; d < 40; ++d) symmetric = symmetric && covered(W / 2 - 1 - d, y) == covered(W / 2 + d, y);
    mark = mark || symmetric;
  }
  if (!mark) problem("no mark on the mirror line");
  return problems;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: capture_checks MASK.raw FRAME.png...\n");
    return 2;
  }
  std::vector<uint8_t> mask(size_t(W) * H * 3);
  std::FILE* file = std::fopen(argv[1], "rb");
  if (!file || std::fread(mask.data(), 1, mask.size(), file) != mask.size()) {
    std::fprintf(stderr, "capture_checks: cannot read the mask %s\n", argv[1]);
    return 2;
  }
  std::fclose(file);
  std::vector<bool> masked(size_t(W) * H);
  for (size_t i = 0; i < masked.size(); ++i) masked[i] = (mask[3 * i] | mask[3 * i + 1] | mask[3 * i + 2]) != 0;

  const bool verbose = std::getenv("CAPTURE_CHECKS_VERBOSE") != nullptr;
  constexpr size_t pinCount = sizeof pins / sizeof pins[0];
  bool pinSeen[pinCount] = {};
  int failures = 0, frames = 0, pinsSeen = 0;
  double leastCover = 1;
  std::string leastCoverFrame;
  const std::string maskProblems = checkMask(mask);
  if (!maskProblems.empty()) {
    std::printf("mask: %s\n", maskProblems.c_str());
    ++failures;
  }
  // The worst value of each measure over the frames, for the summary.
  struct Worst {
    double value;
    std::string frame;
  };
  std::map<std::string, Worst> worst;
  auto note = [&](const char* what, double value, bool lowIsBad, const std::string& frame) {
    auto found = worst.find(what);
    if (found == worst.end() || (lowIsBad ? value < found->second.value : value > found->second.value))
      worst[what] = {value, frame};
  };
  for (int a = 2; a < argc; ++a) {
    const std::string path = argv[a];
    const size_t slash = path.find_last_of('/');
    const std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
    const std::string clockText = name.substr(6, name.size() - 10);  // frame-<clock>.png
    const double t = std::atof(clockText.c_str());
    const int scene = sceneOf(t);
    std::vector<uint8_t> rgb;
    if (name.compare(0, 6, "frame-") != 0 || scene == 0 || !readPng(path, rgb)) {
      std::printf("%s: not a 640 x 480 frame of the sequence\n", name.c_str());
      ++failures;
      continue;
    }
    ++frames;
    std::string problems;
    auto problem = [&](const std::string& text) { problems += (problems.empty() ? "" : "; ") + text; };

    // Blocks: every free pixel equals the first free pixel of its block.
    const int bw = scenes[scene - 1].blockWidth, bh = scenes[scene - 1].blockHeight;
    const bool hasMask = scene <= 13;
    long broken = 0;
    for (int by = 0; by < H; by += bh) {
      for (int bx = 0; bx < W; bx += bw) {
        bool first = true;
        uint32_t value = 0;
        for (int y = by; y < by + bh; ++y) {
          for (int x = bx; x < bx + bw; ++x) {
            if (hasMask && masked[size_t(y) * W + x]) continue;
            if (first) {
              value = pixel(rgb, x, y);
              first = false;
            } else if (pixel(rgb, x, y) != value) {
              ++broken;
            }
          }
        }
      }
    }
    if (broken)
      problem(std::to_string(broken) + " pixels break the " + std::to_string(bw) + " x " + std::to_string(bh) +
              " blocks");

    if (hasMask) {
      long maskWrong = 0;
      for (size_t i = 0; i < masked.size(); ++i) {
        if (masked[i] && std::memcmp(&mask[3 * i], &rgb[3 * i], 3) != 0) ++maskWrong;
      }
      if (maskWrong) problem(std::to_string(maskWrong) + " mask pixels do not show");

      // Scenes 1 to 11 clear to black, whatever the mesh covers; later ones
      // to a grey found as the most common colour of each half.
      const uint32_t leftBackground = scene <= 11 ? 0 : modalColour(rgb, masked, 0, W / 2);
      const uint32_t rightBackground = scene <= 11 ? 0xFFFFFF : modalColour(rgb, masked, W / 2, W);
      if (scene <= 11) {
        long wrong = 0;
        for (int y = 0; y < H; ++y) {
          for (int x = 0; x < W; ++x) {
            if (masked[size_t(y) * W + x]) continue;
            const uint32_t p = pixel(rgb, x, y) & 0xFF00FF;
            wrong += x < W / 2 ? p != 0 : p != 0xFF00FF;
          }
        }
        if (wrong) problem(std::to_string(wrong) + " pixels are not green on black (left) or its complement (right)");
      }
      if ((leftBackground ^ rightBackground) != 0xFFFFFF ||
          (leftBackground & 0xFF00FF) >> 16 != (leftBackground & 0xFF)) {
        char text[96];
        std::snprintf(text, sizeof text, "backgrounds %06X and %06X are not a grey and its complement",
                      unsigned(leftBackground), unsigned(rightBackground));
        problem(text);
      }
      // The mesh replaces pixels with green (0, g, 0) on the left and shows
      // as (255, 255 - g, 255) on the right: such pixels that differ from
      // their half's background.
      long free = 0, meshPixels = 0, halfFree[2] = {0, 0}, halfMesh[2] = {0, 0};
      std::vector<bool> meshAt(size_t(W) * H);
      for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
          if (masked[size_t(y) * W + x]) continue;
          ++free;
          const uint32_t p = pixel(rgb, x, y);
          const bool left = x < W / 2;
          const bool mesh = (p & 0xFF00FF) == (left ? 0u : 0xFF00FFu) && p != (left ? leftBackground : rightBackground);
          meshPixels += mesh;
          halfFree[!left] += 1;
          halfMesh[!left] += mesh;
          meshAt[size_t(y) * W + x] = mesh;
        }
      }
      const double cover = double(meshPixels) / double(free);
      if (cover < leastCover) {
        leastCover = cover;
        leastCoverFrame = name;
      }
      if (cover < 0.03)
        problem("the mesh covers only " + std::to_string(cover * 100).substr(0, 4) + "% of the free pixels");
      if (verbose) std::printf("%s scene %d mesh %.1f%%\n", name.c_str(), scene, cover * 100);
      auto percent = [](double v) { return std::to_string(v * 100).substr(0, 4) + "%"; };

      if (scene <= 5) {
        const double left = double(halfMesh[0]) / double(halfFree[0]),
                     right = double(halfMesh[1]) / double(halfFree[1]);
        note("scenes 1-5 cover", cover, true, name);
        note("scenes 1-5 cover of a half", std::min(left, right), true, name);
        if (cover < 0.15 || left < 0.10 || right < 0.10)
          problem("the mesh covers " + percent(cover) + " (left " + percent(left) + ", right " + percent(right) +
                  "), not 15% (10% each half)");
      }
      if (t >= 17.2 && t < 22.2) {
        const double piece = double(largestCrossingPiece(meshAt)) / double(free);
        note("17.2-22.2 s crossing piece", piece, true, name);
        if (piece < 0.08) problem("no piece of mesh across the mirror line covers 8% (largest " + percent(piece) + ")");
      }
      if (t >= 26 && t <= 36) {
        // Along 16 rays from the middle, a run of at least 3 pixels where
        // the green (left) or its complement (right) clearly dominates.
        int raysMissed = 0;
        for (int k = 0; k < 16; ++k) {
          const double angle = k * 3.14159265358979 / 8, dx = std::cos(angle), dy = std::sin(angle);
          int run = 0, longest = 0;
          for (double r = 6; r < 200; r += 0.5) {
            const int x = int(std::floor(W / 2 + r * dx)), y = int(std::floor(H / 2 + r * dy));
            if (x < 0 || x >= W || y < 0 || y >= H || masked[size_t(y) * W + x]) break;
            const uint32_t p = pixel(rgb, x, y);
            const int red = int(p >> 16), green = int((p >> 8) & 0xFF), blue = int(p & 0xFF);
            const bool ring = x < W / 2 ? green >= std::max(red, blue) + 40 : std::min(red, blue) >= green + 40;
            // Half-pixel steps: a run of 3 pixels is at least 5 steps.
            run = ring ? run + 1 : 0;
            longest = std::max(longest, run);
          }
          raysMissed += longest < 5;
        }
        note("26-36 s rays without a ring", raysMissed, false, name);
        if (raysMissed) problem(std::to_string(raysMissed) + " of 16 directions from the middle meet no ring");
      }
      if (scene == 12 && rightBackground == 0xFFFFFF) {
        long dark = 0;
        for (int y = 0; y < H; ++y) {
          for (int x = W / 2; x < W; ++x) {
            const uint32_t p = pixel(rgb, x, y);
            dark += !masked[size_t(y) * W + x] && (p >> 16) < 32 && ((p >> 8) & 0xFF) < 32 && (p & 0xFF) < 32;
          }
        }
        note("scene 12 near-black right", double(dark), false, name);
        if (dark > 300) problem(std::to_string(dark) + " near-black pixels in the white right half");
      }
      const int grey = int(leftBackground & 0xFF);
      if (scene == 13 && grey >= 48 && grey <= 207) {
        long coloured = 0;
        for (int y = 0; y < H; ++y) {
          for (int x = 0; x < W; ++x) {
            const uint32_t p = pixel(rgb, x, y);
            coloured += !masked[size_t(y) * W + x] && std::abs(int(p >> 16) - int(p & 0xFF)) >= 48;
          }
        }
        note("scene 13 particle pixels on grey", double(coloured), true, name);
        if (coloured < 5000) problem("the particles show on only " + std::to_string(coloured) + " pixels");
      }
    } else {
      // Scene 14 on white: grey shapes (each channel 0x80, the white minus
      // half) and black wires.
      long grey = 0, black = 0;
      for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
          const uint32_t p = pixel(rgb, x, y);
          grey += p == 0x808080;
          black += p == 0;
        }
      }
      if (verbose)
        std::printf("%s scene 14 grey %.1f%% black %.1f%%\n", name.c_str(), grey * 100.0 / (W * H),
                    black * 100.0 / (W * H));
      if (grey * 100 < 3L * W * H) problem("the grey shapes cover under 3%");
      if (black * 100 < 3L * W * H) problem("the wire cubes cover under 3%");
      // The grey shapes, one layer grey and two near black, never reach the
      // edges: only the white and the black wires may show there.
      long atEdge = 0;
      for (int y = 0; y < H; ++y) {
        for (int x : {0, 1, W - 2, W - 1}) {
          const uint32_t p = pixel(rgb, x, y);
          atEdge += p != 0 && p != 0xFFFFFF;
        }
      }
      note("scene 14 shape pixels at the edges", double(atEdge), false, name);
      if (atEdge) problem(std::to_string(atEdge) + " pixels of the grey shapes at the left or right edge");
      if (t >= 119.5) {
        // Two layers make near black (1 or 2 per channel); the rows holding
        // them fall into bands: the emblem, then the two lines.
        auto twoLayers = [&](int x, int y) {
          const uint32_t p = pixel(rgb, x, y);
          return p != 0 && (p >> 16) <= 8 && ((p >> 8) & 0xFF) <= 8 && (p & 0xFF) <= 8;
        };
        struct Band {
          int y0, y1, x0, x1;
        };
        std::vector<Band> bands;
        int gap = 99;
        for (int y = 0; y < H; ++y) {
          int x0 = W, x1 = -1;
          for (int x = 0; x < W; ++x) {
            if (twoLayers(x, y)) {
              x0 = std::min(x0, x);
              x1 = x;
            }
          }
          if (x1 < 0) {
            ++gap;
            continue;
          }
          if (gap >= 4) bands.push_back({y, y, x0, x1});
          Band& b = bands.back();
          b.y1 = y;
          b.x0 = std::min(b.x0, x0);
          b.x1 = std::max(b.x1, x1);
          gap = 0;
        }
        if (bands.size() < 3) {
          problem("no emblem and two lines of lettering at the end");
        } else {
          for (size_t k = bands.size() - 2; k < bands.size(); ++k) {
            const double centre = (bands[k].x0 + bands[k].x1 + 1) / 2.0;
            note("scene 14 end line off centre (px)", std::fabs(centre - W / 2), false, name);
            if (std::fabs(centre - W / 2) > 4)
              problem("a line of lettering ends centred on x = " + std::to_string(centre).substr(0, 5));
          }
          // Inside the emblem's outline (the ellipse in its box, drawn in a
          // little) the wire lines must not show.
          const Band& e = bands[bands.size() - 3];
          const double cx = (e.x0 + e.x1 + 1) / 2.0, cy = (e.y0 + e.y1 + 1) / 2.0;
          const double rx = (e.x1 - e.x0 + 1) / 2.0 * 0.85, ry = (e.y1 - e.y0 + 1) / 2.0 * 0.85;
          long inside = 0, wires = 0;
          for (int y = e.y0; y <= e.y1; ++y) {
            for (int x = e.x0; x <= e.x1; ++x) {
              const double u = (x + 0.5 - cx) / rx, v = (y + 0.5 - cy) / ry;
              if (u * u + v * v > 1) continue;
              ++inside;
              wires += pixel(rgb, x, y) == 0;
            }
          }
          note("scene 14 end wires inside the emblem", double(wires) / double(std::max(inside, 1L)), false, name);
          if (inside < 4000 || wires * 100 > inside)
            problem("the emblem (" + std::to_string(inside) + " pixels) shows " + std::to_string(wires) +
                    " wire pixels");
        }
      }
    }

    for (size_t k = 0; k < pinCount; ++k) {
      const Pin& pin = pins[k];
      if (clockText != pin.clock) continue;
      if (!pinSeen[k]) ++pinsSeen;
      pinSeen[k] = true;
      const uint64_t hash = fnv1a(rgb);
      if (hash != pin.hash) {
        char text[160];
        std::snprintf(text, sizeof text, "pixel hash %016llx, pinned %016llx (%s)",
                      static_cast<unsigned long long>(hash), static_cast<unsigned long long>(pin.hash), pin.reason);
        problem(text);
      }
    }
    if (!problems.empty()) {
      std::printf("%s (scene %d): %s\n", name.c_str(), scene, problems.c_str());
      ++failures;
    }
  }
  for (size_t k = 0; k < pinCount; ++k) {
    if (pinSeen[k]) continue;
    std::printf("frame-%s.png: the pinned frame is missing (%s)\n", pins[k].clock, pins[k].reason);
    ++failures;
  }
  std::printf("%d frames checked, %d pinned, %d failed; least mesh cover %.1f%% (%s)\n", frames, pinsSeen, failures,
              leastCover * 100, leastCoverFrame.c_str());
  for (const auto& [what, w] : worst) std::printf("  worst %s: %.4g (%s)\n", what.c_str(), w.value, w.frame.c_str());
  return failures ? 1 : 0;
}

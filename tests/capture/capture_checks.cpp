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
// - scene 14: the grey shapes and the black wire cubes each cover at least 3%.
// A few frames are also pinned by the hash of their pixels, so that any
// change to them is deliberate; each pinned frame must be among the files
// (a capture that named its frames otherwise would pass unchecked).
//
// Prints one line per frame that fails and a summary; exits 1 on a failure.
#include <png.h>

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
    {"2.000", 0x231137b71cfcc28dull, "scene 1: the first mesh at 320 x 240 with the mask, left and inverted right"},
    {"16.400", 0x2336a875dc17d2a5ull, "scene 6: the coarsest picture, 10 x 15 pixels of 64 x 32"},
    {"33.000", 0x5ab732f21f5a5795ull, "scene 12: the camera moving through the second mesh, with particles"},
    {"47.000", 0x8efece92d50bf549ull, "scene 13: the fading grey background under the mesh and particles"},
    {"80.000", 0xebfb60c0d1eb9745ull, "scene 14: the cube field, the three grey shapes and the doubled clock"},
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

      const uint32_t leftBackground = modalColour(rgb, masked, 0, W / 2);
      const uint32_t rightBackground = modalColour(rgb, masked, W / 2, W);
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
      long free = 0, meshPixels = 0;
      for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
          if (masked[size_t(y) * W + x]) continue;
          ++free;
          const uint32_t p = pixel(rgb, x, y);
          const bool left = x < W / 2;
          meshPixels += (p & 0xFF00FF) == (left ? 0u : 0xFF00FFu) && p != (left ? leftBackground : rightBackground);
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
  return failures ? 1 : 0;
}

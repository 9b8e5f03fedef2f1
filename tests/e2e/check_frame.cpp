// Checks a screenshot of the first scene by what it must show, not by a
// picture drawn by the code under test:
//
//   check_frame [--bits R,G,B] [--search] mask.raw shot.ppm
//
// The 640 x 480 picture sits at the shot's corner, or with --search anywhere
// in it (found by the mask, which must show exactly where the mask file is
// not black). Outside the mask it must be made of 2 x 2 blocks; the left half
// shows a green mesh on black (red and blue 0), the right half the same
// inverted (red and blue full), with both backgrounds and the mesh present.
// --bits compares only the top bits of each channel (5,6,5 on 16 bits).
//
// Prints what it found; exits 0 when every property holds, 1 when one does
// not and 2 on a usage or file error.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Image {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> rgb;  // three bytes a pixel, rows top to bottom
};

// Skips white space and '#' comments between the fields of a header.
void skipSeparators(std::FILE* file) {
  int c = std::fgetc(file);
  while (c == '#' || c == ' ' || c == '\t' || c == '\n' || c == '\r') {
    if (c == '#') {
      while (c != '\n' && c != EOF) c = std::fgetc(file);
    }
    c = std::fgetc(file);
  }
  if (c != EOF) std::ungetc(c, file);
}

bool readNumber(std::FILE* file, int& value) {
  skipSeparators(file);
  return std::fscanf(file, "%d", &value) == 1;
}

// Reads a binary PPM (P6) or PGM (P5) with 8-bit samples; grey becomes RGB.
bool readImage(const char* path, Image& image) {
  std::FILE* file = std::fopen(path, "rb");
  if (!file) {
    std::perror(path);
    return false;
  }
  char magic[3] = {};
  int maxValue = 0;
  bool ok = std::fread(magic, 1, 2, file) == 2 && magic[0] == 'P' && (magic[1] == '5' || magic[1] == '6') &&
            readNumber(file, image.width) && readNumber(file, image.height) && readNumber(file, maxValue) &&
            maxValue == 255 && image.width > 0 && image.height > 0 && image.width <= 16384 && image.height <= 16384;
  if (ok) {
    std::fgetc(file);  // the single separator before the samples
    const size_t pixels = size_t(image.width) * size_t(image.height);
    const size_t channels = magic[1] == '6' ? 3 : 1;
    std::vector<unsigned char> samples(pixels * channels);
    ok = std::fread(samples.data(), 1, samples.size(), file) == samples.size();
    if (channels == 3) {
      image.rgb = std::move(samples);
    } else {
      image.rgb.resize(pixels * 3);
      for (size_t i = 0; i < pixels; ++i) std::memset(&image.rgb[i * 3], samples[i], 3);
    }
  }
  std::fclose(file);
  if (!ok) std::fprintf(stderr, "%s: not an 8-bit binary PPM or PGM\n", path);
  return ok;
}

constexpr int pictureWidth = 640;
constexpr int pictureHeight = 480;

// The mask file: 3 bytes a pixel, rows top to bottom, no header.
bool readMask(const char* path, Image& mask) {
  std::FILE* file = std::fopen(path, "rb");
  if (!file) {
    std::perror(path);
    return false;
  }
  mask.width = pictureWidth;
  mask.height = pictureHeight;
  mask.rgb.resize(size_t(pictureWidth) * pictureHeight * 3);
  const bool ok = std::fread(mask.rgb.data(), 1, mask.rgb.size(), file) == mask.rgb.size();
  std::fclose(file);
  if (!ok) std::fprintf(stderr, "%s: shorter than 640 x 480 RGB pixels\n", path);
  return ok;
}

bool parseBits(const char* text, int bits[3]) {
  if (std::sscanf(text, "%d,%d,%d", &bits[0], &bits[1], &bits[2]) != 3) return false;
  for (int c = 0; c < 3; ++c) {
    if (bits[c] < 1 || bits[c] > 8) return false;
  }
  return true;
}

struct Checker {
  const Image& mask;
  const Image& shot;
  int bits[3];
  int x0 = 0, y0 = 0;

  // The top bits of a channel.
  int top(const unsigned char* p, int c) const { return p[c] >> (8 - bits[c]); }
  int full(int c) const { return (1 << bits[c]) - 1; }
  const unsigned char* at(int x, int y) const { return &shot.rgb[(size_t(y + y0) * shot.width + x + x0) * 3]; }
  bool masked(int x, int y) const {
    const unsigned char* m = &mask.rgb[(size_t(y) * pictureWidth + x) * 3];
    return (m[0] | m[1] | m[2]) != 0;
  }
  bool same(const unsigned char* a, const unsigned char* b) const {
    for (int c = 0; c < 3; ++c) {
      if ((a[c] >> (8 - bits[c])) != (b[c] >> (8 - bits[c]))) return false;
    }
    return true;
  }

  // Mask pixels that do not show in the picture at (x0, y0), up to limit.
  long maskMismatches(long limit) const {
    long bad = 0;
    for (int y = 0; y < pictureHeight; ++y) {
      for (int x = 0; x < pictureWidth; ++x) {
        if (masked(x, y) && !same(&mask.rgb[(size_t(y) * pictureWidth + x) * 3], at(x, y)) && ++bad > limit) {
          return bad;
        }
      }
    }
    return bad;
  }
};

int usage() {
  std::fprintf(stderr, "usage: check_frame [--bits R,G,B] [--search] mask.raw shot.ppm\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int bits[3] = {8, 8, 8};
  bool search = false;
  const char* paths[2] = {};
  int pathCount = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--bits") == 0 && i + 1 < argc) {
      if (!parseBits(argv[++i], bits)) return usage();
    } else if (std::strcmp(argv[i], "--search") == 0) {
      search = true;
    } else if (pathCount < 2) {
      paths[pathCount++] = argv[i];
    } else {
      return usage();
    }
  }
  if (pathCount != 2) return usage();
  Image mask, shot;
  if (!readMask(paths[0], mask) || !readImage(paths[1], shot)) return 2;
  if (shot.width < pictureWidth || shot.height < pictureHeight) {
    std::printf("the shot (%d x %d) is smaller than the picture\n", shot.width, shot.height);
    return 1;
  }
  Checker check{mask, shot, {bits[0], bits[1], bits[2]}};

  // Where the picture is: the one place where the whole mask shows.
  bool found = false;
  const int lastX = search ? shot.width - pictureWidth : 0;
  const int lastY = search ? shot.height - pictureHeight : 0;
  for (check.y0 = 0; check.y0 <= lastY && !found; ++check.y0) {
    for (check.x0 = 0; check.x0 <= lastX && !found; ++check.x0) found = check.maskMismatches(0) == 0;
  }
  if (!found) {
    check.x0 = check.y0 = 0;
    std::printf("the mask does not show: %ld of its pixels differ at the corner\n", check.maskMismatches(1L << 30));
    return 1;
  }
  --check.x0;
  --check.y0;

  long blockBreaks = 0, leftWrong = 0, rightWrong = 0, leftBlack = 0, rightWhite = 0, mesh = 0, free = 0;
  for (int y = 0; y < pictureHeight; y += 2) {
    for (int x = 0; x < pictureWidth; x += 2) {
      if (check.masked(x, y) || check.masked(x + 1, y) || check.masked(x, y + 1) || check.masked(x + 1, y + 1)) {
        continue;
      }
      const unsigned char* p = check.at(x, y);
      if (!check.same(p, check.at(x + 1, y)) || !check.same(p, check.at(x, y + 1)) ||
          !check.same(p, check.at(x + 1, y + 1))) {
        ++blockBreaks;
      }
      ++free;
      const int r = check.top(p, 0), g = check.top(p, 1), b = check.top(p, 2);
      if (x < pictureWidth / 2) {
        leftWrong += r != 0 || b != 0;
        leftBlack += r == 0 && g == 0 && b == 0;
        mesh += r == 0 && b == 0 && g != 0;
      } else {
        rightWrong += r != check.full(0) || b != check.full(2);
        rightWhite += r == check.full(0) && g == check.full(1) && b == check.full(2);
        mesh += r == check.full(0) && b == check.full(2) && g != check.full(1);
      }
    }
  }
  std::printf(
      "picture at %d,%d: %ld blocks of 2 x 2 free of the mask, %ld broken; left half %ld black, %ld not "
      "green on black; right half %ld white, %ld not inverted; %ld mesh blocks\n",
      check.x0, check.y0, free, blockBreaks, leftBlack, leftWrong, rightWhite, rightWrong, mesh);
  // A tenth of each half shows its background; the mesh covers at least
  // 100 blocks.
  const bool ok = blockBreaks == 0 && leftWrong == 0 && rightWrong == 0 && leftBlack * 20 > free &&
                  rightWhite * 20 > free && mesh >= 100;
  return ok ? 0 : 1;
}

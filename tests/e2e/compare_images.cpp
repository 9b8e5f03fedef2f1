// Compares a screenshot with the expected picture.
//
//   compare_images [--bits R,G,B] [--mask mask.ppm] [--search] expected.ppm actual.ppm
//
// --bits   compare only the top R, G and B bits of each channel (5,6,5 for a
//          16-bit display, whose low bits a screenshot may fill either way)
// --mask   compare only where the mask (the expected picture's size) is not
//          black, for pictures of which only a part is known
// --search the actual picture may be larger: the expected one is looked for
//          at every position and the best match is reported
//
// Prints how many pixels differ; exits 0 when none do, 1 when some do and 2
// on a usage or file error.
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

bool parseBits(const char* text, unsigned char masks[3]) {
  int bits[3];
  if (std::sscanf(text, "%d,%d,%d", &bits[0], &bits[1], &bits[2]) != 3) return false;
  for (int c = 0; c < 3; ++c) {
    if (bits[c] < 1 || bits[c] > 8) return false;
    masks[c] = static_cast<unsigned char>(0xFF00 >> bits[c]);
  }
  return true;
}

// Differing pixels with the expected picture's corner at (x0, y0) of the
// actual one; counting stops once `limit` is passed.
long countDifferences(const Image& expected, const Image& actual, const Image* mask, const unsigned char masks[3],
                      int x0, int y0, long limit) {
  long differ = 0;
  for (int y = 0; y < expected.height; ++y) {
    const unsigned char* e = &expected.rgb[size_t(y) * expected.width * 3];
    const unsigned char* a = &actual.rgb[(size_t(y + y0) * actual.width + x0) * 3];
    const unsigned char* m = mask ? &mask->rgb[size_t(y) * mask->width * 3] : nullptr;
    for (int x = 0; x < expected.width; ++x, e += 3, a += 3) {
      if (m && !(m[x * 3] | m[x * 3 + 1] | m[x * 3 + 2])) continue;
      if (((e[0] ^ a[0]) & masks[0]) | ((e[1] ^ a[1]) & masks[1]) | ((e[2] ^ a[2]) & masks[2])) {
        if (++differ > limit) return differ;
      }
    }
  }
  return differ;
}

int usage() {
  std::fprintf(stderr, "usage: compare_images [--bits R,G,B] [--mask mask.ppm] [--search] expected.ppm actual.ppm\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  unsigned char masks[3] = {0xFF, 0xFF, 0xFF};
  const char* maskPath = nullptr;
  bool search = false;
  std::vector<const char*> paths;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--bits" && i + 1 < argc) {
      if (!parseBits(argv[++i], masks)) return usage();
    } else if (arg == "--mask" && i + 1 < argc) {
      maskPath = argv[++i];
    } else if (arg == "--search") {
      search = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return usage();
    } else {
      paths.push_back(argv[i]);
    }
  }
  if (paths.size() != 2) return usage();

  Image expected, actual, mask;
  if (!readImage(paths[0], expected) || !readImage(paths[1], actual)) return 2;
  if (maskPath) {
    if (!readImage(maskPath, mask)) return 2;
    if (mask.width != expected.width || mask.height != expected.height) {
      std::fprintf(stderr, "the mask is %dx%d, the expected picture %dx%d\n", mask.width, mask.height, expected.width,
                   expected.height);
      return 2;
    }
  }
  const bool fits = search ? actual.width >= expected.width && actual.height >= expected.height
                           : actual.width == expected.width && actual.height == expected.height;
  if (!fits) {
    std::printf("size differs: expected %dx%d, actual %dx%d\n", expected.width, expected.height, actual.width,
                actual.height);
    return 1;
  }

  const long total = long(expected.width) * expected.height;
  long best = total + 1;
  int bestX = 0, bestY = 0;
  const int lastX = search ? actual.width - expected.width : 0;
  const int lastY = search ? actual.height - expected.height : 0;
  for (int y0 = 0; y0 <= lastY && best > 0; ++y0) {
    for (int x0 = 0; x0 <= lastX && best > 0; ++x0) {
      const long differ = countDifferences(expected, actual, maskPath ? &mask : nullptr, masks, x0, y0, best - 1);
      if (differ < best) {
        best = differ;
        bestX = x0;
        bestY = y0;
      }
    }
  }
  std::printf("%ld of %ld pixels differ (picture at %d,%d)\n", best, total, bestX, bestY);
  return best == 0 ? 0 : 1;
}

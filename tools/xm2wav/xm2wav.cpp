// xm2wav MODULE.xm OUT.wav [--seconds N]
// Renders an XM module to a 16-bit stereo 44100 Hz WAV file (OUT.wav may be
// "-" for standard output). Without --seconds it plays the song once through,
// until it starts to repeat, and at most 30 minutes.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "music/music.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace {

constexpr int64_t maxSongFrames = int64_t{30} * 60 * mixRate;
// The RIFF sizes are 32-bit: keep the data chunk well under 4 GiB.
constexpr double maxSeconds = 6 * 3600;

void usage() {
  std::fprintf(stderr,
               "usage: xm2wav MODULE.xm OUT.wav [--seconds N]\n"
               "  Renders MODULE.xm as 16-bit stereo 44100 Hz WAV; OUT.wav may be - for standard output.\n"
               "  Without --seconds the song plays once through (at most 30 minutes).\n");
}

void put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void put32(uint8_t* p, uint32_t v) {
  put16(p, v & 0xFFFF);
  put16(p + 2, v >> 16);
}

void wavHeader(uint8_t* h, uint32_t frames) {
  const uint32_t dataBytes = frames * 4;
  std::memcpy(h, "RIFF", 4);
  put32(h + 4, 36 + dataBytes);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  put32(h + 16, 16);
  put16(h + 20, 1);  // PCM
  put16(h + 22, 2);
  put32(h + 24, mixRate);
  put32(h + 28, mixRate * 4);
  put16(h + 32, 4);
  put16(h + 34, 16);
  std::memcpy(h + 36, "data", 4);
  put32(h + 40, dataBytes);
}

}  // namespace

int main(int argc, char** argv) {
  const char* input = nullptr;
  const char* output = nullptr;
  double seconds = -1;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--seconds") {
      if (i + 1 >= argc) {
        usage();
        return 2;
      }
      char* end = nullptr;
      errno = 0;
      seconds = std::strtod(argv[++i], &end);
      if (errno != 0 || end == argv[i] || *end != '\0' || !(seconds >= 0) || seconds > maxSeconds) {
        std::fprintf(stderr, "xm2wav: --seconds needs a number of seconds from 0 to %.0f\n", maxSeconds);
        return 2;
      }
    } else if (arg == "-h" || arg == "--help") {
      usage();
      return 0;
    } else if (!input) {
      input = argv[i];
    } else if (!output) {
      output = argv[i];
    } else {
      usage();
      return 2;
    }
  }
  if (!input || !output) {
    usage();
    return 2;
  }

  // Tell a missing file from one the loader refuses.
  std::FILE* probe = std::fopen(input, "rb");
  if (!probe) {
    std::fprintf(stderr, "xm2wav: cannot open %s: %s\n", input, std::strerror(errno));
    return 1;
  }
  std::fclose(probe);

  setFileCallbacks(memoryFileOpen, memoryFileClose, memoryFileRead, memoryFileSeek, memoryFileTell);
  Song* song = loadSong(input);
  if (!song) {
    std::fprintf(stderr, "xm2wav: %s is not an XM module the player can read\n", input);
    return 1;
  }

  const int64_t frames =
      seconds >= 0 ? static_cast<int64_t>(seconds * mixRate + 0.5) : measureSong(song, maxSongFrames);

  const bool toStdout = std::strcmp(output, "-") == 0;
  std::FILE* out = nullptr;
  if (toStdout) {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    out = stdout;
  } else {
    out = std::fopen(output, "wb");
    if (!out) {
      std::fprintf(stderr, "xm2wav: cannot create %s: %s\n", output, std::strerror(errno));
      freeSong(song);
      return 1;
    }
  }

  uint8_t header[44];
  wavHeader(header, static_cast<uint32_t>(frames));
  bool ok = std::fwrite(header, 1, sizeof header, out) == sizeof header;

  const bool progress = isatty(fileno(stderr)) != 0;
  if (!startSong(song)) {
    std::fprintf(stderr, "xm2wav: out of memory\n");
    ok = false;
  }
  const int32_t blockFrames = blockFrameCount();
  int64_t written = 0;
  int lastPercent = -1;
  while (ok && written < frames) {
    const int16_t* block = fillBlock();
    const int64_t left = frames - written;
    const int32_t count = left < blockFrames ? static_cast<int32_t>(left) : blockFrames;
    // The WAV data is little-endian 16-bit, left sample first.
    uint8_t bytes[4 * 2048];
    for (int32_t i = 0; i < count * 2; ++i) put16(bytes + 2 * i, static_cast<uint16_t>(block[i]));
    ok = std::fwrite(bytes, 4, static_cast<size_t>(count), out) == static_cast<size_t>(count);
    written += count;
    const int percent = static_cast<int>(written * 100 / frames);
    if (progress && percent != lastPercent) {
      lastPercent = percent;
      std::fprintf(stderr, "\r%s: %6.1f s of %.1f s (%3d%%)", input, static_cast<double>(written) / mixRate,
                   static_cast<double>(frames) / mixRate, percent);
    }
  }
  if (progress && lastPercent >= 0) std::fprintf(stderr, "\n");
  freeSong(song);

  if (toStdout) {
    ok = std::fflush(out) == 0 && ok;
  } else {
    ok = std::fclose(out) == 0 && ok;
  }
  if (!ok) {
    std::fprintf(stderr, "xm2wav: writing %s failed\n", toStdout ? "standard output" : output);
    return 1;
  }
  return 0;
}

// xm2wav [-q] MODULE.xm OUT.wav [--seconds N]
// Renders an XM module to a 16-bit stereo 44100 Hz WAV file (OUT.wav may be
// "-" for standard output). Without --seconds it plays the song once through,
// until it starts to repeat, and at most 30 minutes. The file is written under
// a temporary name beside OUT.wav and takes its name only when complete, so
// an interrupted or failed run leaves no truncated WAV behind.
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
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
#define unlink _unlink
#else
#include <unistd.h>
#endif

#ifndef DEMO_VERSION
#define DEMO_VERSION "unknown"
#endif

namespace {

constexpr int64_t maxSongFrames = int64_t{30} * 60 * mixRate;
// The RIFF sizes are 32-bit: keep the data chunk well under 4 GiB.
constexpr double maxSeconds = 6 * 3600;

// The temporary file being written, for the signal handler: set before the
// file is created, cleared once it has been renamed.
char temporaryPath[4096];
volatile std::sig_atomic_t temporaryExists = 0;

// Only async-signal-safe calls: the half-written file goes, the process ends
// with the shell's code for an interrupted command.
extern "C" void onInterrupt(int) {
  if (temporaryExists) unlink(temporaryPath);
  std::_Exit(130);
}

void usage(std::FILE* to) {
  std::fprintf(to,
               "usage: xm2wav [-q] MODULE.xm OUT.wav [--seconds N]\n"
               "Renders MODULE.xm as 16-bit stereo 44100 Hz WAV; OUT.wav may be - for standard output.\n"
               "  --seconds N   render N seconds (default: the song once through, at most 30 minutes)\n"
               "  -q, --quiet   no progress line\n"
               "  -h, --help    this text\n"
               "  --version     the program's version\n");
}

[[noreturn]] void badUsage(const char* text, const char* what) {
  std::fprintf(stderr, "xm2wav: %s%s\n", text, what);
  std::fprintf(stderr, "Try xm2wav --help.\n");
  std::exit(2);
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

// Gives the finished file its name, replacing an older file of that name.
bool replaceFile(const char* from, const char* to) {
#ifdef _WIN32
  // Windows' rename does not replace an existing file.
  std::remove(to);
#endif
  if (std::rename(from, to) == 0) return true;
  std::fprintf(stderr, "xm2wav: cannot rename %s to %s: %s\n", from, to, std::strerror(errno));
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  const char* input = nullptr;
  const char* output = nullptr;
  double seconds = -1;
  bool quiet = false;
  bool optionsEnd = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (optionsEnd || arg == "-" || arg.empty() || arg[0] != '-') {
      if (!input) {
        input = argv[i];
      } else if (!output) {
        output = argv[i];
      } else {
        badUsage("one module and one output file only, not also ", argv[i]);
      }
    } else if (arg == "--") {
      optionsEnd = true;
    } else if (arg == "--seconds") {
      if (i + 1 >= argc) badUsage("--seconds needs a number of seconds", "");
      char* end = nullptr;
      errno = 0;
      seconds = std::strtod(argv[++i], &end);
      if (errno != 0 || end == argv[i] || *end != '\0' || !(seconds >= 0) || seconds > maxSeconds) {
        std::fprintf(stderr, "xm2wav: --seconds needs a number of seconds from 0 to %.0f, not '%s'\n", maxSeconds,
                     argv[i]);
        return 2;
      }
    } else if (arg == "-q" || arg == "--quiet") {
      quiet = true;
    } else if (arg == "-h" || arg == "--help") {
      usage(stdout);
      return 0;
    } else if (arg == "--version") {
      std::printf("xm2wav " DEMO_VERSION "\n");
      return 0;
    } else {
      badUsage("unknown option ", ("'" + arg + "'").c_str());
    }
  }
  if (!input || !output) {
    usage(stderr);
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

  // A device or a pipe (/dev/null, a FIFO) is written as it is: a temporary
  // name beside it would be a stray file.
  struct stat outputInfo;
  const bool toStream = std::strcmp(output, "-") != 0 && stat(output, &outputInfo) == 0 && !S_ISREG(outputInfo.st_mode);
  const bool toStdout = std::strcmp(output, "-") == 0;
  std::FILE* out = nullptr;
  if (toStdout) {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    out = stdout;
  } else if (toStream) {
    out = std::fopen(output, "wb");
    if (!out) {
      std::fprintf(stderr, "xm2wav: cannot write to %s: %s\n", output, std::strerror(errno));
      freeSong(song);
      return 1;
    }
  } else {
    const std::string temporary = std::string(output) + ".part";
    if (temporary.size() >= sizeof temporaryPath) {
      std::fprintf(stderr, "xm2wav: the output name %s is too long\n", output);
      freeSong(song);
      return 1;
    }
    std::memcpy(temporaryPath, temporary.c_str(), temporary.size() + 1);
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    temporaryExists = 1;
    out = std::fopen(temporaryPath, "wb");
    if (!out) {
      temporaryExists = 0;
      std::fprintf(stderr, "xm2wav: cannot create %s: %s\n", temporaryPath, std::strerror(errno));
      freeSong(song);
      return 1;
    }
  }

  uint8_t header[44];
  wavHeader(header, static_cast<uint32_t>(frames));
  bool ok = std::fwrite(header, 1, sizeof header, out) == sizeof header;

  const bool progress = !quiet && isatty(fileno(stderr)) != 0;
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
  } else if (toStream) {
    ok = std::fclose(out) == 0 && ok;
  } else {
    ok = std::fclose(out) == 0 && ok;
    ok = ok && replaceFile(temporaryPath, output);
    if (!ok) unlink(temporaryPath);
    temporaryExists = 0;
  }
  if (!ok) {
    std::fprintf(stderr, "xm2wav: writing %s failed\n", toStdout ? "standard output" : output);
    return 1;
  }
  return 0;
}

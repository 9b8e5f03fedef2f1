// demo_capture: runs the demo's scenes offline, with a fixed frame duration
// in place of the millisecond timer, and writes frames, a video or a frame
// time table. Run it in the folder that holds the data files, like the demo.
//
//   demo_capture [--dt SECONDS] [--at T1,T2,...] [--all] [--out DIR] [--video FILE]
//   demo_capture [--dt SECONDS] --bench
#if DEMO_CAPTURE_PNG
#include <png.h>
#endif
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "display/screen.h"
#include "driver/demo.h"
#include "music/music.h"

namespace {

constexpr int32_t frameWidth = 640;
constexpr int32_t frameHeight = 480;
constexpr const char* musicFile = "quenvar2.xm";
// Frames go out as PNG where the build has libpng, else (the Windows cross
// build) as binary PPM: the same pixels, in a format every image tool reads.
#if DEMO_CAPTURE_PNG
constexpr const char* imageExtension = ".png";
#else
constexpr const char* imageExtension = ".ppm";
#endif

struct Options {
  double dt = 1.0 / 60;
  bool dtGiven = false;
  std::vector<double> at;  // sorted
  bool all = false;
  std::string out = ".";
  std::string video;
  bool bench = false;
};

void usage(std::FILE* to) {
  const char* x = imageExtension;
  std::fprintf(to,
               "usage: demo_capture [--dt SECONDS] [--at T1,T2,...] [--all] [--out DIR] [--video FILE]\n"
               "       demo_capture [--dt SECONDS] --bench\n"
               "Runs the demo's scenes offline with a fixed frame duration (default 1/60 s), in the\n"
               "folder that holds the data files.\n"
               "  --at T1,T2,...  write the first frame at or past each clock value T as frame-T%s\n"
               "                  (T with three decimals, e.g. frame-15.300%s)\n"
               "  --all           write every frame as frame-NNNNN%s\n"
               "  --out DIR       folder for the frame files (default: the current folder)\n"
               "  --video FILE    encode the whole run with ffmpeg (H.264 + AAC in MP4, 1/dt frames per\n"
               "                  second) with quenvar2.xm as its sound track when that file is present\n"
               "  --bench         time every frame step and print a table per scene; writes no files\n",
               x, x, x);
}

[[noreturn]] void badOption(const std::string& text) {
  std::fprintf(stderr, "demo_capture: %s\n", text.c_str());
  std::fprintf(stderr, "Try demo_capture --help.\n");
  std::exit(2);
}

bool parseNumber(const std::string& text, double& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtod(text.c_str(), &end);
  return errno == 0 && *end == '\0' && std::isfinite(value);
}

Options parseOptions(int argc, char** argv) {
  Options options;
  bool any = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) badOption(arg + " needs a value");
      return argv[++i];
    };
    if (arg == "-h" || arg == "--help") {
      usage(stdout);
      std::exit(0);
    } else if (arg == "--dt") {
      const std::string text = value();
      if (!parseNumber(text, options.dt) || !(options.dt >= 0.0001 && options.dt <= 10)) {
        badOption("--dt needs a frame duration in seconds from 0.0001 to 10, not '" + text + "'");
      }
      options.dtGiven = true;
    } else if (arg == "--at") {
      const std::string list = value();
      size_t start = 0;
      while (start <= list.size()) {
        const size_t comma = std::min(list.find(',', start), list.size());
        const std::string item = list.substr(start, comma - start);
        double t = 0;
        if (!parseNumber(item, t) || t < 0 || t >= sequenceEnd) {
          badOption("--at needs clock values from 0 to below 120 seconds, not '" + item + "'");
        }
        options.at.push_back(t);
        start = comma + 1;
      }
      any = true;
    } else if (arg == "--all") {
      options.all = any = true;
    } else if (arg == "--out") {
      options.out = value();
      if (options.out.empty()) badOption("--out needs a folder");
    } else if (arg == "--video") {
      options.video = value();
      if (options.video.empty()) badOption("--video needs a file name");
      any = true;
    } else if (arg == "--bench") {
      options.bench = true;
    } else {
      badOption("unknown option '" + arg + "'");
    }
  }
  if (options.bench && any) badOption("--bench writes no files: it goes with --dt only");
  if (!options.bench && !any) badOption("nothing to do: give --at, --all, --video or --bench");
  std::sort(options.at.begin(), options.at.end());
  return options;
}

// Asks nothing of a window system; remembers the quit the end of the
// sequence posts.
class CapturePlatform final : public Platform {
 public:
  bool peekMessage(PlatformMessage&, bool) override { return false; }
  void dispatchMessage(const PlatformMessage&) override {}
  uint32_t milliseconds() override { return 0; }
  bool keyPressed(int) override { return false; }
  void postQuit(int) override { quit = true; }
  void showCursor(bool) override {}
  bool quit = false;
};

// The number of frames the run draws: the clock arithmetic of the loop and
// of the last scene, without drawing.
int64_t countFrames(double dt) {
  double clock = 0;
  double frameSeconds = 0;
  int64_t frames = 0;
  for (int scene = sceneAt(clock); scene != 0; scene = sceneAt(clock)) {
    if (scene == 14) clock += frameSeconds;
    ++frames;
    frameSeconds = dt;
    clock += frameSeconds;
  }
  return frames;
}

#if DEMO_CAPTURE_PNG
bool writeImage(const std::string& path, const uint32_t* pixels) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    std::fprintf(stderr, "demo_capture: cannot create %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  std::vector<png_byte> row(size_t(frameWidth) * 3);
  bool ok = png && info;
  if (ok && setjmp(png_jmpbuf(png))) ok = false;
  if (ok) {
    png_init_io(png, file);
    png_set_IHDR(png, info, frameWidth, frameHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int32_t y = 0; y < frameHeight; ++y) {
      const uint32_t* source = pixels + size_t(y) * frameWidth;
      for (int32_t x = 0; x < frameWidth; ++x) {
        row[3 * x] = png_byte(source[x] >> 16);
        row[3 * x + 1] = png_byte(source[x] >> 8);
        row[3 * x + 2] = png_byte(source[x]);
      }
      png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
  }
  png_destroy_write_struct(&png, &info);
  ok = std::fclose(file) == 0 && ok;
  if (!ok) std::fprintf(stderr, "demo_capture: writing %s failed\n", path.c_str());
  return ok;
}
#else
bool writeImage(const std::string& path, const uint32_t* pixels) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    std::fprintf(stderr, "demo_capture: cannot create %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
  }
  std::fprintf(file, "P6\n%d %d\n255\n", int(frameWidth), int(frameHeight));
  std::vector<unsigned char> row(size_t(frameWidth) * 3);
  bool ok = true;
  for (int32_t y = 0; ok && y < frameHeight; ++y) {
    const uint32_t* source = pixels + size_t(y) * frameWidth;
    for (int32_t x = 0; x < frameWidth; ++x) {
      row[3 * x] = uint8_t(source[x] >> 16);
      row[3 * x + 1] = uint8_t(source[x] >> 8);
      row[3 * x + 2] = uint8_t(source[x]);
    }
    ok = std::fwrite(row.data(), 1, row.size(), file) == row.size();
  }
  ok = std::fclose(file) == 0 && ok;
  if (!ok) std::fprintf(stderr, "demo_capture: writing %s failed\n", path.c_str());
  return ok;
}
#endif

#ifdef _WIN32
constexpr char pathSeparator = ';';
constexpr const char* programSuffix = ".exe";
constexpr int runnable = 0;  // the C runtime knows no execute permission
#else
constexpr char pathSeparator = ':';
constexpr const char* programSuffix = "";
constexpr int runnable = X_OK;
#endif

bool onPath(const char* program) {
  const char* path = std::getenv("PATH");
  if (!path) return false;
  std::string list = path;
  size_t start = 0;
  while (start <= list.size()) {
    const size_t colon = std::min(list.find(pathSeparator, start), list.size());
    std::string folder = list.substr(start, colon - start);
    if (folder.empty()) folder = ".";
    if (access((folder + "/" + program + programSuffix).c_str(), runnable) == 0) return true;
    start = colon + 1;
  }
  return false;
}

// One argument for the shell, whatever characters it holds.
std::string quoted(const std::string& text) {
  std::string result = "'";
  for (char c : text) result += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return result + "'";
}

void put16(std::FILE* file, uint32_t v) {
  const unsigned char b[2] = {uint8_t(v), uint8_t(v >> 8)};
  std::fwrite(b, 1, 2, file);
}
void put32(std::FILE* file, uint32_t v) {
  put16(file, v & 0xFFFF);
  put16(file, v >> 16);
}

// Renders the module with the project's player from its first sample,
// exactly `frames` stereo frames long, as a 16-bit WAV file.
bool renderMusic(const std::string& path, int64_t frames) {
  setFileCallbacks(memoryFileOpen, memoryFileClose, memoryFileRead, memoryFileSeek, memoryFileTell);
  Song* song = loadSong(musicFile);
  if (!song) {
    std::fprintf(stderr, "demo_capture: %s is not an XM module the player can read\n", musicFile);
    return false;
  }
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file || !startSong(song)) {
    std::fprintf(stderr, "demo_capture: cannot render the music into %s\n", path.c_str());
    if (file) std::fclose(file);
    freeSong(song);
    return false;
  }
  const uint32_t dataBytes = uint32_t(frames * 4);
  std::fwrite("RIFF", 1, 4, file);
  put32(file, 36 + dataBytes);
  std::fwrite("WAVEfmt ", 1, 8, file);
  put32(file, 16);
  put16(file, 1);
  put16(file, 2);
  put32(file, mixRate);
  put32(file, mixRate * 4);
  put16(file, 4);
  put16(file, 16);
  std::fwrite("data", 1, 4, file);
  put32(file, dataBytes);
  const int32_t blockFrames = blockFrameCount();
  for (int64_t written = 0; written < frames;) {
    const int16_t* block = fillBlock();
    const int32_t count = int32_t(std::min<int64_t>(blockFrames, frames - written));
    for (int32_t i = 0; i < count * 2; ++i) put16(file, uint16_t(block[i]));
    written += count;
  }
  freeSong(song);
  if (std::ferror(file) | std::fclose(file)) {
    std::fprintf(stderr, "demo_capture: writing %s failed\n", path.c_str());
    return false;
  }
  return true;
}

std::string formatNumber(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

struct SceneTimes {
  std::vector<double> ms[15];
};

void printBench(SceneTimes& times) {
  double total = 0;
  size_t frames = 0;
  for (int scene = 1; scene <= 14; ++scene) {
    std::vector<double>& list = times.ms[scene];
    if (list.empty()) continue;
    std::sort(list.begin(), list.end());
    const size_t n = list.size();
    const double median = n % 2 ? list[n / 2] : (list[n / 2 - 1] + list[n / 2]) / 2;
    std::printf("scene %d: %zu frames, median %.3f ms, worst %.3f ms\n", scene, n, median, list.back());
    for (double ms : list) total += ms;
    frames += n;
  }
  std::printf("whole run: %zu frames, %.0f frames per second\n", frames, total > 0 ? frames * 1000.0 / total : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = parseOptions(argc, argv);
  const bool progress = isatty(fileno(stderr)) != 0;

  if (!options.at.empty() || options.all) {
    struct stat info;
    if (stat(options.out.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
      std::fprintf(stderr, "demo_capture: the output folder %s does not exist\n", options.out.c_str());
      return 1;
    }
  }

  // The video and its sound track are set up before the run: a missing
  // encoder is reported before any work is done.
  std::FILE* encoder = nullptr;
  std::string soundTrack;
  if (!options.video.empty()) {
    if (!onPath("ffmpeg")) {
      std::fprintf(stderr, "demo_capture: --video needs the ffmpeg program, which is not installed\n");
      return 1;
    }
    const int64_t frames = countFrames(options.dt);
    std::FILE* music = std::fopen(musicFile, "rb");
    if (music) {
      std::fclose(music);
      soundTrack = options.video + ".sound.wav";
      if (!renderMusic(soundTrack, std::llround(double(frames) * options.dt * mixRate))) {
        std::remove(soundTrack.c_str());
        return 1;
      }
    }
    const std::string rate = options.dtGiven ? formatNumber("%.9g", 1 / options.dt) : "60";
    std::string command =
        "ffmpeg -hide_banner -loglevel error -nostdin -y -f rawvideo -pix_fmt bgr0 -s 640x480 -framerate " + rate +
        " -i -";
    if (!soundTrack.empty()) command += " -i " + quoted(soundTrack) + " -map 0:v -map 1:a -c:a aac -b:a 192k";
    command +=
        " -c:v libx264 -preset medium -crf 18 -pix_fmt yuv420p -threads 1 -map_metadata -1"
        " -fflags +bitexact -flags:v +bitexact -flags:a +bitexact -movflags +faststart " +
        quoted(options.video);
    // An encoder that gives up must not end this program silently: writes
    // to it then fail and are reported.
#ifdef _WIN32
    encoder = popen(command.c_str(), "wb");
#else
    std::signal(SIGPIPE, SIG_IGN);
    encoder = popen(command.c_str(), "w");
#endif
    if (!encoder) {
      std::fprintf(stderr, "demo_capture: cannot start ffmpeg\n");
      return 1;
    }
  }

  Screen screen("Demo", frameWidth, frameHeight, false);
  CapturePlatform platform;
  DemoState state;
  // The music is rendered offline, so the start-up plays none.
  startDemo(state, platform, false);

  SceneTimes times;
  size_t nextAt = 0;
  bool ok = true;
  int64_t frame = 0;
  for (;; ++frame) {
    const double start = state.clock;
    const int scene = sceneAt(start);
    const auto before = std::chrono::steady_clock::now();
    renderScene(state, screen, platform);
    const auto after = std::chrono::steady_clock::now();
    if (platform.quit) break;
    if (options.bench) times.ms[scene].push_back(std::chrono::duration<double, std::milli>(after - before).count());

    for (; ok && nextAt < options.at.size() && options.at[nextAt] <= start; ++nextAt) {
      ok = writeImage(options.out + "/frame-" + formatNumber("%.3f", options.at[nextAt]) + imageExtension,
                      screen.frameBuffer);
    }
    if (ok && options.all) {
      ok = writeImage(options.out + "/frame-" + formatNumber("%05.0f", double(frame)) + imageExtension,
                      screen.frameBuffer);
    }
    if (ok && encoder) {
      ok = std::fwrite(screen.frameBuffer, 4, screen.pixelCount, encoder) == screen.pixelCount;
      if (!ok) std::fprintf(stderr, "demo_capture: ffmpeg stopped taking frames\n");
    }
    if (!ok) break;
    if (progress && frame % 30 == 0) {
      std::fprintf(stderr, "\rframe %lld, clock %.2f s, scene %d ", static_cast<long long>(frame), start, scene);
    }

    state.frameSeconds = options.dt;
    state.clock += state.frameSeconds;
  }
  if (progress)
    std::fprintf(stderr, "\r%lld frames, clock %.2f s%20s\n", static_cast<long long>(frame), state.clock, "");

  if (encoder) {
    const int status = pclose(encoder);
    if (ok && status != 0) {
      std::fprintf(stderr, "demo_capture: ffmpeg failed to write %s\n", options.video.c_str());
      ok = false;
    }
    if (!soundTrack.empty()) std::remove(soundTrack.c_str());
  }
  if (ok && nextAt < options.at.size()) {
    std::fprintf(stderr, "demo_capture: the sequence ends before clock %.3f\n", options.at[nextAt]);
    ok = false;
  }
  stopDemo(state);
  if (ok && options.bench) printBench(times);
  return ok ? 0 : 1;
}

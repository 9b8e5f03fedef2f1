// demo_capture: runs the demo's scenes offline, with a fixed frame duration
// in place of the millisecond timer, and writes frames, a video or a frame
// time table. It reads the data files from the current folder, else from the
// program's own folder, or from --data DIR.
//
//   demo_capture [-q] [--data DIR] [--dt SECONDS] [--at T1,T2,...] [--all] [--out DIR] [--video FILE]
//   demo_capture [--data DIR] [--dt SECONDS] --bench
//
// Every file is written under a temporary name beside its final one and
// renamed when complete; an interrupt (SIGINT, SIGTERM) removes the
// temporaries, stops ffmpeg and ends with status 130.
//
// The Windows build writes frames (as PPM, having no libpng) and the table;
// the video needs the Linux build.
#if DEMO_CAPTURE_PNG
#include <png.h>
#endif
#ifndef _WIN32
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#endif
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "display/screen.h"
#include "driver/data_folder.h"
#include "driver/demo.h"
#include "music/music.h"

#ifndef DEMO_VERSION
#define DEMO_VERSION "unknown"
#endif

#ifndef _WIN32
extern char** environ;
#endif

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
  std::string data;  // empty: the current folder, else the program's
  bool bench = false;
  bool quiet = false;
};

void usage(std::FILE* to) {
  const char* x = imageExtension;
  std::fprintf(to,
               "usage: demo_capture [-q] [--data DIR] [--dt SECONDS] [--at T1,T2,...] [--all] [--out DIR]\n"
               "                    [--video FILE]\n"
               "       demo_capture [--data DIR] [--dt SECONDS] --bench\n"
               "Runs the demo's scenes offline with a fixed frame duration (default 1/60 s).\n"
               "  --at T1,T2,...  write the first frame at or past each clock value T as frame-T%s\n"
               "                  (T with three decimals, e.g. frame-15.300%s)\n"
               "  --all           write every frame as frame-NNNNN%s\n"
               "  --out DIR       folder for the frame files, made if missing (default: the current folder)\n"
               "  --video FILE    encode the whole run with ffmpeg (H.264 + AAC in MP4, 1/dt frames per\n"
               "                  second) with quenvar2.xm as its sound track when that file is present\n"
               "  --bench         time every frame step and print a table per scene; writes no files\n"
               "  --dt SECONDS    the frame duration, from 0.0001 to 10 (default 1/60)\n"
               "  --data DIR      read the data files from DIR (default: the current folder when it\n"
               "                  holds them, else the program's folder)\n"
               "  -q, --quiet     no mesh names, no progress\n"
               "  -h, --help      this text\n"
               "  --version       the program's version\n",
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
#ifdef _WIN32
      badOption("--video needs the Linux build");
#endif
      any = true;
    } else if (arg == "--bench") {
      options.bench = true;
    } else if (arg == "--data") {
      options.data = value();
      if (options.data.empty()) badOption("--data needs a folder");
    } else if (arg == "-q" || arg == "--quiet") {
      options.quiet = true;
    } else if (arg == "--version") {
      std::printf("demo_capture " DEMO_VERSION "\n");
      std::exit(0);
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

// What an interrupt must clean up, readable from the signal handler: each
// path is written while its flag is clear, and the flag is set before the
// file is created and cleared once it has been renamed or removed.
struct Temporary {
  char path[4096];
  volatile std::sig_atomic_t live = 0;
};
Temporary framePart, videoPart, soundTrack;
volatile std::sig_atomic_t encoderPid = 0;  // ffmpeg while it runs

// Arms `temporary` with `path`; false when the name does not fit.
bool arm(Temporary& temporary, const std::string& path) {
  temporary.live = 0;
  if (path.size() >= sizeof temporary.path) {
    std::fprintf(stderr, "demo_capture: the file name %s is too long\n", path.c_str());
    return false;
  }
  std::memcpy(temporary.path, path.c_str(), path.size() + 1);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  temporary.live = 1;
  return true;
}

void discard(Temporary& temporary) {
  if (!temporary.live) return;
  unlink(temporary.path);
  temporary.live = 0;
}

// Gives a finished temporary its final name.
bool keep(Temporary& temporary, const std::string& path) {
#ifdef _WIN32
  std::remove(path.c_str());  // Windows renames onto no existing file
#endif
  const bool ok = std::rename(temporary.path, path.c_str()) == 0;
  if (!ok)
    std::fprintf(stderr, "demo_capture: cannot rename %s to %s: %s\n", temporary.path, path.c_str(),
                 std::strerror(errno));
  discard(temporary);
  return ok;
}

// Only async-signal-safe calls: ffmpeg is stopped and reaped before its
// half-written file goes, then the process ends with the shell's code for an
// interrupted command.
extern "C" void onInterrupt(int) {
#ifndef _WIN32
  const pid_t encoder = encoderPid;
  if (encoder > 0) {
    kill(encoder, SIGKILL);
    while (waitpid(encoder, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
#endif
  for (Temporary* temporary : {&framePart, &videoPart, &soundTrack}) {
    if (temporary->live) unlink(temporary->path);
  }
  _exit(130);
}

#if DEMO_CAPTURE_PNG
bool encodeImage(std::FILE* file, const uint32_t* pixels) {
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
  return ok;
}
#else
bool encodeImage(std::FILE* file, const uint32_t* pixels) {
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
  return ok;
}
#endif

bool writeImage(const std::string& path, const uint32_t* pixels) {
  if (!arm(framePart, path + ".part")) return false;
  std::FILE* file = std::fopen(framePart.path, "wb");
  if (!file) {
    std::fprintf(stderr, "demo_capture: cannot create %s: %s\n", framePart.path, std::strerror(errno));
    framePart.live = 0;
    return false;
  }
  bool ok = encodeImage(file, pixels);
  ok = std::fclose(file) == 0 && ok;
  if (!ok) {
    std::fprintf(stderr, "demo_capture: writing %s failed\n", path.c_str());
    discard(framePart);
    return false;
  }
  return keep(framePart, path);
}

#ifndef _WIN32
bool onPath(const char* program) {
  const char* path = std::getenv("PATH");
  if (!path) return false;
  std::string list = path;
  size_t start = 0;
  while (start <= list.size()) {
    const size_t colon = std::min(list.find(':', start), list.size());
    std::string folder = list.substr(start, colon - start);
    if (folder.empty()) folder = ".";
    if (access((folder + "/" + program).c_str(), X_OK) == 0) return true;
    start = colon + 1;
  }
  return false;
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
bool renderMusic(const char* path, int64_t frames) {
  setFileCallbacks(memoryFileOpen, memoryFileClose, memoryFileRead, memoryFileSeek, memoryFileTell);
  Song* song = loadSong(musicFile);
  if (!song) {
    std::fprintf(stderr, "demo_capture: %s is not an XM module the player can read\n", musicFile);
    return false;
  }
  std::FILE* file = std::fopen(path, "wb");
  if (!file || !startSong(song)) {
    std::fprintf(stderr, "demo_capture: cannot render the music into %s\n", path);
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
    std::fprintf(stderr, "demo_capture: writing %s failed\n", path);
    return false;
  }
  return true;
}

// The video's temporary name: ".part" before the extension, which keeps
// telling ffmpeg the container.
std::string partName(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash + 2) || dot == 0) {
    return path + ".part";
  }
  return path.substr(0, dot) + ".part" + path.substr(dot);
}

// Starts ffmpeg reading raw frames from a pipe; the write end, or null.
// Interrupts wait until its process id is recorded, and it starts with the
// default signal dispositions (this program ignores SIGPIPE).
std::FILE* startEncoder(const std::vector<std::string>& arguments) {
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) return nullptr;
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], 0);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults, interrupts, previous;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGTERM);
  sigemptyset(&interrupts);
  sigaddset(&interrupts, SIGINT);
  sigaddset(&interrupts, SIGTERM);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  sigprocmask(SIG_BLOCK, &interrupts, &previous);
  pid_t pid = 0;
  const int error = posix_spawnp(&pid, "ffmpeg", &actions, &attributes, argv.data(), environ);
  if (error == 0) encoderPid = pid;
  sigprocmask(SIG_SETMASK, &previous, nullptr);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(pipeEnds[0]);
  if (error != 0) {
    close(pipeEnds[1]);
    return nullptr;
  }
  std::FILE* encoder = fdopen(pipeEnds[1], "w");
  if (!encoder) close(pipeEnds[1]);
  return encoder;
}

// Closes ffmpeg's input and waits for it: true when it finished its file.
bool finishEncoder(std::FILE* encoder) {
  std::fclose(encoder);
  int status = 0;
  pid_t pid = encoderPid;
  pid_t waited;
  while ((waited = waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
  }
  encoderPid = 0;
  return waited == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
#endif

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

// Points standard output at the null device; returns a handle on the
// previous output for restoreOutput, or -1.
int silenceOutput() {
  std::fflush(stdout);
  const int shown = dup(fileno(stdout));
#ifdef _WIN32
  std::FILE* null = std::fopen("NUL", "w");
#else
  std::FILE* null = std::fopen("/dev/null", "w");
#endif
  if (shown >= 0 && null) dup2(fileno(null), fileno(stdout));
  if (null) std::fclose(null);
  return shown;
}

void restoreOutput(int shown) {
  std::fflush(stdout);
  dup2(shown, fileno(stdout));
  close(shown);
}

// Makes the folder --out names; a file in its place is an error.
bool makeOutputFolder(const std::string& folder) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::file_status status = fs::status(folder, error);
  if (fs::exists(status)) {
    if (fs::is_directory(status)) return true;
    std::fprintf(stderr, "demo_capture: --out %s is a file, not a folder\n", folder.c_str());
    return false;
  }
  fs::create_directories(folder, error);
  if (error) {
    std::fprintf(stderr, "demo_capture: cannot make the folder %s: %s\n", folder.c_str(), error.message().c_str());
    return false;
  }
  return true;
}

// Finds the data files and makes their folder the current one (the
// loaders open them by bare names); says where it looked when it fails.
bool enterData(const Options& options, const char* argv0) {
  std::vector<std::string> looked;
  if (!options.data.empty()) {
    std::error_code error;
    looked.push_back(options.data);
    if (holdsDataFiles(options.data)) {
      std::filesystem::current_path(options.data, error);
      if (!error) return true;
    }
  } else if (enterDataFolder(argv0, looked)) {
    return true;
  }
  std::string where;
  for (size_t i = 0; i < looked.size(); ++i) where += (i == 0 ? "" : " nor in ") + looked[i];
  std::fprintf(stderr,
               "demo_capture: no data files in %s (lu09.df, mask.raw, quenvar2.xm, ...);\n"
               "run it in the folder that holds them (the build's bin/) or give --data DIR\n",
               where.c_str());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  Options options = parseOptions(argc, argv);
  const bool progress = !options.quiet && !options.bench && isatty(fileno(stderr)) != 0;

  // The output names are the user's, from the folder the program was started
  // in; the data folder may become the current one.
  {
    std::error_code error;
    options.out = std::filesystem::absolute(options.out, error).string();
    if (!options.video.empty()) options.video = std::filesystem::absolute(options.video, error).string();
  }
  if (!enterData(options, argv[0])) return 1;
  if ((!options.at.empty() || options.all) && !makeOutputFolder(options.out)) return 1;

  std::signal(SIGINT, onInterrupt);
  std::signal(SIGTERM, onInterrupt);
#ifndef _WIN32
  // An encoder that gives up must not end this program silently: writes to
  // it then fail and are reported.
  std::signal(SIGPIPE, SIG_IGN);
#endif

  const int64_t totalFrames = countFrames(options.dt);
  // The video and its sound track are set up before the run: a missing
  // encoder is reported before any work is done.
  std::FILE* encoder = nullptr;
#ifndef _WIN32
  if (!options.video.empty()) {
    if (!onPath("ffmpeg")) {
      std::fprintf(stderr, "demo_capture: --video needs the ffmpeg program, which is not installed\n");
      return 1;
    }
    std::FILE* music = std::fopen(musicFile, "rb");
    if (music) {
      std::fclose(music);
      if (!arm(soundTrack, options.video + ".sound.wav")) return 1;
      if (progress) std::fprintf(stderr, "rendering the sound track from %s\n", musicFile);
      if (!renderMusic(soundTrack.path, std::llround(double(totalFrames) * options.dt * mixRate))) {
        discard(soundTrack);
        return 1;
      }
    }
    if (!arm(videoPart, partName(options.video))) {
      discard(soundTrack);
      return 1;
    }
    const std::string rate = options.dtGiven ? formatNumber("%.9g", 1 / options.dt) : "60";
    std::vector<std::string> command = {"ffmpeg",     "-hide_banner", "-loglevel", "error", "-nostdin", "-y",
                                        "-f",         "rawvideo",     "-pix_fmt",  "bgr0",  "-s",       "640x480",
                                        "-framerate", rate,           "-i",        "-"};
    if (soundTrack.live) {
      command.insert(command.end(),
                     {"-i", soundTrack.path, "-map", "0:v", "-map", "1:a", "-c:a", "aac", "-b:a", "192k"});
    }
    command.insert(command.end(),
                   {"-c:v",     "libx264",   "-preset",  "medium",        "-crf",      "18",        "-pix_fmt",
                    "yuv420p",  "-threads",  "1",        "-map_metadata", "-1",        "-fflags",   "+bitexact",
                    "-flags:v", "+bitexact", "-flags:a", "+bitexact",     "-movflags", "+faststart"});
    command.push_back(videoPart.path);
    encoder = startEncoder(command);
    if (!encoder) {
      std::fprintf(stderr, "demo_capture: cannot start ffmpeg\n");
      discard(soundTrack);
      videoPart.live = 0;
      return 1;
    }
  }
#endif

  Screen screen("Demo", frameWidth, frameHeight, false);
  CapturePlatform platform;
  DemoState state;
  // The music is rendered offline, so the start-up plays none.
  {
    // The loaders print the mesh names they read; quiet means none.
    const int shownOutput = options.quiet ? silenceOutput() : -1;
    startDemo(state, platform, false);
    if (shownOutput >= 0) restoreOutput(shownOutput);
  }

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
      std::fprintf(stderr, "\rframe %lld of %lld (%3lld%%), clock %6.2f s, scene %2d ", static_cast<long long>(frame),
                   static_cast<long long>(totalFrames), static_cast<long long>(frame * 100 / totalFrames), start,
                   scene);
    }

    state.frameSeconds = options.dt;
    state.clock += state.frameSeconds;
  }
  if (progress) {
    std::fprintf(stderr, "\r%lld frames, clock %.2f s%30s\n", static_cast<long long>(frame), state.clock, "");
  }

#ifndef _WIN32
  if (encoder) {
    const bool finished = finishEncoder(encoder);
    if (ok && !finished) {
      std::fprintf(stderr, "demo_capture: ffmpeg failed to write %s\n", options.video.c_str());
      ok = false;
    }
    discard(soundTrack);
    if (ok) {
      ok = keep(videoPart, options.video);
    } else {
      discard(videoPart);
    }
  }
#endif
  if (ok && nextAt < options.at.size()) {
    std::fprintf(stderr, "demo_capture: the sequence ends before clock %.3f\n", options.at[nextAt]);
    ok = false;
  }
  stopDemo(state);
  if (ok && options.bench) printBench(times);
  return ok ? 0 : 1;
}

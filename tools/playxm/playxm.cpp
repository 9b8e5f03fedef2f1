// playxm [options] MODULE.xm...
// Plays XM modules in real time through the same audio path as the demo,
// one after another, with a status line of the position as heard and keys
// to pause, move between orders and between files.
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "music/music.h"
#include "tools/playxm/terminal.h"

#ifndef PLAYXM_VERSION
#define PLAYXM_VERSION "unknown"
#endif

namespace {

struct Options {
  int loops = 0;  // extra times through; -1 forever
  double startSeconds = 0;
  bool info = false;
  bool quiet = false;
  std::vector<const char*> files;
};

void usage(std::FILE* to) {
  std::fprintf(to,
               "usage: playxm [options] MODULE.xm...\n"
               "Plays XM modules in real time, one after another.\n"
               "\n"
               "  --loop N          play each module N more times after the first (-1: forever)\n"
               "  --start SECONDS   start each module this far in\n"
               "  --info            print each module's facts and exit without playing\n"
               "  -q, --quiet       no status line and no messages but errors\n"
               "  -h, --help        show this help and exit\n"
               "  --version         show the version and exit\n"
               "\n"
               "Keys while playing: space pause/resume, left/right previous/next order,\n"
               "n/p next/previous module, q quit. Ctrl-C stops at once.\n");
}

// The value of an option given as "--name VALUE" or "--name=VALUE".
const char* optionValue(const std::string& arg, const char* name, int& i, int argc, char** argv, bool& matched) {
  const std::string n = name;
  matched = false;
  if (arg == n) {
    matched = true;
    return i + 1 < argc ? argv[++i] : nullptr;
  }
  if (arg.compare(0, n.size() + 1, n + "=") == 0) {
    matched = true;
    return argv[i] + n.size() + 1;
  }
  return nullptr;
}

// 0 on success, else the exit code.
int parse(int argc, char** argv, Options& options) {
  bool onlyFiles = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    bool matched = false;
    if (onlyFiles || arg.empty() || arg[0] != '-' || arg == "-") {
      options.files.push_back(argv[i]);
      continue;
    }
    if (arg == "--") {
      onlyFiles = true;
    } else if (const char* v = optionValue(arg, "--loop", i, argc, argv, matched); matched) {
      char* end = nullptr;
      errno = 0;
      const long n = v ? std::strtol(v, &end, 10) : 0;
      if (!v || errno != 0 || end == v || *end != '\0' || n < -1 || n > 1000000) {
        std::fprintf(stderr, "playxm: --loop needs a count from 0 up, or -1 for ever\n");
        return 2;
      }
      options.loops = static_cast<int>(n);
    } else if (const char* s = optionValue(arg, "--start", i, argc, argv, matched); matched) {
      char* end = nullptr;
      errno = 0;
      const double seconds = s ? std::strtod(s, &end) : -1;
      if (!s || errno != 0 || end == s || *end != '\0' || !(seconds >= 0) || seconds > 24 * 3600) {
        std::fprintf(stderr, "playxm: --start needs a number of seconds from 0 up\n");
        return 2;
      }
      options.startSeconds = seconds;
    } else if (arg == "--info") {
      options.info = true;
    } else if (arg == "-q" || arg == "--quiet") {
      options.quiet = true;
    } else if (arg == "-h" || arg == "--help") {
      usage(stdout);
      std::exit(0);
    } else if (arg == "--version") {
      std::printf("playxm %s\n", PLAYXM_VERSION);
      std::exit(0);
    } else {
      std::fprintf(stderr, "playxm: unknown option %s\n", argv[i]);
      usage(stderr);
      return 2;
    }
  }
  if (options.files.empty()) {
    usage(stderr);
    return 2;
  }
  return 0;
}

// m:ss.d
std::string clock(double seconds) {
  if (seconds < 0) seconds = 0;
  const long tenths = std::lround(seconds * 10);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld.%ld", tenths / 600, tenths / 10 % 60, tenths % 10);
  return text;
}

// The title as it can be printed: a module's name may hold any byte.
std::string printable(const char* text) {
  std::string out;
  for (const char* p = text; *p; ++p) out += (*p >= 32 && *p < 127) ? *p : '?';
  return out;
}

std::string baseName(const char* path) {
  const char* name = path;
  for (const char* p = path; *p; ++p) {
    if (*p == '/' || *p == '\\') name = p + 1;
  }
  return name;
}

void printFacts(const char* file, const SongFacts& f) {
  std::printf("File:        %s\n", file);
  std::printf("Title:       %s\n", printable(f.title).c_str());
  std::printf("Channels:    %d\n", f.channels);
  std::printf("Orders:      %d\n", f.orders);
  std::printf("Patterns:    %d\n", f.patterns);
  std::printf("Instruments: %d\n", f.instruments);
  std::printf("Samples:     %d\n", f.samples);
  if (f.lengthFrames < 0) {
    std::printf("Length:      does not end\n");
  } else {
    std::printf("Length:      %s (then loops from %s)\n", clock(f.lengthSeconds).c_str(),
                clock(static_cast<double>(f.loopStartFrame) / mixRate).c_str());
  }
}

Song* openModule(const char* file) {
  std::FILE* probe = std::fopen(file, "rb");
  if (!probe) {
    std::fprintf(stderr, "playxm: cannot open %s: %s\n", file, std::strerror(errno));
    return nullptr;
  }
  std::fclose(probe);
  Song* song = loadSong(file);
  if (!song) std::fprintf(stderr, "playxm: %s is not an XM module the player can read\n", file);
  return song;
}

enum class Next { following, previous, quit, interrupted, failed };

struct StatusLine {
  bool shown = false;
  size_t width = 0;
  void draw(const std::string& text) {
    const size_t columns = static_cast<size_t>(terminalColumns());
    std::string line = text.size() < columns ? text : text.substr(0, columns - 1);
    // Spaces rather than an erase sequence: the Windows console takes them too.
    const size_t drawn = line.size();
    if (line.size() < width) line.append(width - line.size(), ' ');
    width = drawn;
    std::printf("\r%s", line.c_str());
    std::fflush(stdout);
    shown = true;
  }
  void end() {
    if (shown) std::printf("\n");
    std::fflush(stdout);
    shown = false;
    width = 0;
  }
};

// Plays one module until it ends or a key or signal moves on.
Next play(Song* song, const char* file, const SongFacts& facts, const Options& options, bool status) {
  const int64_t length = facts.lengthFrames;
  int64_t end = -1;
  if (length >= 0 && options.loops >= 0) end = length + int64_t{options.loops} * (length - facts.loopStartFrame);
  const int64_t start = static_cast<int64_t>(std::llround(options.startSeconds * mixRate));
  if (end >= 0 && start >= end) {
    if (!options.quiet) std::printf("%s ends before %s\n", file, clock(options.startSeconds).c_str());
    return Next::following;
  }
  if (!options.quiet) {
    std::printf("Playing %s: \"%s\", %d channels, %d orders, %s\n", file, printable(facts.title).c_str(),
                facts.channels, facts.orders, length < 0 ? "does not end" : clock(facts.lengthSeconds).c_str());
    std::fflush(stdout);
  }
  if (!playSongAt(song, start, end)) {
    std::fprintf(stderr, "playxm: no audio device could be opened\n");
    stopPlayback(song);
    return Next::failed;
  }
  const std::string name = baseName(file);
  StatusLine line;
  bool paused = false;
  SongPosition heard = {};
  heard.frame = start;
  int tick = 0;
  Next next = Next::following;
  for (;; ++tick) {
    if (interrupted()) {
      fadeOutPlayback(song);
      next = Next::interrupted;
      break;
    }
    const int key = readKey();
    if (key == 'q' || key == 'Q') {
      fadeOutPlayback(song);
      next = Next::quit;
      break;
    }
    if (key == 'n' || key == 'N' || key == 'p' || key == 'P') {
      fadeOutPlayback(song);
      next = (key == 'n' || key == 'N') ? Next::following : Next::previous;
      break;
    }
    if (key == ' ') {
      if (paused) {
        paused = !playSongAt(song, heard.frame, end);
      } else {
        fadeOutPlayback(song);
        paused = true;
      }
    }
    if (key == keyLeft || key == keyRight) {
      fadeOutPlayback(song);
      const int32_t step = key == keyRight ? 1 : -1;
      int64_t frame = -1;
      for (int32_t order = heard.order + step; order >= 0 && order < facts.orders && frame < 0; order += step) {
        frame = orderStartFrame(song, order);
      }
      if (frame < 0 && step > 0) break;  // no later order: on to the next module
      if (frame < 0) frame = 0;
      heard.frame = frame;
      if (!paused && !playSongAt(song, frame, end)) {
        std::fprintf(stderr, "playxm: no audio device could be opened\n");
        next = Next::failed;
        break;
      }
    }
    if (!paused) {
      SongPosition now;
      if (heardPosition(now)) heard = now;
      if (end >= 0 && heard.frame >= end) {
        // The ring is silent from the end on: nothing to fade.
        stopPlayback(song);
        break;
      }
    }
    if (status && tick % 10 == 0) {
      char text[256];
      std::snprintf(text, sizeof text, "order %d/%d  pattern %d  row %d  %s / %s  voices %d%s", heard.order,
                    facts.orders - 1, heard.pattern, heard.row, clock(heard.seconds).c_str(),
                    length < 0 ? "--:--" : clock(facts.lengthSeconds).c_str(), paused ? 0 : heard.voices,
                    paused ? "  [paused]" : "");
      line.draw(name + "  " + text);
    }
    sleepMs(10);
  }
  line.end();
  return next;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (const int code = parse(argc, argv, options)) return code;

  setFileCallbacks(memoryFileOpen, memoryFileClose, memoryFileRead, memoryFileSeek, memoryFileTell);
  catchInterrupt();
  const bool status = !options.quiet && !options.info && outputIsTerminal();
  if (!options.info) takeKeys();

  bool anyFailed = false;
  std::vector<bool> failed(options.files.size(), false);
  size_t index = 0;
  int exitCode = 0;
  while (index < options.files.size()) {
    const char* file = options.files[index];
    Song* song = openModule(file);
    Next next = Next::following;
    SongFacts facts;
    if (!song) {
      failed[index] = anyFailed = true;
    } else if (!songFacts(song, facts)) {
      std::fprintf(stderr, "playxm: %s could not be measured\n", file);
      failed[index] = anyFailed = true;
    } else if (options.info) {
      if (index > 0) std::printf("\n");
      printFacts(file, facts);
    } else {
      next = play(song, file, facts, options, status);
    }
    freeSong(song);
    if (next == Next::failed) {
      anyFailed = true;
      break;
    }
    if (next == Next::quit) break;
    if (next == Next::interrupted) {
      exitCode = 130;
      break;
    }
    if (next == Next::previous) {
      // Back past the modules that could not be played; the first one again
      // when there is none before it.
      size_t back = index;
      while (back > 0 && failed[back - 1]) --back;
      index = back > 0 ? back - 1 : index;
    } else {
      ++index;
    }
  }
  restoreTerminal();
  if (exitCode != 0) return exitCode;
  return anyFailed ? 1 : 0;
}

// Entry point and platform services on SDL2. SDL's events stand in for the
// Win32 message queue: closing the window queues a close message whose
// dispatch posts the quit, as the Win32 window procedure does.
#define SDL_MAIN_HANDLED
#include <SDL.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "driver/data_folder.h"
#include "driver/demo.h"
#include "driver/platform_queue.h"

#ifndef DEMO_VERSION
#define DEMO_VERSION "unknown"
#endif

namespace {

constexpr const char* programName = DEMO_FULLSCREEN ? "demo" : "demo_windowed";

constexpr uint32_t closeMessage = 0x0010;  // WM_CLOSE

class SdlPlatform final : public Platform {
 public:
  bool peekMessage(PlatformMessage& message, bool remove) override {
    pollEvents();
    return queue.peek(message, remove);
  }

  void dispatchMessage(const PlatformMessage& message) override {
    if (message.message == closeMessage) postQuit(0);
  }

  uint32_t milliseconds() override { return SDL_GetTicks(); }

  bool keyPressed(int key) override { return keys.query(key); }

  void postQuit(int exitCode) override { queue.post(quitMessage, uintptr_t(exitCode)); }

  void showCursor(bool show) override { SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE); }

  void playsInSilence(Silence why) override {
    std::error_code error;
    const std::string folder = std::filesystem::current_path(error).string();
    switch (why) {
      case Silence::noMusicFile:
        std::fprintf(stderr, "no music: quenvar2.xm is not in %s; the demo runs in silence\n", folder.c_str());
        break;
      case Silence::badMusicFile:
        std::fprintf(stderr, "no music: %s/quenvar2.xm is not an XM module the player can read\n", folder.c_str());
        break;
      case Silence::noSoundDevice:
        std::fprintf(stderr, "no music: no sound device could be opened (%s)\n", SDL_GetError());
        break;
    }
  }

 private:
  static int virtualKey(SDL_Keycode code) {
    if (code == SDLK_SPACE) return keySpace;
    if (code == SDLK_ESCAPE) return keyEscape;
    return 0;
  }

  void pollEvents() {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
      switch (event.type) {
        case SDL_QUIT:
          queue.post(closeMessage, 0);
          break;
        case SDL_KEYDOWN:
          if (KeyLatch* latch = keys.of(virtualKey(event.key.keysym.sym))) latch->press();
          break;
        case SDL_KEYUP:
          if (KeyLatch* latch = keys.of(virtualKey(event.key.keysym.sym))) latch->release();
          break;
        default:
          break;
      }
    }
  }

  MessageQueue queue;
  LoopKeys keys;
};

void usage(std::FILE* to) {
  std::fprintf(to,
               "usage: %s [--help | --version]\n"
               "The demo%s: fourteen scenes over its music, about 89 s, then it ends by itself.\n"
               "Escape quits; holding Space prints the demo clock. The data files (meshes, mask,\n"
               "quenvar2.xm) are read from the current folder, else from the program's folder.\n",
               programName, DEMO_FULLSCREEN ? ", fullscreen" : " in a 640 x 480 window");
}

// ALSA writes every failure of its device probing to standard error ("ALSA
// lib ... cannot find card '0'") when SDL looks for a sound card on a
// machine without one; the demo says in one line that it plays in silence
// instead. The library is opened here only to hand it a quiet error handler,
// and stays loaded for SDL, which opens the same instance.
extern "C" void ignoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

void quietAlsa() {
  void* alsa = dlopen("libasound.so.2", RTLD_LAZY | RTLD_LOCAL);
  if (!alsa) return;
  using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
  using SetHandler = int (*)(Handler);
  if (auto set = reinterpret_cast<SetHandler>(dlsym(alsa, "snd_lib_error_set_handler"))) set(ignoreAlsaError);
}

// The session has no display to open the window on: said, status 1. `why`
// is SDL's reason, when there is one.
int noDisplay(const char* why) {
  std::fprintf(stderr,
               "No display found: the demo cannot open its window%s%s%s. Run it from a desktop session (DISPLAY or "
               "WAYLAND_DISPLAY set).\n",
               why ? " (" : "", why ? why : "", why ? ")" : "");
  return 1;
}

bool displayNamed() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) {
    const char* arg = argv[1];
    const bool help = std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0;
    const bool version = std::strcmp(arg, "--version") == 0;
    if (argc == 2 && help) {
      usage(stdout);
      return 0;
    }
    if (argc == 2 && version) {
      std::printf("%s " DEMO_VERSION "\n", programName);
      return 0;
    }
    std::fprintf(stderr, "%s: unknown argument '%s'\n", programName, help || version ? argv[2] : arg);
    usage(stderr);
    return 2;
  }
  // Without any display to name, SDL's probing would only add its own noise
  // to the same failure.
  if (!displayNamed()) return noDisplay(nullptr);
  // A display that is named but cannot be reached (a dead X server, a stale
  // DISPLAY) is the same failure, not an internal error.
  SDL_SetMainReady();
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    if (driver && *driver) {
      std::fprintf(stderr, "Cannot start the SDL video subsystem: %s\n", SDL_GetError());
    } else {
      noDisplay(SDL_GetError());
    }
    SDL_Quit();
    return 1;
  }
  std::vector<std::string> looked;
  enterDataFolder(argv[0], looked);
  quietAlsa();
  SdlPlatform platform;
  const int exitCode = runDemo(platform, DEMO_FULLSCREEN != 0);
  SDL_Quit();
  return exitCode;
}

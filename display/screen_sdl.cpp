// The Screen on SDL2: a window with a streaming texture the frame buffer is
// converted into, scaled to the window by the renderer. Fullscreen takes the
// desktop resolution and shows the whole picture at the largest whole-number
// scale that fits, centred on black.
//
// Presents wait for the display's refresh where the driver can. Where it
// cannot (a virtual X server, some remote desktops) presents return at once
// and the loop would render as fast as a core allows; the Screen then waits
// out the display's period itself before each present.
#include <SDL.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "display/screen.h"

namespace {

using PaceClock = std::chrono::steady_clock;

// The display is trusted to pace the loop while most presents come back a
// display period after the one before: of every presentWindow presents, at
// most presentWindow / 4 may come back early (under 80% of a period). A
// driver that queues a few frames ahead returns early a few times even when
// it does wait, and one that does not wait returns early nearly every time.
constexpr int presentWindow = 60;

struct FramePacer {
  PaceClock::duration period{};
  bool capped = false;    // the Screen waits: presents do not
  int presents = 0;       // in the current window (presentWindow)
  int earlyPresents = 0;  // of these, the early ones
  PaceClock::time_point lastPresent{};
  PaceClock::time_point deadline{};  // capped: when the next present is due
  bool started = false;
  bool report = false;  // DEMO_TIMING: say how the loop is paced
};

}  // namespace

struct ScreenDevice {
  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;
  FramePacer pacer;
};

int32_t screenClassUseCount = 0;

namespace {

// Names the step that failed, with SDL's own explanation.
[[noreturn]] void sdlFailure(const char* what) {
  char text[512];
  std::snprintf(text, sizeof text, "%s: %s", what, SDL_GetError());
  fatalError(text);
}

// SDL falls back to a video driver without any window when no display is
// reachable; a demo nobody can see is a failure unless that driver was asked
// for by name.
bool windowlessDriver() {
  const char* driver = SDL_GetCurrentVideoDriver();
  if (!driver) return true;
  const bool windowless = std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0;
  const char* requested = SDL_GetHint(SDL_HINT_VIDEODRIVER);
  return windowless && !(requested && *requested);
}

// The refresh rate of the display the window is on; 60 Hz when the display
// does not say.
int refreshRate(SDL_Window* window) {
  SDL_DisplayMode mode;
  const int display = SDL_GetWindowDisplayIndex(window);
  if (display >= 0 && SDL_GetCurrentDisplayMode(display, &mode) == 0 && mode.refresh_rate > 0) {
    return mode.refresh_rate;
  }
  return 60;
}

// True when the renderer draws through an OpenGL that the processor
// rasterizes itself (Mesa's llvmpipe or softpipe: virtual X servers, many
// virtual machines and remote desktops). Scaling one textured quad there
// costs the demo more than twice what SDL's software renderer takes to copy
// the picture straight to the window, and that renderer is used instead.
bool softwareGl(SDL_Renderer* renderer) {
  SDL_RendererInfo info = {};
  if (SDL_GetRendererInfo(renderer, &info) != 0 || !info.name || std::strncmp(info.name, "opengl", 6) != 0) {
    return false;
  }
  // The renderer's context is current: glGetString(GL_RENDERER) names it.
  using GetString = const unsigned char* (*)(unsigned);
  const auto getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
  const char* name = getString ? reinterpret_cast<const char*>(getString(0x1F01)) : nullptr;
  return name &&
         (std::strstr(name, "llvmpipe") || std::strstr(name, "softpipe") || std::strstr(name, "Software Rasterizer"));
}

// Capped: waits until the next present is due. A frame that ran more than a
// period late starts a new schedule rather than hurrying to catch up.
void waitForDeadline(FramePacer& pacer) {
  const PaceClock::time_point now = PaceClock::now();
  pacer.deadline += pacer.period;
  if (pacer.deadline + pacer.period < now) pacer.deadline = now;
  std::this_thread::sleep_until(pacer.deadline);
}

// After each present: a display that keeps handing presents back well within
// its period is not pacing the loop, and the Screen takes over.
void notePresent(FramePacer& pacer) {
  const PaceClock::time_point now = PaceClock::now();
  if (pacer.started && !pacer.capped) {
    pacer.earlyPresents += (now - pacer.lastPresent) * 5 < pacer.period * 4;
    if (++pacer.presents == presentWindow) {
      if (pacer.earlyPresents * 4 > presentWindow) {
        pacer.capped = true;
        pacer.deadline = now;
        if (pacer.report) std::fprintf(stderr, "timing pacing: presents do not wait for the display, capped\n");
      }
      pacer.presents = pacer.earlyPresents = 0;
    }
  }
  pacer.started = true;
  pacer.lastPresent = now;
}

}  // namespace

void fatalError(const char* text) {
  std::fprintf(stderr, "%s\n", text);
  std::fflush(stderr);
  // Fails harmlessly when there is no display to show it on.
  SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "Error", text, nullptr);
  std::exit(-1);
}

Screen::Screen(const char* title, int32_t width_, int32_t height_, bool fullscreen_) {
  fullscreen = fullscreen_;
  width = width_;
  height = height_;
  pixelCount = uint32_t(width_) * uint32_t(height_);
  device = new ScreenDevice;

  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) sdlFailure("Cannot start the SDL video subsystem");
  if (windowlessDriver()) {
    // The user's session has no display, which is no fault of the program's
    // (a dead or stale DISPLAY ends here too): a plain failure status.
    std::fprintf(stderr,
                 "No display found: the demo cannot open its window. Run it from a desktop session (DISPLAY or "
                 "WAYLAND_DISPLAY set).\n");
    std::exit(1);
  }
  ++screenClassUseCount;

  // Blocks, not blur, when the picture is scaled up.
  SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
  // Shown once the renderer is ready: creating the renderer may replace the
  // window, which would otherwise flash up twice.
  Uint32 flags = SDL_WINDOW_HIDDEN;
  SDL_Rect place = {int(SDL_WINDOWPOS_UNDEFINED), int(SDL_WINDOWPOS_UNDEFINED), width_, height_};
  // Fullscreen: a borderless window over the whole first display even as a
  // plain window, since without a window manager to grant the fullscreen
  // state X leaves the window at its plain size.
  if (fullscreen && SDL_GetDisplayBounds(0, &place) == 0) flags |= SDL_WINDOW_BORDERLESS;
  if (fullscreen) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
  device->window = SDL_CreateWindow(title, place.x, place.y, place.w, place.h, flags);
  if (!device->window) sdlFailure("Cannot create the window");

  frameBuffer = static_cast<uint32_t*>(std::malloc(size_t(pixelCount) * 4));
  if (!frameBuffer) fatalError("Virtual framebuffer not created due to lack of memory");

  device->renderer = SDL_CreateRenderer(device->window, -1, SDL_RENDERER_PRESENTVSYNC);
  if (!device->renderer) device->renderer = SDL_CreateRenderer(device->window, -1, 0);
  if (device->renderer && softwareGl(device->renderer)) {
    SDL_DestroyRenderer(device->renderer);
    // The window's pixels go to the X server as they are, not through GL.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    device->renderer = SDL_CreateRenderer(device->window, -1, SDL_RENDERER_SOFTWARE);
  }
  if (!device->renderer) sdlFailure("Cannot create a renderer for the window");
  // The whole picture at a whole-number scale, centred, black around: every
  // pixel of the frame becomes the same square of screen pixels.
  if (SDL_RenderSetLogicalSize(device->renderer, width_, height_) != 0 ||
      SDL_RenderSetIntegerScale(device->renderer, SDL_TRUE) != 0) {
    sdlFailure("Cannot scale the picture to the window");
  }

  // A renderer that could not ask for the display's pace is capped at once;
  // one that did is watched (notePresent), as drivers accept the request
  // without honouring it.
  SDL_RendererInfo info = {};
  const bool vsync = SDL_GetRendererInfo(device->renderer, &info) == 0 && (info.flags & SDL_RENDERER_PRESENTVSYNC);
  const int hz = refreshRate(device->window);
  device->pacer.period = std::chrono::duration_cast<PaceClock::duration>(std::chrono::duration<double>(1.0 / hz));
  device->pacer.capped = !vsync;
  device->pacer.deadline = PaceClock::now();
  const char* timing = std::getenv("DEMO_TIMING");
  device->pacer.report = timing && *timing;
  if (device->pacer.report) {
    std::fprintf(stderr, "timing display: %d Hz, renderer %s, %s\n", hz, info.name ? info.name : "?",
                 vsync ? "vsync requested" : "no vsync, capped");
  }

  const Uint32 format = SDL_PIXELFORMAT_RGB888;
  device->texture = SDL_CreateTexture(device->renderer, format, SDL_TEXTUREACCESS_STREAMING, width_, height_);
  if (!device->texture) sdlFailure("Cannot create the frame texture");

  int bits = 0;
  Uint32 r = 0, g = 0, b = 0, a = 0;
  SDL_PixelFormatEnumToMasks(format, &bits, &r, &g, &b, &a);
  convertRow = chooseRowConverter(uint32_t(bits), r, g, b);
  if (!convertRow) fatalError("The frame texture has a pixel format the demo cannot write");
  SDL_ShowWindow(device->window);
}

Screen::~Screen() {
  std::free(frameBuffer);
  SDL_DestroyTexture(device->texture);
  SDL_DestroyRenderer(device->renderer);
  SDL_DestroyWindow(device->window);
  --screenClassUseCount;
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
  delete device;
}

bool Screen::present() {
  void* target = nullptr;
  int pitch = 0;
  // A texture that cannot be locked skips the frame.
  if (SDL_LockTexture(device->texture, nullptr, &target, &pitch) != 0) return false;
  const uint32_t* source = frameBuffer;
  uint8_t* row = static_cast<uint8_t*>(target);
  for (int32_t y = 0; y < height; ++y) {
    convertRow(source, row, uint32_t(width));
    source += width;
    row += pitch;
  }
  SDL_UnlockTexture(device->texture);
  SDL_SetRenderDrawColor(device->renderer, 0, 0, 0, 255);
  SDL_RenderClear(device->renderer);
  SDL_RenderCopy(device->renderer, device->texture, nullptr, nullptr);
  if (device->pacer.capped) waitForDeadline(device->pacer);
  SDL_RenderPresent(device->renderer);
  notePresent(device->pacer);
  return true;
}

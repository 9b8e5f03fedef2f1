// The Screen on SDL2: a window with a streaming texture the frame buffer is
// converted into, scaled to the window by the renderer. Fullscreen takes the
// desktop resolution and scales the picture up with its 4:3 shape kept.
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "display/screen.h"

struct ScreenDevice {
  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;
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
    fatalError(
        "No display found: the demo cannot open its window. Run it from a desktop session (DISPLAY or "
        "WAYLAND_DISPLAY set).");
  }
  ++screenClassUseCount;

  // Blocks, not blur, when the picture is scaled up.
  SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
  // Shown once the renderer is ready: creating the renderer may replace the
  // window, which would otherwise flash up twice.
  const Uint32 flags = SDL_WINDOW_HIDDEN | (fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
  device->window = SDL_CreateWindow(title, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width_, height_, flags);
  if (!device->window) sdlFailure("Cannot create the window");

  frameBuffer = static_cast<uint32_t*>(std::malloc(size_t(pixelCount) * 4));
  if (!frameBuffer) fatalError("Virtual framebuffer not created due to lack of memory");

  device->renderer = SDL_CreateRenderer(device->window, -1, 0);
  if (!device->renderer) sdlFailure("Cannot create a renderer for the window");
  // Letterboxed to 4:3 whatever the window's size.
  if (SDL_RenderSetLogicalSize(device->renderer, width_, height_) != 0) {
    sdlFailure("Cannot scale the picture to the window");
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
  SDL_RenderPresent(device->renderer);
  return true;
}

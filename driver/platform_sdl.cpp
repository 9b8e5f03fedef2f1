// Entry point and platform services on SDL2. SDL's events stand in for the
// Win32 message queue: closing the window queues a close message whose
// dispatch posts the quit, as the Win32 window procedure does.
#define SDL_MAIN_HANDLED
#include <SDL.h>

#include "driver/demo.h"
#include "driver/platform_queue.h"

namespace {

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

}  // namespace

int main() {
  SDL_SetMainReady();
  SdlPlatform platform;
  const int exitCode = runDemo(platform, DEMO_FULLSCREEN != 0);
  SDL_Quit();
  return exitCode;
}

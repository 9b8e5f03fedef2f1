// Entry point and platform services on SDL2. SDL's events stand in for the
// Win32 message queue: closing the window queues a close message whose
// dispatch posts the quit, as the Win32 window procedure does.
#define SDL_MAIN_HANDLED
#include <SDL.h>

#include <deque>

#include "driver/demo.h"

namespace {

constexpr uint32_t closeMessage = 0x0010;  // WM_CLOSE

struct KeyState {
  bool down = false;
  bool pressedSinceQuery = false;
};

class SdlPlatform final : public Platform {
 public:
  bool peekMessage(PlatformMessage& message, bool remove) override {
    pollEvents();
    if (queue.empty()) return false;
    message = queue.front();
    if (remove) queue.pop_front();
    return true;
  }

  void dispatchMessage(const PlatformMessage& message) override {
    if (message.message == closeMessage) postQuit(0);
  }

  uint32_t milliseconds() override { return SDL_GetTicks(); }

  bool keyPressed(int key) override {
    KeyState* state = stateOf(key);
    if (!state) return false;
    const bool result = state->down || state->pressedSinceQuery;
    state->pressedSinceQuery = false;
    return result;
  }

  void postQuit(int exitCode) override { queue.push_back({quitMessage, uintptr_t(exitCode)}); }

  void showCursor(bool show) override { SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE); }

 private:
  KeyState* stateOf(int key) {
    if (key == keySpace) return &space;
    if (key == keyEscape) return &escape;
    return nullptr;
  }

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
          queue.push_back({closeMessage, 0});
          break;
        case SDL_KEYDOWN:
          if (KeyState* state = stateOf(virtualKey(event.key.keysym.sym))) {
            state->down = true;
            state->pressedSinceQuery = true;
          }
          break;
        case SDL_KEYUP:
          if (KeyState* state = stateOf(virtualKey(event.key.keysym.sym))) state->down = false;
          break;
        default:
          break;
      }
    }
  }

  std::deque<PlatformMessage> queue;
  KeyState space;
  KeyState escape;
};

}  // namespace

int main() {
  SDL_SetMainReady();
  SdlPlatform platform;
  const int exitCode = runDemo(platform, DEMO_FULLSCREEN != 0);
  SDL_Quit();
  return exitCode;
}

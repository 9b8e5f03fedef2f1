// Entry point and platform services in a web page. The browser owns the
// loop: one pass of the main loop runs per animation frame. Start-up and
// shutdown are those of the other programs; the state lives on the heap
// because main returns to the browser right after start-up.
//
// The page (index.html) fetches the data files into the module's file
// system and starts main after its click-to-start overlay. Its test mode
// (Module.demoTest) replaces the browser's clock with one that advances by
// a fixed step per frame, starting just short of the counter's wrap, and
// pauses at given clock times so that a test can read the canvas.
#include <emscripten.h>
#include <emscripten/html5.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "display/screen.h"
#include "driver/demo.h"
#include "driver/platform_queue.h"
#include "music/audio_web.h"
#include "music/music.h"

namespace {

constexpr int32_t screenWidth = 640;
constexpr int32_t screenHeight = 480;

// clang-format off
// The page's time in milliseconds, less the time it spent hidden.
EM_JS(double, webNowMs, (), {
  return Module.demoNow ? Module.demoNow() : performance.now();
});

EM_JS(int, webTestFrameMs, (), {
  return Module.demoTest ? Module.demoTest.frameMs : 0;
});

// Test mode: true while the page holds the run at a stop time.
EM_JS(int, webTestPaused, (), {
  return Module.demoTest && Module.demoTest.paused ? 1 : 0;
});

// Test mode: a frame for `clock` is on the canvas; drawing it took stepMs,
// the whole pass with the presentation passMs.
EM_JS(void, webTestFrameShown, (double clock, double stepMs, double passMs), {
  if (Module.demoTest) Module.demoTest.frameShown(clock, stepMs, passMs);
});

EM_JS(void, webShowEnd, (int exitCode), {
  if (Module.onDemoEnd) Module.onDemoEnd(exitCode);
});
// clang-format on

class WebPlatform final : public Platform {
 public:
  bool peekMessage(PlatformMessage& message, bool remove) override { return queue.peek(message, remove); }

  void dispatchMessage(const PlatformMessage&) override {}

  uint32_t milliseconds() override {
    if (frameStepMs != 0) return testClockMs;
    // The page's clock as a 32-bit count of milliseconds, wrapping as
    // timeGetTime does.
    return uint32_t(uint64_t(webNowMs()));
  }

  bool keyPressed(int key) override { return keys.query(key); }

  void postQuit(int exitCode) override { queue.post(quitMessage, uintptr_t(exitCode)); }

  void showCursor(bool) override {}

  LoopKeys keys;

  // Test mode: milliseconds per frame (0: the browser's clock) and the
  // counter, advanced by the frame step while the frame is drawn.
  uint32_t frameStepMs = 0;
  uint32_t testClockMs = 0;

 private:
  MessageQueue queue;
};

struct WebDemo {
  WebPlatform platform;
  Screen* screen = nullptr;
  DemoState state;
};

WebDemo* demo = nullptr;

int virtualKey(const EmscriptenKeyboardEvent* event) {
  if (std::strcmp(event->code, "Space") == 0 || std::strcmp(event->key, " ") == 0) return keySpace;
  if (std::strcmp(event->code, "Escape") == 0 || std::strcmp(event->key, "Escape") == 0) return keyEscape;
  return 0;
}

EM_BOOL onKey(int eventType, const EmscriptenKeyboardEvent* event, void*) {
  KeyLatch* latch = demo->platform.keys.of(virtualKey(event));
  if (!latch) return EM_FALSE;
  if (eventType == EMSCRIPTEN_EVENT_KEYDOWN) {
    latch->press();
  } else {
    latch->release();
  }
  return EM_TRUE;  // Space would scroll the page
}

// The frame step of test mode: the scene, then the clock moves on by one
// step while the frame is on its way, so the loop measures exactly that.
double testStepMs = 0;

void testFrameStep(DemoState& state, Screen& screen, Platform& platform) {
  const double start = emscripten_get_now();
  renderScene(state, screen, platform);
  testStepMs = emscripten_get_now() - start;
  demo->platform.testClockMs += demo->platform.frameStepMs;
}

void finish() {
  emscripten_cancel_main_loop();
  const int exitCode = int(demo->state.message.wParam);
  stopDemo(demo->state);
  // The Screen stays: its canvas keeps the last frame under the end card.
  webShowEnd(exitCode);
}

void mainLoopPass() {
  pumpAudio();
  if (webTestPaused()) return;
  const bool testing = demo->platform.frameStepMs != 0;
  const double frameClock = demo->state.clock;
  const FrameStep step = testing ? testFrameStep : renderScene;
  PlatformMessage waiting;
  const bool rendering = !demo->platform.peekMessage(waiting, false);
  const double start = emscripten_get_now();
  if (!runMainPass(demo->platform, demo->state, *demo->screen, step, stdout)) {
    finish();
    return;
  }
  if (testing && rendering) webTestFrameShown(frameClock, testStepMs, emscripten_get_now() - start);
}

}  // namespace

int main() {
  demo = new WebDemo;
  demo->platform.frameStepMs = uint32_t(webTestFrameMs());
  // A few seconds short of the wrap: every test run crosses it.
  demo->platform.testClockMs = 0xFFFFFFFFu - 2500;

  demo->screen = new Screen("Demo", screenWidth, screenHeight, false);
  startDemo(demo->state, demo->platform, true);

  emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, true, onKey);
  emscripten_set_keyup_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, true, onKey);
  // The browser calls the pass at its display's frame rate; main returns.
  emscripten_set_main_loop(mainLoopPass, 0, false);
  return 0;
}

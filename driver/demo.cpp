#include "driver/demo.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <thread>

#include "display/screen.h"
#include "music/music.h"

namespace {

constexpr int32_t screenWidth = 640;
constexpr int32_t screenHeight = 480;

// Gives `surface` a fresh, uninitialised block of width x height pixels.
void allocateFrame(PixelSurface& surface, uint32_t width, uint32_t height) {
  surface.pixels = static_cast<uint32_t*>(std::malloc(size_t(width) * height * 4));
  if (!surface.pixels) fatalError("Render buffer not created due to lack of memory");
  surface.width = width;
  surface.height = height;
}

// Where the frame ended, how long it took, where the clock is and how much
// music has been heard by then: enough to follow the picture against the
// wall and against the music from outside the program.
void writeTimingLine(std::ostream& out, uint32_t now, uint32_t elapsed, double clock) {
  // One write per line: the standard error is unbuffered.
  char line[96];
  uint32_t played = 0;
  const int length = playedBytes(played)
                         ? std::snprintf(line, sizeof line, "frame %lu %lu %.3f %lu\n", (unsigned long)now,
                                         (unsigned long)elapsed, clock, (unsigned long)played)
                         : std::snprintf(line, sizeof line, "frame %lu %lu %.3f -\n", (unsigned long)now,
                                         (unsigned long)elapsed, clock);
  out.write(line, length);
}

// Holds the first frame until the audio device is playing the music, for at
// most two seconds. The clock follows the wall from the first frame on and
// the music plays from the device's start on, so a device that takes a moment
// to start streaming (a sound server on a busy machine) would leave the music
// behind the pictures by that moment for the whole run. A device takes its
// first buffers at once, playing or not: it plays once its position keeps
// moving, 10 ms of sound within 30 ms.
void awaitMusic() {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point giveUp = Clock::now() + std::chrono::seconds(2);
  uint32_t played = 0, anchor = 0;
  Clock::time_point anchorTime;
  while (playedBytes(played) && Clock::now() < giveUp) {
    const Clock::time_point now = Clock::now();
    if (played != 0 && anchor == 0) {
      anchor = played;
      anchorTime = now;
    } else if (anchor != 0 && now - anchorTime >= std::chrono::milliseconds(30)) {
      if (played - anchor >= uint32_t(mixRate) * 4 / 100) return;
      anchor = played;
      anchorTime = now;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace

bool runMainPass(Platform& platform, DemoState& state, Screen& screen, FrameStep step, std::ostream& out) {
  if (platform.peekMessage(state.message, true)) {
    platform.dispatchMessage(state.message);
  } else {
    // The clock follows the wall: a frame's duration runs from the previous
    // frame's measurement to this one's, so the time spent on messages, on
    // waiting for the display or outside the loop (a browser between
    // animation frames) is counted too and the pictures keep pace with the
    // music, which plays on its own thread. Only the first frame starts its
    // own measurement.
    if (!state.clockRunning) {
      state.frameStartMs = platform.milliseconds();
      state.clockRunning = true;
    }
    step(state, screen, platform);
    screen.present();
    const uint32_t now = platform.milliseconds();
    // Unsigned difference: a wrap of the counter between the two readings
    // still gives the true elapsed time.
    const uint32_t elapsed = now - state.frameStartMs;
    state.frameStartMs = now;
    state.frameSeconds = double(elapsed) * 0.001;
    state.clock += state.frameSeconds;
    if (state.timing) writeTimingLine(*state.timing, now, elapsed, state.clock);
  }
  if (platform.keyPressed(keySpace)) out << state.clock << '\n' << std::flush;
  if (platform.keyPressed(keyEscape)) platform.postQuit(0);
  return state.message.message != quitMessage;
}

int runMainLoop(Platform& platform, DemoState& state, Screen& screen, FrameStep step, std::ostream& out) {
  if (state.message.message == quitMessage) return int(state.message.wParam);
  while (runMainPass(platform, state, screen, step, out)) {
  }
  return int(state.message.wParam);
}

void startDemo(DemoState& state, Platform& platform, bool music) {
  state.frameSeconds = 0;
  loadSceneResourcesFirst(state.resources);
  allocateFrame(state.frame, 320, 240);
  loadSceneResourcesSecond(state.resources, state.frame);
  state.clock = 0;
  platform.peekMessage(state.message, false);
  loadSceneResourcesThird(state.resources);
  if (!music) return;
  setFileCallbacks(memoryFileOpen, memoryFileClose, memoryFileRead, memoryFileSeek, memoryFileTell);
  state.song = loadSong("quenvar2.xm");
  playSong(state.song);
}

void stopDemo(DemoState& state) {
  std::free(state.frame.pixels);
  state.frame.pixels = nullptr;
  freeSong(state.song);
  state.song = nullptr;
  releaseSceneResources(state.resources);
}

int runDemo(Platform& platform, bool fullscreen) {
  Screen screen("Demo", screenWidth, screenHeight, fullscreen);
  DemoState state;
  const char* timing = std::getenv("DEMO_TIMING");
  if (timing && *timing) state.timing = &std::cerr;
  if (fullscreen) platform.showCursor(false);
  startDemo(state, platform, true);
  awaitMusic();
  const int exitCode = runMainLoop(platform, state, screen, renderScene, std::cout);
  if (fullscreen) platform.showCursor(true);
  stopDemo(state);
  return exitCode;
}

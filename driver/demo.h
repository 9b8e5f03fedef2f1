// The demo's entry, main loop and shutdown, written once for every platform.
#pragma once

#include <cstdint>
#include <iosfwd>

#include "driver/platform.h"
#include "driver/scenes.h"
#include "surface/surface.h"

class Screen;
struct Song;

// Everything the entry function owns for the whole run.
struct DemoState {
  PixelSurface frame;              // the render buffer the scenes draw into
  double clock = 0;                // demo clock, seconds: the sum of rendered frame durations
  double frameSeconds = 0;         // duration of the previous rendered frame
  uint32_t frameStartMs = 0;       // timer value the current frame's duration is measured from
  bool clockRunning = false;       // frameStartMs holds a reading: the first frame has begun
  PlatformMessage message;         // the pump's message record
  SceneResources resources;        // what the scenes draw with
  Song* song = nullptr;            // the music; null when the module could not be read
  std::ostream* timing = nullptr;  // where each frame's timing line goes, if anywhere
};

// Draws one frame for state.clock into state.frame and scales it into the
// screen's frame buffer.
using FrameStep = void (*)(DemoState& state, Screen& screen, Platform& platform);

// One pass of the pump: the next waiting message is handled, or else one
// frame is rendered and timed (and, with state.timing, described there:
// "frame", the timer reading that ended it in ms, its duration in ms, the
// clock after it, and the bytes of music played then or "-"); then the keys
// are checked. False once a quit
// message has been taken off the queue. Browsers call it once per animation
// frame; runMainLoop calls it until it returns false.
bool runMainPass(Platform& platform, DemoState& state, Screen& screen, FrameStep step, std::ostream& out);

// The pump: one frame whenever no message waits, keys checked in every pass,
// until a quit message is taken off the queue. Space writes the clock to
// `out`. Returns the quit message's code.
int runMainLoop(Platform& platform, DemoState& state, Screen& screen, FrameStep step, std::ostream& out);

// The start-up between the screen and the main loop: the scene resources in
// their three groups around the render buffer and the first look at the
// queue, then, with `music`, "quenvar2.xm" loaded and played. A module that
// cannot be read, or no audio device, leaves the pictures in silence.
void startDemo(DemoState& state, Platform& platform, bool music);

// The shutdown after the main loop: the render buffer, the music (its thread
// and device before the song), the scene resources.
void stopDemo(DemoState& state);

// The whole run: start-up, loop and shutdown. `fullscreen` selects the
// fullscreen program, which also hides the cursor while it runs. With the
// environment variable DEMO_TIMING set, every frame's timing line goes to
// the standard error.
int runDemo(Platform& platform, bool fullscreen);

// The frame step of the demo.
void renderScene(DemoState& state, Screen& screen, Platform& platform);

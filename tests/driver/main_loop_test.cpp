#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "display/screen.h"
#include "driver/demo.h"
#include "driver/platform_queue.h"

namespace {

// A scripted platform. Each pass of the loop peeks once with removal; the
// script says for each pass whether a message waits. Posted quits arrive
// once the script has nothing for that pass, as on Win32 where the quit is
// handed out when the queue is otherwise empty.
class FakePlatform final : public Platform {
 public:
  bool peekMessage(PlatformMessage& message, bool remove) override {
    log.push_back(remove ? "peek" : "peek-noremove");
    if (!remove) {
      if (!posted.empty()) message = posted.front();
      return !posted.empty();
    }
    ++pass;
    if (!script.empty()) {
      const bool has = script.front();
      script.pop_front();
      if (has) {
        message = {0x0200, 0};  // some input message
        return true;
      }
    }
    if (!posted.empty()) {
      message = posted.front();
      posted.pop_front();
      return true;
    }
    return false;
  }
  void dispatchMessage(const PlatformMessage& message) override {
    log.push_back(message.message == quitMessage ? "dispatch-quit" : "dispatch");
  }
  uint32_t milliseconds() override {
    const uint32_t t = times.empty() ? lastTime : times.front();
    if (!times.empty()) times.pop_front();
    lastTime = t;
    return t;
  }
  bool keyPressed(int key) override { return keys && keys(key, pass); }
  void postQuit(int exitCode) override {
    log.push_back("post-quit");
    posted.push_back({quitMessage, uintptr_t(exitCode)});
  }
  void showCursor(bool show) override { log.push_back(show ? "cursor-on" : "cursor-off"); }

  std::deque<bool> script;
  std::deque<uint32_t> times;
  uint32_t lastTime = 0;
  std::function<bool(int key, int pass)> keys;
  std::deque<PlatformMessage> posted;
  std::vector<std::string> log;
  int pass = 0;
};

struct Seen {
  double clock;
  double frameSeconds;
};
std::vector<Seen> seen;
int quitAfterFrames = -1;

void recordingStep(DemoState& state, Screen&, Platform& platform) {
  seen.push_back({state.clock, state.frameSeconds});
  if (int(seen.size()) == quitAfterFrames) platform.postQuit(0);
}

class MainLoop : public ::testing::Test {
 protected:
  MainLoop() : screen("Demo", 64, 48, false) {
    seen.clear();
    quitAfterFrames = -1;
  }
  int run() { return runMainLoop(platform, state, screen, recordingStep, out); }
  FakePlatform platform;
  DemoState state;
  Screen screen;
  std::ostringstream out;
};

TEST_F(MainLoop, ClockSumsFrameDurationsAcrossTheTimerWrap) {
  // One reading before the first frame, then one after each frame. Frame 1
  // straddles 2^32: 0xFFFFFFF0 -> 0x10 is 32 ms, not minus 4 billion.
  platform.times = {0xFFFFFFF0u, 0x00000010u, 0x42, 0x42};
  quitAfterFrames = 3;
  std::ostringstream timing;
  state.timing = &timing;
  EXPECT_EQ(run(), 0);
  // Each frame described as it ends: timer reading, duration, clock, and no
  // music (none plays here).
  EXPECT_EQ(timing.str(), "frame 16 32 0.032 -\nframe 66 50 0.082 -\nframe 66 0 0.082 -\n");
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].clock, 0.0);
  EXPECT_EQ(seen[0].frameSeconds, 0.0);
  EXPECT_DOUBLE_EQ(seen[1].clock, 0.032);
  EXPECT_DOUBLE_EQ(seen[1].frameSeconds, 0.032);
  EXPECT_DOUBLE_EQ(seen[2].clock, 0.082);
  EXPECT_DOUBLE_EQ(state.clock, 0.082);  // the last frame took 0 ms
  EXPECT_EQ(state.frameSeconds, 0.0);
}

TEST_F(MainLoop, MessagesAreDispatchedWithoutAFrameButTheirTimeCounts) {
  platform.script = {true, false, true, true, false};
  // Frame 2 is measured from frame 1's end: its 20 ms include the two
  // dispatches before it, so the clock stays with the wall.
  platform.times = {0, 10, 30};
  quitAfterFrames = 2;
  run();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_DOUBLE_EQ(seen[1].clock, 0.010);
  EXPECT_DOUBLE_EQ(state.clock, 0.030);
  const std::vector<std::string> expected{"peek",     "dispatch", "peek",      "peek", "dispatch",     "peek",
                                          "dispatch", "peek",     "post-quit", "peek", "dispatch-quit"};
  EXPECT_EQ(platform.log, expected);
}

TEST_F(MainLoop, SpacePrintsTheClockInEveryPassWhileHeld) {
  platform.script = {false, true, false};
  platform.times = {0, 1500, 1234567 + 1500};
  platform.keys = [](int key, int pass) { return key == keySpace || (key == keyEscape && pass == 3); };
  run();
  // Default stream formatting: six significant digits, no trailing zeros.
  EXPECT_EQ(out.str(), "1.5\n1.5\n1236.07\n1236.07\n");
}

TEST_F(MainLoop, EscapeQuitsAfterTheCurrentPass) {
  platform.keys = [](int key, int pass) { return key == keyEscape && pass == 2; };
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(seen.size(), 2u);  // the pass that retrieves the quit renders nothing
  EXPECT_EQ(platform.log.back(), "dispatch-quit");
  EXPECT_EQ(out.str(), "");
}

TEST_F(MainLoop, ExitCodeComesFromTheQuitMessage) {
  platform.posted.push_back({quitMessage, 7});
  EXPECT_EQ(run(), 7);
  EXPECT_TRUE(seen.empty());
}

TEST_F(MainLoop, QuitSeenBeforeTheLoopSkipsIt) {
  state.message = {quitMessage, 3};
  EXPECT_EQ(run(), 3);
  EXPECT_TRUE(platform.log.empty());
  EXPECT_TRUE(seen.empty());
}

// The key state of the platforms that keep their own, read as GetAsyncKeyState
// is: a tap that begins and ends between two queries still counts, once.
TEST(LoopKeys, TapBetweenQueriesCountsOnceAndAHeldKeyEveryTime) {
  LoopKeys keys;
  keys.of(keyEscape)->press();
  keys.of(keyEscape)->release();
  EXPECT_TRUE(keys.query(keyEscape));
  EXPECT_FALSE(keys.query(keyEscape));
  EXPECT_FALSE(keys.query(keySpace));
  keys.of(keySpace)->press();
  EXPECT_TRUE(keys.query(keySpace));
  EXPECT_TRUE(keys.query(keySpace));
  keys.of(keySpace)->release();
  EXPECT_FALSE(keys.query(keySpace));
  EXPECT_EQ(keys.of('A'), nullptr);
  EXPECT_FALSE(keys.query('A'));
}

TEST(Demo, FullscreenHidesTheCursorForTheRunOnly) {
  FakePlatform platform;
  platform.keys = [](int key, int pass) { return key == keyEscape && pass == 1; };
  EXPECT_EQ(runDemo(platform, true), 0);
  ASSERT_GE(platform.log.size(), 3u);
  EXPECT_EQ(platform.log.front(), "cursor-off");
  EXPECT_EQ(platform.log[1], "peek-noremove");
  EXPECT_EQ(platform.log.back(), "cursor-on");
  EXPECT_EQ(screenClassUseCount, 0);  // the Screen is gone at shutdown
}

TEST(Demo, WindowedNeverTouchesTheCursor) {
  FakePlatform platform;
  platform.keys = [](int key, int pass) { return key == keyEscape && pass == 2; };
  EXPECT_EQ(runDemo(platform, false), 0);
  for (const std::string& entry : platform.log) EXPECT_EQ(entry.find("cursor"), std::string::npos);
}

TEST(Demo, QuitWaitingAtStartEndsWithoutAFrame) {
  FakePlatform platform;
  platform.posted.push_back({quitMessage, 5});
  EXPECT_EQ(runDemo(platform, false), 5);
  EXPECT_EQ(platform.log, std::vector<std::string>{"peek-noremove"});
}

}  // namespace

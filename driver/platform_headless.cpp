// Entry point of the headless programs: no window, no keys; the run ends
// when the timeline does.
#include <chrono>

#include "driver/demo.h"
#include "driver/platform_queue.h"

namespace {

class HeadlessPlatform final : public Platform {
 public:
  bool peekMessage(PlatformMessage& message, bool remove) override { return queue.peek(message, remove); }
  void dispatchMessage(const PlatformMessage&) override {}
  uint32_t milliseconds() override {
    using namespace std::chrono;
    return uint32_t(duration_cast<std::chrono::milliseconds>(steady_clock::now().time_since_epoch()).count());
  }
  bool keyPressed(int) override { return false; }
  void postQuit(int exitCode) override { queue.post(quitMessage, uintptr_t(exitCode)); }
  void showCursor(bool) override {}

 private:
  MessageQueue queue;
};

}  // namespace

int main() {
  HeadlessPlatform platform;
  return runDemo(platform, DEMO_FULLSCREEN != 0);
}

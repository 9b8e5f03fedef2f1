// Entry point of the headless programs: no window, no keys; the run ends
// when the timeline does.
#include <chrono>
#include <deque>

#include "driver/demo.h"

namespace {

class HeadlessPlatform final : public Platform {
 public:
  bool peekMessage(PlatformMessage& message, bool remove) override {
    if (queue.empty()) return false;
    message = queue.front();
    if (remove) queue.pop_front();
    return true;
  }
  void dispatchMessage(const PlatformMessage&) override {}
  uint32_t milliseconds() override {
    using namespace std::chrono;
    return uint32_t(duration_cast<std::chrono::milliseconds>(steady_clock::now().time_since_epoch()).count());
  }
  bool keyPressed(int) override { return false; }
  void postQuit(int exitCode) override { queue.push_back({quitMessage, uintptr_t(exitCode)}); }
  void showCursor(bool) override {}

 private:
  std::deque<PlatformMessage> queue;
};

}  // namespace

int main() {
  HeadlessPlatform platform;
  return runDemo(platform, DEMO_FULLSCREEN != 0);
}

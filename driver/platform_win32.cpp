// Entry point of the Windows programs: the loop's services map one to one
// onto the thread's message queue, winmm's millisecond timer and the
// asynchronous key state.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// After windows.h, whose types it uses.
#include <mmsystem.h>

#include "driver/demo.h"

namespace {

static_assert(quitMessage == WM_QUIT && keySpace == VK_SPACE && keyEscape == VK_ESCAPE, "Win32 codes");

class Win32Platform final : public Platform {
 public:
  bool peekMessage(PlatformMessage& message, bool remove) override {
    if (!PeekMessageA(&last, nullptr, 0, 0, remove ? PM_REMOVE : PM_NOREMOVE)) return false;
    message.message = last.message;
    message.wParam = last.wParam;
    return true;
  }
  // The loop dispatches only the message it has just removed, which is the
  // full record kept in `last`.
  void dispatchMessage(const PlatformMessage&) override {
    TranslateMessage(&last);
    DispatchMessageA(&last);
  }
  uint32_t milliseconds() override { return timeGetTime(); }
  bool keyPressed(int key) override { return GetAsyncKeyState(key) != 0; }
  void postQuit(int exitCode) override { PostQuitMessage(exitCode); }
  void showCursor(bool show) override { ShowCursor(show ? TRUE : FALSE); }

 private:
  MSG last = {};
};

}  // namespace

int main() {
  // timeGetTime moves in steps of the system's timer period, 5 ms or more by
  // default: frames shorter than that would measure 0 and then a whole step,
  // and the motion would judder. One millisecond for the run; Windows also
  // gives the period back if the process ends another way.
  const bool finerTimer = timeBeginPeriod(1) == TIMERR_NOERROR;
  Win32Platform platform;
  const int exitCode = runDemo(platform, DEMO_FULLSCREEN != 0);
  if (finerTimer) timeEndPeriod(1);
  return exitCode;
}

// The operating-system services the main loop needs, behind one small
// interface so that the loop is written once: platform_win32.cpp maps them
// onto the Win32 message queue, winmm's timer and the async key state,
// platform_sdl.cpp onto SDL's event queue, and tests script them.
#pragma once

#include <cstdint>

// The parts of a window message the loop looks at.
struct PlatformMessage {
  uint32_t message = 0;
  uintptr_t wParam = 0;
};

constexpr uint32_t quitMessage = 0x0012;  // WM_QUIT
constexpr int keySpace = 0x20;            // VK_SPACE
constexpr int keyEscape = 0x1B;           // VK_ESCAPE

// Why the demo plays without its music.
enum class Silence {
  noMusicFile,    // quenvar2.xm is not there
  badMusicFile,   // it is not a module the player can read
  noSoundDevice,  // no audio device could be opened
};

class Platform {
 public:
  virtual ~Platform() = default;
  // PeekMessageA with no window filter and range 0 to 0: true when a message
  // was waiting; it is copied into `message` and, with `remove`, taken off
  // the queue.
  virtual bool peekMessage(PlatformMessage& message, bool remove) = 0;
  // TranslateMessage, then DispatchMessageA, of the message just removed.
  virtual void dispatchMessage(const PlatformMessage& message) = 0;
  // timeGetTime: milliseconds, wrapping at 2^32.
  virtual uint32_t milliseconds() = 0;
  // GetAsyncKeyState(key) != 0: down now, or pressed since the last query.
  virtual bool keyPressed(int key) = 0;
  // PostQuitMessage: a quit message with this code reaches the queue.
  virtual void postQuit(int exitCode) = 0;
  // ShowCursor.
  virtual void showCursor(bool show) = 0;
  // Told once at start-up when the music cannot play; the pictures run on.
  virtual void playsInSilence(Silence) {}
};

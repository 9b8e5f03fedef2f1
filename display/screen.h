// The output window and its 640 x 480 32-bit frame buffer.
//
// One class, several backends chosen at link time: screen_win32.cpp
// (DirectDraw 7), screen_sdl.cpp (SDL2) and screen_headless.cpp (memory
// only). Each backend defines ScreenDevice, the constructor, the destructor,
// present and fatalError.
#pragma once

#include <cstdint>

#include "display/row_convert.h"

struct ScreenDevice;

class Screen {
 public:
  // Opens the window and everything needed to show frameBuffer. Never
  // returns on failure: fatalError reports it and ends the process.
  Screen(const char* title, int32_t width, int32_t height, bool fullscreen);
  virtual ~Screen();
  // Converts frameBuffer into the display's format and shows it. False only
  // when the display surface is lost or cannot be locked; the frame is then
  // skipped.
  virtual bool present();

  Screen(const Screen&) = delete;
  Screen& operator=(const Screen&) = delete;

  uint32_t* frameBuffer = nullptr;  // width * height pixels, 0x00RRGGBB
  RowConverter convertRow = nullptr;
  uint32_t pixelCount = 0;
  int32_t width = 0;
  int32_t height = 0;
  bool fullscreen = false;
  ScreenDevice* device = nullptr;
};

// Number of live Screens; the window class is registered while it is above 0.
extern int32_t screenClassUseCount;

// Shows `text` in a message box and ends the process with exit code -1.
[[noreturn]] void fatalError(const char* text);

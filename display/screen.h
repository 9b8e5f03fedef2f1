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

// A frame handed over as its parts, for a backend that scales and overlays
// on its own: a small picture scaled up by whole numbers to the screen's size
// and an overlay of the screen's size laid over it, black see-through.
struct ScreenLayers {
  const uint32_t* picture = nullptr;  // width * height pixels, 0x00RRGGBB
  uint32_t width = 0;
  uint32_t height = 0;
  // Null for none. The backend may keep what it made of an overlay for as
  // long as the same address is handed over: its pixels must not change.
  const uint32_t* overlay = nullptr;
};

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
  // Set by a backend that takes frames as layers (the web page, whose
  // browser scales a small canvas far more cheaply than the page can copy a
  // full-size one): showScaled then fills `layers` instead of frameBuffer.
  // present shows the layers when they are set and clears them, and shows
  // frameBuffer otherwise.
  bool takesLayers = false;
  ScreenLayers layers;
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

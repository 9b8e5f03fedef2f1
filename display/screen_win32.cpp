// The Screen on Win32: a window of class "project_screen" shown through
// DirectDraw 7. Fullscreen takes the display exclusively, sets width x height
// at 32 bits per pixel (16 as the fallback) and flips a two-surface chain;
// windowed leaves the desktop mode alone and blits an off-screen surface into
// the client area, confined to the visible part of the window by a clipper.
//
// A blit never waits for the display, and flips that should wait for the
// vertical blank return at once on some systems (Wine, remote desktops):
// left alone the loop would render as fast as a core allows. The Screen
// watches how soon presents come back and, where they do not wait, waits
// out the display's period itself after each one.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// After windows.h, whose types it uses.
#include <ddraw.h>

#include <cstdio>
#include <cstdlib>

#include "display/screen.h"

namespace {

// The display is trusted to pace the loop while most presents come back a
// display period after the one before: of every presentWindow presents, at
// most presentWindow / 4 may come back early (under 80% of a period).
constexpr int presentWindow = 60;

// Times are performance-counter ticks.
struct FramePacer {
  int64_t period = 0;
  int64_t ticksPerMs = 1;
  bool capped = false;    // the Screen waits: presents do not
  int presents = 0;       // in the current window (presentWindow)
  int earlyPresents = 0;  // of these, the early ones
  int64_t lastPresent = 0;
  int64_t deadline = 0;  // capped: when the next frame may start
  bool started = false;
  bool report = false;  // DEMO_TIMING: say how the loop is paced
};

}  // namespace

struct ScreenDevice {
  HWND window = nullptr;
  IDirectDraw7* directDraw = nullptr;
  IDirectDrawSurface7* primary = nullptr;
  // Fullscreen: the primary's back buffer. Windowed: an off-screen surface.
  IDirectDrawSurface7* back = nullptr;
  // Reused for every surface creation and, each frame, filled by Lock.
  DDSURFACEDESC2 surfaceDesc;
  FramePacer pacer;
};

int32_t screenClassUseCount = 0;

namespace {

const char* const className = "project_screen";

constexpr DWORD fullscreenStyle = WS_POPUP | WS_VISIBLE;
// No thick frame and no maximise box: the client area keeps the frame's size.
constexpr DWORD windowedStyle = WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

static_assert(fullscreenStyle == 0x90000000, "fullscreen window style");
static_assert(windowedStyle == 0x10CA0000, "windowed window style");
static_assert(sizeof(void*) != 4 || sizeof(DDSURFACEDESC2) == 124, "DDSURFACEDESC2 layout");

LRESULT CALLBACK screenWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

void registerWindowClass() {
  WNDCLASSEXA windowClass = {};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = screenWindowProc;
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.lpszClassName = className;
  if (screenClassUseCount == 0 && RegisterClassExA(&windowClass) == 0) fatalError("Error registering window class");
  ++screenClassUseCount;
}

HWND createWindow(const char* title, int32_t width, int32_t height, bool fullscreen) {
  const DWORD style = fullscreen ? fullscreenStyle : windowedStyle;
  RECT rect = {0, 0, width, height};
  AdjustWindowRectEx(&rect, style, FALSE, WS_EX_APPWINDOW);
  return CreateWindowExA(WS_EX_APPWINDOW, className, title, style, CW_USEDEFAULT, CW_USEDEFAULT, rect.right - rect.left,
                         rect.bottom - rect.top, nullptr, nullptr, nullptr, nullptr);
}

void setUpFullscreen(ScreenDevice& device, int32_t width, int32_t height) {
  IDirectDraw7* directDraw = device.directDraw;
  if (FAILED(directDraw->SetCooperativeLevel(device.window, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE))) {
    fatalError("Directdraw NOT able to set Cooperative Level");
  }
  if (FAILED(directDraw->SetDisplayMode(DWORD(width), DWORD(height), 32, 0, 0)) &&
      FAILED(directDraw->SetDisplayMode(DWORD(width), DWORD(height), 16, 0, 0))) {
    fatalError("Could not find a supported ddraw pixelformat mode");
  }

  DDSURFACEDESC2& desc = device.surfaceDesc;
  desc.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
  desc.dwBackBufferCount = 1;
  desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_VIDEOMEMORY;
  if (FAILED(directDraw->CreateSurface(&desc, &device.primary, nullptr))) {
    fatalError("Unable to create ddraw surface");
  }

  DDSCAPS2 caps = {};
  caps.dwCaps = DDSCAPS_BACKBUFFER;
  // Without its back buffer the flip chain cannot show anything.
  if (FAILED(device.primary->GetAttachedSurface(&caps, &device.back))) fatalError("Unable to create ddraw surface");
}

void setUpWindowed(ScreenDevice& device, int32_t width, int32_t height) {
  IDirectDraw7* directDraw = device.directDraw;
  if (FAILED(directDraw->SetCooperativeLevel(device.window, DDSCL_NORMAL))) {
    fatalError("Directdraw NOT able to set Cooperative Level");
  }

  DDSURFACEDESC2& desc = device.surfaceDesc;
  desc.dwFlags = DDSD_CAPS;
  desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_VIDEOMEMORY;
  if (FAILED(directDraw->CreateSurface(&desc, &device.primary, nullptr))) fatalError("Unable to create ddraw surface");

  desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
  desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
  desc.dwWidth = DWORD(width);
  desc.dwHeight = DWORD(height);
  if (FAILED(directDraw->CreateSurface(&desc, &device.back, nullptr))) fatalError("Unable to create ddraw surface");

  IDirectDrawClipper* clipper = nullptr;
  if (directDraw->CreateClipper(0, &clipper, nullptr) != DD_OK) fatalError("Failed to create clipper");
  if (clipper->SetHWnd(0, device.window) != DD_OK) fatalError("failed to set clipper window");
  if (device.primary->SetClipper(clipper) != DD_OK) fatalError("failed to apply clipper to surface");
  // The primary holds its own reference from here on and frees the clipper
  // when it is released itself.
  clipper->Release();
}

RowConverter converterForPrimary(IDirectDrawSurface7* primary) {
  DDPIXELFORMAT format = {};
  format.dwSize = sizeof(format);
  primary->GetPixelFormat(&format);
  // Palette, YUV and other non-RGB formats have no converter.
  if (!(format.dwFlags & DDPF_RGB)) return nullptr;
  return chooseRowConverter(format.dwRGBBitCount, format.dwRBitMask, format.dwGBitMask, format.dwBBitMask);
}

int64_t ticksNow() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

// The desktop's refresh rate; 60 Hz where the driver says 0 or 1 ("the
// hardware default").
int refreshRate() {
  DEVMODEA mode = {};
  mode.dmSize = sizeof(mode);
  if (EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode) && mode.dmDisplayFrequency > 1) {
    return int(mode.dmDisplayFrequency);
  }
  HDC screen = GetDC(nullptr);
  const int hz = screen ? GetDeviceCaps(screen, VREFRESH) : 0;
  if (screen) ReleaseDC(nullptr, screen);
  return hz > 1 ? hz : 60;
}

void startPacer(FramePacer& pacer, int hz, const char* how) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  pacer.period = frequency.QuadPart / hz;
  pacer.ticksPerMs = frequency.QuadPart / 1000 > 0 ? frequency.QuadPart / 1000 : 1;
  const char* timing = std::getenv("DEMO_TIMING");
  pacer.report = timing && *timing;
  if (pacer.report) std::fprintf(stderr, "timing display: %d Hz, %s\n", hz, how);
}

// Sleeps until the next frame is due on a grid of display periods (Sleep
// has 1 ms steps: the program asks for a 1 ms timer period). A frame that
// ran more than a period late starts a new grid rather than hurrying to
// catch up.
void waitForDeadline(FramePacer& pacer) {
  const int64_t now = ticksNow();
  pacer.deadline += pacer.period;
  if (pacer.deadline + pacer.period < now) pacer.deadline = now;
  const int64_t wait = (pacer.deadline - now) / pacer.ticksPerMs;
  if (wait > 0) Sleep(DWORD(wait));
}

// After each present: a display that keeps handing presents back well within
// its period is not pacing the loop, and the Screen takes over.
void pace(FramePacer& pacer) {
  if (pacer.capped) {
    waitForDeadline(pacer);
    return;
  }
  const int64_t now = ticksNow();
  if (pacer.started) {
    pacer.earlyPresents += (now - pacer.lastPresent) * 5 < pacer.period * 4;
    if (++pacer.presents == presentWindow) {
      if (pacer.earlyPresents * 4 > presentWindow) {
        pacer.capped = true;
        pacer.deadline = now;
        if (pacer.report) std::fprintf(stderr, "timing pacing: presents do not wait for the display, capped\n");
      }
      pacer.presents = pacer.earlyPresents = 0;
    }
  }
  pacer.started = true;
  pacer.lastPresent = now;
}

}  // namespace

void fatalError(const char* text) {
  // Also on the console, which is where a user who started it there looks.
  std::fprintf(stderr, "%s\n", text);
  std::fflush(stderr);
  MessageBoxA(nullptr, text, nullptr, 0);
  std::exit(-1);
}

Screen::Screen(const char* title, int32_t width_, int32_t height_, bool fullscreen_) {
  fullscreen = fullscreen_;
  width = width_;
  height = height_;
  pixelCount = uint32_t(width_) * uint32_t(height_);
  device = new ScreenDevice;

  registerWindowClass();
  device->window = createWindow(title, width, height, fullscreen);

  device->surfaceDesc = DDSURFACEDESC2{};
  frameBuffer = static_cast<uint32_t*>(std::malloc(size_t(pixelCount) * 4));
  if (!frameBuffer) fatalError("Virtual framebuffer not created due to lack of memory");

  IDirectDraw* firstObject = nullptr;
  if (DirectDrawCreate(nullptr, &firstObject, nullptr) != DD_OK) fatalError("Directdraw UNABLE to load");
  if (firstObject->QueryInterface(IID_IDirectDraw7, reinterpret_cast<void**>(&device->directDraw)) != S_OK) {
    fatalError("Directdraw interface NOT aquired");
  }
  firstObject->Release();

  device->surfaceDesc.dwSize = sizeof(DDSURFACEDESC2);
  if (fullscreen) {
    setUpFullscreen(*device, width, height);
  } else {
    setUpWindowed(*device, width, height);
  }

  convertRow = converterForPrimary(device->primary);
  if (!convertRow) fatalError(unsupportedFormatText);

  // Watched from the first present (pace): flips wait for the vertical
  // blank where the driver honours DDFLIP_WAIT, blits never do.
  device->pacer.deadline = ticksNow();
  startPacer(device->pacer, refreshRate(), fullscreen ? "fullscreen flips" : "windowed blits");
}

Screen::~Screen() {
  std::free(frameBuffer);
  device->primary->Release();
  // In fullscreen mode the back buffer belongs to the primary's flip chain.
  if (!fullscreen) device->back->Release();
  device->directDraw->Release();
  if (--screenClassUseCount == 0) UnregisterClassA(className, nullptr);
  delete device;
}

bool Screen::present() {
  ScreenDevice& d = *device;
  d.primary->Restore();
  if (fullscreen) d.back->Restore();
  // A lost surface (another program has the display) or one that cannot be
  // locked (lost again since the test, or still busy) has no memory to
  // write: the frame is skipped, a display period later, so that the loop
  // does not spin while the demo is not shown.
  if (d.primary->IsLost() != DD_OK || FAILED(d.back->Lock(nullptr, &d.surfaceDesc, 0, nullptr))) {
    waitForDeadline(d.pacer);
    return false;
  }
  const uint32_t* source = frameBuffer;
  unsigned char* destination = static_cast<unsigned char*>(d.surfaceDesc.lpSurface);
  for (int32_t y = 0; y < height; ++y) {
    convertRow(source, destination, uint32_t(width));
    source += width;
    destination += d.surfaceDesc.lPitch;
  }
  d.back->Unlock(nullptr);

  if (fullscreen) {
    d.primary->Flip(d.back, DDFLIP_WAIT);
    pace(d.pacer);
    return true;
  }
  // Once the window is closed, frames are still drawn until the quit
  // message arrives; they have nowhere to go.
  RECT client = {};
  if (!GetClientRect(d.window, &client)) {
    pace(d.pacer);
    return true;
  }
  POINT bottomRight = {client.right, client.bottom};
  POINT topLeft = {client.left, client.top};
  ClientToScreen(d.window, &bottomRight);
  ClientToScreen(d.window, &topLeft);
  RECT target = {topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
  d.primary->Blt(&target, d.back, nullptr, 0, nullptr);
  pace(d.pacer);
  return true;
}

// What the end-to-end tests need from the X server beyond xdotool:
//
//   x11_tool close WINDOW        asks the window to close as a window
//                                manager's close button does (WM_DELETE_WINDOW)
//   x11_tool shot WINDOW out.ppm writes what the screen shows over the window
//                                as a binary PPM, decoded with the screen's
//                                own channel masks
//
// WINDOW is an X window id, decimal or 0x-hex, as xdotool prints it.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

int closeWindow(Display* display, Window window) {
  XEvent event;
  std::memset(&event, 0, sizeof(event));
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.format = 32;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  const Status sent = XSendEvent(display, window, False, NoEventMask, &event);
  XSync(display, False);
  return sent ? 0 : 1;
}

struct Channel {
  unsigned long mask;
  int shift;
  int bits;
};

Channel channelOf(unsigned long mask) {
  Channel c = {mask, 0, 0};
  while (mask && !(mask & 1)) {
    mask >>= 1;
    ++c.shift;
  }
  while (mask & 1) {
    mask >>= 1;
    ++c.bits;
  }
  return c;
}

// The channel's value widened to 8 bits by repeating its top bits, as X does.
unsigned char channelValue(unsigned long pixel, const Channel& c) {
  unsigned value = unsigned((pixel & c.mask) >> c.shift);
  if (c.bits >= 8) return static_cast<unsigned char>(value >> (c.bits - 8));
  unsigned wide = 0;
  for (int filled = 0; filled < 8; filled += c.bits) wide = (wide << c.bits) | value;
  const int total = ((8 + c.bits - 1) / c.bits) * c.bits;
  return static_cast<unsigned char>(wide >> (total - 8));
}

// Reads the screen rather than the window so that whatever the server shows
// there, child windows included, is what is compared.
int shotWindow(Display* display, Window window, const char* path) {
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display, window, &attributes)) return 1;
  const Window root = attributes.root;
  int x = 0, y = 0;
  Window child;
  XTranslateCoordinates(display, window, root, 0, 0, &x, &y, &child);
  XWindowAttributes rootAttributes;
  XGetWindowAttributes(display, root, &rootAttributes);
  int width = attributes.width, height = attributes.height;
  if (x < 0) width += x, x = 0;
  if (y < 0) height += y, y = 0;
  if (x + width > rootAttributes.width) width = rootAttributes.width - x;
  if (y + height > rootAttributes.height) height = rootAttributes.height - y;
  if (width <= 0 || height <= 0) {
    std::fprintf(stderr, "the window is off the screen\n");
    return 1;
  }
  XImage* image = XGetImage(display, root, x, y, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
  if (!image) return 1;
  const Visual* visual = rootAttributes.visual;
  const Channel red = channelOf(visual->red_mask), green = channelOf(visual->green_mask),
                blue = channelOf(visual->blue_mask);
  // A palette screen has no channel masks: its pixels are not colours.
  if (red.bits == 0 || green.bits == 0 || blue.bits == 0) {
    std::fprintf(stderr, "the screen is not a true-colour screen\n");
    XDestroyImage(image);
    return 1;
  }
  std::vector<unsigned char> rgb(size_t(width) * size_t(height) * 3);
  unsigned char* out = rgb.data();
  for (int row = 0; row < height; ++row) {
    for (int column = 0; column < width; ++column) {
      const unsigned long pixel = XGetPixel(image, column, row);
      *out++ = channelValue(pixel, red);
      *out++ = channelValue(pixel, green);
      *out++ = channelValue(pixel, blue);
    }
  }
  XDestroyImage(image);

  std::FILE* file = std::fopen(path, "wb");
  if (!file) {
    std::perror(path);
    return 1;
  }
  std::fprintf(file, "P6\n%d %d\n255\n", width, height);
  std::fwrite(rgb.data(), 1, rgb.size(), file);
  return std::fclose(file) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const bool close = argc == 3 && std::strcmp(argv[1], "close") == 0;
  const bool shot = argc == 4 && std::strcmp(argv[1], "shot") == 0;
  if (!close && !shot) {
    std::fprintf(stderr, "usage: x11_tool close WINDOW | x11_tool shot WINDOW out.ppm\n");
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "cannot open the display\n");
    return 2;
  }
  const Window window = Window(std::strtoul(argv[2], nullptr, 0));
  const int result = close ? closeWindow(display, window) : shotWindow(display, window, argv[3]);
  XCloseDisplay(display);
  return result;
}

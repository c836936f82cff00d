// Test helper: where a window on the X display shows anything but white.
//
// Usage: window_ink WINDOW-ID TOP
// Prints "LEFT TOP RIGHT BOTTOM WIDTH HEIGHT": the smallest rectangle (edges included) holding
// every non-white pixel of the window at or below row TOP, then the window's size; the first
// four are -1 when there is none. Exit status 2 when the window cannot be read.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("Usage: window_ink WINDOW-ID TOP\n", stderr);
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return 2;
  const Window window = std::strtoul(argv[1], nullptr, 0);
  const int top = std::atoi(argv[2]);
  XWindowAttributes attributes;
  if (XGetWindowAttributes(display, window, &attributes) == 0 || top >= attributes.height) return 2;
  XImage* image = XGetImage(display, window, 0, top, attributes.width, attributes.height - top,
                            AllPlanes, ZPixmap);
  if (image == nullptr) return 2;
  const unsigned long white = WhitePixel(display, DefaultScreen(display));
  int left = -1, first = -1, right = -1, last = -1;
  for (int y = 0; y < image->height; ++y) {
    for (int x = 0; x < image->width; ++x) {
      if (XGetPixel(image, x, y) == white) continue;
      if (left < 0 || x < left) left = x;
      if (x > right) right = x;
      if (first < 0) first = y + top;
      last = y + top;
    }
  }
  std::printf("%d %d %d %d %d %d\n", left, first, right, last, attributes.width, attributes.height);
  XDestroyImage(image);
  XCloseDisplay(display);
  return 0;
}

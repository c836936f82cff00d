// The main window on an X11 desktop, drawn with FLTK. Nothing of FLTK shows in this header.
#pragma once

#include "ui/window_posix.h"

class Fl_Window;

// The window operations on the desktop: FLTK widgets, dialogs and chooser around the shared
// message queue. OpenDesktop (ui/desktop.h) hands them out once a display is open.
extern const WindowOperations DesktopWindowOperations;

// The main window's FLTK window while it exists, for tests that drive its widgets.
Fl_Window* DesktopFrame();

// The main window on an X11 desktop, drawn with FLTK. Nothing of FLTK shows in this header.
#pragma once

#include "shell/window_posix.h"

class Fl_Window;

// Connects to the display named by DISPLAY; false, touching nothing, when there is none.
bool OpenDesktopDisplay();

// The window operations on the desktop: FLTK widgets, dialogs and chooser around the desktop loop.
extern const WindowOperations DesktopWindowOperations;

// The main window's FLTK window while it exists, for tests that drive its widgets.
Fl_Window* DesktopFrame();

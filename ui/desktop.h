// The desktop window, when this build has one and a display can be opened.
#pragma once

#include "ui/window_posix.h"

// Connects to the display named by DISPLAY and returns the window operations of the desktop;
// nullptr, touching nothing, when there is no display or the program was built without a
// window (KESTRUNE_WINDOW=OFF).
const WindowOperations* OpenDesktop();

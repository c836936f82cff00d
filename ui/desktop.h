// The desktop window, when this build has one and a display can be opened.
//
// The window machinery of the desktop (FLTK, X11) lives in a module of its own
// (kestrune-desktop.so), which the program loads only when DISPLAY names a display: a headless
// run loads no window toolkit at all.
#pragma once

#include "ui/window_posix.h"

// The program's side: the window operations of the desktop, or nullptr when there is no display,
// no module (a build without a window, KESTRUNE_WINDOW=OFF, says nothing; a module that cannot be
// loaded is told on standard error) or the display cannot be opened. Touches nothing then.
const WindowOperations* OpenDesktop();

// The module's one entry (window_fltk.cpp): connects to the display named by DISPLAY and returns
// the desktop window's operations; nullptr when no display can be opened.
extern "C" __attribute__((visibility("default"))) const WindowOperations* KestruneOpenDesktop();
inline constexpr char kDesktopEntry[] = "KestruneOpenDesktop";

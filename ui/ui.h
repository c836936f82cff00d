// The window machinery: one main window, its message loop, posting and painting. The window
// procedure of app/ drives everything through these; each machinery implements them in its own
// files (Win32: window_win32.cpp; POSIX: headless or the FLTK desktop, chosen at start-up).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "ui/user.h"

// Message numbers; they carry the Win32 values so the Win32 machinery passes them straight on.
constexpr unsigned MsgDestroy = 0x0002;
constexpr unsigned MsgSize = 0x0005;
constexpr unsigned MsgPaint = 0x000F;
constexpr unsigned MsgClose = 0x0010;
// The session ends (Win32: WM_ENDSESSION, wParam TRUE when it really does). On POSIX a signal
// asking the program to end (SIGINT, SIGTERM, SIGHUP) arrives as this, lParam its number.
constexpr unsigned MsgEndSession = 0x0016;
constexpr unsigned MsgCommand = 0x0111;
// One slide step of a run (Win32: WM_USER), posted by the step before it.
constexpr unsigned MsgStep = 0x0400;

using WindowProcedure = std::intptr_t (*)(PlatformWindow* window, unsigned message,
                                          std::uintptr_t wParam, std::intptr_t lParam);

struct PlatformMessage {
  PlatformWindow* window = nullptr;
  unsigned message = 0;
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;
};

// One line of the menu bar's definition: a popup with its label, an item of the popup that
// sends MsgCommand with its command id, or the end of the popup.
struct MenuEntry {
  enum Kind { Popup, Item, EndPopup } kind;
  const char* label;
  unsigned command;
};

// Creates the main window with its menu bar (headless: a window without a display). Win32 takes
// the menu from the program's resources, made from the same definition. nullptr after the
// machinery has told the user why it failed.
PlatformWindow* CreateMainWindow(WindowProcedure procedure, const MenuEntry* menu,
                                 std::size_t entries);
void ShowMainWindow(PlatformWindow* window);

// Queues a message for the same loop; it is handled after the current one, before any input or
// paint.
bool PostWindowMessage(PlatformWindow* window, unsigned message, std::uintptr_t wParam,
                       std::intptr_t lParam);

// Waits for the next message; false when the loop is to end (*exitCode then holds the code
// given to PostQuit).
bool GetNextMessage(PlatformMessage* message, int* exitCode);
void DispatchWindowMessage(const PlatformMessage& message);
std::intptr_t DefaultWindowProc(PlatformWindow* window, unsigned message, std::uintptr_t wParam,
                                std::intptr_t lParam);
void PostQuit(int exitCode);

// Schedules a full repaint with erasing.
void InvalidateWindow(PlatformWindow* window);
// Draws `text` centred horizontally from the middle line of the client area down.
void PaintStatusText(PlatformWindow* window, const std::string& text);

// Opens `address` in the user's browser; false when that failed.
bool OpenWebPage(PlatformWindow* owner, const std::string& address);

// Tells a user at a console `line` (ended with a line feed here): on standard error on POSIX,
// with or without a display; nowhere on Windows, where the program has no console.
void TellConsole(const std::string& line);

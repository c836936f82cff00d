// The message loop of the desktop window, apart from the toolkit that shows it.
//
// Three sources feed the loop, and GetNextMessage hands them out in this order: messages posted
// by the program, then input from the toolkit (menu commands, the close box, resizes), then one
// paint when the window needs one. A chain of posted step messages therefore runs to its end
// before a menu choice or a queued paint is looked at; only RepaintNow paints during the chain.
#pragma once

#include <cstdint>

#include "shell/window_posix.h"

// What the loop needs from the toolkit.
struct DesktopToolkit {
  // Blocks until the toolkit has handled some events; it reports input and paint requests through
  // the Queue and RequestPaint functions below meanwhile.
  void (*waitForEvents)();
  // Takes the window off the screen and frees it; called once, when the window is destroyed.
  void (*destroyWindow)();
};

// A fresh main window for `procedure`, with empty queues, served by `toolkit`.
PlatformWindow* StartDesktopLoop(WindowProcedure procedure, const DesktopToolkit& toolkit);

// Input from the toolkit for the main window, as the messages a Win32 window would receive:
// a menu choice is MsgCommand with the command id, the close box MsgClose, a new client size
// MsgSize (width in the low word of lParam, height in the high word). Dropped once the window has
// been destroyed.
void QueueMenuCommand(unsigned id);
void QueueCloseBox();
void QueueResize(int width, int height);
// The window's status area must be drawn again (it was exposed, resized or invalidated).
void RequestPaint();
// True when GetNextMessage would hand out a message without waiting for the toolkit.
bool DesktopMessagePending();

// The window operations of platform.h that the loop provides.
bool DesktopPostWindowMessage(PlatformWindow* window, unsigned message, std::uintptr_t wParam,
                              std::intptr_t lParam);
bool DesktopGetNextMessage(PlatformMessage* message, int* exitCode);
std::intptr_t DesktopDefaultWindowProc(PlatformWindow* window, unsigned message,
                                       std::uintptr_t wParam, std::intptr_t lParam);
void DesktopPostQuit(int exitCode);
// Paints at once: MsgPaint goes to the procedure before this returns, and a pending paint
// request is settled by it.
void DesktopRepaintNow(PlatformWindow* window);

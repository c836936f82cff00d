// The message queue of the main window on POSIX, shared by the headless machinery and the
// desktop window, apart from any toolkit.
//
// Three sources feed the loop, and QueueGetNextMessage hands them out in this order: messages
// posted by the program, then input from the toolkit (menu commands, the close box, resizes),
// then one paint when the window needs one. A chain of posted step messages therefore runs to its
// end before a menu choice or a queued paint is looked at; only QueueRepaintNow paints during
// the chain.
#pragma once

#include <cstdint>

#include "ui/window_posix.h"

// What the queue needs from the toolkit that shows the window.
struct QueueToolkit {
  // Blocks until the toolkit has handled some events; it reports input and paint requests through
  // the Queue and RequestPaint functions below meanwhile. nullptr: no input can ever arrive
  // (headless), so an empty queue ends the loop as a quit would.
  void (*waitForEvents)();
  // Takes the window off the screen and frees it; called once, when the window is destroyed.
  void (*destroyWindow)();
};

// A fresh main window for `procedure`, with empty queues, served by `toolkit`.
PlatformWindow* StartMessageQueue(WindowProcedure procedure, const QueueToolkit& toolkit);

// Input from the toolkit for the main window, as the messages a Win32 window would receive:
// a menu choice is MsgCommand with the command id, the close box MsgClose, a new client size
// MsgSize (width in the low word of lParam, height in the high word). Dropped once the window has
// been destroyed.
void QueueMenuCommand(unsigned id);
void QueueCloseBox();
void QueueResize(int width, int height);
// The window's status area must be drawn again (it was exposed, resized or invalidated).
void RequestPaint();
// True when QueueGetNextMessage would hand out a message without waiting for the toolkit.
bool QueueMessagePending();

// From now on the queue asks `pending` before it hands out a message: once it names a signal,
// the window is told that the session ends (MsgEndSession, wParam 1, lParam the signal) before
// any other message, once. A function, not a link to the platform: the desktop module carries its
// own copy of the queue.
void QueueWatchInterruption(int (*pending)());
// The signal that asked the program to end, told to the window already or not; 0 while none did.
// Modal windows, which wait outside the queue's loop, answer themselves when it is not 0.
int QueueInterruption();

// The window operations that the queue provides.
bool QueuePostWindowMessage(PlatformWindow* window, unsigned message, std::uintptr_t wParam,
                            std::intptr_t lParam);
bool QueueGetNextMessage(PlatformMessage* message, int* exitCode);
std::intptr_t QueueDefaultWindowProc(PlatformWindow* window, unsigned message,
                                     std::uintptr_t wParam, std::intptr_t lParam);
void QueuePostQuit(int exitCode);
// Paints at once: MsgPaint goes to the procedure before this returns, and a pending paint
// request is settled by it.
void QueueRepaintNow(PlatformWindow* window);

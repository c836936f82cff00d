// The desktop window's queues: posted messages, then input, then paint.
#include "shell/desktop_loop.h"

#include <algorithm>
#include <deque>

namespace {

PlatformWindow MainWindowRecord;
DesktopToolkit Toolkit{};
std::deque<PlatformMessage> PostedMessages;
std::deque<PlatformMessage> InputMessages;
bool PaintRequested = false;
bool QuitPosted = false;
int QuitCode = 0;

bool WindowAlive() {
  return !MainWindowRecord.destroyed;
}

void QueueInput(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
  if (WindowAlive()) InputMessages.push_back({&MainWindowRecord, message, wParam, lParam});
}

// Takes the next message in the loop's order; false when none is waiting.
bool TakeNextMessage(PlatformMessage* message) {
  std::deque<PlatformMessage>* queue = !PostedMessages.empty()  ? &PostedMessages
                                       : !InputMessages.empty() ? &InputMessages
                                                                : nullptr;
  if (queue != nullptr) {
    *message = queue->front();
    queue->pop_front();
    return true;
  }
  if (PaintRequested && WindowAlive()) {
    PaintRequested = false;
    *message = {&MainWindowRecord, MsgPaint, 0, 0};
    return true;
  }
  return false;
}

}  // namespace

PlatformWindow* StartDesktopLoop(WindowProcedure procedure, const DesktopToolkit& toolkit) {
  MainWindowRecord = PlatformWindow{procedure, false};
  Toolkit = toolkit;
  PostedMessages.clear();
  InputMessages.clear();
  PaintRequested = false;
  QuitPosted = false;
  QuitCode = 0;
  return &MainWindowRecord;
}

void QueueMenuCommand(unsigned id) {
  QueueInput(MsgCommand, id, 0);
}

void QueueCloseBox() {
  QueueInput(MsgClose, 0, 0);
}

void QueueResize(int width, int height) {
  // Each size fills one 16-bit word of lParam, as in a Win32 size message.
  const auto word = [](int value) {
    return static_cast<std::intptr_t>(std::clamp(value, 0, 0xFFFF));
  };
  QueueInput(MsgSize, 0, word(width) | word(height) << 16);
}

void RequestPaint() {
  if (WindowAlive()) PaintRequested = true;
}

bool DesktopMessagePending() {
  return !PostedMessages.empty() || QuitPosted || !InputMessages.empty() ||
         (PaintRequested && WindowAlive()) || !WindowAlive();
}

bool DesktopPostWindowMessage(PlatformWindow* window, unsigned message, std::uintptr_t wParam,
                              std::intptr_t lParam) {
  if (window == nullptr || window->destroyed) return false;
  PostedMessages.push_back({window, message, wParam, lParam});
  return true;
}

bool DesktopGetNextMessage(PlatformMessage* message, int* exitCode) {
  for (;;) {
    // The quit comes once posted messages are done; input left for the window is dropped. A
    // destroyed window can receive nothing more, so the loop ends then too.
    if (PostedMessages.empty() && (QuitPosted || !WindowAlive())) {
      *exitCode = QuitCode;
      return false;
    }
    if (TakeNextMessage(message)) return true;
    Toolkit.waitForEvents();
  }
}

std::intptr_t DesktopDefaultWindowProc(PlatformWindow* window, unsigned message, std::uintptr_t,
                                       std::intptr_t) {
  if (message == MsgClose && !window->destroyed) {
    window->procedure(window, MsgDestroy, 0, 0);
    window->destroyed = true;
    InputMessages.clear();
    PaintRequested = false;
    Toolkit.destroyWindow();
  }
  return 0;
}

void DesktopPostQuit(int exitCode) {
  QuitPosted = true;
  QuitCode = exitCode;
}

void DesktopRepaintNow(PlatformWindow* window) {
  if (window == nullptr || window->destroyed) return;
  PaintRequested = false;
  window->procedure(window, MsgPaint, 0, 0);
}

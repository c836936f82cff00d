// The main window's queues: posted messages, then input, then paint.
#include "ui/message_queue.h"

#include <algorithm>
#include <deque>

namespace {

PlatformWindow MainWindowRecord;
QueueToolkit Toolkit{};
std::deque<PlatformMessage> PostedMessages;
std::deque<PlatformMessage> InputMessages;
bool PaintRequested = false;
bool QuitPosted = false;
int QuitCode = 0;
int (*InterruptionSource)() = nullptr;
bool InterruptionTold = false;

// The signal the window is yet to be told of; 0 when there is none.
int UntoldInterruption() {
  if (InterruptionTold || InterruptionSource == nullptr || MainWindowRecord.destroyed) return 0;
  return InterruptionSource();
}

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

PlatformWindow* StartMessageQueue(WindowProcedure procedure, const QueueToolkit& toolkit) {
  MainWindowRecord = PlatformWindow{procedure, false};
  Toolkit = toolkit;
  PostedMessages.clear();
  InputMessages.clear();
  PaintRequested = false;
  QuitPosted = false;
  QuitCode = 0;
  InterruptionTold = false;
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

void QueueWatchInterruption(int (*pending)()) {
  InterruptionSource = pending;
}

int QueueInterruption() {
  return InterruptionSource != nullptr ? InterruptionSource() : 0;
}

bool QueueMessagePending() {
  return UntoldInterruption() != 0 || !PostedMessages.empty() || QuitPosted ||
         !InputMessages.empty() || (PaintRequested && WindowAlive()) || !WindowAlive();
}

bool QueuePostWindowMessage(PlatformWindow* window, unsigned message, std::uintptr_t wParam,
                            std::intptr_t lParam) {
  if (window == nullptr || window->destroyed) return false;
  PostedMessages.push_back({window, message, wParam, lParam});
  return true;
}

bool QueueGetNextMessage(PlatformMessage* message, int* exitCode) {
  for (;;) {
    // An interruption comes before anything else, so no further step starts.
    if (const int signal = UntoldInterruption()) {
      InterruptionTold = true;
      *message = {&MainWindowRecord, MsgEndSession, 1, signal};
      return true;
    }
    // The quit comes once posted messages are done; input left for the window is dropped. A
    // destroyed window can receive nothing more, so the loop ends then too.
    if (PostedMessages.empty() && (QuitPosted || !WindowAlive())) {
      *exitCode = QuitCode;
      return false;
    }
    if (TakeNextMessage(message)) return true;
    if (Toolkit.waitForEvents == nullptr) {  // nothing can arrive any more: the loop ends
      *exitCode = QuitCode;
      return false;
    }
    Toolkit.waitForEvents();
  }
}

std::intptr_t QueueDefaultWindowProc(PlatformWindow* window, unsigned message, std::uintptr_t,
                                     std::intptr_t) {
  if (message == MsgClose && !window->destroyed) {
    window->procedure(window, MsgDestroy, 0, 0);
    window->destroyed = true;
    InputMessages.clear();
    PaintRequested = false;
    if (Toolkit.destroyWindow != nullptr) Toolkit.destroyWindow();
  }
  return 0;
}

void QueuePostQuit(int exitCode) {
  QuitPosted = true;
  QuitCode = exitCode;
}

void QueueRepaintNow(PlatformWindow* window) {
  if (window == nullptr || window->destroyed) return;
  PaintRequested = false;
  window->procedure(window, MsgPaint, 0, 0);
}

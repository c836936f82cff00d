// The window operations of platform.h, forwarded to the implementation chosen at start-up.
#include "ui/window_posix.h"

#include "kestrune_version.h"

namespace {

const WindowOperations* Active = &HeadlessWindowOperations;

}  // namespace

void UseWindowOperations(const WindowOperations& operations) {
  Active = &operations;
}

void ShowMessageBox(PlatformWindow* owner, const std::string& text, const std::string& title,
                    BoxIcon icon) {
  Active->showMessageBox(owner, text, title, icon);
}

PlatformWindow* CreateMainWindow(WindowProcedure procedure, const MenuEntry* menu,
                                 std::size_t entries) {
  PlatformWindow* window = Active->createMainWindow(procedure, menu, entries);
  Active->watchInterruption(PendingInterruption);
  return window;
}

void ShowMainWindow(PlatformWindow* window) {
  Active->showMainWindow(window);
}

bool PostWindowMessage(PlatformWindow* window, unsigned message, std::uintptr_t wParam,
                       std::intptr_t lParam) {
  return Active->postWindowMessage(window, message, wParam, lParam);
}

bool GetNextMessage(PlatformMessage* message, int* exitCode) {
  return Active->getNextMessage(message, exitCode);
}

// Both machineries share the window record, so handing a message to its procedure is one thing.
void DispatchWindowMessage(const PlatformMessage& message) {
  if (message.window != nullptr && !message.window->destroyed) {
    message.window->procedure(message.window, message.message, message.wParam, message.lParam);
  }
}

std::intptr_t DefaultWindowProc(PlatformWindow* window, unsigned message, std::uintptr_t wParam,
                                std::intptr_t lParam) {
  return Active->defaultWindowProc(window, message, wParam, lParam);
}

void PostQuit(int exitCode) {
  Active->postQuit(exitCode);
}

void ImageFound(PlatformWindow* window, const std::string& target) {
  Active->imageFound(window, target);
}

void StepShown(PlatformWindow* window, const std::string& text) {
  // A window draws its status text alike for both; only the progress line counts images.
  if (Active == &HeadlessWindowOperations)
    headless::StepShown(window, text);
  else
    Active->imageFound(window, text);
}

void InvalidateWindow(PlatformWindow* window) {
  Active->invalidateWindow(window);
}

void PaintStatusText(PlatformWindow* window, const std::string& text) {
  Active->paintStatusText(window, text);
}

bool ChooseContactSheet(const std::string& initialFolder, const std::string& title,
                        std::string* chosen) {
  return Active->chooseContactSheet(initialFolder, title, chosen);
}

bool ChooseFolder(const std::string& initialFolder, const std::string& title, std::string* chosen) {
  return Active->chooseFolder(initialFolder, title, chosen);
}

bool OpenWebPage(PlatformWindow* owner, const std::string& address) {
  return Active->openWebPage(owner, address);
}

void TellConsole(const std::string& line) {
  const std::string text = line + "\n";
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

void TellResultLine(const std::string& line, bool) {
  const std::string text = line + "\n";
  std::fwrite(text.data(), 1, text.size(), stdout);
}

bool ShowResult(const std::string& summary, const std::string&, bool) {
  TellResultLine(summary, false);
  if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return true;
  TellConsole(KESTRUNE_CONSOLE_PREFIX "the result could not be written to standard output");
  return false;
}

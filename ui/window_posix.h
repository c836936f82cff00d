// The window machinery on POSIX comes in two implementations, one without a display and one on
// the desktop. Each provides a table of the window operations (ui.h, and the user's side of the
// generation, user.h); window_posix.cpp forwards them to the table chosen once at start-up
// (headless until told otherwise).
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "ui/ui.h"

// The one main window: its procedure, and whether it has been destroyed.
struct PlatformWindow {
  WindowProcedure procedure = nullptr;
  bool destroyed = true;
};

struct WindowOperations {
  void (*showMessageBox)(PlatformWindow* owner, const std::string& text, const std::string& title,
                         BoxIcon icon);
  PlatformWindow* (*createMainWindow)(WindowProcedure procedure, const MenuEntry* menu,
                                      std::size_t entries);
  void (*showMainWindow)(PlatformWindow* window);
  bool (*postWindowMessage)(PlatformWindow* window, unsigned message, std::uintptr_t wParam,
                            std::intptr_t lParam);
  bool (*getNextMessage)(PlatformMessage* message, int* exitCode);
  std::intptr_t (*defaultWindowProc)(PlatformWindow* window, unsigned message,
                                     std::uintptr_t wParam, std::intptr_t lParam);
  void (*postQuit)(int exitCode);
  void (*imageFound)(PlatformWindow* window, const std::string& target);
  void (*invalidateWindow)(PlatformWindow* window);
  void (*paintStatusText)(PlatformWindow* window, const std::string& text);
  bool (*chooseContactSheet)(const std::string& initialFolder, const std::string& title,
                             std::string* chosen);
  bool (*openWebPage)(PlatformWindow* owner, const std::string& address);
  void (*watchInterruption)(int (*pending)());
  bool (*chooseFolder)(const std::string& initialFolder, const std::string& title,
                       std::string* chosen);
};

// The window without a display (window_headless.cpp).
extern const WindowOperations HeadlessWindowOperations;
namespace headless {
// StepShown without a display: the progress line shows the step, with no image count.
void StepShown(PlatformWindow* window, const std::string& text);
}  // namespace headless

// Makes `operations` the window machinery from now on; called before the main window exists.
void UseWindowOperations(const WindowOperations& operations);

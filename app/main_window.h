// The main window procedure and the program's run, shared by every platform's entry point.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "ui/ui.h"

std::intptr_t MainWindowProc(PlatformWindow* window, unsigned message, std::uintptr_t wParam,
                             std::intptr_t lParam);

// The length of the word "--modern" and the blanks after it at the front of a command-line tail,
// which choose the modern page style; 0 when the tail does not begin with that word.
std::size_t ModernOptionLength(const std::string& commandLine);

// Creates the main window, takes the "--modern" option off the front of `commandLine`, posts the
// Open command for the rest (a tail beginning with "?" counts as empty), runs the message loop and
// finishes the generation. Returns the exit code: 0 when all was written, 1 when a failure was
// reported, -1 when no window could be made.
int RunKestrune(const std::string& commandLine);

extern const char kAboutText[];
// The menu bar, as every window machinery is handed it.
extern const MenuEntry kMainMenu[];
extern const std::size_t kMainMenuEntries;

// The main window procedure and the program's run, shared by every platform's entry point.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "ui/ui.h"

std::intptr_t MainWindowProc(PlatformWindow* window, unsigned message, std::uintptr_t wParam,
                             std::intptr_t lParam);

// What a run does: write the slide show, say what writing it would do, or remove it.
enum class RunMode { Write, DryRun, Clean };

// The option words at the front of a command-line tail: "--modern", "--dry-run", "--clean" and
// "--order name" or "--order date", in any order, each taken once and followed by a blank or the
// end; the first other word (a
// longer one such as "--modern.html", or an option given again) begins the contact sheet's path.
struct CommandOptions {
  bool modern = false;
  RunMode mode = RunMode::Write;
  // "--order name" or "--order date": how a folder's photos and albums are ordered; empty when
  // not given (as each sheet kept it, else by name).
  std::string order;
  bool conflicting = false;  // both --dry-run and --clean
  std::size_t length = 0;    // of the option words and the blanks behind each
};
CommandOptions ReadCommandOptions(const std::string& commandLine);

// Runs with `options` read off the front of `commandLine` (ReadCommandOptions); the rest names the
// contact sheet (a tail beginning with "?" counts as empty). To write the slide show: creates the
// main window, posts the Open command, runs the message loop and finishes the generation; returns 0
// when all was written, 1 when a failure was reported, -1 when no window could be made, 128 + N
// after signal N. A dry run or a clean makes no window (the file dialog asks for a sheet where none
// was given and the system has one) and returns DryRun's or CleanSlideShow's status; 2 for
// --dry-run with --clean.
int RunKestrune(const std::string& commandLine, const CommandOptions& options);

extern const char kAboutText[];
// The menu bar, as every window machinery is handed it.
extern const MenuEntry kMainMenu[];
extern const std::size_t kMainMenuEntries;

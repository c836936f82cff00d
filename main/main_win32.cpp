// Entry point on Win32: a GUI program whose command-line tail is read in Unicode
// (GetCommandLineW) and handed on in UTF-8, the form every name takes inside the program.
#include <windows.h>

#include <string>

#include "app/main_window.h"
#include "platform/platform_win32.h"
#include "ui/window_win32.h"

namespace {

// The command line behind the program's name, as the start-up code cuts the tail it hands WinMain:
// the name runs to the first blank or control character outside double quotes, and the blanks
// and control characters behind it are dropped.
const wchar_t* CommandLineTail(const wchar_t* line) {
  bool quoted = false;
  for (; *line > L' ' || (*line != L'\0' && quoted); ++line) {
    if (*line == L'"') quoted = !quoted;
  }
  while (*line != L'\0' && *line <= L' ') ++line;
  return line;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int showCommand) {
  SetMainWindowShowCommand(showCommand);
  const wchar_t* tail = CommandLineTail(GetCommandLineW());
  const std::string commandLine = WideToUtf8(tail, wcslen(tail));
  return RunKestrune(commandLine, ReadCommandOptions(commandLine));
}

// Entry point on Win32: a GUI program whose command-line tail is the raw one the start-up code
// hands WinMain.
#include <windows.h>

#include "app/main_window.h"
#include "ui/window_win32.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int showCommand) {
  SetMainWindowShowCommand(showCommand);
  return RunKestrune(commandLine, ReadCommandOptions(commandLine));
}

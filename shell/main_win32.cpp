// Entry point on Win32: a GUI program whose command-line tail is the raw one the start-up code
// hands WinMain.
#include <windows.h>

#include "generation/generation_state.h"
#include "resources/menu_ids.h"
#include "shell/main_window.h"
#include "shell/window_win32.h"

static_assert(IDM_OPEN == MENU_ID_OPEN && IDM_EXIT == MENU_ID_EXIT && IDM_ABOUT == MENU_ID_ABOUT &&
                  IDM_HELP == MENU_ID_HELP,
              "the menu resource and the window procedure must use the same command ids");

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int showCommand) {
  SetMainWindowShowCommand(showCommand);
  return RunKestrune(commandLine);
}

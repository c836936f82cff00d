// What WinMain hands the Win32 window machinery before the shared run starts.
#pragma once

// The show state for the main window, from the process's start-up information.
void SetMainWindowShowCommand(int showCommand);

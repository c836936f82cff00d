// What the Win32 platform layer shows beyond platform.h, for its tests.
#pragma once

#include <windows.h>

#include <string>

// True when any folder or file component of `name` is a name Windows reads as a device (CON,
// PRN, AUX, NUL, COM0-9, LPT0-9, CONIN$, CONOUT$), in any case, with any extension and with
// trailing dots or blanks. CreateOutputFile refuses such names without opening anything.
bool NamesReservedDevice(const std::string& name);

// The system calls through which pages are written and the combined page's files are moved,
// marked for removal and given their attributes. The tests put their own in place to make one
// of them fail, or to act at the moment between two of them.
struct Win32CallTable {
  BOOL(WINAPI* writeFile)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
  BOOL(WINAPI* setFileInformation)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);
};
extern Win32CallTable Win32Calls;

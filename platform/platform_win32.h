// What the Win32 platform layer shows beyond platform.h: the conversion of names between UTF-8 and
// UTF-16, which the window machinery and the entry point use too, and what its tests reach.
// The layer is split by job into win32_*.cpp, each under a banner that says its job.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// The UTF-8 names of the platform header as UTF-16 and back, for the wide-character calls. False
// for a text that is not UTF-8 or holds a zero byte, which names no file (MB_ERR_INVALID_CHARS).
bool Utf8ToWide(const std::string& utf8, std::wstring* wide);
// An unpaired surrogate, which no UTF-8 text can hold, becomes U+FFFD.
std::string WideToUtf8(const wchar_t* wide, std::size_t length);
std::string WideToUtf8(const std::wstring& wide);

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

// What the Win32 layer's files share about the combined page being written (win32_replace.cpp):
// the place it will take, which no page may take meanwhile, and how long a run waits for another
// that holds a file for a moment. For the platform's win32_*.cpp files only.
#pragma once

#include <windows.h>

#include <string>

namespace win32 {

// Another run of the same sheet holds a page, or the combined page at its finish, only for a
// moment: an open that meets it waits for its turn, a little at a time, this many times.
constexpr int kWaitsForAnotherRun = 200;
constexpr DWORD kWaitMs = 10;

// True when the page `name`, open as `handle` (made just now when `created`), is a file that a
// combined page being written replaces, or would take the combined page's place where none
// stood: by identity, or by the path the system gives the file.
bool TakesReservedPlace(const std::string& name, HANDLE handle, bool created);

}  // namespace win32

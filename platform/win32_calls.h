// What the Win32 layer's files share about reaching the system through the call table
// (win32_calls.cpp): reading runs of bytes, a file's kind, and the calls that fill a buffer of a
// size they cannot know in advance. For the platform's win32_*.cpp files only.
#pragma once

#include <windows.h>

namespace win32 {

// What a call that fills a buffer returns (the length of the text, or the size it needs when the
// text did not fit, or 0 on failure) as ReadIntoGrowingBuffer takes it: -1 on failure.
long long LengthOrNeeded(DWORD result);

// True when `handle` is a file on disk, not a device, a console or a pipe.
bool IsDiskFile(HANDLE handle);

// Reads up to `size` bytes from the file pointer on, continuing short reads until the file
// ends; *length says how many came. False on a read error.
bool ReadHead(HANDLE handle, char* head, DWORD size, DWORD* length);

}  // namespace win32

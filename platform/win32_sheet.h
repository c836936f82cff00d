// What the Win32 layer's files share about the contact sheets this process holds open
// (win32_sheet.cpp): a file's identity, and whether a file is one of those sheets. For the
// platform's win32_*.cpp files only.
#pragma once

#include <windows.h>

#include <string>

namespace win32 {

// A file's identity on its volume, "SERIAL:INDEX"; two names of one file have the same. Empty
// when it cannot be had.
std::string IdentityOf(HANDLE handle);

// True when a contact sheet this process holds open has the identity `identity`.
bool IsHeldSheet(const std::string& identity);

// True when the file under `name` is one that this process holds open: the contact sheet.
bool HeldHere(const std::string& name);

}  // namespace win32

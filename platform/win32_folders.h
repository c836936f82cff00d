// What the Win32 layer's files share about the working folder (win32_folders.cpp): where an open
// file really lies. For the platform's win32_*.cpp files only.
#pragma once

#include <windows.h>

#include <string>

namespace win32 {

// The full path of an open file or folder after every link and junction; empty when unknown.
std::wstring FinalPath(HANDLE handle);

// An answer about where an open file lies, which a failed call can leave unknown.
enum class PathAnswer { Yes, No, Unknown };

// Whether the open file lies beneath the working folder, wherever links or junctions on the way
// led; Unknown when a path cannot be had. A page must never land outside the contact sheet's
// folder.
PathAnswer IsBeneathWorkingFolder(HANDLE file);
// Yes only: a file whose place is unknown is refused too.
bool LiesBeneathWorkingFolder(HANDLE file);

}  // namespace win32

// What the Win32 layer's files share about looking at a file before it is replaced, and about
// removing one through its handle (win32_pages.cpp). For the platform's win32_*.cpp files only.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace win32 {

// Looks at the first bytes of an existing file through `handle`, from its file pointer: OwnPage,
// Empty, Foreign, or Unreadable when they cannot be read.
PageFileState HeadOf(HANDLE handle, std::string_view marker);

// Looks at the first bytes of an existing file through `handle`, which is then truncated and
// written: true when it is empty or a page of ours. Leaves the file pointer at the start.
bool LooksLikeOwnPage(HANDLE handle, std::string_view marker);

// An existing file that is refused keeps its times. A last-access time of all ones stops this
// handle from moving it; the time as it was goes to *accessed, for PutBackAccessTime.
bool HoldAccessTime(HANDLE handle, FILETIME* accessed);
// Where the file system moved the last-access time all the same (Wine's does), puts it back;
// otherwise touches nothing.
void PutBackAccessTime(HANDLE handle, const FILETIME& accessed);

// Marks the open file for removal once its last handle closes, or takes the mark off again; a
// file that is read-only (as another program may make it meanwhile) loses that first.
bool MarkForRemoval(HANDLE handle, bool remove);

// Removes a file this process created, through its handle, so the very file goes whatever
// happened to its name; then closes the handle. Where it cannot be marked, by name once closed.
void RemoveCreatedFile(HANDLE handle, const std::string& name);

}  // namespace win32

// ==== Looking at pages =========================================================================
// What the first bytes of an existing file say, and what stands under a page's name, found
// without changing anything: what a writer asks before it replaces a file. For the POSIX file
// layer only (LookAtPageFile and RemoveOwnPage are in platform.h).
#pragma once

#include <sys/stat.h>

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace posix {

// The page about to be written over a file, and whether the file holds exactly its bytes (then
// it is left as it is: a re-run of an unchanged gallery changes no file's time).
struct SameBytes {
  std::string_view bytes;
  bool same = false;
};

// What the first bytes of the existing regular file `fd` say (OwnPage, Empty, Foreign, or
// Unreadable); the read leaves the offset at 0 for the page written next. Where the file could
// not be opened with O_NOATIME (accessTimeKept false), its access time is put back. When `page`
// is given, page->same says whether the whole file was read and holds exactly page->bytes.
PageFileState HeadOf(int fd, const struct stat& info, bool accessTimeKept, std::string_view marker,
                     SameBytes* page = nullptr);
// True when the existing regular file `fd` is empty or a page of ours.
bool LooksLikeOwnPage(int fd, const struct stat& info, bool accessTimeKept,
                      std::string_view marker);
// LooksLikeOwnPage for a file another run may be writing now: a look that finds no marker is
// made again while the file grows. *info describes the file as last looked at; `page` as HeadOf.
bool LooksLikeOwnPageWhileWritten(int fd, struct stat* info, bool accessTimeKept,
                                  std::string_view marker, SameBytes* page = nullptr);
// The folder of the page `name` opened beneath the working folder (AT_FDCWD beside the sheet),
// and the page's own name in it in *file; -1 with errno when it cannot be reached.
int FolderOfPage(const std::string& name, std::string* file);
// True for a name that is no file of a folder: empty, "." or "..".
bool IsFolderEntryName(const std::string& file);
// Describes what stands under `file` in `folder` without following a link or opening it; -1
// with errno when nothing can be described.
int DescribeEntry(int folder, const std::string& file, struct stat* info);

}  // namespace posix

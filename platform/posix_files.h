// The POSIX file layer's own parts that its files share (platform_posix is split by job: the
// call table, signals, folder listings, the sheet, opening beneath the working folder, writing
// and replacing pages, looking at and removing them, the program). For those files only.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace posix {

// ---- The call table (posix_calls.cpp)
// Reads up to `size` bytes from the current offset, or with `at` from that offset without moving
// the current one; fewer when the file is shorter or shrank meanwhile. -1 on a read error.
ssize_t ReadFully(int fd, char* buffer, size_t size, off_t at = -1);
// Writes `size` bytes, continuing short writes; returns how many were written.
size_t WriteFully(int fd, const char* data, size_t size);

// ---- Folder listings (posix_listings.cpp)
// Reads the folder open as `fd` (O_DIRECTORY) whole, calling visit(name, type) for each entry
// (type as d_type gives it, DT_UNKNOWN where the file system does not say). True when it was
// read to its end; false when a read failed.
bool ForEachFolderEntry(int fd, const std::function<void(std::string_view, unsigned char)>& visit);
// Forgets every folder read, and the page folders opened (a new sheet or working folder).
void ForgetListings();

// ---- Signals (posix_signals.cpp)
// The combined page's hidden temporary file, which a second signal removes before the program
// ends; forgotten once the file may hold something else.
void RememberTemporary(const std::string& name);
void ForgetTemporary();

// ---- Opening beneath the working folder (posix_beneath.cpp)
void CloseFolder(int folder);  // a folder opened here, or AT_FDCWD
// Opens `name` beneath the working folder: never through a link or ".." leading out.
int OpenBeneathWorkingFolder(const std::string& name, int flags, mode_t mode);

// An existing name is opened for reading too, for the look at its first bytes. O_NONBLOCK: a
// FIFO must not be waited on (it is refused); regular files ignore the flag.
constexpr int kExistingFileFlags = O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

// Opens a file with `open(flags)`, adding O_NOATIME where the kernel permits it (to the file's
// owner, or with privilege): a file refused after a look must keep its access time too, which a
// read would move. *noAccessTime says whether it did.
template <typename Open>
int OpenKeepingAccessTime(Open open, int flags, bool* noAccessTime) {
  *noAccessTime = true;
  const int fd = open(flags | O_NOATIME);
  if (fd >= 0 || errno != EPERM) return fd;
  *noAccessTime = false;
  return open(flags);
}

// Opens the existing file `name` beneath the working folder for the look at its first bytes and,
// with kExistingFileFlags, the page written next.
int OpenExistingFile(const std::string& name, bool* noAccessTime, int flags = kExistingFileFlags);

// Whether the last page opened existed already: the next one is first opened the same way.
extern bool LastPageExisted;
// The folder `folder` (relative to the working folder) opened beneath it for the run; -1 when it
// cannot be. Kept until ForgetPageFolders.
int PageFolder(std::string_view folder);
void ForgetPageFolders();
// Creates `name`, which must not exist yet, following no link.
int CreateNewFile(const std::string& name);

// ---- Held files and identities (posix_replace.cpp)
// Files this process holds open, by identity: no output replaces one.
void Hold(const void* owner, const struct stat& info);
void Release(const void* owner);
bool IsHeld(const struct stat& info);
bool SameFile(const struct stat& a, const struct stat& b);
std::string IdentityOf(const struct stat& info);

// ---- Looking at pages (posix_pages.cpp)
// What the first bytes of the existing regular file `fd` say (OwnPage, Empty, Foreign, or
// Unreadable); the read leaves the offset at 0 for the page written next.
PageFileState HeadOf(int fd, const struct stat& info, bool accessTimeKept, std::string_view marker);
bool LooksLikeOwnPage(int fd, const struct stat& info, bool accessTimeKept,
                      std::string_view marker);
bool LooksLikeOwnPageWhileWritten(int fd, struct stat* info, bool accessTimeKept,
                                  std::string_view marker);
// The folder of the page `name` opened beneath the working folder (AT_FDCWD beside the sheet),
// and the page's own name in it in *file; -1 with errno when it cannot be reached.
int FolderOfPage(const std::string& name, std::string* file);
bool IsFolderEntryName(const std::string& file);
// Describes what stands under `file` in `folder` without following a link or opening it.
int DescribeEntry(int folder, const std::string& file, struct stat* info);

}  // namespace posix

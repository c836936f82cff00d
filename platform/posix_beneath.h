// ==== Opening beneath the working folder =======================================================
// Every page is opened beneath the contact sheet's folder, never through a link or ".." leading
// out; page folders are opened once a run and a new page is created in its folder exclusively.
// For the POSIX file layer only.
#pragma once

#include <fcntl.h>
#include <sys/types.h>

#include <cerrno>
#include <string>
#include <string_view>

namespace posix {

void CloseFolder(int folder);  // a folder opened here, or AT_FDCWD
// Opens `name` beneath the working folder: never through a link or ".." leading out. -1 with
// errno when it cannot be (EXDEV or ELOOP for a step out).
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
// Forgets what a run learnt of its folders: the listings and the page folders opened. A new
// contact sheet or working folder starts from nothing.
void ForgetFolders();
// Creates `name`, which must not exist yet, following no link. -1 with errno (EEXIST when a file
// stands there).
int CreateNewFile(const std::string& name);

}  // namespace posix

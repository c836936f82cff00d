// ==== The working folder, and opening beneath it =================================================
// Every page is opened beneath the contact sheet's folder: by the kernel (openat2 with
// RESOLVE_BENEATH) or, where it has none, one folder at a time without following any link. Page
// folders are opened once a run; a new page is created in its folder exclusively, following no
// link. The working folder's own operations are here too.
#include "platform/posix_beneath.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/path_segments.h"
#include "platform/platform.h"
#include "platform/posix_calls.h"
#include "platform/posix_listings.h"
#include "platform/text_buffer.h"

using namespace posix;

std::string GetWorkingFolder() {
  return ReadIntoGrowingBuffer(PATH_MAX, [](char* buffer, std::size_t size) -> long long {
    if (PosixCalls.getcwd(buffer, size) != nullptr) return std::strlen(buffer);
    return errno == ERANGE ? static_cast<long long>(size) : -1;  // ERANGE: it needs more room
  });
}

bool SetWorkingFolder(const std::string& folder) {
  ForgetFolders();  // they name folders relative to the old working folder
  return PosixCalls.chdir(folder.c_str()) == 0;
}

// On POSIX only "/" separates folders; "\" and ":" are ordinary characters of a name.
std::size_t FolderPrefixLength(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? 0 : slash + 1;
}

bool IsFolderSeparator(char c) {
  return IsSlash(c);
}

// A name is the bytes as they are, in whatever encoding the sheet or the user wrote them.
bool NamesFilesInUnicode() {
  return false;
}

namespace posix {

void CloseFolder(int folder) {
  if (folder != AT_FDCWD) PosixCalls.close(folder);
}

// Opens `path` one component at a time from the working folder and never follows a symbolic
// link, so it cannot leave the folder. Stricter than openat2: a link that stays inside is
// refused too. Used only where the kernel has no openat2.
int OpenByWalking(const std::string& path, int flags, mode_t mode) {
  if (path.empty() || path.front() == '/') {
    errno = path.empty() ? ENOENT : EXDEV;
    return -1;
  }
  int folder = AT_FDCWD;
  int depth = 0;  // folders below the working folder
  int fd = -1;
  WalkSegments(path, IsSlash, FileSystemStep,
               [&](std::string_view segment, SegmentStep step, bool last) {
                 const std::string part(segment);
                 if (last) {  // the file itself, in the folder reached
                   fd = PosixCalls.openat(folder, part.c_str(), flags | O_NOFOLLOW, mode);
                   return true;
                 }
                 if (step == SegmentStep::Stay) return true;
                 depth += step == SegmentStep::Up ? -1 : 1;
                 if (depth < 0) return errno = EXDEV, false;
                 const int next = PosixCalls.openat(
                     folder, part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0);
                 const int saved = errno;
                 CloseFolder(folder);
                 errno = saved;
                 folder = next;
                 return next >= 0;
               });
  const int saved = errno;
  if (folder >= 0) CloseFolder(folder);
  errno = saved;
  return fd;
}

// Opens an output name beneath the working folder: never through a link or ".." leading out.
int OpenBeneathWorkingFolder(const std::string& name, int flags, mode_t mode) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    const int fd = PosixCalls.openBeneath(name.c_str(), flags, mode);
    if (fd >= 0) return fd;
    if (errno == EAGAIN || errno == EINTR) continue;  // a rename raced the lookup: try again
    // ENOSYS: no openat2 in this kernel; EPERM: a sandbox that filters unknown system calls.
    if (errno == ENOSYS || errno == EPERM) return OpenByWalking(name, flags, mode);
    return -1;
  }
  return -1;
}

int OpenExistingFile(const std::string& name, bool* noAccessTime, int flags) {
  return OpenKeepingAccessTime([&name](int f) { return OpenBeneathWorkingFolder(name, f, 0); },
                               flags, noAccessTime);
}

// Whether the last page opened existed already. A run over an earlier show finds every page
// there, a fresh one none: the next page is first opened the way the last one was found, so
// neither kind of run pays for a failed call on every page.
bool LastPageExisted = false;

// Folders that pages are created in, each opened once beneath the working folder (checked to
// lie inside it once, as every page's whole name was before) and kept for the run, at most
// kMostPageFolders at a time.
std::unordered_map<std::string, int> PageFolders;
std::string LastPageFolder;
int LastPageFolderFd = -1;
constexpr std::size_t kMostPageFolders = 64;

void ForgetPageFolders() {
  for (const auto& folder : PageFolders) PosixCalls.close(folder.second);
  PageFolders.clear();
  LastPageFolderFd = -1;
  LastPageExisted = false;
}

void ForgetFolders() {
  ForgetListings();
  ForgetPageFolders();
}

// The folder `folder` (relative to the working folder) opened beneath it; -1 when it cannot be.
int PageFolder(std::string_view folder) {
  if (LastPageFolderFd >= 0 && folder == LastPageFolder) return LastPageFolderFd;
  auto found = PageFolders.find(std::string(folder));
  if (found == PageFolders.end()) {
    if (PageFolders.size() >= kMostPageFolders) ForgetPageFolders();
    const int fd =
        OpenBeneathWorkingFolder(std::string(folder), O_PATH | O_DIRECTORY | O_CLOEXEC, 0);
    if (fd < 0) return -1;
    found = PageFolders.emplace(folder, fd).first;
  }
  LastPageFolder.assign(folder);
  LastPageFolderFd = found->second;
  return LastPageFolderFd;
}

// Creates `name`, which must not exist yet: O_EXCL fails on any existing name, a link among
// them, and follows none, so a plain openat in the working folder, or in the page's folder as
// opened beneath it, cannot leave the working folder.
int CreateNewFile(const std::string& name) {
  const int flags = O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | O_CREAT | O_EXCL | O_NOFOLLOW;
  const std::size_t slash = std::string_view(name).rfind('/');  // inline: no call
  if (slash == std::string::npos) return PosixCalls.openat(AT_FDCWD, name.c_str(), flags, 0666);
  const char* file = name.c_str() + slash + 1;  // the rest of the name, terminated with it
  if (*file == '\0' || std::strcmp(file, ".") == 0 || std::strcmp(file, "..") == 0)
    return errno = EISDIR, -1;
  const int folder = PageFolder(std::string_view(name).substr(0, slash));
  if (folder < 0) return -1;
  return PosixCalls.openat(folder, file, flags, 0666);
}

}  // namespace posix

// ==== Looking at page names and removing pages ==================================================
// What stands under a page's name, found without changing anything (not even an access time
// where the kernel allows O_NOATIME), and the removal of a page of ours, decided about the very
// file removed: moved aside under a hidden name first and looked at again there.
#include "platform/posix_pages.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "platform/path_segments.h"
#include "platform/platform.h"
#include "platform/posix_beneath.h"
#include "platform/posix_calls.h"
#include "platform/posix_held.h"

using namespace posix;

namespace posix {

// Looks at the first bytes of the existing regular file `fd` (described by `info`): OwnPage,
// Empty, Foreign, or Unreadable when they cannot be read. The read leaves the offset at 0 for the
// page written next. Where the file could not be opened with O_NOATIME, the old access time is put
// back after the look, as far as permissions allow.
PageFileState HeadOf(int fd, const struct stat& info, bool accessTimeKept, std::string_view marker,
                     SameBytes* page) {
  // As much as the file holds, so one read does where a page is shorter than the look; left
  // uninitialised, as only the bytes read are looked at.
  const std::size_t size = std::min<std::size_t>(
      kOwnPageLookSize, info.st_size > 0 ? static_cast<std::size_t>(info.st_size) : 0);
  const std::unique_ptr<char[]> head(new (std::nothrow) char[size + 1]);
  const ssize_t got = head ? ReadFully(fd, head.get(), size, 0) : -1;
  const PageFileState state = HeadState(head.get(), got, marker);
  // The look read the whole file when it is no longer than the look: its bytes are all known.
  if (page != nullptr)
    page->same = got == info.st_size && static_cast<std::size_t>(got) == page->bytes.size() &&
                 (got == 0 || std::memcmp(head.get(), page->bytes.data(), page->bytes.size()) == 0);
  if (!MayBeReplaced(state) && !accessTimeKept) {
    const struct timespec times[2] = {info.st_atim, {0, UTIME_OMIT}};
    PosixCalls.futimens(fd, times);
  }
  return state;
}

// True when the existing regular file `fd` is empty or a page of ours (HeadOf).
bool LooksLikeOwnPage(int fd, const struct stat& info, bool accessTimeKept,
                      std::string_view marker) {
  return MayBeReplaced(HeadOf(fd, info, accessTimeKept, marker));
}

// LooksLikeOwnPage for a page that another run may be writing at this very moment: a long page
// appears a few KiB at a time, so a look that finds no marker is made again while the file
// grows, and the part of another run's page seen first is not taken for a file of the user's.
// *info describes the file as last looked at.
bool LooksLikeOwnPageWhileWritten(int fd, struct stat* info, bool accessTimeKept,
                                  std::string_view marker, SameBytes* page) {
  for (int look = 0; look < 4; ++look) {
    const PageFileState state = HeadOf(fd, *info, accessTimeKept, marker, page);
    if (MayBeReplaced(state)) return true;
    struct stat now;
    if (state != PageFileState::Foreign || info->st_size >= static_cast<off_t>(kOwnPageLookSize) ||
        PosixCalls.fstat(fd, &now) != 0 || now.st_size == info->st_size)
      return false;
    *info = now;
  }
  return false;
}

int FolderOfPage(const std::string& name, std::string* file) {
  const std::size_t slash = name.rfind('/');
  *file = name.substr(slash + 1);  // npos + 1 is 0
  if (slash == std::string::npos) return AT_FDCWD;
  return PageFolder(std::string_view(name).substr(0, slash));
}

bool IsFolderEntryName(const std::string& file) {
  return file.empty() || file == "." || file == "..";
}

int DescribeEntry(int folder, const std::string& file, struct stat* info) {
  const int entry = PosixCalls.openat(folder, file.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC, 0);
  if (entry < 0) return -1;
  const int described = PosixCalls.fstat(entry, info);
  const int saved = errno;
  PosixCalls.close(entry);
  errno = saved;
  return described;
}

}  // namespace posix

namespace {

PageFileState Unreachable(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return PageFileState::FolderMissing;
    case EXDEV:  // openat2 refused a step out of the working folder
    case ELOOP:
      return PageFileState::LeadsOutside;
    case EACCES:
    case EPERM:
    case EROFS:
      return PageFileState::NotWritable;
    default:
      return PageFileState::Failed;
  }
}

// True when a file can be created in the folder of the page `name`.
bool FolderOfPageWritable(const std::string& name) {
  const std::size_t slash = name.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : name.substr(0, slash + 1);
  return PosixCalls.access(folder.c_str(), W_OK | X_OK) == 0;
}

constexpr int kLookFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

// Looks at what stands under `file` in `folder`, following no link: Absent, Link, NotRegular,
// InUse, or what its first bytes say (HeadOf); its status in *info.
PageFileState LookAtEntry(int folder, const std::string& file, struct stat* info,
                          std::string_view marker) {
  if (DescribeEntry(folder, file, info) != 0) {
    return errno == ENOENT ? PageFileState::Absent : Unreachable(errno);
  }
  if (S_ISLNK(info->st_mode)) return PageFileState::Link;
  if (!S_ISREG(info->st_mode)) return PageFileState::NotRegular;
  if (IsHeld(*info)) return PageFileState::InUse;
  bool accessTimeKept = true;
  const int fd = OpenKeepingAccessTime(
      [&](int flags) { return PosixCalls.openat(folder, file.c_str(), flags | O_NOFOLLOW, 0); },
      kLookFlags, &accessTimeKept);
  if (fd < 0) return errno == EACCES ? PageFileState::Unreadable : Unreachable(errno);
  struct stat opened;
  PageFileState state = PageFileState::Failed;
  // The file read must be the one described: another may have taken the name in between.
  if (PosixCalls.fstat(fd, &opened) == 0 && SameFile(opened, *info))
    state = HeadOf(fd, opened, accessTimeKept, marker);
  PosixCalls.close(fd);
  return state;
}

// Renames `from` to `to` in `folder` without replacing anything that stands under `to`. Where
// the file system cannot refuse to replace, `to` is looked for first: the names moved to are
// hidden names unique to this process, or the page's own name that was just free.
int MoveWithoutReplacing(int folder, const std::string& from, const std::string& to) {
  if (PosixCalls.renameAt(folder, from.c_str(), folder, to.c_str(), RENAME_NOREPLACE) == 0)
    return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return -1;
  struct stat info;
  if (DescribeEntry(folder, to, &info) == 0) return errno = EEXIST, -1;
  if (errno != ENOENT) return -1;
  return PosixCalls.renameAt(folder, from.c_str(), folder, to.c_str(), 0);
}

// Moves `file` aside in `folder` under a hidden name of its own (*aside): a leading dot, this
// process's id, and ".tmp", so it can never be a page or an image a run looks for. False when
// it could not be moved, with the reason in *failure.
bool MoveAside(int folder, const std::string& file, std::string* aside, PageFileState* failure) {
  *failure = PageFileState::Failed;
  for (int attempt = 0; attempt < 100; ++attempt) {
    *aside = "." + file + "." + std::to_string(::getpid()) +
             (attempt > 0 ? "-" + std::to_string(attempt) : "") + ".tmp";
    if (MoveWithoutReplacing(folder, file, *aside) == 0) return true;
    if (errno == EEXIST) continue;
    if (errno == ENOENT) {
      *failure = PageFileState::Absent;  // gone meanwhile
    } else if (Unreachable(errno) == PageFileState::NotWritable) {
      *failure = PageFileState::NotWritable;
    }
    return false;
  }
  return false;
}

}  // namespace

PageFileLook LookAtPageFile(const std::string& name, std::string_view marker) {
  PageFileLook look;
  std::string file;
  const int folder = FolderOfPage(name, &file);
  if (folder == -1) {
    look.state = Unreachable(errno);
    return look;
  }
  if (IsFolderEntryName(file)) {
    look.state = PageFileState::NotRegular;
    return look;
  }
  struct stat info;
  if (DescribeEntry(folder, file, &info) != 0) {
    look.state = errno == ENOENT ? PageFileState::Absent : Unreachable(errno);
    if (look.state == PageFileState::Absent) look.folderWritable = FolderOfPageWritable(name);
    return look;
  }
  if (S_ISLNK(info.st_mode)) {
    // A write follows a link that stays inside the working folder: the file it leads to.
    const int target = OpenBeneathWorkingFolder(name, O_PATH | O_CLOEXEC, 0);
    if (target < 0) {
      look.state = errno == ENOENT ? PageFileState::NotRegular : Unreachable(errno);
      return look;
    }
    const bool described = PosixCalls.fstat(target, &info) == 0;
    PosixCalls.close(target);
    if (!described) return look;
    if (S_ISLNK(info.st_mode)) {  // the walk that stands in for openat2 follows no link
      look.state = PageFileState::Link;
      return look;
    }
  }
  look.identity = IdentityOf(info);
  if (!S_ISREG(info.st_mode)) {
    look.state = PageFileState::NotRegular;
  } else if (IsHeld(info)) {
    look.state = PageFileState::InUse;
  } else {
    bool accessTimeKept = true;
    const int fd = OpenExistingFile(name, &accessTimeKept, kLookFlags);
    if (fd < 0) {
      look.state = errno == EACCES ? PageFileState::Unreadable : Unreachable(errno);
      return look;
    }
    look.state = HeadOf(fd, info, accessTimeKept, marker);
    PosixCalls.close(fd);
  }
  if (look.state == PageFileState::OwnPage || look.state == PageFileState::Empty) {
    if (PosixCalls.access(name.c_str(), W_OK) != 0) look.state = PageFileState::NotWritable;
    look.folderWritable = FolderOfPageWritable(name);
  }
  return look;
}

// The page is first looked at where it stands, so that a file of someone else's is never moved.
// A page of ours is then moved aside in its folder under a hidden name of its own, never
// replacing anything, and looked at again there: that look is about the very file that was
// moved, which no other program knows by that name, so the file removed is the one decided on;
// anything else goes back under its name. The folder is opened beneath the working folder and
// every name is resolved in it without following a link, so nothing outside is ever reached.
PageFileState RemoveOwnPage(const std::string& name, std::string_view marker) {
  std::string file;
  const int folder = FolderOfPage(name, &file);
  if (folder == -1) {
    const PageFileState state = Unreachable(errno);
    return state == PageFileState::FolderMissing ? PageFileState::Absent : state;
  }
  if (IsFolderEntryName(file)) return PageFileState::NotRegular;
  struct stat info;
  PageFileState state = LookAtEntry(folder, file, &info, marker);
  if (state != PageFileState::OwnPage) return state;
  std::string aside;
  if (!MoveAside(folder, file, &aside, &state)) return state;
  state = LookAtEntry(folder, aside, &info, marker);
  if (state == PageFileState::Absent) return state;  // removed by someone else meanwhile
  if (state == PageFileState::OwnPage && PosixCalls.unlinkAt(folder, aside.c_str(), 0) == 0)
    return PageFileState::Removed;
  const int error = errno;
  if (MoveWithoutReplacing(folder, aside, file) != 0) return PageFileState::LeftAside;
  if (state != PageFileState::OwnPage) return state;
  return Unreachable(error) == PageFileState::NotWritable ? PageFileState::NotWritable
                                                          : PageFileState::Failed;
}

std::string FileNameKey(const std::string& name) {
  std::string key;
  for (std::string_view segment : ResolvedSegments(name, IsSlash))
    key.append(key.empty() ? "" : "/").append(segment);
  return key;
}

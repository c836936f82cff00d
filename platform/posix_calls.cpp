// ==== The call table ===========================================================================
// Every system call the POSIX file layer makes goes through PosixCalls (posix_calls.h), so tests
// can fail the Nth open, read, write, close or rename of a run and check that it ends cleanly.
// Also here: reading and writing whole runs of bytes through the table, continuing short ones.
#include "platform/posix_calls.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>
#if defined(SYS_openat2)
#include <linux/openat2.h>
#endif
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>  // renameat, renameat2

using namespace posix;

namespace {

int SystemOpen(const char* path, int flags, mode_t mode) {
  return ::open(path, flags, mode);
}

int SystemOpenAt(int folder, const char* name, int flags, mode_t mode) {
  return ::openat(folder, name, flags, mode);
}

int SystemStat(const char* path, struct stat* info) {
  return ::stat(path, info);
}

int SystemRename(const char* from, const char* to, unsigned flags) {
  if (flags == 0) return ::renameat(AT_FDCWD, from, AT_FDCWD, to);
  return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, flags);
}

int SystemRenameAt(int fromFolder, const char* from, int toFolder, const char* to, unsigned flags) {
  return ::renameat2(fromFolder, from, toFolder, to, flags);
}

// Default: the kernel resolves the whole path and refuses any step (a "..", an absolute or a
// linked name) that would leave the working folder. Without openat2 the caller falls back.
int SystemOpenBeneath(const char* path, int flags, mode_t mode) {
#if defined(SYS_openat2)
  struct open_how how {};
  how.flags = static_cast<unsigned>(flags);
  how.mode = (flags & O_CREAT) != 0 ? mode : 0;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
  return static_cast<int>(::syscall(SYS_openat2, AT_FDCWD, path, &how, sizeof how));
#else
  (void)path, (void)flags, (void)mode;
  errno = ENOSYS;
  return -1;
#endif
}

}  // namespace

PosixCallTable DefaultPosixCalls() {
  PosixCallTable calls{};
  calls.open = SystemOpen;
  calls.fstat = ::fstat;
  calls.read = ::read;
  calls.close = ::close;
  calls.openBeneath = SystemOpenBeneath;
  calls.openat = SystemOpenAt;
  calls.write = ::write;
  calls.ftruncate = ::ftruncate;
  calls.unlink = ::unlink;
  calls.linkAt = ::linkat;
  calls.rename = SystemRename;
  calls.renameAt = SystemRenameAt;
  calls.unlinkAt = ::unlinkat;
  calls.pread = ::pread;
  calls.futimens = ::futimens;
  calls.stat = SystemStat;
  calls.getcwd = ::getcwd;
  calls.chdir = ::chdir;
  calls.readlink = ::readlink;
  calls.access = ::access;
  calls.getdents64 = ::getdents64;
  calls.kill = ::kill;
  calls.fstatat = ::fstatat;
  calls.mkdirat = ::mkdirat;
  return calls;
}

PosixCallTable PosixCalls = DefaultPosixCalls();

namespace posix {

// Reads up to `size` bytes from the current offset, or with `at` from that offset without moving
// the current one; fewer when the file is shorter or shrank meanwhile. -1 on a read error.
ssize_t ReadFully(int fd, char* buffer, size_t size, off_t at) {
  size_t done = 0;
  while (done < size) {
    const size_t count = std::min<size_t>(size - done, SSIZE_MAX);
    const ssize_t n =
        at < 0 ? PosixCalls.read(fd, buffer + done, count)
               : PosixCalls.pread(fd, buffer + done, count, at + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

// Writes `size` bytes, continuing short writes; returns how many were written.
size_t WriteFully(int fd, const char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = PosixCalls.write(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

}  // namespace posix

// The system calls of the POSIX file layer, in one replaceable table so tests can make a call
// fail and check that the program still ends cleanly.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>

struct PosixCallTable {
  int (*open)(const char* path, int flags, mode_t mode);
  int (*fstat)(int fd, struct stat* info);
  ssize_t (*read)(int fd, void* buffer, size_t count);
  int (*close)(int fd);
  // Output files: opened beneath the working folder, then written and closed through these.
  // openBeneath is openat2(AT_FDCWD, path, flags, mode, RESOLVE_BENEATH); it fails with ENOSYS
  // where the kernel lacks openat2, and `openat` then resolves the path one folder at a time.
  int (*openBeneath)(const char* path, int flags, mode_t mode);
  int (*openat)(int folder, const char* name, int flags, mode_t mode);
  ssize_t (*write)(int fd, const void* buffer, size_t count);
  // The look at an existing file before it is replaced: its first bytes, read without moving
  // the offset the page is then written from, and the access time that read must not change
  // (fcntl sets O_NOATIME; futimens puts the time back where O_NOATIME is not permitted).
  ssize_t (*pread)(int fd, void* buffer, size_t count, off_t offset);
  int (*fcntl)(int fd, int command, int argument);
  int (*futimens)(int fd, const struct timespec times[2]);
};

extern PosixCallTable PosixCalls;

// The calls as the system provides them.
PosixCallTable DefaultPosixCalls();

// The system calls of the POSIX file layer, in one replaceable table so tests can make a call
// fail and check that the program still ends cleanly.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

struct PosixCallTable {
  int (*open)(const char* path, int flags, mode_t mode);
  int (*fstat)(int fd, struct stat* info);
  ssize_t (*read)(int fd, void* buffer, size_t count);
  int (*close)(int fd);
};

extern PosixCallTable PosixCalls;

// The calls as the system provides them.
PosixCallTable DefaultPosixCalls();

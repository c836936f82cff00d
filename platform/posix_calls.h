// ==== The call table ===========================================================================
// The system calls of the POSIX file layer, every one of them in one replaceable table, so tests
// can make any call fail and check that the program still ends cleanly; and reading and writing
// whole runs of bytes through it.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>

struct PosixCallTable {
  // The contact sheet: opened, described and read whole.
  int (*open)(const char* path, int flags, mode_t mode);
  int (*fstat)(int fd, struct stat* info);
  ssize_t (*read)(int fd, void* buffer, size_t count);
  int (*close)(int fd);
  // Output files: opened beneath the working folder, then written and closed through these.
  // openBeneath is openat2(AT_FDCWD, path, flags, mode, RESOLVE_BENEATH); it fails with ENOSYS
  // where the kernel lacks openat2, and `openat` then resolves the path one folder at a time
  // (each folder it opened closed again with `close`). A page in a subfolder is created with
  // openat in its folder, opened once for the run with openBeneath (O_PATH). An earlier page
  // that was longer is cut to the new length with ftruncate; a file made only to be refused, or
  // not written whole, is removed with unlink.
  int (*openBeneath)(const char* path, int flags, mode_t mode);
  int (*openat)(int folder, const char* name, int flags, mode_t mode);
  ssize_t (*write)(int fd, const void* buffer, size_t count);
  int (*ftruncate)(int fd, off_t length);
  int (*unlink)(const char* path);
  // The combined page is written into an unnamed file (openat with O_TMPFILE in its folder,
  // opened again by its /proc name) that linkat names once it is complete, never replacing
  // anything: its own name where that is free, else a hidden temporary name; where no unnamed
  // file can be made, it is written under that name. It is put in place with renameat2 (both
  // names relative to the working folder): RENAME_EXCHANGE over the file it replaces, which is
  // then looked at and removed, or RENAME_NOREPLACE where there is none.
  int (*linkAt)(int fromFolder, const char* from, int toFolder, const char* to, int flags);
  int (*rename)(const char* from, const char* to, unsigned flags);
  // A clean removes a page of ours by moving it aside in its folder under a hidden name, never
  // replacing anything (renameat2 with RENAME_NOREPLACE, both names relative to the folder's
  // descriptor), looking at it there, and removing it (unlinkat) or moving it back.
  int (*renameAt)(int fromFolder, const char* from, int toFolder, const char* to, unsigned flags);
  int (*unlinkAt)(int folder, const char* name, int flags);
  // The look at an existing file before it is replaced: its first bytes, read without moving
  // the offset the page is then written from, and the access time that read must not change
  // (the file is opened with O_NOATIME; futimens puts the time back where that is not
  // permitted).
  ssize_t (*pread)(int fd, void* buffer, size_t count, off_t offset);
  int (*futimens)(int fd, const struct timespec times[2]);
  // Names and folders: whether a name exists (the PREVIOUS icons), the working folder, and the
  // program's own place (for its help page).
  int (*stat)(const char* path, struct stat* info);
  char* (*getcwd)(char* buffer, size_t size);
  int (*chdir)(const char* path);
  ssize_t (*readlink)(const char* path, char* buffer, size_t size);
  int (*access)(const char* path, int mode);
  // A folder's names, read once where many of its images are looked for (ImageFileExists), and
  // those of the combined page's folder, for the hidden files that runs killed outright left.
  ssize_t (*getdents64)(int fd, void* buffer, size_t size);
  // Whether the process a hidden leftover is named for still runs: kill with signal 0 (ESRCH:
  // gone; EPERM: another user's, running).
  int (*kill)(pid_t process, int signal);
  // A folder of photos: each of its entries described in it (with AT_SYMLINK_NOFOLLOW, and a
  // link once more following it), its files' first bytes and the photos themselves read with
  // open, fstat, read and close above (the photo codec's reads too, from its threads).
  int (*fstatat)(int folder, const char* name, struct stat* info, int flags);
  // The folder of kestrune's beside the photos that holds their copies, made when the first copy
  // is written (its removal, once empty, is an unlinkAt with AT_REMOVEDIR).
  int (*mkdirat)(int folder, const char* name, mode_t mode);
};

extern PosixCallTable PosixCalls;

// ImageFileExists reads a folder once more than this many of its names were looked for; until
// then, and where the folder cannot be read, each name is a real look-up. Tests lower it.
extern int PosixLookupsBeforeListing;

// The calls as the system provides them.
PosixCallTable DefaultPosixCalls();

namespace posix {

// Reads up to `size` bytes from the current offset, or with `at` from that offset without moving
// the current one; fewer when the file is shorter or shrank meanwhile. -1 on a read error.
ssize_t ReadFully(int fd, char* buffer, size_t size, off_t at = -1);
// Writes `size` bytes, continuing short writes; returns how many were written.
size_t WriteFully(int fd, const char* data, size_t size);

}  // namespace posix

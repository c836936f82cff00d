// Files and folders on POSIX.
#include "shell/platform_posix.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <new>
#include <vector>

#include "shell/platform.h"

struct PlatformFile {
  int fd;
};

struct PlatformMapping {
  PlatformFile* file;
  size_t size;
  char* text = nullptr;
};

namespace {

int SystemOpen(const char* path, int flags, mode_t mode) {
  return ::open(path, flags, mode);
}

struct FileIdentity {
  dev_t device;
  ino_t inode;
  const void* owner;  // the PlatformFile or FILE* that holds the file open
};

// Files this process holds open. POSIX has no sharing mode, so CreateOutputFile compares
// identities instead: an output never replaces the contact sheet or an open output page.
std::vector<FileIdentity> HeldFiles;

void Hold(const struct stat& info, const void* owner) {
  HeldFiles.push_back({info.st_dev, info.st_ino, owner});
}

void Release(const void* owner) {
  HeldFiles.erase(std::remove_if(HeldFiles.begin(), HeldFiles.end(),
                                 [owner](const FileIdentity& f) { return f.owner == owner; }),
                  HeldFiles.end());
}

bool IsHeld(const struct stat& info) {
  return std::any_of(HeldFiles.begin(), HeldFiles.end(), [&info](const FileIdentity& f) {
    return f.device == info.st_dev && f.inode == info.st_ino;
  });
}

// Reads up to `size` bytes; fewer when the file shrank meanwhile. -1 on a read error.
ssize_t ReadFully(int fd, char* buffer, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = PosixCalls.read(fd, buffer + done, std::min<size_t>(size - done, SSIZE_MAX));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

}  // namespace

PosixCallTable DefaultPosixCalls() {
  return {SystemOpen, ::fstat, ::read, ::close};
}

PosixCallTable PosixCalls = DefaultPosixCalls();

bool FileExists(const std::string& name) {
  struct stat info;
  return ::stat(name.c_str(), &info) == 0;
}

PlatformFile* OpenFileReadOnly(const std::string& path) {
  // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below.
  const int fd = PosixCalls.open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0);
  if (fd < 0) return nullptr;
  struct stat info;
  if (PosixCalls.fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    PosixCalls.close(fd);
    return nullptr;
  }
  PlatformFile* file = new PlatformFile{fd};
  Hold(info, file);
  return file;
}

PlatformMapping* CreateReadOnlyMapping(PlatformFile* file) {
  struct stat info;
  if (PosixCalls.fstat(file->fd, &info) != 0 || info.st_size <= 0) return nullptr;
  if (static_cast<unsigned long long>(info.st_size) >= SIZE_MAX) return nullptr;
  return new PlatformMapping{file, static_cast<size_t>(info.st_size)};
}

const char* MapWholeView(PlatformMapping* mapping, std::size_t* length) {
  // The whole file is read into a buffer one byte longer than the file, so the text is always
  // terminated and a file changed by another program cannot fault a scan.
  char* text = new (std::nothrow) char[mapping->size + 1];
  if (text == nullptr) return nullptr;
  const ssize_t got = ReadFully(mapping->file->fd, text, mapping->size);
  if (got < 0) {
    delete[] text;
    return nullptr;
  }
  text[got] = '\0';
  delete[] mapping->text;
  mapping->text = text;
  *length = std::strlen(text);
  return text;
}

void CloseFileHandle(PlatformFile* file) {
  Release(file);
  PosixCalls.close(file->fd);
  delete file;
}

void CloseMapping(PlatformMapping* mapping) {
  delete[] mapping->text;
  delete mapping;
}

std::string GetWorkingFolder() {
  std::vector<char> buffer(PATH_MAX);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return std::string();
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

bool SetWorkingFolder(const std::string& folder) {
  return ::chdir(folder.c_str()) == 0;
}

// On POSIX only "/" separates folders; "\" and ":" are ordinary characters of a name.
std::size_t FolderPrefixLength(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? 0 : slash + 1;
}

std::FILE* CreateOutputFile(const std::string& name) {
  // Opened without truncating, so a file that must not be replaced is left untouched.
  const int fd =
      PosixCalls.open(name.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  struct stat info;
  // A regular file is truncated only when it has bytes, and keeps O_NONBLOCK, which regular
  // files ignore: two to three system calls fewer for every page of a run.
  const bool usable =
      PosixCalls.fstat(fd, &info) == 0 && !IsHeld(info) && !S_ISFIFO(info.st_mode) &&
      (!S_ISREG(info.st_mode) || info.st_size == 0 || ::ftruncate(fd, 0) == 0) &&
      (S_ISREG(info.st_mode) || ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0);
  std::FILE* stream = usable ? ::fdopen(fd, "wb") : nullptr;
  if (stream == nullptr) {
    PosixCalls.close(fd);
    return nullptr;
  }
  Hold(info, stream);
  return stream;
}

bool CloseOutputFile(std::FILE* stream) {
  Release(stream);
  const bool flushed = std::fflush(stream) == 0 && std::ferror(stream) == 0;
  return std::fclose(stream) == 0 && flushed;
}

namespace {

// The folder of the running executable, separator included; empty when it cannot be read.
std::string ExecutableFolder() {
  std::vector<char> buffer(PATH_MAX);
  for (;;) {
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return std::string();
    if (static_cast<std::size_t>(length) < buffer.size()) {
      const std::string path(buffer.data(), static_cast<std::size_t>(length));
      return path.substr(0, FolderPrefixLength(path));
    }
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

// Beside the executable in a build folder; under share/doc/kestrune when installed.
std::string HelpPageAddress() {
  const std::string folder = ExecutableFolder();
  if (folder.empty()) return std::string();
  for (const char* place : {"help.html", "../share/doc/kestrune/help.html"}) {
    const std::string candidate = folder + place;
    if (::access(candidate.c_str(), R_OK) == 0) return candidate;
  }
  return std::string();
}

// ==== Reading the contact sheet ================================================================
// The sheet is opened without waiting (a FIFO is refused, not waited on), held so that no page
// is ever written over it, and read whole into memory, so a program rewriting it meanwhile
// cannot disturb the run.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "platform/platform.h"
#include "platform/posix_beneath.h"
#include "platform/posix_calls.h"
#include "platform/posix_held.h"

using namespace posix;

struct PlatformFile {
  int fd;
};

struct PlatformText {
  PlatformFile* file;
  size_t size;
  char* text = nullptr;
};

PlatformFile* OpenFileReadOnly(const std::string& path) {
  ForgetFolders();  // a new contact sheet is a new run: the folders are read afresh
  // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below.
  const int fd = PosixCalls.open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0);
  if (fd < 0) return nullptr;
  struct stat info;
  if (PosixCalls.fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    PosixCalls.close(fd);
    return nullptr;
  }
  PlatformFile* file = new PlatformFile{fd};
  Hold(file, info);
  return file;
}

PlatformText* OpenWholeText(PlatformFile* file) {
  struct stat info;
  if (PosixCalls.fstat(file->fd, &info) != 0 || info.st_size <= 0) return nullptr;
  if (static_cast<unsigned long long>(info.st_size) >= SIZE_MAX) return nullptr;
  return new PlatformText{file, static_cast<size_t>(info.st_size)};
}

const char* ViewWholeText(PlatformText* mapping, std::size_t* length) {
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

void CloseFile(PlatformFile* file) {
  Release(file);
  PosixCalls.close(file->fd);
  delete file;
}

void CloseWholeText(PlatformText* mapping) {
  delete[] mapping->text;
  delete mapping;
}

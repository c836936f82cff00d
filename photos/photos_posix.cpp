// The photo operations on POSIX: the folder's entries and files' first bytes by plain system
// calls, and the photo codec from its module, loaded with dlopen on first use.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#include "kestrune_version.h"
#include "photos/photo_codec.h"
#include "photos/photo_jobs.h"
#include "photos/photos.h"
#include "platform/platform.h"

namespace {

const KestrunePhotoCodec* Codec = nullptr;

long long NanosecondsOf(const struct timespec& time) {
  return static_cast<long long>(time.tv_sec) * 1000000000LL + time.tv_nsec;
}

// Whether the link `name` in the working folder leads to a file in it: its target resolved
// whole must lie directly in the working folder.
bool LinkStaysInside(const std::string& name) {
  char folder[PATH_MAX], target[PATH_MAX];
  if (::realpath(".", folder) == nullptr || ::realpath(name.c_str(), target) == nullptr)
    return false;
  const std::size_t length = std::strlen(folder);
  return std::strncmp(target, folder, length) == 0 && target[length] == '/' &&
         std::strchr(target + length + 1, '/') == nullptr;
}

}  // namespace

bool IsFolderPath(const std::string& path) {
  struct stat info;
  return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool ListWorkingFolder(std::vector<FolderEntry>* entries) {
  DIR* folder = ::opendir(".");
  if (folder == nullptr) return false;
  while (const dirent* entry = ::readdir(folder)) {
    FolderEntry found;
    found.name = entry->d_name;
    if (found.name == "." || found.name == "..") continue;
    struct stat info;
    if (::fstatat(::dirfd(folder), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISLNK(info.st_mode)) {
      const bool inside = LinkStaysInside(found.name) && ::stat(entry->d_name, &info) == 0;
      found.kind = !inside                 ? EntryKind::LinkOutside
                   : S_ISREG(info.st_mode) ? EntryKind::Regular
                   : S_ISDIR(info.st_mode) ? EntryKind::Folder
                                           : EntryKind::Other;
    } else {
      found.kind = S_ISREG(info.st_mode)   ? EntryKind::Regular
                   : S_ISDIR(info.st_mode) ? EntryKind::Folder
                                           : EntryKind::Other;
    }
    found.size = static_cast<unsigned long long>(info.st_size);
    found.modified = NanosecondsOf(info.st_mtim);
    entries->push_back(std::move(found));
  }
  ::closedir(folder);
  return true;
}

bool ReadFileHead(const std::string& name, std::size_t limit, std::string* head) {
  const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  struct stat info;
  bool read = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  if (read) {
    // Room for what the file holds (one byte more, to see it end), never the whole limit.
    limit = std::min(limit, static_cast<std::size_t>(info.st_size) + 1);
    head->resize(limit);
    std::size_t got = 0;
    while (got < limit) {
      const ssize_t n = ::read(fd, &(*head)[got], limit - got);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) read = false;
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    head->resize(got);
  }
  ::close(fd);
  return read;
}

bool OpenPhotoCodec(std::string* why) {
  if (Codec != nullptr) return true;
  const std::string folder = ProgramFolder();
  *why = "no program folder";
  for (const char* place : {KESTRUNE_PHOTOS_MODULE, KESTRUNE_PHOTOS_FROM_PROGRAM}) {
    if (folder.empty()) break;
    void* module = ::dlopen((folder + place).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
      *why = ::dlerror();
      continue;
    }
    // The module stays loaded for the life of the process.
    const auto open =
        reinterpret_cast<const KestrunePhotoCodec* (*)()>(::dlsym(module, kPhotoCodecEntry));
    Codec = open != nullptr ? open() : nullptr;
    if (Codec != nullptr && Codec->version == kPhotoCodecVersion) {
      // libvips' threads are ended before the process's own exit handlers tear it down.
      std::atexit([] { Codec->finish(); });
      return true;
    }
    Codec = nullptr;
    *why = "the photo module could not start libvips";
    return false;
  }
  return false;
}

const KestrunePhotoCodec& LoadedPhotoCodec() {
  return *Codec;
}

unsigned PhotoThreads() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 2 : cores;
}

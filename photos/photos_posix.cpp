// The photo operations on POSIX: the folder's entries and files' first bytes, and the photo
// codec from its module, loaded with dlopen on first use. Every file call, the codec's reads of
// the photos among them, goes through the platform's call table (posix_calls.h).
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <set>
#include <thread>
#include <utility>

#include "kestrune_version.h"
#include "photos/photo_codec.h"
#include "photos/photo_jobs.h"
#include "photos/photos.h"
#include "platform/platform.h"
#include "platform/posix_calls.h"

namespace {

const KestrunePhotoCodec* Codec = nullptr;

long long NanosecondsOf(const struct timespec& time) {
  return static_cast<long long>(time.tv_sec) * 1000000000LL + time.tv_nsec;
}

// The names of the folder open as `folder`, "." and ".." left out; false when a read failed.
bool ReadNames(int folder, std::vector<std::string>* names) {
  std::vector<char> buffer(32768);
  ssize_t got;
  while ((got = PosixCalls.getdents64(folder, buffer.data(), buffer.size())) > 0) {
    for (ssize_t at = 0; at < got;) {
      const auto* entry = reinterpret_cast<const struct dirent64*>(buffer.data() + at);
      at += entry->d_reclen;
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names->push_back(name);
    }
  }
  return got == 0;
}

EntryKind KindOf(const struct stat& info) {
  return S_ISREG(info.st_mode)   ? EntryKind::Regular
         : S_ISDIR(info.st_mode) ? EntryKind::Folder
                                 : EntryKind::Other;
}

// A link leads to a file directly in the folder when what it resolves to is one of the folder's
// own entries that are no links: anything else (outside, deeper, the folder itself, nowhere) is
// not followed.
void ResolveLinks(int folder, const std::vector<struct stat>& described,
                  std::vector<FolderEntry>* entries) {
  std::set<std::pair<dev_t, ino_t>> own;  // filled at the first link
  bool filled = false;
  for (std::size_t i = 0; i < entries->size(); ++i) {
    if (!S_ISLNK(described[i].st_mode)) continue;
    for (std::size_t k = 0; !filled && k < described.size(); ++k)
      if (!S_ISLNK(described[k].st_mode)) own.emplace(described[k].st_dev, described[k].st_ino);
    filled = true;
    FolderEntry& entry = (*entries)[i];
    struct stat target;
    const bool inside = PosixCalls.fstatat(folder, entry.name.c_str(), &target, 0) == 0 &&
                        own.count({target.st_dev, target.st_ino}) != 0;
    entry.kind = inside ? KindOf(target) : EntryKind::LinkOutside;
    if (inside) {
      entry.size = static_cast<unsigned long long>(target.st_size);
      entry.modified = NanosecondsOf(target.st_mtim);
    }
  }
}

// The entries named, each described without following a link; false when one that is still
// there cannot be (a photo left out would be taken for one that is gone).
bool DescribeEntries(int folder, const std::vector<std::string>& names,
                     std::vector<FolderEntry>* entries) {
  std::vector<struct stat> described;
  for (const std::string& name : names) {
    struct stat info;
    if (PosixCalls.fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno == ENOENT) continue;  // removed since the folder was read
      return false;
    }
    FolderEntry found;
    found.name = name;
    found.kind = KindOf(info);
    found.link = S_ISLNK(info.st_mode);
    found.size = static_cast<unsigned long long>(info.st_size);
    found.modified = NanosecondsOf(info.st_mtim);
    entries->push_back(std::move(found));
    described.push_back(info);
  }
  ResolveLinks(folder, described, entries);
  return true;
}

// The codec's reads of the photos, through the call table.
int OpenPhoto(const char* path, int flags) {
  return PosixCalls.open(path, flags, 0);
}

int DescribePhoto(int fd, struct stat* info) {
  return PosixCalls.fstat(fd, info);
}

std::ptrdiff_t ReadPhoto(int fd, void* buffer, std::size_t count) {
  return PosixCalls.read(fd, buffer, count);
}

int ClosePhoto(int fd) {
  return PosixCalls.close(fd);
}

const KestrunePhotoFiles kPhotoFiles{OpenPhoto, DescribePhoto, ReadPhoto, ClosePhoto};

}  // namespace

bool IsFolderPath(const std::string& path) {
  struct stat info;
  return !path.empty() && PosixCalls.stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool ListWorkingFolder(std::vector<FolderEntry>* entries) {
  return ListFolder(".", entries);
}

bool ListFolder(const std::string& name, std::vector<FolderEntry>* entries) {
  const int folder =
      PosixCalls.openat(AT_FDCWD, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0);
  if (folder < 0) return false;
  std::vector<std::string> names;
  const bool listed = ReadNames(folder, &names) && DescribeEntries(folder, names, entries);
  PosixCalls.close(folder);
  if (!listed) entries->clear();
  return listed;
}

bool MakeFolder(const std::string& name) {
  if (PosixCalls.mkdirat(AT_FDCWD, name.c_str(), 0777) == 0) return true;
  struct stat info;
  return errno == EEXIST &&
         PosixCalls.fstatat(AT_FDCWD, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
         S_ISDIR(info.st_mode);
}

bool RemoveEmptyFolder(const std::string& name) {
  return PosixCalls.unlinkAt(AT_FDCWD, name.c_str(), AT_REMOVEDIR) == 0;
}

bool ReadFileHead(const std::string& name, std::size_t limit, std::string* head) {
  const int fd =
      PosixCalls.open(name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0);
  if (fd < 0) return false;
  struct stat info;
  bool read = PosixCalls.fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  if (read) {
    // Room for what the file holds (one byte more, to see it end), never the whole limit.
    limit = std::min(limit, static_cast<std::size_t>(info.st_size) + 1);
    head->resize(limit);
    std::size_t got = 0;
    while (got < limit) {
      const ssize_t n = PosixCalls.read(fd, &(*head)[got], limit - got);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) read = false;
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    head->resize(got);
  }
  PosixCalls.close(fd);  // only read: nothing to lose
  return read;
}

bool OpenPhotoCodec(std::string* why) {
  if (Codec != nullptr) return true;
  const std::string folder = ProgramFolder();
  std::string reason = "no program folder";
  // What is missing, as the user is told it.
  const auto missing = [why, &reason] {
    *why = "the photo module " KESTRUNE_PHOTOS_MODULE " (" + reason + ")";
    return false;
  };
  for (const char* place : {KESTRUNE_PHOTOS_MODULE, KESTRUNE_PHOTOS_FROM_PROGRAM}) {
    if (folder.empty()) break;
    void* module = ::dlopen((folder + place).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
      reason = ::dlerror();
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
    reason = "the photo module could not start libvips";
    return missing();
  }
  return missing();
}

const KestrunePhotoCodec& LoadedPhotoCodec() {
  return *Codec;
}

const KestrunePhotoFiles* PhotoFiles() {
  return &kPhotoFiles;
}

unsigned PhotoThreads() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 2 : cores;
}

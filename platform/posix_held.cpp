// ==== Held files and identities ================================================================
// The files this process holds open, kept as a short list of identities: a run holds the contact
// sheet and, while the combined page is written, that page's file and the file it replaces.
#include "platform/posix_held.h"

#include <algorithm>
#include <vector>

namespace {

struct HeldFile {
  const void* owner;  // the PlatformFile or FILE* that holds the file open
  dev_t device;
  ino_t inode;
};

std::vector<HeldFile> HeldFiles;

}  // namespace

namespace posix {

void Hold(const void* owner, const struct stat& info) {
  HeldFiles.push_back({owner, info.st_dev, info.st_ino});
}

void Release(const void* owner) {
  HeldFiles.erase(std::remove_if(HeldFiles.begin(), HeldFiles.end(),
                                 [owner](const HeldFile& f) { return f.owner == owner; }),
                  HeldFiles.end());
}

bool IsHeld(const struct stat& info) {
  for (const HeldFile& held : HeldFiles) {
    if (held.device == info.st_dev && held.inode == info.st_ino) return true;
  }
  return false;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::string IdentityOf(const struct stat& info) {
  return std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
}

}  // namespace posix

// ==== Folder listings ==========================================================================
// FileExists, and ImageFileExists answered from one read of a folder: the PREVIOUS icons a run
// looks for cost no system call per image once a folder has been asked often enough. The
// answers are those of stat (the tests compare them); a new contact sheet or working folder
// forgets every listing.
#include "platform/posix_listings.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/name_set.h"
#include "platform/path_segments.h"
#include "platform/platform.h"
#include "platform/posix_calls.h"

using namespace posix;

// A folder asked only a few times is not read: a sheet that links three photos of a folder of
// thousands looks those up one by one. Beyond that, reading pays (measured: from folders of five
// images on), and a gallery folder is read once.
int PosixLookupsBeforeListing = 16;

bool FileExists(const std::string& name) {
  struct stat info;
  return PosixCalls.stat(name.c_str(), &info) == 0;
}

namespace {

// The names ending in ".jpg" of one folder, read once. Symbolic links are kept apart: only a
// real look-up tells whether one leads to a file.
struct FolderListing {
  int lookups = 0;  // names looked up for real before the folder was read
  bool read = false;
  bool usable = false;   // read completely
  bool missing = false;  // no such folder (or not a folder): nothing can be found in it
  NameSet files;
  NameSet links;
};

// Folders relative to the working folder, so valid for one working folder and one run.
std::unordered_map<std::string, FolderListing> Listings;
// The folders asked last, asked again next as a rule: a gallery folder and its thumbnail
// folder, image by image. Kept by name so that no look-up hashes a name.
struct RecentFolder {
  std::string name;
  FolderListing* listing = nullptr;  // stays in place while the map grows
};
RecentFolder RecentFolders[4];
std::size_t NextRecentFolder = 0;

FolderListing& ListingOf(std::string_view folder) {
  for (const RecentFolder& recent : RecentFolders) {
    if (recent.listing != nullptr && recent.name == folder) return *recent.listing;
  }
  RecentFolder& recent = RecentFolders[NextRecentFolder++ % std::size(RecentFolders)];
  recent.name.assign(folder);
  recent.listing = &Listings[recent.name];
  return *recent.listing;
}

bool EndsWithJpg(std::string_view name) {
  return name.size() > 4 && name.compare(name.size() - 4, 4, ".jpg") == 0;
}

// A name a listing can answer for: relative, ending in ".jpg", every segment a plain name (not
// empty, "." or ".."), no control byte. Anything else takes a real look-up. Sets *slash to the
// position of its last "/" (npos when it has none).
bool IsListable(const std::string& name, std::size_t* slash) {
  if (name.empty() || name.front() == '/' || !EndsWithJpg(name)) return false;
  if (std::any_of(name.begin(), name.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
    return false;
  *slash = name.rfind('/');
  // The last segment ends in ".jpg": it is a plain name; the folders must be too.
  return WalkSegments(name, IsSlash, FileSystemStep,
                      [](std::string_view, SegmentStep step, bool last) {
                        return last || step == SegmentStep::Down;
                      });
}

// Reads the names of `folder` that end in ".jpg"; false when it cannot be read whole, or when
// its entries could not be looked at (a folder that cannot be searched: stat fails in it).
// A folder that does not exist, or is no folder, is noted as missing: a look-up by name of any
// file in it fails too.
bool ReadFolder(const std::string& folder, FolderListing* listing) {
  const char* path = folder.empty() ? "." : folder.c_str();
  const auto missing = [listing] {
    listing->missing = errno == ENOENT || errno == ENOTDIR;
    return false;
  };
  if (PosixCalls.access(path, X_OK) != 0) {
    // A file that cannot be searched may be no folder at all.
    struct stat info;
    if (errno == EACCES && PosixCalls.stat(path, &info) == 0 && !S_ISDIR(info.st_mode))
      errno = ENOTDIR;
    return missing();
  }
  const int fd = PosixCalls.openat(AT_FDCWD, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (fd < 0) return missing();
  const bool whole = ForEachFolderEntry(fd, [listing](std::string_view name, unsigned char type) {
    if (!EndsWithJpg(name)) return;
    const bool link = type == DT_LNK || type == DT_UNKNOWN;
    AddName(link ? listing->links : listing->files, name);
  });
  PosixCalls.close(fd);
  SortNames(listing->files);
  SortNames(listing->links);
  return whole;
}

}  // namespace

namespace posix {

bool ForEachFolderEntry(int fd, const std::function<void(std::string_view, unsigned char)>& visit) {
  std::vector<char> buffer(32768);
  ssize_t got;
  while ((got = PosixCalls.getdents64(fd, buffer.data(), buffer.size())) > 0) {
    for (ssize_t at = 0; at < got;) {
      const auto* entry = reinterpret_cast<const struct dirent64*>(buffer.data() + at);
      at += entry->d_reclen;
      visit(std::string_view(entry->d_name), entry->d_type);
    }
  }
  return got == 0;
}

// Everything a run learns of its folders is forgotten for the next one.
void ForgetListings() {
  Listings.clear();
  for (RecentFolder& recent : RecentFolders) recent.listing = nullptr;
}

}  // namespace posix

bool ImageFileExists(const std::string& name) {
  std::size_t slash;
  if (!IsListable(name, &slash)) return FileExists(name);
  const std::string_view folder =
      slash == std::string::npos ? std::string_view() : std::string_view(name).substr(0, slash);
  FolderListing& listing = ListingOf(folder);
  if (!listing.read) {
    if (++listing.lookups <= PosixLookupsBeforeListing) return FileExists(name);
    listing.read = true;
    listing.usable = ReadFolder(std::string(folder), &listing);
  }
  if (listing.missing) return false;
  if (!listing.usable) return FileExists(name);
  const std::string_view file = std::string_view(name).substr(slash + 1);  // npos + 1 is 0
  if (HasName(listing.files, file)) return true;
  return HasName(listing.links, file) && FileExists(name);
}

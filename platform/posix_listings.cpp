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
  enum class Name { Unknown, Plain, NotPlain } name = Name::Unknown;  // the folder's own name
  int lookups = 0;  // names looked up for real before the folder was read
  bool read = false;
  bool usable = false;   // read completely
  bool missing = false;  // no such folder (or not a folder): nothing can be found in it
  NameSet files;
  NameSet links;
};

// Folders relative to the working folder, so valid for one working folder and one run.
std::unordered_map<std::string, FolderListing> Listings;

// A caller's wish to see the names of a folder that begin with `prefix` in the pass that reads
// the folder's listing (WatchFolder).
struct FolderWatch {
  const void* owner;
  std::string folder;
  std::string prefix;
  std::vector<std::string> names;
  bool shown = false;      // a pass read the whole folder for it
  bool abandoned = false;  // the working folder changed: no pass may serve it any more
};
std::vector<FolderWatch> Watches;

// The watches still waiting for a pass over `folder`.
std::vector<FolderWatch*> WatchesOf(const std::string& folder) {
  std::vector<FolderWatch*> waiting;
  for (FolderWatch& watch : Watches) {
    if (!watch.abandoned && !watch.shown && watch.folder == folder) waiting.push_back(&watch);
  }
  return waiting;
}
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

bool HasControlByte(std::string_view text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

// A name a listing can answer for is relative, ends in ".jpg", has no control byte, and every
// segment is a plain name (not empty, "." or ".."). The last segment ends in ".jpg", so it is
// one; the folder's part is looked at once a folder (PlainFolderName), as a gallery asks for
// the names of a few folders over and over.
bool PlainFolderName(std::string_view folder) {
  if (folder.empty()) return true;  // the working folder itself: the name has no folder part
  return !HasControlByte(folder) && WalkSegments(folder, IsSlash, FileSystemStep,
                                                 [](std::string_view, SegmentStep step, bool) {
                                                   return step == SegmentStep::Down;
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
  const std::vector<FolderWatch*> watching = WatchesOf(folder);
  const bool whole = ForEachFolderEntry(fd, [&](std::string_view name, unsigned char type) {
    for (FolderWatch* watch : watching) {
      if (name.compare(0, watch->prefix.size(), watch->prefix) == 0)
        watch->names.emplace_back(name);
    }
    if (!EndsWithJpg(name)) return;
    const bool link = type == DT_LNK || type == DT_UNKNOWN;
    AddName(link ? listing->links : listing->files, name);
  });
  PosixCalls.close(fd);
  for (FolderWatch* watch : watching) watch->shown = whole;
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

// Everything a run learns of its folders is forgotten for the next one. A watch named a folder
// of the old working folder: its owner reads the folder itself.
// The hidden temporary names of each folder read for them (HiddenTemporaryNames).
std::unordered_map<std::string, std::vector<std::string>> HiddenTemporaries;

void ForgetListings() {
  Listings.clear();
  HiddenTemporaries.clear();
  for (RecentFolder& recent : RecentFolders) recent.listing = nullptr;
  for (FolderWatch& watch : Watches) watch.abandoned = true;
}

void WatchFolder(const void* owner, std::string_view folder, std::string_view prefix) {
  Watches.push_back({owner, std::string(folder), std::string(prefix), {}, false, false});
}

const std::vector<std::string>& HiddenTemporaryNames(int at, std::string_view folder) {
  const auto known = HiddenTemporaries.find(std::string(folder));
  if (known != HiddenTemporaries.end()) return known->second;
  std::vector<std::string>& names = HiddenTemporaries[std::string(folder)];
  const int fd = PosixCalls.openat(at, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (fd < 0) return names;
  ForEachFolderEntry(fd, [&names](std::string_view name, unsigned char) {
    constexpr std::string_view kEnd = ".tmp";
    if (name.size() > kEnd.size() && name.front() == '.' &&
        name.compare(name.size() - kEnd.size(), kEnd.size(), kEnd) == 0)
      names.emplace_back(name);
  });
  PosixCalls.close(fd);
  return names;
}

bool EndWatch(const void* owner, std::vector<std::string>* names) {
  const auto found = std::find_if(Watches.begin(), Watches.end(),
                                  [owner](const FolderWatch& w) { return w.owner == owner; });
  if (found == Watches.end()) return false;
  const bool shown = found->shown && !found->abandoned;
  if (shown) *names = std::move(found->names);
  Watches.erase(found);
  return shown;
}

}  // namespace posix

bool ImageFileExists(const std::string& name) {
  const std::string_view path = name;
  if (path.empty() || path.front() == '/' || !EndsWithJpg(path)) return FileExists(name);
  const std::size_t slash = path.rfind('/');
  const std::string_view file = path.substr(slash + 1);  // npos + 1 is 0
  if (HasControlByte(file)) return FileExists(name);
  const std::string_view folder =
      slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
  FolderListing& listing = ListingOf(folder);
  if (listing.name == FolderListing::Name::Unknown) {
    listing.name =
        PlainFolderName(folder) ? FolderListing::Name::Plain : FolderListing::Name::NotPlain;
  }
  if (listing.name == FolderListing::Name::NotPlain) return FileExists(name);
  if (!listing.read) {
    if (++listing.lookups <= PosixLookupsBeforeListing) return FileExists(name);
    listing.read = true;
    listing.usable = ReadFolder(std::string(folder), &listing);
  }
  if (listing.missing) return false;
  if (!listing.usable) return FileExists(name);
  if (HasName(listing.files, file)) return true;
  return HasName(listing.links, file) && FileExists(name);
}

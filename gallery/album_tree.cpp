// The folders of a tree of albums, found from listings alone.
#include "gallery/album_tree.h"

#include <algorithm>

#include "gallery/gallery_names.h"
#include "names/file_names.h"
#include "platform/platform.h"

namespace {

// A folder that a link leads to: a link the listing resolved to a folder beside it, or one leading
// out of the folder that names a folder.
bool IsLinkToFolder(const FolderEntry& entry) {
  if (!entry.link && entry.kind != EntryKind::LinkOutside) return false;
  return entry.kind == EntryKind::Folder ||
         (entry.kind == EntryKind::LinkOutside && IsFolderPath(entry.name));
}

// Whether the working folder, listed as `entries`, holds a file that may be a photo (a thumbnail
// of kestrune's has a name of its own, which does not count).
bool HoldsPhotos(const std::vector<FolderEntry>& entries) {
  return std::any_of(entries.begin(), entries.end(), [](const FolderEntry& entry) {
    return entry.kind == EntryKind::Regular && IsPhotoName(entry.name) &&
           !MayBeThumbnailName(entry.name);
  });
}

// Counts the albums of the folder at `path`, the working folder, and of its tree; true when it is
// one.
bool CountIn(const std::string& top, const std::string& path, int depth, std::size_t* albums) {
  std::vector<FolderEntry> entries;
  if (!ListWorkingFolder(&entries)) return false;
  const bool photos = HoldsPhotos(entries);
  bool album = photos;
  TreeNotices ignored;
  for (const std::string& folder : AlbumFolders(entries, path, depth, &ignored)) {
    const std::string inner = TreePath(path, folder);
    if (EnterTreeFolder(top, inner) && CountIn(top, inner, depth + 1, albums)) album = true;
  }
  if (photos) ++*albums;
  return album;
}

}  // namespace

std::string TreePath(const std::string& path, const std::string& name) {
  return path.empty() ? name : path + "/" + name;
}

std::vector<std::string> AlbumFolders(const std::vector<FolderEntry>& entries,
                                      const std::string& path, int depth, TreeNotices* notices) {
  std::vector<std::string> folders;
  for (const FolderEntry& entry : entries) {
    if (IsNoAlbumFolder(entry.name)) continue;
    if (IsLinkToFolder(entry)) {
      notices->emplace_back(TreePath(path, entry.name), "A link to a folder, not followed");
    } else if (entry.kind == EntryKind::Folder && depth >= kDeepestAlbum) {
      notices->emplace_back(TreePath(path, entry.name),
                            "More than " + std::to_string(kDeepestAlbum) +
                                " folders below the top: not made into an album");
    } else if (entry.kind == EntryKind::Folder) {
      folders.push_back(entry.name);
    }
  }
  std::sort(folders.begin(), folders.end(),
            [](const std::string& a, const std::string& b) { return NaturalLess(a, b); });
  return folders;
}

bool EnterTreeFolder(const std::string& top, const std::string& path) {
  return SetWorkingFolder(path.empty() ? top : top + "/" + path);
}

std::size_t CountAlbums(const std::string& top) {
  std::size_t albums = 0;
  if (EnterTreeFolder(top, "")) CountIn(top, "", 0, &albums);
  EnterTreeFolder(top, "");
  return albums;
}

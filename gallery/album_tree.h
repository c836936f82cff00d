// A tree of albums: which folders of a folder may be albums, how many albums a tree holds, and the
// ways into its folders. A folder is an album when it holds photos, or folders that are albums.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "photos/photos.h"

// What a walk of a tree tells once: a folder's path in the tree and why it is not made.
using TreeNotices = std::vector<std::pair<std::string, std::string>>;

// The path of `name` in the folder at `path` of a tree ("" for its top): "2024/Rome".
std::string TreePath(const std::string& path, const std::string& name);

// The folders of the folder at `path`, listed as `entries`, that may be albums, in natural order.
// Not: hidden ones, kestrune's folder of copies and those systems fill (IsNoAlbumFolder); a link
// to a folder, which is not followed, and a folder deeper than kDeepestAlbum below the top (`path`
// lies `depth` folders below it) are told in `notices`.
std::vector<std::string> AlbumFolders(const std::vector<FolderEntry>& entries,
                                      const std::string& path, int depth, TreeNotices* notices);

// Makes the folder at `path` of the tree whose top is `top` (an absolute path) the working folder.
bool EnterTreeFolder(const std::string& top, const std::string& path);

// How many albums of photos the tree whose top is `top` holds, counted from its folders' listings
// (a folder holding a file with a photo's name that is no thumbnail's), for the progress "album K
// of N"; 0 when it holds no photo at all. Leaves the working folder at the top.
std::size_t CountAlbums(const std::string& top);

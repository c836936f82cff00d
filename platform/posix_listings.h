// ==== Folder listings ==========================================================================
// A folder's entries read whole through the call table, for the listings that answer
// ImageFileExists and for the search for hidden files of runs killed outright. For the POSIX
// file layer only.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace posix {

// Reads the folder open as `fd` (O_DIRECTORY) whole, calling visit(name, type) for each entry
// (type as d_type gives it, DT_UNKNOWN where the file system does not say). True when it was
// read to its end; false when a read failed.
bool ForEachFolderEntry(int fd, const std::function<void(std::string_view, unsigned char)>& visit);
// Forgets every folder read: a new sheet or working folder reads them afresh.
void ForgetListings();

// Asks, for `owner`, for the names in the folder `folder` (relative to the working folder, ""
// for itself) that begin with `prefix`, from the pass that reads that folder's listing for
// ImageFileExists if the run makes one: a folder whose thumbnails are looked up is then read
// once for both.
void WatchFolder(const void* owner, std::string_view folder, std::string_view prefix);
// The hidden names ending in ".tmp" in the folder `folder` (relative to the working folder, ""
// for itself; `at` is that folder as an O_PATH descriptor or AT_FDCWD), where runs killed outright
// leave their files: read once a working folder and kept, since a folder run puts thousands of
// files in one folder and reading it whole after each would cost the square of its size. Names left
// meanwhile by runs killed while this one runs wait for a later run.
const std::vector<std::string>& HiddenTemporaryNames(int at, std::string_view folder);
// Ends the watch of `owner`. True, with the names in *names, when a pass read the whole folder
// meanwhile (in this working folder); false when none did and the owner reads it itself.
bool EndWatch(const void* owner, std::vector<std::string>* names);

}  // namespace posix

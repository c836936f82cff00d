// ==== Folder listings ==========================================================================
// A folder's entries read whole through the call table, for the listings that answer
// ImageFileExists and for the search for hidden files of runs killed outright. For the POSIX
// file layer only.
#pragma once

#include <functional>
#include <string_view>

namespace posix {

// Reads the folder open as `fd` (O_DIRECTORY) whole, calling visit(name, type) for each entry
// (type as d_type gives it, DT_UNKNOWN where the file system does not say). True when it was
// read to its end; false when a read failed.
bool ForEachFolderEntry(int fd, const std::function<void(std::string_view, unsigned char)>& visit);
// Forgets every folder read: a new sheet or working folder reads them afresh.
void ForgetListings();

}  // namespace posix

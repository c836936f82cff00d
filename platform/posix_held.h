// ==== Held files and identities ================================================================
// Files this process holds open, by identity (device and inode): the contact sheet, and the file
// the combined page replaces with the combined page's own file. POSIX has no sharing mode, so no
// output may replace a held file and every writer asks here first. For the POSIX file layer only.
#pragma once

#include <sys/stat.h>

#include <string>

namespace posix {

// Notes the file described by `info` as held by `owner` (a PlatformFile, or the combined page's
// stream), until Release(owner). An owner may hold several files.
void Hold(const void* owner, const struct stat& info);
// Lets go of every file `owner` holds.
void Release(const void* owner);
// True when some owner holds the file described by `info`.
bool IsHeld(const struct stat& info);
// True when `a` and `b` describe the same file.
bool SameFile(const struct stat& a, const struct stat& b);
// A text naming the file described by `info`, equal for the same file only ("device:inode").
std::string IdentityOf(const struct stat& info);

}  // namespace posix

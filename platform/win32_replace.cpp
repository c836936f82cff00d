// ==== Replacing the combined page ==============================================================
// The combined page, written under a hidden temporary name beside the file it replaces and put
// in place once complete. The temporary file is marked for removal, so the system removes it
// however the process ends, until the moment it is put in place. No file holds the combined
// page's name meanwhile, so that another run of the same sheet can write its own: the file that
// stood there at the start is kept from this run's pages by its identity, and the name itself,
// where none stood there, by the path the page will have. At the finish the file under the name
// is held alone, looked at again and replaced only when it is that file, a page of ours or empty.
#include "platform/win32_replace.h"

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "platform/platform.h"
#include "platform/platform_win32.h"
#include "platform/text_buffer.h"
#include "platform/win32_calls.h"
#include "platform/win32_folders.h"
#include "platform/win32_names.h"
#include "platform/win32_pages.h"
#include "platform/win32_sheet.h"

using namespace win32;

namespace {

// One combined page being written, from CreateOutputFile to CloseOutputFile.
struct Replacement {
  std::FILE* stream = nullptr;
  std::string name;
  std::string temporary;
  HANDLE written = INVALID_HANDLE_VALUE;  // the temporary file, open beyond the stream's close
  std::string original;                   // the identity of the file under `name` at the start
  std::wstring finalPath;                 // the path the page will have, as the system spells it
  std::string marker;                     // the line a file carries when it may be replaced
};
std::vector<Replacement> Replacements;

}  // namespace

namespace win32 {

bool TakesReservedPlace(const std::string& name, HANDLE handle, bool created) {
  if (Replacements.empty()) return false;
  const std::string identity = created ? std::string() : IdentityOf(handle);
  for (const Replacement& r : Replacements) {
    if (!identity.empty() && identity == r.original) return true;
    if (!EqualFolded(Wide(std::string(StoredName(name))), Wide(std::string(StoredName(r.name)))))
      continue;
    const std::wstring path = FinalPath(handle);
    if (EqualFolded(path, r.finalPath)) return true;
  }
  return false;
}

}  // namespace win32

namespace {

// Looks at the file under `r->name` at the start, sharing it with everyone (another run may be
// putting its own combined page in place): true when there is none, or when it may be replaced,
// whose identity then goes to r->original. A file that may not be replaced keeps its times.
bool LookAtOriginal(Replacement* r) {
  // A device name would open the device.
  if (NamesReservedDevice(r->name)) return false;
  const HANDLE handle =
      Win32Calls.createFile(Wide(r->name).c_str(), GENERIC_READ | FILE_WRITE_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  FILETIME accessed;
  const bool accessTimeHeld = HoldAccessTime(handle, &accessed);
  const std::string identity = IdentityOf(handle);
  const bool held = IsHeldSheet(identity);
  const bool replaceable =
      !identity.empty() && !held && IsDiskFile(handle) && LiesBeneathWorkingFolder(handle) &&
      !TakesReservedPlace(r->name, handle, false) && LooksLikeOwnPage(handle, r->marker);
  if (replaceable) r->original = identity;
  // Put back whether it may be replaced or not: a page found to hold the same bytes as the new
  // one at the finish is kept as it was.
  if (accessTimeHeld) PutBackAccessTime(handle, accessed);
  Win32Calls.closeHandle(handle);
  return replaceable;
}

// A name beside `name` for one of its temporary files (`kind` tells the new file from the one it
// replaces): hidden by its leading dot, unique to this process, and ending in ".tmp", so it can
// never be a page (.htm, .html) or an image a run looks for.
std::string TemporaryName(const std::string& name, const char* kind, int attempt) {
  const std::size_t separator = name.find_last_of("\\/");
  const std::size_t baseStart = separator == std::string::npos ? 0 : separator + 1;
  return name.substr(0, baseStart) + "." + name.substr(baseStart) + "." +
         std::to_string(GetCurrentProcessId()) +
         (attempt > 0 ? "-" + std::to_string(attempt) : "") + kind + ".tmp";
}

// The errors of a create or a move that found the name taken.
bool NameTaken(DWORD error) {
  return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

// Creates the new file beside `name`, with the hidden attribute too.
HANDLE CreateTemporaryFile(const std::string& name, std::string* temporary) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    *temporary = TemporaryName(name, "", attempt);
    const HANDLE handle =
        Win32Calls.createFile(Wide(*temporary).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                              FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (handle != INVALID_HANDLE_VALUE || !NameTaken(GetLastError())) return handle;
  }
  return INVALID_HANDLE_VALUE;
}

// The name the system knows `name` by, as moving an open file needs it: its full path, wide, with
// "\??\" in front ("\??\UNC\" for a share). Empty when it cannot be had.
std::wstring SystemPath(const std::string& name) {
  const std::wstring wide = Wide(name);
  if (wide.empty()) return std::wstring();
  const std::wstring full =
      ReadIntoGrowingBuffer<wchar_t>(MAX_PATH, [&wide](wchar_t* buffer, std::size_t size) {
        return LengthOrNeeded(
            Win32Calls.getFullPathName(wide.c_str(), static_cast<DWORD>(size), buffer, nullptr));
      });
  if (full.empty()) return std::wstring();
  if (full.compare(0, 4, L"\\\\?\\") == 0) return L"\\??\\" + full.substr(4);
  if (full.compare(0, 2, L"\\\\") == 0) return L"\\??\\UNC\\" + full.substr(2);
  return L"\\??\\" + full;
}

// Gives the file open as `handle` the name `name`, never replacing a file that stands there. The
// file moved is the very one open, whatever became of its old name meanwhile.
bool MoveOpenFile(HANDLE handle, const std::string& name) {
  const std::wstring target = SystemPath(name);
  if (target.empty()) return false;
  const std::size_t bytes = target.size() * sizeof(WCHAR);
  // The record's own one character of name is room for the terminator.
  std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + bytes);
  FILE_RENAME_INFO* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  info->ReplaceIfExists = FALSE;
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(bytes);
  std::memcpy(info->FileName, target.c_str(), bytes + sizeof(WCHAR));
  return Win32Calls.setFileInformation(handle, FileRenameInfo, info,
                                       static_cast<DWORD>(buffer.size())) != 0;
}

// Moves the file open as `handle`, which stands under `name`, to a temporary name of its own
// beside it, which goes to *aside.
bool MoveAside(HANDLE handle, const std::string& name, std::string* aside) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    *aside = TemporaryName(name, ".old", attempt);
    if (MoveOpenFile(handle, *aside)) return true;
    if (!NameTaken(GetLastError())) return false;
  }
  return false;
}

enum class Placing { Placed, Refused, TryAgain };

// Puts the complete new file in place of what stands under the name now, once. Windows has no
// exchange of two names, and a file held open without shared deletion cannot be replaced by a
// move over it; so the file under the name is held alone (read, moved and removed only through
// this handle; no other program can write, move or remove it meanwhile), looked at, and both are
// moved through their handles, each move acting on the very file it names: the old one steps
// aside to a temporary name, then the new one takes the name, never replacing anything (a
// no-replace move), and the old one goes. Where none stands there, the new one takes the free
// name the same way. TryAgain when the name changed meanwhile, or is held for a moment.
Placing PlaceOnce(Replacement& r) {
  const HANDLE current = Win32Calls.createFile(
      Wide(r.name).c_str(), GENERIC_READ | DELETE | FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (current == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_SHARING_VIOLATION) return Placing::TryAgain;
    if (error != ERROR_FILE_NOT_FOUND) return Placing::Refused;
    if (MoveOpenFile(r.written, r.name)) return Placing::Placed;
    return NameTaken(GetLastError()) ? Placing::TryAgain : Placing::Refused;
  }
  FILETIME accessed;
  const bool accessTimeHeld = HoldAccessTime(current, &accessed);
  const std::string identity = IdentityOf(current);
  const bool replaceable = !identity.empty() && IsDiskFile(current) &&
                           LiesBeneathWorkingFolder(current) &&
                           (identity == r.original || LooksLikeOwnPage(current, r.marker));
  std::string aside;
  if (replaceable && MoveAside(current, r.name, &aside)) {
    if (MoveOpenFile(r.written, r.name)) {
      RemoveCreatedFile(current, aside);  // replaced: it goes from its temporary name
      return Placing::Placed;
    }
    // Back where the name is free again; otherwise it cannot stay, under a temporary name.
    if (!MoveOpenFile(current, r.name)) {
      RemoveCreatedFile(current, aside);
      return Placing::Refused;
    }
  }
  if (accessTimeHeld) PutBackAccessTime(current, accessed);
  Win32Calls.closeHandle(current);
  return Placing::Refused;
}

// Pages are compared in pieces of this size, so a long combined page needs no copy in memory.
constexpr DWORD kComparePiece = 64 * 1024;

// True when the complete new file of `r` holds the same bytes as the page it replaces, and that
// page still stands under its name: it is then kept as it is, its time too, and the new file
// dropped. Any look that fails counts as a difference, and the page is put in place as always.
bool SameAsOriginal(const Replacement& r) {
  if (r.original.empty()) return false;
  const HANDLE current = Win32Calls.createFile(
      Wide(r.name).c_str(), GENERIC_READ | FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (current == INVALID_HANDLE_VALUE) return false;
  FILETIME accessed;
  const bool accessTimeHeld = HoldAccessTime(current, &accessed);
  const std::unique_ptr<char[]> pieces(new (std::nothrow) char[2 * kComparePiece]);
  LARGE_INTEGER start{};
  bool same = pieces && IdentityOf(current) == r.original &&
              Win32Calls.setFilePointer(r.written, start, nullptr, FILE_BEGIN);
  for (DWORD a = 0, b = 0; same;) {
    same = ReadHead(current, pieces.get(), kComparePiece, &a) &&
           ReadHead(r.written, pieces.get() + kComparePiece, kComparePiece, &b) && a == b &&
           std::memcmp(pieces.get(), pieces.get() + kComparePiece, a) == 0;
    if (a < kComparePiece) break;
  }
  if (accessTimeHeld) PutBackAccessTime(current, accessed);
  Win32Calls.closeHandle(current);
  return same;
}

// Puts the complete file of `r` in place, waiting a little while another run holds the name.
bool PutInPlace(Replacement& r) {
  // Unhidden and unmarked first: once under the name the file stays, as any file.
  FILE_BASIC_INFO basic{};
  basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  if (!Win32Calls.setFileInformation(r.written, FileBasicInfo, &basic, sizeof basic) ||
      !MarkForRemoval(r.written, false))
    return false;
  for (int waits = 0; waits <= kWaitsForAnotherRun; ++waits) {
    const Placing placing = PlaceOnce(r);
    if (placing != Placing::TryAgain) return placing == Placing::Placed;
    Sleep(kWaitMs);
  }
  return false;
}

// The stream over the temporary file `temporary` (its handle then belongs to the stream), or
// nullptr with the handle closed.
std::FILE* StreamOver(HANDLE temporary) {
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(temporary), _O_WRONLY | _O_BINARY);
  std::FILE* stream = fd == -1 ? nullptr : _fdopen(fd, "wb");
  if (stream == nullptr) {
    if (fd == -1) {
      Win32Calls.closeHandle(temporary);
    } else {
      _close(fd);  // closes the handle too
    }
  }
  return stream;
}

}  // namespace

std::FILE* CreateOutputFile(const std::string& name, std::string_view marker) {
  Replacement replacement;
  replacement.name = name;
  replacement.marker = std::string(marker);
  // Another combined page being written under this name: this one would replace it.
  if (std::any_of(
          Replacements.begin(), Replacements.end(),
          [&name](const Replacement& r) { return FileNameKey(r.name) == FileNameKey(name); }) ||
      !LookAtOriginal(&replacement))
    return nullptr;
  // The new file: hidden beside the original, marked so that it goes however the process ends.
  HANDLE temporary = CreateTemporaryFile(name, &replacement.temporary);
  if (temporary == INVALID_HANDLE_VALUE) return nullptr;
  const std::wstring temporaryPath = FinalPath(temporary);
  replacement.finalPath = temporaryPath.substr(0, temporaryPath.find_last_of(L'\\') + 1) +
                          Wide(std::string(StoredName(name)));
  if (!IsDiskFile(temporary) || !LiesBeneathWorkingFolder(temporary) ||
      !MarkForRemoval(temporary, true) ||
      !Win32Calls.duplicateHandle(GetCurrentProcess(), temporary, GetCurrentProcess(),
                                  &replacement.written, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    RemoveCreatedFile(temporary, replacement.temporary);
    return nullptr;
  }
  // From here the handle belongs to the stream; the duplicate stays for the finish.
  std::FILE* stream = StreamOver(temporary);
  if (stream == nullptr) {
    RemoveCreatedFile(replacement.written, replacement.temporary);
    return nullptr;
  }
  replacement.stream = stream;
  Replacements.push_back(replacement);
  return stream;
}

// The stream is closed whatever happens; the file is put in place only when all of it reached
// the temporary file.
bool CloseOutputFile(std::FILE* stream) {
  const auto found = std::find_if(Replacements.begin(), Replacements.end(),
                                  [stream](const Replacement& r) { return r.stream == stream; });
  const bool flushed = std::fflush(stream) == 0 && std::ferror(stream) == 0;
  const bool complete = std::fclose(stream) == 0 && flushed;
  if (found == Replacements.end()) return complete;
  Replacement replacement = *found;
  Replacements.erase(found);
  if (complete && SameAsOriginal(replacement)) {
    RemoveCreatedFile(replacement.written, replacement.temporary);
    return true;
  }
  const bool placed = complete && PutInPlace(replacement);
  if (placed) {
    Win32Calls.closeHandle(replacement.written);
  } else {
    RemoveCreatedFile(replacement.written, replacement.temporary);
  }
  return placed;
}

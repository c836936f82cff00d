// Files and folders on Win32, in the ANSI code page throughout: names are byte strings and pass
// through unchanged. The dialogs, message boxes and the browser belong to the window machinery
// (ui/window_win32.cpp).
#include <windows.h>
// windows.h first: the headers below rely on its types.
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "platform/path_segments.h"
#include "platform/platform.h"
#include "platform/platform_win32.h"
#include "platform/text_buffer.h"

struct PlatformFile {
  HANDLE handle;
};

struct PlatformText {
  HANDLE mapping;
  std::size_t size;
  const char* view = nullptr;
  char* copy = nullptr;  // the terminated text when the file fills its last page
};

Win32CallTable Win32Calls = {WriteFile, SetFileInformationByHandle};

namespace {

char FoldCase(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsDiskFile(HANDLE handle) {
  return GetFileType(handle) == FILE_TYPE_DISK;
}

// True when one path component names a device, as Windows reads it: the part before the first
// "." with trailing blanks dropped, in any case ("con", "NUL..html", "com1 .htm", "aux.x.y").
bool IsReservedDeviceName(std::string_view name) {
  std::string component(name);
  while (!component.empty() && (component.back() == '.' || component.back() == ' '))
    component.pop_back();
  std::string stem = component.substr(0, component.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (char& c : stem) c = FoldCase(c);
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (stem == device) return true;
  }
  // COM0-COM9 and LPT0-LPT9, also with the superscript digits 1-3 of the ANSI code page.
  if (stem.size() != 4 || (stem.compare(0, 3, "COM") != 0 && stem.compare(0, 3, "LPT") != 0))
    return false;
  const unsigned char digit = static_cast<unsigned char>(stem[3]);
  return (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

}  // namespace

bool NamesReservedDevice(const std::string& name) {
  for (std::string_view component : SplitPath(name, IsSlashOrBackslash)) {
    if (IsReservedDeviceName(component)) return true;
  }
  return false;
}

bool FileExists(const std::string& name) {
  return GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Always a real look-up: short 8.3 names, case and trailing dots make a folder's listing answer
// differently from the file system.
bool ImageFileExists(const std::string& name) {
  return FileExists(name);
}

namespace {

// A file's identity on its volume, "SERIAL:INDEX"; two names of one file have the same. Empty
// when it cannot be had.
std::string IdentityOf(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) return std::string();
  const unsigned long long index =
      (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return std::to_string(info.dwVolumeSerialNumber) + ":" + std::to_string(index);
}

// The identities of the contact sheets this process holds open. Sharing keeps every other
// program from writing them; these let the combined page's look, which shares everything, and
// a page kept waiting tell the process's own files from another run's.
std::vector<std::pair<const PlatformFile*, std::string>> HeldSheets;

}  // namespace

PlatformFile* OpenFileReadOnly(const std::string& path) {
  // Shared for reading only: while it is open no one, this process included, can write it.
  const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  if (!IsDiskFile(handle)) {  // a device or a pipe is no contact sheet
    CloseHandle(handle);
    return nullptr;
  }
  PlatformFile* file = new PlatformFile{handle};
  HeldSheets.emplace_back(file, IdentityOf(handle));
  return file;
}

PlatformText* OpenWholeText(PlatformFile* file) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file->handle, &size) || size.QuadPart <= 0) return nullptr;
  if (static_cast<unsigned long long>(size.QuadPart) >= SIZE_MAX) return nullptr;
  const HANDLE mapping = CreateFileMappingA(file->handle, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (mapping == nullptr) return nullptr;
  return new PlatformText{mapping, static_cast<std::size_t>(size.QuadPart)};
}

const char* ViewWholeText(PlatformText* mapping, std::size_t* length) {
  if (mapping->view == nullptr) {
    mapping->view =
        static_cast<const char*>(MapViewOfFile(mapping->mapping, FILE_MAP_READ, 0, 0, 0));
    if (mapping->view == nullptr) return nullptr;
  }
  // The text ends at the first zero byte. The system fills the rest of the last page with
  // zeros, so only a file without a zero byte that fills its last page needs a copy with room
  // for the terminator.
  const void* zero = std::memchr(mapping->view, 0, mapping->size);
  if (zero != nullptr) {
    *length = static_cast<std::size_t>(static_cast<const char*>(zero) - mapping->view);
    return mapping->view;
  }
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  if (mapping->size % system.dwPageSize != 0) {
    *length = mapping->size;
    return mapping->view;
  }
  if (mapping->copy == nullptr) {
    mapping->copy = new (std::nothrow) char[mapping->size + 1];
    if (mapping->copy == nullptr) return nullptr;
    std::memcpy(mapping->copy, mapping->view, mapping->size);
    mapping->copy[mapping->size] = '\0';
  }
  *length = mapping->size;
  return mapping->copy;
}

void CloseFile(PlatformFile* file) {
  HeldSheets.erase(std::remove_if(HeldSheets.begin(), HeldSheets.end(),
                                  [file](const auto& held) { return held.first == file; }),
                   HeldSheets.end());
  CloseHandle(file->handle);
  delete file;
}

void CloseWholeText(PlatformText* mapping) {
  if (mapping->view != nullptr) UnmapViewOfFile(mapping->view);
  CloseHandle(mapping->mapping);
  delete[] mapping->copy;
  delete mapping;
}

// The calls below return the length of the text, or the size they need when it did not fit, or
// 0 on failure.
long long LengthOrNeeded(DWORD result) {
  return result == 0 ? -1 : static_cast<long long>(result);
}

std::string GetWorkingFolder() {
  return ReadIntoGrowingBuffer(MAX_PATH, [](char* buffer, std::size_t size) {
    return LengthOrNeeded(GetCurrentDirectoryA(static_cast<DWORD>(size), buffer));
  });
}

bool SetWorkingFolder(const std::string& folder) {
  return SetCurrentDirectoryA(folder.c_str()) != 0;
}

// "\" separates folders, and "/" too, since Windows takes both: a path written with "/" still
// puts the pages beside the sheet. Without either, the prefix ends at the last ":" ("D:index.htm").
std::size_t FolderPrefixLength(const std::string& path) {
  const std::size_t separator = path.find_last_of("\\/");
  if (separator != std::string::npos) return separator + 1;
  const std::size_t colon = path.rfind(':');
  return colon == std::string::npos ? 0 : colon + 1;
}

bool IsFolderSeparator(char c) {
  return IsSlashOrBackslash(c);
}

namespace {

// The full path of an open file or folder after every link and junction; empty when unknown.
std::string FinalPath(HANDLE handle) {
  return ReadIntoGrowingBuffer(MAX_PATH, [handle](char* buffer, std::size_t size) {
    return LengthOrNeeded(GetFinalPathNameByHandleA(handle, buffer, static_cast<DWORD>(size), 0));
  });
}

bool StartsWithFolded(const std::string& text, const std::string& start) {
  if (text.size() < start.size()) return false;
  for (std::size_t i = 0; i < start.size(); ++i) {
    if (FoldCase(text[i]) != FoldCase(start[i])) return false;
  }
  return true;
}

// True when the open file lies beneath the working folder, wherever links or junctions on the
// way led; a page must never land outside the contact sheet's folder.
bool LiesBeneathWorkingFolder(HANDLE file) {
  const HANDLE folder = CreateFileA(".", 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return false;
  std::string prefix = FinalPath(folder);
  CloseHandle(folder);
  const std::string path = FinalPath(file);
  if (prefix.empty() || path.empty()) return false;
  if (prefix.back() != '\\') prefix += '\\';
  return path.size() > prefix.size() && StartsWithFolded(path, prefix);
}

// Reads up to `size` bytes from the file pointer on; false on a read error.
bool ReadHead(HANDLE handle, char* head, DWORD size, DWORD* length) {
  *length = 0;
  while (*length < size) {
    DWORD got = 0;
    if (!ReadFile(handle, head + *length, size - *length, &got, nullptr)) return false;
    if (got == 0) break;
    *length += got;
  }
  return true;
}

// Looks at the first bytes of an existing file through `handle`, from its file pointer: OwnPage,
// Empty, Foreign, or Unreadable when they cannot be read.
PageFileState HeadOf(HANDLE handle, std::string_view marker) {
  // Left uninitialised: only the bytes read are looked at, and a page is a few KiB.
  const std::unique_ptr<char[]> head(new (std::nothrow) char[kOwnPageLookSize]);
  DWORD length = 0;
  if (!head || !ReadHead(handle, head.get(), static_cast<DWORD>(kOwnPageLookSize), &length))
    return PageFileState::Unreadable;
  if (length == 0) return PageFileState::Empty;
  return IsEmptyOrOwnPage(head.get(), length, marker) ? PageFileState::OwnPage
                                                      : PageFileState::Foreign;
}

// Looks at the first bytes of an existing file through `handle`, which is then truncated and
// written: true when it is empty or a page of ours. Leaves the file pointer at the start.
bool LooksLikeOwnPage(HANDLE handle, std::string_view marker) {
  // A file that cannot be read is not replaced.
  const PageFileState state = HeadOf(handle, marker);
  if (state != PageFileState::OwnPage && state != PageFileState::Empty) return false;
  LARGE_INTEGER start{};
  return SetFilePointerEx(handle, start, nullptr, FILE_BEGIN);
}

// An existing file that is refused keeps its times. A last-access time of all ones stops this
// handle from moving it; the time as it was goes to *accessed, for PutBackAccessTime.
bool HoldAccessTime(HANDLE handle, FILETIME* accessed) {
  if (!GetFileTime(handle, nullptr, accessed, nullptr)) return false;
  FILETIME keep{0xFFFFFFFF, 0xFFFFFFFF};
  SetFileTime(handle, nullptr, &keep, nullptr);
  return true;
}

// Where the file system moved the last-access time all the same (Wine's does), puts it back;
// otherwise touches nothing.
void PutBackAccessTime(HANDLE handle, const FILETIME& accessed) {
  FILETIME now;
  if (GetFileTime(handle, nullptr, &now, nullptr) && CompareFileTime(&now, &accessed) != 0)
    SetFileTime(handle, nullptr, &accessed, nullptr);
}

// Marks the open file for removal once its last handle closes, or takes the mark off again; a
// file that is read-only (as another program may make it meanwhile) loses that first.
bool MarkForRemoval(HANDLE handle, bool remove) {
  FILE_DISPOSITION_INFO disposition{static_cast<BOOLEAN>(remove)};
  if (Win32Calls.setFileInformation(handle, FileDispositionInfo, &disposition, sizeof disposition))
    return true;
  if (!remove) return false;
  FILE_BASIC_INFO basic{};
  basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  return Win32Calls.setFileInformation(handle, FileBasicInfo, &basic, sizeof basic) &&
         Win32Calls.setFileInformation(handle, FileDispositionInfo, &disposition,
                                       sizeof disposition);
}

// Removes a file this process created, through its handle, so the very file goes whatever
// happened to its name; then closes the handle. Where it cannot be marked, by name once closed.
void RemoveCreatedFile(HANDLE handle, const std::string& name) {
  const bool marked = MarkForRemoval(handle, true);
  CloseHandle(handle);
  if (!marked) DeleteFileA(name.c_str());
}

// The combined page, written under a hidden temporary name beside the file it replaces and put
// in place once complete. The temporary file is marked for removal, so the system removes it
// however the process ends, until the moment it is put in place. No file holds the combined
// page's name meanwhile, so that another run of the same sheet can write its own: the file that
// stood there at the start is kept from this run's pages by its identity, and the name itself,
// where none stood there, by the path the page will have. At the finish the file under the name
// is held alone, looked at again and replaced only when it is that file, a page of ours or empty.
struct Replacement {
  std::FILE* stream = nullptr;
  std::string name;
  std::string temporary;
  HANDLE written = INVALID_HANDLE_VALUE;  // the temporary file, open beyond the stream's close
  std::string original;                   // the identity of the file under `name` at the start
  std::string finalPath;                  // the path the page will have, as the system spells it
  std::string marker;                     // the line a file carries when it may be replaced
};
std::vector<Replacement> Replacements;

// The last component of `path` as Windows stores a name: trailing dots and blanks dropped.
std::string_view StoredName(std::string_view path) {
  path.remove_prefix(std::min(path.size(), path.find_last_of("\\/") + 1));  // npos + 1 is 0
  while (!path.empty() && (path.back() == '.' || path.back() == ' ')) path.remove_suffix(1);
  return path;
}

bool EqualFolded(std::string_view a, std::string_view b) {
  return a.size() == b.size() && StartsWithFolded(std::string(a), std::string(b));
}

// True when the page `name`, open as `handle` (made just now when `created`), is a file that a
// combined page being written replaces, or would take the combined page's place where none
// stood: by identity, or by the path the system gives the file.
bool TakesReservedPlace(const std::string& name, HANDLE handle, bool created) {
  if (Replacements.empty()) return false;
  const std::string identity = created ? std::string() : IdentityOf(handle);
  for (const Replacement& r : Replacements) {
    if (!identity.empty() && identity == r.original) return true;
    if (!EqualFolded(StoredName(name), StoredName(r.name))) continue;
    const std::string path = FinalPath(handle);
    if (EqualFolded(path, r.finalPath)) return true;
  }
  return false;
}

// True when the file under `name` is one that this process holds open: the contact sheet.
bool HeldHere(const std::string& name) {
  const HANDLE handle = CreateFileA(name.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const std::string identity = IdentityOf(handle);
  CloseHandle(handle);
  return !identity.empty() &&
         std::any_of(HeldSheets.begin(), HeldSheets.end(),
                     [&identity](const auto& held) { return held.second == identity; });
}

// Another run of the same sheet holds a page, or the combined page at its finish, only for a
// moment: an open that meets it waits for its turn, a little at a time, this many times.
constexpr int kWaitsForAnotherRun = 200;
constexpr DWORD kWaitMs = 10;
// Creating a page and opening it as an existing one take turns this many times while another
// run makes or removes it between the two.
constexpr int kOpenOrCreateTurns = 8;

// Opens `name` for a page: a new file (which this handle may remove again), or an existing one
// that may be replaced, emptied. Shared for reading only, so a second open of a file still being
// written fails, as does one of the contact sheet; the failed open touches nothing. An existing
// file is opened without truncating, so one found outside the folder, or one that is not ours,
// is left as it was; and for reading too, for the look at it. INVALID_HANDLE_VALUE when refused.
HANDLE OpenPageFile(const std::string& name, bool* created, std::string_view marker) {
  // A device name would open the device: the page would vanish into it, or the call would hang.
  if (NamesReservedDevice(name)) return INVALID_HANDLE_VALUE;
  HANDLE handle = INVALID_HANDLE_VALUE;
  for (int turn = 0, waits = 0; turn < kOpenOrCreateTurns;) {
    handle = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ,
                         nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    *created = handle != INVALID_HANDLE_VALUE;
    if (*created) break;
    DWORD error = GetLastError();
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) {
      handle = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (handle != INVALID_HANDLE_VALUE) break;
      error = GetLastError();
    }
    if (error == ERROR_FILE_NOT_FOUND) {  // removed between the two: made anew
      ++turn;
      continue;
    }
    // Held by another program: another run writing the page waits its turn; the contact sheet,
    // or a file that stays held, is refused.
    if (error != ERROR_SHARING_VIOLATION || ++waits > kWaitsForAnotherRun || HeldHere(name))
      return INVALID_HANDLE_VALUE;
    Sleep(kWaitMs);
  }
  if (handle == INVALID_HANDLE_VALUE) return INVALID_HANDLE_VALUE;
  FILETIME accessed;
  const bool accessTimeHeld = !*created && HoldAccessTime(handle, &accessed);
  if (!IsDiskFile(handle) || !LiesBeneathWorkingFolder(handle) ||
      TakesReservedPlace(name, handle, *created) ||
      (!*created && !LooksLikeOwnPage(handle, marker)) || !SetEndOfFile(handle)) {
    if (*created) {
      RemoveCreatedFile(handle, name);  // made here only to be refused
    } else {
      if (accessTimeHeld) PutBackAccessTime(handle, accessed);
      CloseHandle(handle);
    }
    return INVALID_HANDLE_VALUE;
  }
  return handle;
}

// Looks at the file under `r->name` at the start, sharing it with everyone (another run may be
// putting its own combined page in place): true when there is none, or when it may be replaced,
// whose identity then goes to r->original. A file that may not be replaced keeps its times.
bool LookAtOriginal(Replacement* r) {
  // A device name would open the device.
  if (NamesReservedDevice(r->name)) return false;
  const HANDLE handle = CreateFileA(r->name.c_str(), GENERIC_READ | FILE_WRITE_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  FILETIME accessed;
  const bool accessTimeHeld = HoldAccessTime(handle, &accessed);
  const std::string identity = IdentityOf(handle);
  const bool held =
      std::any_of(HeldSheets.begin(), HeldSheets.end(),
                  [&identity](const auto& sheet) { return sheet.second == identity; });
  const bool replaceable =
      !identity.empty() && !held && IsDiskFile(handle) && LiesBeneathWorkingFolder(handle) &&
      !TakesReservedPlace(r->name, handle, false) && LooksLikeOwnPage(handle, r->marker);
  if (replaceable) r->original = identity;
  if (!replaceable && accessTimeHeld) PutBackAccessTime(handle, accessed);
  CloseHandle(handle);
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

bool NameTaken(DWORD error) {
  return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

// Creates the new file beside `name`, with the hidden attribute too.
HANDLE CreateTemporaryFile(const std::string& name, std::string* temporary) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    *temporary = TemporaryName(name, "", attempt);
    const HANDLE handle = CreateFileA(temporary->c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ,
                                      nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (handle != INVALID_HANDLE_VALUE || !NameTaken(GetLastError())) return handle;
  }
  return INVALID_HANDLE_VALUE;
}

// The name the system knows `name` by, as moving an open file needs it: its full path, wide, with
// "\??\" in front ("\??\UNC\" for a share). Empty when it cannot be had.
std::wstring SystemPath(const std::string& name) {
  const std::string full = ReadIntoGrowingBuffer(MAX_PATH, [&name](char* buffer, std::size_t size) {
    return LengthOrNeeded(
        GetFullPathNameA(name.c_str(), static_cast<DWORD>(size), buffer, nullptr));
  });
  if (full.empty()) return std::wstring();
  std::string path;
  if (full.compare(0, 4, "\\\\?\\") == 0) {
    path = "\\??\\" + full.substr(4);
  } else if (full.compare(0, 2, "\\\\") == 0) {
    path = "\\??\\UNC\\" + full.substr(2);
  } else {
    path = "\\??\\" + full;
  }
  const int length =
      MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  if (length <= 0 || MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()),
                                         &wide[0], length) != length)
    return std::wstring();
  return wide;
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
  const HANDLE current =
      CreateFileA(r.name.c_str(), GENERIC_READ | DELETE | FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
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
  CloseHandle(current);
  return Placing::Refused;
}

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

}  // namespace

void CatchInterruptions() {}

int PendingInterruption() {
  return 0;
}

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
  const std::string temporaryPath = FinalPath(temporary);
  replacement.finalPath =
      temporaryPath.substr(0, temporaryPath.find_last_of('\\') + 1) + std::string(StoredName(name));
  if (!IsDiskFile(temporary) || !LiesBeneathWorkingFolder(temporary) ||
      !MarkForRemoval(temporary, true) ||
      !DuplicateHandle(GetCurrentProcess(), temporary, GetCurrentProcess(), &replacement.written, 0,
                       FALSE, DUPLICATE_SAME_ACCESS)) {
    RemoveCreatedFile(temporary, replacement.temporary);
    return nullptr;
  }
  // From here the handle belongs to the stream; the duplicate stays for the finish.
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(temporary), _O_WRONLY | _O_BINARY);
  std::FILE* stream = fd == -1 ? nullptr : _fdopen(fd, "wb");
  if (stream == nullptr) {
    if (fd == -1) {
      CloseHandle(temporary);
    } else {
      _close(fd);  // closes the handle too
    }
    RemoveCreatedFile(replacement.written, replacement.temporary);
    return nullptr;
  }
  replacement.stream = stream;
  Replacements.push_back(replacement);
  return stream;
}

bool CloseOutputFile(std::FILE* stream) {
  const auto found = std::find_if(Replacements.begin(), Replacements.end(),
                                  [stream](const Replacement& r) { return r.stream == stream; });
  const bool flushed = std::fflush(stream) == 0 && std::ferror(stream) == 0;
  const bool complete = std::fclose(stream) == 0 && flushed;
  if (found == Replacements.end()) return complete;
  Replacement replacement = *found;
  Replacements.erase(found);
  const bool placed = complete && PutInPlace(replacement);
  if (placed) {
    CloseHandle(replacement.written);
  } else {
    RemoveCreatedFile(replacement.written, replacement.temporary);
  }
  return placed;
}

bool WriteOutputFile(const std::string& name, std::string_view bytes, std::string_view marker) {
  bool created = false;
  const HANDLE handle = OpenPageFile(name, &created, marker);
  if (handle == INVALID_HANDLE_VALUE) return false;
  // Open only during this call, so no other output can meet it. One write, straight to the file.
  bool written = true;
  for (std::size_t done = 0; written && done < bytes.size();) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
    DWORD wrote = 0;
    written =
        Win32Calls.writeFile(handle, bytes.data() + done, chunk, &wrote, nullptr) && wrote > 0;
    done += wrote;
  }
  // A page made by this call and not written whole is removed again, so a full disk leaves no
  // empty or partial page behind; an earlier page that was replaced stays as far as it came.
  if (!written && created) {
    RemoveCreatedFile(handle, name);
    return false;
  }
  const bool closed = CloseHandle(handle) != 0;
  if (!closed && created) DeleteFileA(name.c_str());
  return written && closed;
}

namespace {

// Why `name` could not be opened, from CreateFile's error.
PageFileState Unopened(const std::string& name, DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
      return PageFileState::Absent;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DIRECTORY:
      return PageFileState::FolderMissing;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return PageFileState::InUse;
    case ERROR_ACCESS_DENIED: {
      // A folder opened as a file is denied too.
      const DWORD attributes = GetFileAttributesA(name.c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return PageFileState::NotRegular;
      return PageFileState::NotWritable;
    }
    default:
      return PageFileState::Failed;
  }
}

// True when the open file is the one `name` names itself, not one that a link under that name
// leads to: its full path is its folder's followed by the name's last part (letters in either
// case). Windows opens a link itself where asked to (FILE_FLAG_OPEN_REPARSE_POINT), but a file
// system may show a link as the file it leads to, as Wine shows a Unix link. A name spelled
// otherwise than the file (a short 8.3 name) counts as another file, so it is left alone.
bool IsFileItself(HANDLE file, const std::string& name) {
  const std::size_t separator = name.find_last_of("\\/");
  const std::string folderName =
      separator == std::string::npos ? "." : name.substr(0, separator + 1);
  const HANDLE folder =
      CreateFileA(folderName.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return false;
  std::string expected = FinalPath(folder);
  CloseHandle(folder);
  const std::string path = FinalPath(file);
  if (expected.empty() || path.empty()) return false;
  if (expected.back() != '\\') expected += '\\';
  expected += name.substr(separator + 1);  // npos + 1 is 0
  return path.size() == expected.size() && StartsWithFolded(path, expected);
}

// Marks a page of ours for removal through its handle. A read-only page loses that attribute
// first, and gets it back when it cannot be marked all the same.
bool MarkPageForRemoval(HANDLE handle, DWORD attributes) {
  FILE_DISPOSITION_INFO disposition{TRUE};
  if (Win32Calls.setFileInformation(handle, FileDispositionInfo, &disposition, sizeof disposition))
    return true;
  if ((attributes & FILE_ATTRIBUTE_READONLY) == 0) return false;
  FILE_BASIC_INFO basic{};  // times of zero stay as they are
  basic.FileAttributes = attributes & ~FILE_ATTRIBUTE_READONLY;
  if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  if (!Win32Calls.setFileInformation(handle, FileBasicInfo, &basic, sizeof basic)) return false;
  if (Win32Calls.setFileInformation(handle, FileDispositionInfo, &disposition, sizeof disposition))
    return true;
  basic.FileAttributes = attributes;
  Win32Calls.setFileInformation(handle, FileBasicInfo, &basic, sizeof basic);
  return false;
}

}  // namespace

PageFileLook LookAtPageFile(const std::string& name, std::string_view marker) {
  PageFileLook look;
  if (NamesReservedDevice(name)) {
    look.state = PageFileState::DeviceName;
    return look;
  }
  // Opened as a page is opened to be written, and refused where that open is: shared for
  // reading only (a file held open, the contact sheet among them, is in use), without
  // truncating, and written through never.
  const HANDLE handle = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    look.state = Unopened(name, GetLastError());
    return look;
  }
  look.identity = IdentityOf(handle);
  FILETIME accessed;
  const bool accessTimeHeld = HoldAccessTime(handle, &accessed);
  if (!IsDiskFile(handle)) {
    look.state = PageFileState::NotRegular;
  } else if (!LiesBeneathWorkingFolder(handle)) {
    look.state = PageFileState::LeadsOutside;
  } else {
    look.state = HeadOf(handle, marker);
  }
  if (accessTimeHeld) PutBackAccessTime(handle, accessed);
  CloseHandle(handle);
  return look;
}

// The name is opened as itself, never through a link at its end (a folder as a folder), shared
// for reading only: while the handle is open no other program can write, move or remove the
// file, so the file looked at through it is the very file removed. A page of ours is marked for
// removal through that handle, and the system removes it as the handle closes.
PageFileState RemoveOwnPage(const std::string& name, std::string_view marker) {
  if (NamesReservedDevice(name)) return PageFileState::DeviceName;
  const HANDLE handle = CreateFileA(
      name.c_str(), GENERIC_READ | DELETE | FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const PageFileState state = Unopened(name, GetLastError());
    return state == PageFileState::FolderMissing ? PageFileState::Absent : state;
  }
  // First, as every look at the file may move its access time.
  FILETIME accessed;
  const bool accessTimeHeld = HoldAccessTime(handle, &accessed);
  BY_HANDLE_FILE_INFORMATION info;
  PageFileState state = PageFileState::Failed;
  if (!GetFileInformationByHandle(handle, &info)) {
    state = PageFileState::Failed;
  } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    state = PageFileState::Link;
  } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || !IsDiskFile(handle)) {
    state = PageFileState::NotRegular;
  } else if (!IsFileItself(handle, name)) {
    state = PageFileState::Link;
  } else if (!LiesBeneathWorkingFolder(handle)) {
    state = PageFileState::LeadsOutside;
  } else {
    state = HeadOf(handle, marker);
  }
  if (state == PageFileState::OwnPage) {
    state = MarkPageForRemoval(handle, info.dwFileAttributes) ? PageFileState::Removed
                                                              : PageFileState::NotWritable;
  }
  if (state != PageFileState::Removed && accessTimeHeld) PutBackAccessTime(handle, accessed);
  CloseHandle(handle);
  // Where the system could not remove it as the handle closed, the name still shows a file.
  if (state == PageFileState::Removed &&
      GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES)
    state = PageFileState::NotWritable;
  return state;
}

std::string FileNameKey(const std::string& name) {
  std::string key;
  for (std::string_view segment : ResolvedSegments(name, IsSlashOrBackslash)) {
    if (!key.empty()) key += '\\';
    for (char c : segment) key += FoldCase(c);
  }
  return key;
}

std::string ProgramFolder() {
  // A name cut short fills the whole buffer: it then asks for more room.
  const std::string program = ReadIntoGrowingBuffer(MAX_PATH, [](char* buffer, std::size_t size) {
    return LengthOrNeeded(GetModuleFileNameA(nullptr, buffer, static_cast<DWORD>(size)));
  });
  return program.substr(0, FolderPrefixLength(program));
}

// help.html beside the executable.
std::string HelpPageAddress() {
  const std::string folder = ProgramFolder();
  if (folder.empty()) return std::string();
  const std::string candidate = folder + "help.html";
  const DWORD attributes = GetFileAttributesA(candidate.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return std::string();
  return candidate;
}

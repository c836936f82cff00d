// Files and folders on Win32, named in Unicode throughout: the names the core hands in are UTF-8,
// turned into UTF-16 for the wide-character calls at this edge (a name that is not UTF-8 names
// no file), and the names returned are UTF-8 again. The dialogs, message boxes and the browser
// belong to the window machinery (ui/window_win32.cpp).
#include <windows.h>
// windows.h first: the headers below rely on its types.
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <climits>
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

bool Utf8ToWide(const std::string& utf8, std::wstring* wide) {
  wide->clear();
  if (utf8.empty()) return true;
  if (utf8.find('\0') != std::string::npos || utf8.size() > INT_MAX) return false;
  const int size = static_cast<int>(utf8.size());
  const int length =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
  if (length <= 0) return false;
  wide->resize(static_cast<std::size_t>(length));
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, &(*wide)[0],
                             length) == length;
}

std::string WideToUtf8(const wchar_t* wide, std::size_t length) {
  if (length == 0 || length > INT_MAX) return std::string();
  const int size = static_cast<int>(length);
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, size, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::string();
  std::string utf8(static_cast<std::size_t>(bytes), '\0');
  if (WideCharToMultiByte(CP_UTF8, 0, wide, size, &utf8[0], bytes, nullptr, nullptr) != bytes)
    return std::string();
  return utf8;
}

std::string WideToUtf8(const std::wstring& wide) {
  return WideToUtf8(wide.data(), wide.size());
}

bool NamesFilesInUnicode() {
  return true;
}

namespace {

// `name` for a wide-character call; empty, which names no file, when it is not UTF-8.
std::wstring Wide(const std::string& name) {
  std::wstring wide;
  return Utf8ToWide(name, &wide) ? wide : std::wstring();
}

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
  // COM0-COM9 and LPT0-LPT9, also with the superscript digits 1-3 (U+00B9, U+00B2, U+00B3: in
  // UTF-8 two bytes, in code page 1252 one, which no UTF-8 name holds alone).
  if (stem.size() < 4 || (stem.compare(0, 3, "COM") != 0 && stem.compare(0, 3, "LPT") != 0))
    return false;
  std::string_view digit = std::string_view(stem).substr(3);
  if (digit.size() == 2 && digit[0] == '\xC2') digit.remove_prefix(1);
  if (digit.size() != 1) return false;
  const unsigned char c = static_cast<unsigned char>(digit[0]);
  return (stem.size() == 4 && c >= '0' && c <= '9') || c == 0xB9 || c == 0xB2 || c == 0xB3;
}

}  // namespace

bool NamesReservedDevice(const std::string& name) {
  for (std::string_view component : SplitPath(name, IsSlashOrBackslash)) {
    if (IsReservedDeviceName(component)) return true;
  }
  return false;
}

bool FileExists(const std::string& name) {
  return GetFileAttributesW(Wide(name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Always a real look-up: short 8.3 names, case and trailing dots make a folder's listing answer
// differently from the file system.
bool ImageFileExists(const std::string& name) {
  return FileExists(name);
}

PlatformFile* OpenFileReadOnly(const std::string& path) {
  // Shared for reading only: while it is open no one, this process included, can write it.
  const HANDLE handle = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  if (!IsDiskFile(handle)) {  // a device or a pipe is no contact sheet
    CloseHandle(handle);
    return nullptr;
  }
  return new PlatformFile{handle};
}

PlatformText* OpenWholeText(PlatformFile* file) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file->handle, &size) || size.QuadPart <= 0) return nullptr;
  if (static_cast<unsigned long long>(size.QuadPart) >= SIZE_MAX) return nullptr;
  const HANDLE mapping = CreateFileMappingW(file->handle, nullptr, PAGE_READONLY, 0, 0, nullptr);
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
  return WideToUtf8(ReadIntoGrowingBuffer<wchar_t>(MAX_PATH, [](wchar_t* buffer, std::size_t size) {
    return LengthOrNeeded(GetCurrentDirectoryW(static_cast<DWORD>(size), buffer));
  }));
}

bool SetWorkingFolder(const std::string& folder) {
  return SetCurrentDirectoryW(Wide(folder).c_str()) != 0;
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
std::wstring FinalPath(HANDLE handle) {
  return ReadIntoGrowingBuffer<wchar_t>(MAX_PATH, [handle](wchar_t* buffer, std::size_t size) {
    return LengthOrNeeded(GetFinalPathNameByHandleW(handle, buffer, static_cast<DWORD>(size), 0));
  });
}

// Letters in either case alike, as the file system compares names.
bool StartsWithFolded(const std::wstring& text, const std::wstring& start) {
  if (text.size() < start.size() || start.size() > INT_MAX) return false;
  const int length = static_cast<int>(start.size());
  return CompareStringOrdinal(text.data(), length, start.data(), length, TRUE) == CSTR_EQUAL;
}

// True when the open file lies beneath the working folder, wherever links or junctions on the
// way led; a page must never land outside the contact sheet's folder.
bool LiesBeneathWorkingFolder(HANDLE file) {
  const HANDLE folder = CreateFileW(L".", 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return false;
  std::wstring prefix = FinalPath(folder);
  CloseHandle(folder);
  const std::wstring path = FinalPath(file);
  if (prefix.empty() || path.empty()) return false;
  if (prefix.back() != L'\\') prefix += L'\\';
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
  if (!marked) DeleteFileW(Wide(name).c_str());
}

// Opens `name` for a page: a new file (which this handle may remove again), or an existing one
// that may be replaced, emptied. Shared for reading only, so a second open of a file still being
// written fails, as does one of the contact sheet or of the combined page; the failed open
// touches nothing. An existing file is opened without truncating, so one found outside the
// folder, or one that is not ours, is left as it was; and for reading too, for the look at it.
// INVALID_HANDLE_VALUE when refused.
HANDLE OpenPageFile(const std::string& name, bool* created, std::string_view marker) {
  // A device name would open the device: the page would vanish into it, or the call would hang.
  if (NamesReservedDevice(name)) return INVALID_HANDLE_VALUE;
  const std::wstring wide = Wide(name);
  HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ,
                              nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  *created = handle != INVALID_HANDLE_VALUE;
  if (!*created) {
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return INVALID_HANDLE_VALUE;
    handle = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return INVALID_HANDLE_VALUE;
  }
  FILETIME accessed;
  const bool accessTimeHeld = !*created && HoldAccessTime(handle, &accessed);
  if (!IsDiskFile(handle) || !LiesBeneathWorkingFolder(handle) ||
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

// The combined page, written under a temporary name beside the file it replaces once complete.
// `original` is the file under `name`, held open from the start: shared for reading only, so no
// other program can write, rename or remove it, and no page of this run can be written over it;
// with the right to move and remove it, which only this handle has. Where there was none, an
// empty file made here holds the name, marked for removal.
struct Replacement {
  std::FILE* stream = nullptr;
  std::string name;
  std::string temporary;
  HANDLE original = INVALID_HANDLE_VALUE;
  std::string originalName;               // where the original stands now
  bool removeOriginal = false;            // made here, or replaced: it goes when let go
  HANDLE written = INVALID_HANDLE_VALUE;  // the temporary file, open beyond the stream's close
  bool accessTimeHeld = false;
  FILETIME accessed{};
  std::string marker;  // the line a file carries when it may be replaced
};
std::vector<Replacement> Replacements;

// Lets go of the original: one made here or replaced goes; any other stays as it was, its times
// too.
void DropOriginal(const Replacement& r) {
  if (r.removeOriginal) {
    RemoveCreatedFile(r.original, r.originalName);
    return;
  }
  if (r.accessTimeHeld) PutBackAccessTime(r.original, r.accessed);
  CloseHandle(r.original);
}

// Opens and looks at the file under `r->name`, or makes an empty one there; false, touching
// nothing, when it may not be replaced.
bool HoldOriginal(Replacement* r) {
  // A device name would open the device.
  if (NamesReservedDevice(r->name)) return false;
  r->original = CreateFileW(Wide(r->name).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                            FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (r->original == INVALID_HANDLE_VALUE) return false;
  r->originalName = r->name;
  r->removeOriginal = GetLastError() != ERROR_ALREADY_EXISTS;
  r->accessTimeHeld = !r->removeOriginal && HoldAccessTime(r->original, &r->accessed);
  if (IsDiskFile(r->original) && LiesBeneathWorkingFolder(r->original) &&
      (r->removeOriginal ? MarkForRemoval(r->original, true)
                         : LooksLikeOwnPage(r->original, r->marker)))
    return true;
  DropOriginal(*r);
  return false;
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
    const HANDLE handle =
        CreateFileW(Wide(*temporary).c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                    CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
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
            GetFullPathNameW(wide.c_str(), static_cast<DWORD>(size), buffer, nullptr));
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

// Moves the original, by its handle, to a temporary name of its own beside it.
bool MoveAside(Replacement& r) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string aside = TemporaryName(r.name, ".old", attempt);
    if (MoveOpenFile(r.original, aside)) {
      r.originalName = aside;
      return true;
    }
    if (!NameTaken(GetLastError())) return false;
  }
  return false;
}

// Puts the complete temporary file in place of the original. Windows has no exchange of two
// names, and a file held open without shared deletion, as the original is, cannot be replaced
// by a move over it; so both are moved through their handles, each move acting on the very file
// it names: the original steps aside to a temporary name, then the new file takes the name,
// never replacing anything (a no-replace move). No file other than the one looked at can be
// replaced: until the first move the held original cannot be renamed, removed or written by any
// other program, and after it the name is only ever taken if it is free. A file another program
// creates there in between is left as it is: the new file is not put in place (the run reports
// the combined page as not completed), and the original goes back if the name is free again.
bool PutInPlace(Replacement& r) {
  // Unhidden and unmarked first: once under the name the file stays, as any file.
  FILE_BASIC_INFO basic{};
  basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  if (!Win32Calls.setFileInformation(r.written, FileBasicInfo, &basic, sizeof basic) ||
      !MarkForRemoval(r.written, false))
    return false;
  // An empty file made to hold the name is unmarked for its move; let go, it is marked again.
  if (r.removeOriginal && !MarkForRemoval(r.original, false)) return false;
  if (!MoveAside(r)) return false;
  if (MoveOpenFile(r.written, r.name)) {
    r.removeOriginal = true;  // replaced: it goes from its temporary name
    return true;
  }
  // Back where the name is free again; otherwise it cannot stay, under a temporary name.
  if (!r.removeOriginal && MoveOpenFile(r.original, r.name)) {
    r.originalName = r.name;
  } else {
    r.removeOriginal = true;
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
  if (!HoldOriginal(&replacement)) return nullptr;
  // The new file: hidden beside the original, marked so that it goes however the process ends.
  HANDLE temporary = CreateTemporaryFile(name, &replacement.temporary);
  if (temporary == INVALID_HANDLE_VALUE) {
    DropOriginal(replacement);
    return nullptr;
  }
  if (!IsDiskFile(temporary) || !LiesBeneathWorkingFolder(temporary) ||
      !MarkForRemoval(temporary, true) ||
      !DuplicateHandle(GetCurrentProcess(), temporary, GetCurrentProcess(), &replacement.written, 0,
                       FALSE, DUPLICATE_SAME_ACCESS)) {
    RemoveCreatedFile(temporary, replacement.temporary);
    DropOriginal(replacement);
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
    DropOriginal(replacement);
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
  // Where it was not replaced, the original stays as it was, or (made by this run) goes.
  DropOriginal(replacement);
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
  if (!closed && created) DeleteFileW(Wide(name).c_str());
  return written && closed;
}

namespace {

std::string IdentityOf(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) return std::string();
  const unsigned long long index =
      (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return std::to_string(info.dwVolumeSerialNumber) + ":" + std::to_string(index);
}

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
      const DWORD attributes = GetFileAttributesW(Wide(name).c_str());
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
  const std::wstring wide = Wide(name);
  const std::size_t separator = wide.find_last_of(L"\\/");
  const std::wstring folderName =
      separator == std::wstring::npos ? L"." : wide.substr(0, separator + 1);
  const HANDLE folder =
      CreateFileW(folderName.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return false;
  std::wstring expected = FinalPath(folder);
  CloseHandle(folder);
  const std::wstring path = FinalPath(file);
  if (expected.empty() || path.empty()) return false;
  if (expected.back() != L'\\') expected += L'\\';
  expected += wide.substr(separator + 1);  // npos + 1 is 0
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
  if (Wide(name).empty()) return look;  // no name of a file: Failed
  if (NamesReservedDevice(name)) {
    look.state = PageFileState::DeviceName;
    return look;
  }
  // Opened as a page is opened to be written, and refused where that open is: shared for
  // reading only (a file held open, the contact sheet among them, is in use), without
  // truncating, and written through never.
  const HANDLE handle =
      CreateFileW(Wide(name).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
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
  if (Wide(name).empty()) return PageFileState::Failed;  // no name of a file
  if (NamesReservedDevice(name)) return PageFileState::DeviceName;
  const HANDLE handle = CreateFileW(
      Wide(name).c_str(), GENERIC_READ | DELETE | FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
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
      GetFileAttributesW(Wide(name).c_str()) != INVALID_FILE_ATTRIBUTES)
    state = PageFileState::NotWritable;
  return state;
}

namespace {

// Letters in upper case, as the file system folds them: any letter of a UTF-8 name, the ASCII
// ones of any other.
std::string FoldedName(std::string_view name) {
  std::wstring wide;
  if (Utf8ToWide(std::string(name), &wide) && !wide.empty() && wide.size() <= INT_MAX) {
    const int length = static_cast<int>(wide.size());
    std::wstring upper(wide.size(), L'\0');
    if (LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, wide.data(), length, &upper[0], length) ==
        length)
      return WideToUtf8(upper);
  }
  std::string folded(name);
  for (char& c : folded) c = FoldCase(c);
  return folded;
}

}  // namespace

std::string FileNameKey(const std::string& name) {
  std::string key;
  for (std::string_view segment : ResolvedSegments(name, IsSlashOrBackslash)) {
    if (!key.empty()) key += '\\';
    key += FoldedName(segment);
  }
  return key;
}

std::string ProgramFolder() {
  // A name cut short fills the whole buffer: it then asks for more room.
  const std::string program =
      WideToUtf8(ReadIntoGrowingBuffer<wchar_t>(MAX_PATH, [](wchar_t* buffer, std::size_t size) {
        return LengthOrNeeded(GetModuleFileNameW(nullptr, buffer, static_cast<DWORD>(size)));
      }));
  return program.substr(0, FolderPrefixLength(program));
}

// help.html beside the executable.
std::string HelpPageAddress() {
  const std::string folder = ProgramFolder();
  if (folder.empty()) return std::string();
  const std::string candidate = folder + "help.html";
  const DWORD attributes = GetFileAttributesW(Wide(candidate).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return std::string();
  return candidate;
}

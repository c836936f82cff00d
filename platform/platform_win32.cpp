// Files, folders, the open-file dialog, web pages and message boxes on Win32, in the ANSI code
// page throughout: names are byte strings and pass through unchanged.
#include <windows.h>
// windows.h first: the headers below rely on its types.
#include <fcntl.h>
#include <io.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
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

PlatformFile* OpenFileReadOnly(const std::string& path) {
  // Shared for reading only: while it is open no one, this process included, can write it.
  const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
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

// Looks at the first bytes of an existing file through `handle`, which is then truncated and
// written: true when it is empty or a page of ours. Leaves the file pointer at the start.
bool LooksLikeOwnPage(HANDLE handle) {
  // Left uninitialised: only the bytes read are looked at, and a page is a few KiB.
  const std::unique_ptr<char[]> head(new (std::nothrow) char[kOwnPageLookSize]);
  DWORD length = 0;
  // A file that cannot be read is not replaced.
  if (!head || !ReadHead(handle, head.get(), static_cast<DWORD>(kOwnPageLookSize), &length) ||
      !IsEmptyOrOwnPage(head.get(), length))
    return false;
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

}  // namespace

std::FILE* CreateOutputFile(const std::string& name) {
  // A device name would open the device: the page would vanish into it, or the call would hang.
  if (NamesReservedDevice(name)) return nullptr;
  // Shared for reading only, so a second open of a file still being written fails, as does one
  // of the contact sheet; the failed open touches nothing. Opened without truncating, so a file
  // found outside the folder, or one that is not ours, is left as it was; and for reading too,
  // for the look at an existing file.
  const HANDLE handle = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  const bool created = GetLastError() != ERROR_ALREADY_EXISTS;
  FILETIME accessed;
  const bool accessTimeHeld = !created && HoldAccessTime(handle, &accessed);
  if (!IsDiskFile(handle) || !LiesBeneathWorkingFolder(handle) ||
      (!created && !LooksLikeOwnPage(handle)) || !SetEndOfFile(handle)) {
    if (accessTimeHeld) PutBackAccessTime(handle, accessed);
    CloseHandle(handle);
    if (created) DeleteFileA(name.c_str());  // made here only to be refused
    return nullptr;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
  if (fd == -1) {
    CloseHandle(handle);
    return nullptr;
  }
  std::FILE* stream = _fdopen(fd, "wb");
  if (stream == nullptr) _close(fd);  // closes the handle too
  return stream;
}

bool CloseOutputFile(std::FILE* stream) {
  const bool flushed = std::fflush(stream) == 0 && std::ferror(stream) == 0;
  return std::fclose(stream) == 0 && flushed;
}

bool WriteOutputFile(const std::string& name, std::string_view bytes) {
  std::FILE* stream = CreateOutputFile(name);
  if (stream == nullptr) return false;
  std::setvbuf(stream, nullptr, _IONBF, 0);  // one write, straight to the file
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
  return CloseOutputFile(stream) && written;
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

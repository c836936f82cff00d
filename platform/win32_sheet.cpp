// ==== Reading the contact sheet ================================================================
// The sheet is opened shared for reading only, so that no program, this one included, can write
// it while it is open, and mapped whole into memory. The identities of the sheets held open let
// the combined page's look (which shares everything) and a page kept waiting tell the process's
// own files from another run's.
#include "platform/win32_sheet.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "platform/platform_win32.h"
#include "platform/win32_calls.h"
#include "platform/win32_names.h"

using namespace win32;

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

// Each sheet held open, with its identity.
std::vector<std::pair<const PlatformFile*, std::string>> HeldSheets;

}  // namespace

namespace win32 {

// From the volume's serial number and the file's index on it.
std::string IdentityOf(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!Win32Calls.getFileInformation(handle, &info)) return std::string();
  const unsigned long long index =
      (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return std::to_string(info.dwVolumeSerialNumber) + ":" + std::to_string(index);
}

// A sheet whose identity could not be had is held under the empty identity.
bool IsHeldSheet(const std::string& identity) {
  return std::any_of(HeldSheets.begin(), HeldSheets.end(),
                     [&identity](const auto& held) { return held.second == identity; });
}

// Opened for its attributes only, shared with everyone, so that the look waits on nothing.
bool HeldHere(const std::string& name) {
  const HANDLE handle =
      Win32Calls.createFile(Wide(name).c_str(), FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const std::string identity = IdentityOf(handle);
  Win32Calls.closeHandle(handle);
  return !identity.empty() && IsHeldSheet(identity);
}

}  // namespace win32

PlatformFile* OpenFileReadOnly(const std::string& path) {
  // Shared for reading only: while it is open no one, this process included, can write it.
  const HANDLE handle =
      Win32Calls.createFile(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  if (!IsDiskFile(handle)) {  // a device or a pipe is no contact sheet
    Win32Calls.closeHandle(handle);
    return nullptr;
  }
  PlatformFile* file = new PlatformFile{handle};
  HeldSheets.emplace_back(file, IdentityOf(handle));
  return file;
}

// Mapped, not read: the view comes when the text is first looked at.
PlatformText* OpenWholeText(PlatformFile* file) {
  LARGE_INTEGER size;
  if (!Win32Calls.getFileSize(file->handle, &size) || size.QuadPart <= 0) return nullptr;
  if (static_cast<unsigned long long>(size.QuadPart) >= SIZE_MAX) return nullptr;
  const HANDLE mapping =
      Win32Calls.createFileMapping(file->handle, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (mapping == nullptr) return nullptr;
  return new PlatformText{mapping, static_cast<std::size_t>(size.QuadPart)};
}

const char* ViewWholeText(PlatformText* mapping, std::size_t* length) {
  if (mapping->view == nullptr) {
    mapping->view = static_cast<const char*>(
        Win32Calls.mapViewOfFile(mapping->mapping, FILE_MAP_READ, 0, 0, 0));
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

// The sheet is no longer held: pages may take its place again.
void CloseFile(PlatformFile* file) {
  HeldSheets.erase(std::remove_if(HeldSheets.begin(), HeldSheets.end(),
                                  [file](const auto& held) { return held.first == file; }),
                   HeldSheets.end());
  Win32Calls.closeHandle(file->handle);
  delete file;
}

void CloseWholeText(PlatformText* mapping) {
  if (mapping->view != nullptr) UnmapViewOfFile(mapping->view);
  Win32Calls.closeHandle(mapping->mapping);
  delete[] mapping->copy;
  delete mapping;
}

// ==== The working folder, and what lies beneath it =============================================
// The working folder is the contact sheet's: it is entered and named here, names are looked up
// in it, and every file a run writes is checked, through its open handle, to lie beneath it
// (a link or junction on the way may lead anywhere).
#include "platform/win32_folders.h"

#include "platform/platform.h"
#include "platform/platform_win32.h"
#include "platform/text_buffer.h"
#include "platform/win32_calls.h"
#include "platform/win32_names.h"

using namespace win32;

bool FileExists(const std::string& name) {
  return Win32Calls.getFileAttributes(Wide(name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Always a real look-up: short 8.3 names, case and trailing dots make a folder's listing answer
// differently from the file system.
bool ImageFileExists(const std::string& name) {
  return FileExists(name);
}

// Grows its buffer for a path longer than MAX_PATH.
std::string GetWorkingFolder() {
  return WideToUtf8(ReadIntoGrowingBuffer<wchar_t>(MAX_PATH, [](wchar_t* buffer, std::size_t size) {
    return LengthOrNeeded(Win32Calls.getCurrentDirectory(static_cast<DWORD>(size), buffer));
  }));
}

// A name that is not UTF-8 is empty here, which names no folder.
bool SetWorkingFolder(const std::string& folder) {
  return Win32Calls.setCurrentDirectory(Wide(folder).c_str()) != 0;
}

namespace win32 {

std::wstring FinalPath(HANDLE handle) {
  return ReadIntoGrowingBuffer<wchar_t>(MAX_PATH, [handle](wchar_t* buffer, std::size_t size) {
    return LengthOrNeeded(Win32Calls.getFinalPathName(handle, buffer, static_cast<DWORD>(size), 0));
  });
}

// Both paths as the system resolves them, compared as the file system compares names; the
// folder itself is opened for its attributes only, shared with everyone.
PathAnswer IsBeneathWorkingFolder(HANDLE file) {
  const HANDLE folder =
      Win32Calls.createFile(L".", 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return PathAnswer::Unknown;
  std::wstring prefix = FinalPath(folder);
  Win32Calls.closeHandle(folder);
  const std::wstring path = FinalPath(file);
  if (prefix.empty() || path.empty()) return PathAnswer::Unknown;
  if (prefix.back() != L'\\') prefix += L'\\';
  return path.size() > prefix.size() && StartsWithFolded(path, prefix) ? PathAnswer::Yes
                                                                       : PathAnswer::No;
}

bool LiesBeneathWorkingFolder(HANDLE file) {
  return IsBeneathWorkingFolder(file) == PathAnswer::Yes;
}

}  // namespace win32

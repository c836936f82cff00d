// ==== Looking at page names and removing pages ==================================================
// What stands under a page's name, found through a handle that keeps other programs from
// writing, moving or removing the file meanwhile (and that puts its access time back), and the
// removal of a page of ours through that very handle: the file looked at is the file removed.
// The looks that decide whether a write may replace a file are here too.
#include "platform/win32_pages.h"

#include <memory>
#include <new>

#include "platform/platform_win32.h"
#include "platform/win32_calls.h"
#include "platform/win32_folders.h"
#include "platform/win32_names.h"
#include "platform/win32_sheet.h"

using namespace win32;

namespace win32 {

PageFileState HeadOf(HANDLE handle, std::string_view marker) {
  // Left uninitialised: only the bytes read are looked at, and a page is a few KiB.
  const std::unique_ptr<char[]> head(new (std::nothrow) char[kOwnPageLookSize]);
  DWORD length = 0;
  const bool read =
      head && ReadHead(handle, head.get(), static_cast<DWORD>(kOwnPageLookSize), &length);
  return HeadState(head.get(), read ? static_cast<long long>(length) : -1, marker);
}

bool LooksLikeOwnPage(HANDLE handle, std::string_view marker) {
  // A file that cannot be read is not replaced.
  if (!MayBeReplaced(HeadOf(handle, marker))) return false;
  LARGE_INTEGER start{};
  return Win32Calls.setFilePointer(handle, start, nullptr, FILE_BEGIN);
}

bool HoldAccessTime(HANDLE handle, FILETIME* accessed) {
  if (!Win32Calls.getFileTime(handle, nullptr, accessed, nullptr)) return false;
  FILETIME keep{0xFFFFFFFF, 0xFFFFFFFF};
  Win32Calls.setFileTime(handle, nullptr, &keep, nullptr);
  return true;
}

void PutBackAccessTime(HANDLE handle, const FILETIME& accessed) {
  FILETIME now;
  if (Win32Calls.getFileTime(handle, nullptr, &now, nullptr) &&
      CompareFileTime(&now, &accessed) != 0)
    Win32Calls.setFileTime(handle, nullptr, &accessed, nullptr);
}

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

void RemoveCreatedFile(HANDLE handle, const std::string& name) {
  const bool marked = MarkForRemoval(handle, true);
  Win32Calls.closeHandle(handle);
  if (!marked) Win32Calls.deleteFile(Wide(name).c_str());
}

}  // namespace win32

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
      const DWORD attributes = Win32Calls.getFileAttributes(Wide(name).c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return PageFileState::NotRegular;
      return PageFileState::NotWritable;
    }
    default:
      return PageFileState::Failed;
  }
}

// Whether the open file is the one `name` names itself, not one that a link under that name
// leads to: its full path is its folder's followed by the name's last part (letters in either
// case). Windows opens a link itself where asked to (FILE_FLAG_OPEN_REPARSE_POINT), but a file
// system may show a link as the file it leads to, as Wine shows a Unix link. A name spelled
// otherwise than the file (a short 8.3 name) counts as another file, so it is left alone.
// Unknown when a path cannot be had.
PathAnswer IsFileItself(HANDLE file, const std::string& name) {
  const std::wstring wide = Wide(name);
  const std::size_t separator = wide.find_last_of(L"\\/");
  const std::wstring folderName =
      separator == std::wstring::npos ? L"." : wide.substr(0, separator + 1);
  const HANDLE folder = Win32Calls.createFile(
      folderName.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return PathAnswer::Unknown;
  std::wstring expected = FinalPath(folder);
  Win32Calls.closeHandle(folder);
  const std::wstring path = FinalPath(file);
  if (expected.empty() || path.empty()) return PathAnswer::Unknown;
  if (expected.back() != L'\\') expected += L'\\';
  expected += wide.substr(separator + 1);  // npos + 1 is 0
  return path.size() == expected.size() && StartsWithFolded(path, expected) ? PathAnswer::Yes
                                                                            : PathAnswer::No;
}

// What a look finds where a file's place is not where a page may lie: a link leading out, or, when
// a failed call left it unknown, a failure (never a link that may not be there).
PageFileState Misplaced(PathAnswer answer, PageFileState state) {
  return answer == PathAnswer::Unknown ? PageFileState::Failed : state;
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
      Win32Calls.createFile(Wide(name).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    look.state = Unopened(name, GetLastError());
    return look;
  }
  look.identity = IdentityOf(handle);
  FILETIME accessed;
  const bool accessTimeHeld = HoldAccessTime(handle, &accessed);
  PathAnswer beneath = PathAnswer::Yes;
  if (!IsDiskFile(handle)) {
    look.state = PageFileState::NotRegular;
  } else if ((beneath = IsBeneathWorkingFolder(handle)) != PathAnswer::Yes) {
    look.state = Misplaced(beneath, PageFileState::LeadsOutside);
  } else {
    look.state = HeadOf(handle, marker);
  }
  if (accessTimeHeld) PutBackAccessTime(handle, accessed);
  Win32Calls.closeHandle(handle);
  return look;
}

// The name is opened as itself, never through a link at its end (a folder as a folder), shared
// for reading only: while the handle is open no other program can write, move or remove the
// file, so the file looked at through it is the very file removed. A page of ours is marked for
// removal through that handle, and the system removes it as the handle closes.
PageFileState RemoveOwnPage(const std::string& name, std::string_view marker) {
  if (Wide(name).empty()) return PageFileState::Failed;  // no name of a file
  if (NamesReservedDevice(name)) return PageFileState::DeviceName;
  const HANDLE handle = Win32Calls.createFile(
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
  PathAnswer answer = PathAnswer::Yes;
  if (!Win32Calls.getFileInformation(handle, &info)) {
    state = PageFileState::Failed;
  } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    state = PageFileState::Link;
  } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || !IsDiskFile(handle)) {
    state = PageFileState::NotRegular;
  } else if ((answer = IsFileItself(handle, name)) != PathAnswer::Yes) {
    state = Misplaced(answer, PageFileState::Link);
  } else if ((answer = IsBeneathWorkingFolder(handle)) != PathAnswer::Yes) {
    state = Misplaced(answer, PageFileState::LeadsOutside);
  } else {
    state = HeadOf(handle, marker);
  }
  if (state == PageFileState::OwnPage) {
    state = MarkPageForRemoval(handle, info.dwFileAttributes) ? PageFileState::Removed
                                                              : PageFileState::NotWritable;
  }
  if (state != PageFileState::Removed && accessTimeHeld) PutBackAccessTime(handle, accessed);
  Win32Calls.closeHandle(handle);
  // Where the system could not remove it as the handle closed, the name still shows a file.
  if (state == PageFileState::Removed &&
      Win32Calls.getFileAttributes(Wide(name).c_str()) != INVALID_FILE_ATTRIBUTES)
    state = PageFileState::NotWritable;
  return state;
}

// The photo operations on Win32: the entries of the folder and of its folder of copies, files'
// first bytes, and that folder made and removed, through the wide-character calls of the
// platform's call table (Win32Calls), a link or junction looked at but never read through; and
// the photo codec of the Windows Imaging Component (photo_codec_wic.cpp), started on first use.
#include <windows.h>

#include <algorithm>
#include <string>

#include "photos/photo_codec.h"
#include "photos/photo_jobs.h"
#include "photos/photos.h"
#include "platform/platform_win32.h"

namespace {

const KestrunePhotoCodec* Codec = nullptr;

std::wstring Wide(const std::string& name) {
  std::wstring wide;
  return Utf8ToWide(name, &wide) ? wide : std::wstring();
}

// FILETIME counts 100 ns from 1601; the marks count nanoseconds from 1970, as on Linux.
long long NanosecondsOf(const FILETIME& time) {
  const long long ticks = static_cast<long long>(
      static_cast<unsigned long long>(time.dwHighDateTime) << 32 | time.dwLowDateTime);
  return (ticks - 116444736000000000LL) * 100;
}

// The full path of an open file or folder, as the system resolves it; empty when unknown.
std::wstring FinalPath(HANDLE handle) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        Win32Calls.getFinalPathName(handle, &path[0], static_cast<DWORD>(path.size()), 0);
    if (length == 0) return std::wstring();
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(length + 1);
  }
}

// `name` with each "/" written "\\", as a resolved path spells it.
std::wstring Backslashed(std::wstring name) {
  std::replace(name.begin(), name.end(), L'/', L'\\');
  return name;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() &&
         CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

std::wstring WorkingFolderPath() {
  const HANDLE folder =
      Win32Calls.createFile(L".", 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return std::wstring();
  std::wstring path = FinalPath(folder);
  Win32Calls.closeHandle(folder);
  if (!path.empty() && path.back() != L'\\') path += L'\\';
  return path;
}

// Whether the file at `path` (as the system resolves it) lies directly in `folder` (a path
// ending in "\"), or, when `itself` is asked, exactly under `name` from it (which may name a
// file in a folder of its own): a link resolves elsewhere, even where the file system shows it as
// the file it leads to (as Wine shows a Unix link).
bool LiesIn(const std::wstring& path, const std::wstring& folder, const std::wstring& name,
            bool itself) {
  if (folder.empty() || path.size() <= folder.size() ||
      !SamePath(path.substr(0, folder.size()), folder))
    return false;
  const std::wstring rest = path.substr(folder.size());
  return itself ? SamePath(rest, name) : rest.find(L'\\') == std::wstring::npos;
}

// What stands under `name` (with `attributes` from the listing; `path`, the name from the working
// folder) into *kind, and whether it is a link into *link: a link counts as what it leads to when
// that is directly in the folder. The file is opened for its attributes only, which waits on no
// device. False when it was opened but a look at it failed: what it is cannot be told, and the
// listing fails rather than call it what it may not be.
bool KindOf(const std::wstring& name, const std::wstring& path, DWORD attributes,
            const std::wstring& folder, EntryKind* kind, bool* link) {
  *link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  const HANDLE handle = Win32Calls.createFile(
      path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    // Unreadable: the codec tells why; a link that leads nowhere is not followed.
    if (*link)
      *kind = EntryKind::LinkOutside;
    else
      *kind = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? EntryKind::Folder : EntryKind::Regular;
    return true;
  }
  const std::wstring resolved = FinalPath(handle);
  BY_HANDLE_FILE_INFORMATION info;
  DWORD type = FILE_TYPE_UNKNOWN;
  bool looked = !resolved.empty() && Win32Calls.getFileInformation(handle, &info);
  if (looked) {
    SetLastError(NO_ERROR);  // FILE_TYPE_UNKNOWN is a failure only with an error
    type = Win32Calls.getFileType(handle);
    looked = type != FILE_TYPE_UNKNOWN || GetLastError() == NO_ERROR;
  }
  Win32Calls.closeHandle(handle);
  if (!looked) return false;
  // Wine shows a Unix link as the file it leads to: it resolves under another name.
  *link = *link || !LiesIn(resolved, folder, name, true);
  if (!LiesIn(resolved, folder, name, false)) {
    *kind = EntryKind::LinkOutside;
  } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    *kind = EntryKind::Folder;
  } else {
    *kind = type == FILE_TYPE_DISK ? EntryKind::Regular : EntryKind::Other;
  }
  return true;
}

// The entry the listing of `folder` (its path from the working folder `prefix`, empty or ending
// in "\") found as `found`, in *entry; false when a look at it failed. A name that Windows reads
// as a device is never opened.
bool ReadEntry(const WIN32_FIND_DATAW& found, const std::wstring& prefix,
               const std::wstring& folder, FolderEntry* entry) {
  const std::wstring name = found.cFileName, path = prefix + name;
  entry->name = WideToUtf8(name);
  entry->kind = EntryKind::Other;
  if (!NamesReservedDevice(entry->name) &&
      !KindOf(name, path, found.dwFileAttributes, folder, &entry->kind, &entry->link))
    return false;
  entry->size = static_cast<unsigned long long>(found.nFileSizeHigh) << 32 | found.nFileSizeLow;
  entry->modified = NanosecondsOf(found.ftLastWriteTime);
  if (entry->kind != EntryKind::Regular || !entry->link) return true;
  // A link inside the folder: the size and time of the file it leads to.
  WIN32_FILE_ATTRIBUTE_DATA target;
  if (!Win32Calls.getFileAttributesEx(path.c_str(), GetFileExInfoStandard, &target)) return false;
  entry->size = static_cast<unsigned long long>(target.nFileSizeHigh) << 32 | target.nFileSizeLow;
  entry->modified = NanosecondsOf(target.ftLastWriteTime);
  return true;
}

// The entries of the folder `prefix` names from the working folder (empty: the working folder
// itself; else ending in "\"), which lies at `folder` (a full path ending in "\"). Read to its
// end, or not at all: a listing cut short by a failed call would leave photos out of the sheet
// (and their pages to be removed as those of photos gone).
bool ListEntries(const std::wstring& prefix, const std::wstring& folder,
                 std::vector<FolderEntry>* entries) {
  WIN32_FIND_DATAW found;
  const HANDLE search = Win32Calls.findFirstFile((prefix + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  bool read = !folder.empty();
  while (read) {
    const std::wstring name = found.cFileName;
    FolderEntry entry;
    // A name that is no UTF-8 text (an unpaired surrogate) names no photo kestrune can write
    // pages for: it is passed over.
    if (name != L"." && name != L".." && Wide(WideToUtf8(name)) == name) {
      read = ReadEntry(found, prefix, folder, &entry);
      if (read) entries->push_back(std::move(entry));
    }
    if (read && !Win32Calls.findNextFile(search, &found)) break;
  }
  read = read && GetLastError() == ERROR_NO_MORE_FILES;
  Win32Calls.findClose(search);
  if (!read) entries->clear();
  return read;
}

// A name of the working folder's own that names one thing in it: no separator, no "." or "..",
// no device.
bool IsPlainName(const std::string& name, const std::wstring& wide) {
  return !wide.empty() && wide.find_first_of(L"\\/:") == std::wstring::npos && name != "." &&
         name != ".." && !NamesReservedDevice(name);
}

// The full path of `name` (a plain name) ending in "\" when it is a folder of the working
// folder's own: no link or junction, and not shown in place of what a link leads to; empty
// otherwise, or when a look at it failed.
std::wstring OwnFolderPath(const std::wstring& name) {
  const HANDLE handle = Win32Calls.createFile(
      name.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::wstring();
  BY_HANDLE_FILE_INFORMATION info;
  const bool folder =
      Win32Calls.getFileInformation(handle, &info) &&
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ==
          FILE_ATTRIBUTE_DIRECTORY;
  std::wstring path = folder ? FinalPath(handle) : std::wstring();
  Win32Calls.closeHandle(handle);
  if (path.empty() || !LiesIn(path, WorkingFolderPath(), name, true)) return std::wstring();
  return path + L"\\";
}

}  // namespace

bool IsFolderPath(const std::string& path) {
  const std::wstring wide = Wide(path);
  if (wide.empty()) return false;
  const DWORD attributes = Win32Calls.getFileAttributes(wide.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool ListWorkingFolder(std::vector<FolderEntry>* entries) {
  return ListEntries(L"", WorkingFolderPath(), entries);
}

bool ListFolder(const std::string& folder, std::vector<FolderEntry>* entries) {
  const std::wstring wide = Wide(folder);
  if (!IsPlainName(folder, wide)) return false;
  const std::wstring path = OwnFolderPath(wide);
  return !path.empty() && ListEntries(wide + L"\\", path, entries);
}

// A folder made by another run meanwhile is found as made.
bool MakeFolder(const std::string& name) {
  const std::wstring wide = Wide(name);
  if (!IsPlainName(name, wide)) return false;
  if (Win32Calls.createDirectory(wide.c_str(), nullptr)) return true;
  return GetLastError() == ERROR_ALREADY_EXISTS && !OwnFolderPath(wide).empty();
}

// The system removes only an empty folder; a link or junction in its place is left as it is.
bool RemoveEmptyFolder(const std::string& name) {
  const std::wstring wide = Wide(name);
  return IsPlainName(name, wide) && !OwnFolderPath(wide).empty() &&
         Win32Calls.removeDirectory(wide.c_str()) != 0;
}

bool ReadFileHead(const std::string& name, std::size_t limit, std::string* head) {
  const std::wstring wide = Wide(name);
  if (wide.empty() || NamesReservedDevice(name)) return false;
  const HANDLE file = Win32Calls.createFile(
      wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  bool read =
      Win32Calls.getFileType(file) == FILE_TYPE_DISK &&
      Win32Calls.getFileInformation(file, &info) &&
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0 &&
      LiesIn(FinalPath(file), WorkingFolderPath(), Backslashed(wide), true);
  if (read) {
    const unsigned long long size =
        static_cast<unsigned long long>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
    // Room for what the file holds (one byte more, to see it end), never the whole limit.
    limit = static_cast<std::size_t>(std::min<unsigned long long>(limit, size + 1));
    head->resize(limit);
    std::size_t got = 0;
    DWORD n = 0;
    while (got < limit &&
           Win32Calls.readFile(file, &(*head)[got], static_cast<DWORD>(limit - got), &n, nullptr) &&
           n > 0)
      got += n;
    head->resize(got);
  }
  Win32Calls.closeHandle(file);
  return read;
}

bool OpenPhotoCodec(std::string* why) {
  if (Codec == nullptr) Codec = KestruneOpenPhotoCodec();
  if (Codec == nullptr) *why = "the Windows Imaging Component (COM cannot be loaded)";
  return Codec != nullptr;
}

const KestrunePhotoCodec& LoadedPhotoCodec() {
  return *Codec;
}

// The codec reads photos through the wide-character calls itself.
const KestrunePhotoFiles* PhotoFiles() {
  return nullptr;
}

unsigned PhotoThreads() {
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  return system.dwNumberOfProcessors == 0 ? 2 : system.dwNumberOfProcessors;
}

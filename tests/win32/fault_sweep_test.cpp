// Failing every file call of a folder run on Windows, one at a time: each call that a run on a
// small folder of photos makes through the platform's call table (Win32Calls: the platform layer,
// the folder listings, the folder of copies made and removed, and the WIC codec's photo reads) is
// failed once, in a first run and in a re-run over an earlier run's thumbnails, copies and sheet.
// The run must end with status 1 and a box that names what failed (or, where nothing is lost,
// exactly as a clean run ends), no photo changed, no partial thumbnail or page, no temporary file,
// and nothing outside the folder touched. The runs go in-process through the program's own run and
// window machinery, a hook answering the message boxes. Run in an empty scratch working folder.
#include <initguid.h>
// initguid.h first: the WIC GUIDs the test's photos are made with (selectany, as the codec's).
#include <wincodec.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "app/main_window.h"
#include "generation/generation_state.h"
#include "pages/page_marker.h"
#include "platform/platform_win32.h"
#include "tests/win32/checks.h"
#include "ui/window_win32.h"

namespace {

using test_checks::Check;

std::string Utf8(const std::wstring& wide) {
  return WideToUtf8(wide);
}

// ---- The calls, counted and failed ------------------------------------------------------------

// clang-format off
enum Call {
  kCreateFile, kCloseHandle, kDuplicateHandle, kGetFileType, kGetFileInformation, kGetFileSize,
  kGetFinalPathName, kGetFileTime, kSetFileTime, kReadFile, kWriteFile, kSetFilePointer,
  kSetEndOfFile, kCreateFileMapping, kMapViewOfFile, kSetFileInformation, kDeleteFile,
  kGetFileAttributes, kGetFileAttributesEx, kFindFirstFile, kFindNextFile, kFindClose,
  kGetCurrentDirectory, kSetCurrentDirectory, kGetFullPathName, kCreateDirectory,
  kRemoveDirectory, kCallKinds
};
const char* const kCallNames[] = {
  "createFile", "closeHandle", "duplicateHandle", "getFileType", "getFileInformation",
  "getFileSize", "getFinalPathName", "getFileTime", "setFileTime", "readFile", "writeFile",
  "setFilePointer", "setEndOfFile", "createFileMapping", "mapViewOfFile", "setFileInformation",
  "deleteFile", "getFileAttributes", "getFileAttributesEx", "findFirstFile", "findNextFile",
  "findClose", "getCurrentDirectory", "setCurrentDirectory", "getFullPathName",
  "createDirectory", "removeDirectory"};
// clang-format on

// One call of a run: its kind, the file it is about (its last name; a temporary file counts as
// the file it stands for) and how many calls of that kind on that file came before it. Photos are
// read on the codec's threads in any order, but the calls on one file come in one order.
struct Site {
  Call kind;
  std::string file;
  int ordinal;
  bool operator<(const Site& o) const {
    return std::tie(kind, file, ordinal) < std::tie(o.kind, o.file, o.ordinal);
  }
};

struct Faults {
  SRWLOCK lock = SRWLOCK_INIT;
  std::map<std::pair<Call, std::string>, int> counts;
  std::vector<Site> sites;               // every call, in the order they came
  std::map<HANDLE, std::string> fileOf;  // open handles and the files they are about
  bool failing = false;
  Site fail{kCallKinds, "", 0};
  bool hit = false;
} Plan;

// ".NAME.PID[-N][.old].tmp", the hidden temporary names of the combined page's writes, stand for
// NAME; a folder's listing ("FOLDER\*") for "FOLDER\*"; any other name for its last part.
std::string FileOf(const std::wstring& wide) {
  const std::size_t last = wide.find_last_of(L"\\/");
  if (last != std::wstring::npos && wide.compare(last + 1, std::wstring::npos, L"*") == 0)
    return FileOf(wide.substr(0, last)) + "\\*";
  std::string name = Utf8(wide.substr(last + 1));  // npos + 1 is 0
  if (name.size() > 5 && name[0] == '.' && name.compare(name.size() - 4, 4, ".tmp") == 0) {
    std::string rest = name.substr(1, name.size() - 5);
    if (rest.size() > 4 && rest.compare(rest.size() - 4, 4, ".old") == 0)
      rest.resize(rest.size() - 4);
    const std::size_t dot = rest.rfind('.');
    if (dot != std::string::npos) name = rest.substr(0, dot);
  }
  return name;
}

std::string FileOf(HANDLE handle) {
  AcquireSRWLockShared(&Plan.lock);
  const auto found = Plan.fileOf.find(handle);
  const std::string file = found == Plan.fileOf.end() ? "(unknown)" : found->second;
  ReleaseSRWLockShared(&Plan.lock);
  return file;
}

// Counts the call; true when it is the one to fail, with `error` as its last error.
bool Fails(Call kind, const std::string& file, DWORD error) {
  AcquireSRWLockExclusive(&Plan.lock);
  const int ordinal = ++Plan.counts[{kind, file}];
  Plan.sites.push_back({kind, file, ordinal});
  const bool fails = Plan.failing && !Plan.hit && kind == Plan.fail.kind &&
                     file == Plan.fail.file && ordinal == Plan.fail.ordinal;
  Plan.hit = Plan.hit || fails;
  ReleaseSRWLockExclusive(&Plan.lock);
  if (fails) SetLastError(error);
  return fails;
}

bool Fails(Call kind, HANDLE handle, DWORD error) {
  return Fails(kind, FileOf(handle), error);
}

// A handle about `file` from now on (nothing when it is none).
HANDLE Opened(HANDLE handle, const std::string& file) {
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return handle;
  AcquireSRWLockExclusive(&Plan.lock);
  Plan.fileOf[handle] = file;
  ReleaseSRWLockExclusive(&Plan.lock);
  return handle;
}

// The handle is about nothing from now on; dropped before the system may give its value again.
void Closing(HANDLE handle) {
  AcquireSRWLockExclusive(&Plan.lock);
  Plan.fileOf.erase(handle);
  ReleaseSRWLockExclusive(&Plan.lock);
}

constexpr DWORD kDenied = ERROR_ACCESS_DENIED, kFull = ERROR_DISK_FULL, kIo = ERROR_IO_DEVICE;
const Win32CallTable kSystem = DefaultWin32Calls();  // the real calls, behind the counted ones

HANDLE WINAPI CreateFile_(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE model) {
  const std::string file = FileOf(name);
  if (Fails(kCreateFile, file, kDenied)) return INVALID_HANDLE_VALUE;
  return Opened(kSystem.createFile(name, access, share, security, disposition, flags, model), file);
}
BOOL WINAPI CloseHandle_(HANDLE handle) {
  const bool fails = Fails(kCloseHandle, handle, kIo);
  Closing(handle);
  const BOOL closed = kSystem.closeHandle(handle);  // gone either way, as after a real failure
  return fails ? FALSE : closed;
}
BOOL WINAPI DuplicateHandle_(HANDLE process, HANDLE source, HANDLE target, LPHANDLE copy,
                             DWORD access, BOOL inherit, DWORD options) {
  if (Fails(kDuplicateHandle, source, kIo)) return FALSE;
  const BOOL made =
      kSystem.duplicateHandle(process, source, target, copy, access, inherit, options);
  if (made) Opened(*copy, FileOf(source));
  return made;
}
DWORD WINAPI GetFileType_(HANDLE handle) {
  return Fails(kGetFileType, handle, kIo) ? FILE_TYPE_UNKNOWN : kSystem.getFileType(handle);
}
BOOL WINAPI GetFileInformation_(HANDLE handle, LPBY_HANDLE_FILE_INFORMATION info) {
  return !Fails(kGetFileInformation, handle, kIo) && kSystem.getFileInformation(handle, info);
}
BOOL WINAPI GetFileSize_(HANDLE handle, PLARGE_INTEGER size) {
  return !Fails(kGetFileSize, handle, kIo) && kSystem.getFileSize(handle, size);
}
DWORD WINAPI GetFinalPathName_(HANDLE handle, LPWSTR path, DWORD size, DWORD flags) {
  return Fails(kGetFinalPathName, handle, kIo)
             ? 0
             : kSystem.getFinalPathName(handle, path, size, flags);
}
BOOL WINAPI GetFileTime_(HANDLE handle, LPFILETIME made, LPFILETIME accessed, LPFILETIME written) {
  return !Fails(kGetFileTime, handle, kIo) && kSystem.getFileTime(handle, made, accessed, written);
}
BOOL WINAPI SetFileTime_(HANDLE handle, const FILETIME* made, const FILETIME* accessed,
                         const FILETIME* written) {
  return !Fails(kSetFileTime, handle, kIo) && kSystem.setFileTime(handle, made, accessed, written);
}
BOOL WINAPI ReadFile_(HANDLE handle, LPVOID bytes, DWORD size, LPDWORD read, LPOVERLAPPED o) {
  if (!Fails(kReadFile, handle, kIo)) return kSystem.readFile(handle, bytes, size, read, o);
  if (read != nullptr) *read = 0;
  return FALSE;
}
BOOL WINAPI WriteFile_(HANDLE handle, LPCVOID bytes, DWORD size, LPDWORD wrote, LPOVERLAPPED o) {
  if (!Fails(kWriteFile, handle, kFull)) return kSystem.writeFile(handle, bytes, size, wrote, o);
  if (wrote != nullptr) *wrote = 0;
  return FALSE;
}
BOOL WINAPI SetFilePointer_(HANDLE handle, LARGE_INTEGER to, PLARGE_INTEGER at, DWORD from) {
  return !Fails(kSetFilePointer, handle, kIo) && kSystem.setFilePointer(handle, to, at, from);
}
BOOL WINAPI SetEndOfFile_(HANDLE handle) {
  return !Fails(kSetEndOfFile, handle, kFull) && kSystem.setEndOfFile(handle);
}
HANDLE WINAPI CreateFileMapping_(HANDLE file, LPSECURITY_ATTRIBUTES security, DWORD protect,
                                 DWORD high, DWORD low, LPCWSTR name) {
  if (Fails(kCreateFileMapping, file, kIo)) return nullptr;
  return Opened(kSystem.createFileMapping(file, security, protect, high, low, name), FileOf(file));
}
LPVOID WINAPI MapViewOfFile_(HANDLE mapping, DWORD access, DWORD high, DWORD low, SIZE_T size) {
  return Fails(kMapViewOfFile, mapping, kIo)
             ? nullptr
             : kSystem.mapViewOfFile(mapping, access, high, low, size);
}
BOOL WINAPI SetFileInformation_(HANDLE handle, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID info,
                                DWORD size) {
  return !Fails(kSetFileInformation, handle, kDenied) &&
         kSystem.setFileInformation(handle, kind, info, size);
}
BOOL WINAPI DeleteFile_(LPCWSTR name) {
  return !Fails(kDeleteFile, FileOf(name), kDenied) && kSystem.deleteFile(name);
}
DWORD WINAPI GetFileAttributes_(LPCWSTR name) {
  return Fails(kGetFileAttributes, FileOf(name), kIo) ? INVALID_FILE_ATTRIBUTES
                                                      : kSystem.getFileAttributes(name);
}
BOOL WINAPI GetFileAttributesEx_(LPCWSTR name, GET_FILEEX_INFO_LEVELS level, LPVOID info) {
  return !Fails(kGetFileAttributesEx, FileOf(name), kIo) &&
         kSystem.getFileAttributesEx(name, level, info);
}
HANDLE WINAPI FindFirstFile_(LPCWSTR pattern, LPWIN32_FIND_DATAW found) {
  if (Fails(kFindFirstFile, FileOf(pattern), kDenied)) return INVALID_HANDLE_VALUE;
  return Opened(kSystem.findFirstFile(pattern, found), FileOf(pattern));
}
BOOL WINAPI FindNextFile_(HANDLE search, LPWIN32_FIND_DATAW found) {
  return !Fails(kFindNextFile, search, kIo) && kSystem.findNextFile(search, found);
}
BOOL WINAPI FindClose_(HANDLE search) {
  const bool fails = Fails(kFindClose, search, kIo);
  Closing(search);
  const BOOL closed = kSystem.findClose(search);
  return fails ? FALSE : closed;
}
DWORD WINAPI GetCurrentDirectory_(DWORD size, LPWSTR buffer) {
  return Fails(kGetCurrentDirectory, "(working folder)", kIo)
             ? 0
             : kSystem.getCurrentDirectory(size, buffer);
}
BOOL WINAPI SetCurrentDirectory_(LPCWSTR name) {
  return !Fails(kSetCurrentDirectory, FileOf(name), kDenied) && kSystem.setCurrentDirectory(name);
}
DWORD WINAPI GetFullPathName_(LPCWSTR name, DWORD size, LPWSTR buffer, LPWSTR* part) {
  return Fails(kGetFullPathName, FileOf(name), kIo)
             ? 0
             : kSystem.getFullPathName(name, size, buffer, part);
}
BOOL WINAPI CreateDirectory_(LPCWSTR name, LPSECURITY_ATTRIBUTES security) {
  return !Fails(kCreateDirectory, FileOf(name), kDenied) && kSystem.createDirectory(name, security);
}
BOOL WINAPI RemoveDirectory_(LPCWSTR name) {
  return !Fails(kRemoveDirectory, FileOf(name), kDenied) && kSystem.removeDirectory(name);
}

// The table that counts every call and fails the one planned.
Win32CallTable CountedCalls() {
  Win32CallTable calls;
  calls.createFile = CreateFile_;
  calls.closeHandle = CloseHandle_;
  calls.duplicateHandle = DuplicateHandle_;
  calls.getFileType = GetFileType_;
  calls.getFileInformation = GetFileInformation_;
  calls.getFileSize = GetFileSize_;
  calls.getFinalPathName = GetFinalPathName_;
  calls.getFileTime = GetFileTime_;
  calls.setFileTime = SetFileTime_;
  calls.readFile = ReadFile_;
  calls.writeFile = WriteFile_;
  calls.setFilePointer = SetFilePointer_;
  calls.setEndOfFile = SetEndOfFile_;
  calls.createFileMapping = CreateFileMapping_;
  calls.mapViewOfFile = MapViewOfFile_;
  calls.setFileInformation = SetFileInformation_;
  calls.deleteFile = DeleteFile_;
  calls.getFileAttributes = GetFileAttributes_;
  calls.getFileAttributesEx = GetFileAttributesEx_;
  calls.findFirstFile = FindFirstFile_;
  calls.findNextFile = FindNextFile_;
  calls.findClose = FindClose_;
  calls.getCurrentDirectory = GetCurrentDirectory_;
  calls.setCurrentDirectory = SetCurrentDirectory_;
  calls.getFullPathName = GetFullPathName_;
  calls.createDirectory = CreateDirectory_;
  calls.removeDirectory = RemoveDirectory_;
  return calls;
}

// ---- Files and folders, reached directly (never through the table) ----------------------------

// Every file beneath `folder`, by relative name: its bytes, and its last-write time.
struct Files {
  std::map<std::string, std::string> bytes, times;
};

void Snapshot(const std::wstring& folder, const std::string& prefix, Files* files) {
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::string relative = prefix + Utf8(name);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      Snapshot(folder + L"\\" + name, relative + "\\", files);
      continue;
    }
    std::string bytes;
    const HANDLE file = CreateFileW((folder + L"\\" + name).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    char buffer[65536];
    DWORD got = 0;
    while (file != INVALID_HANDLE_VALUE && ReadFile(file, buffer, sizeof buffer, &got, nullptr) &&
           got > 0)
      bytes.append(buffer, got);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    files->bytes[relative] = bytes;
    files->times[relative] = std::to_string(found.ftLastWriteTime.dwHighDateTime) + ":" +
                             std::to_string(found.ftLastWriteTime.dwLowDateTime);
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

Files Snapshot(const std::wstring& folder) {
  Files files;
  Snapshot(folder, "", &files);
  return files;
}

void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName, path = folder + L"\\" + name;
      if (name == L"." || name == L"..") continue;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(folder.c_str());
}

// Copies the files and folders of `from` into a new folder `to`, their times kept (thumbnails'
// marks hold their photos' times).
void CopyFolder(const std::wstring& from, const std::wstring& to) {
  CreateDirectoryW(to.c_str(), nullptr);
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW((from + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = found.cFileName;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
      CopyFileW((from + L"\\" + name).c_str(), (to + L"\\" + name).c_str(), TRUE);
    else if (name != L"." && name != L"..")
      CopyFolder(from + L"\\" + name, to + L"\\" + name);
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

// A photo of width x height pixels of a pattern of its own (`seed`), written by WIC in the format
// `container` (JPEG, PNG).
bool MakePhoto(const std::wstring& name, UINT width, UINT height, const GUID& container, int seed) {
  IWICImagingFactory* factory = nullptr;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IWICImagingFactory, reinterpret_cast<void**>(&factory))))
    return false;
  const UINT stride = (width * 3 + 3) & ~3u;
  std::vector<BYTE> pixels(static_cast<std::size_t>(stride) * height);
  for (UINT y = 0; y < height; ++y) {
    for (UINT x = 0; x < width; ++x) {
      BYTE* pixel = &pixels[static_cast<std::size_t>(y) * stride + x * 3];
      pixel[0] = static_cast<BYTE>(x * 255 / width);
      pixel[1] = static_cast<BYTE>(y * 255 / height);
      pixel[2] = static_cast<BYTE>(seed * 60 + ((x / 16 + y / 16) % 2) * 80);
    }
  }
  IWICBitmap* bitmap = nullptr;
  IWICStream* stream = nullptr;
  IWICBitmapEncoder* encoder = nullptr;
  IWICBitmapFrameEncode* frame = nullptr;
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  bool made = SUCCEEDED(factory->CreateBitmapFromMemory(width, height, format, stride,
                                                        static_cast<UINT>(pixels.size()),
                                                        pixels.data(), &bitmap)) &&
              SUCCEEDED(factory->CreateStream(&stream)) &&
              SUCCEEDED(stream->InitializeFromFilename(name.c_str(), GENERIC_WRITE)) &&
              SUCCEEDED(factory->CreateEncoder(container, nullptr, &encoder)) &&
              SUCCEEDED(encoder->Initialize(stream, WICBitmapEncoderNoCache)) &&
              SUCCEEDED(encoder->CreateNewFrame(&frame, nullptr)) &&
              SUCCEEDED(frame->Initialize(nullptr)) && SUCCEEDED(frame->SetSize(width, height)) &&
              SUCCEEDED(frame->SetPixelFormat(&format)) &&
              SUCCEEDED(frame->WriteSource(bitmap, nullptr)) && SUCCEEDED(frame->Commit()) &&
              SUCCEEDED(encoder->Commit());
  for (IUnknown* held : std::initializer_list<IUnknown*>{frame, encoder, stream, bitmap, factory})
    if (held != nullptr) held->Release();
  return made;
}

// ---- One run ----------------------------------------------------------------------------------

// The message boxes of a run, their titles and texts, each answered with OK as soon as it has
// them: the hook sees the box's WM_INITDIALOG once it is handled.
std::vector<std::string> Told;

LRESULT CALLBACK AnswerBox(int code, WPARAM wParam, LPARAM lParam) {
  const CWPRETSTRUCT* sent = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
  char name[16] = {};
  if (code == HC_ACTION && sent->message == WM_INITDIALOG &&
      GetClassNameA(sent->hwnd, name, sizeof name) != 0 && std::string(name) == "#32770") {
    wchar_t title[1024] = {}, text[4096] = {};
    GetWindowTextW(sent->hwnd, title, 1024);
    GetDlgItemTextW(sent->hwnd, 0xFFFF, text, 4096);
    Told.push_back(Utf8(title) + " | " + Utf8(text));
    PostMessageW(sent->hwnd, WM_COMMAND, IDOK, 0);
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

struct Outcome {
  int status = -1;
  std::vector<std::string> boxes;
  Files files;  // the folder's, after the run
  bool outsideTouched = false;
};

const std::wstring kRun = L"run", kPhotos = L"run\\photos";

// Everything in the run's folder but the folder of photos: the folder beside it, "outside".
Files Beside() {
  Files files = Snapshot(kRun);
  for (auto* map : {&files.bytes, &files.times}) {
    for (auto it = map->begin(); it != map->end();)
      it = it->first.compare(0, 7, "photos\\") == 0 ? map->erase(it) : std::next(it);
  }
  return files;
}

// A run of kestrune on a fresh copy of `folder`, the calls counted and, when `fail` names one,
// that call failed.
Outcome Run(const std::wstring& folder, const Site* fail) {
  RemoveTree(kRun);
  CreateDirectoryW(kRun.c_str(), nullptr);
  CopyFolder(folder, kPhotos);
  CopyFolder(L"outside", L"run\\outside");
  const Files beside = Beside();
  Plan.counts.clear();
  Plan.sites.clear();
  Plan.fileOf.clear();
  Plan.failing = fail != nullptr;
  Plan.fail = fail != nullptr ? *fail : Site{kCallKinds, "", 0};
  Plan.hit = false;
  Told.clear();

  State = GenerationState{};
  UnregisterClassW(L"kestrune", GetModuleHandleW(nullptr));  // the last run's window class
  wchar_t start[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, start);
  Win32Calls = CountedCalls();
  Outcome outcome;
  outcome.status = RunKestrune("run\\photos", ReadCommandOptions("run\\photos"));
  Win32Calls = DefaultWin32Calls();
  SetCurrentDirectoryW(start);

  outcome.boxes = Told;
  outcome.files = Snapshot(kPhotos);
  const Files after = Beside();
  outcome.outsideTouched = after.bytes != beside.bytes || after.times != beside.times;
  return outcome;
}

// ---- The sweep --------------------------------------------------------------------------------

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool IsPage(const std::string& name) {
  return EndsWith(name, ".htm") || EndsWith(name, ".html");
}

// A thumbnail, or a copy in the folder of copies.
bool IsThumbnail(const std::string& name) {
  return EndsWith(name, "_t.jpg") || name.compare(0, 3, "tn_") == 0 ||
         name.compare(0, 16, "kestrune-copies\\") == 0;
}

std::string Lower(std::string text) {
  for (char& c : text) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return text;
}

// A page written whole: it carries the marker and ends as every page ends.
bool IsCompletePage(const std::string& bytes) {
  return bytes.find(kOwnPageMarker) != std::string::npos &&
         EndsWith(Lower(bytes.substr(bytes.size() < 16 ? 0 : bytes.size() - 16)), "</html>\r\n");
}

// The lines in which `a` and `b` differ, as pairs ("(lines)" when they have not as many).
std::vector<std::pair<std::string, std::string>> DifferingLines(const std::string& a,
                                                                const std::string& b) {
  std::vector<std::string> lines[2];
  for (int i = 0; i < 2; ++i) {
    const std::string& text = i == 0 ? a : b;
    for (std::size_t at = 0; at < text.size();) {
      const std::size_t end = std::min(text.find('\n', at), text.size());
      lines[i].push_back(text.substr(at, end - at));
      at = end + 1;
    }
  }
  if (lines[0].size() != lines[1].size()) return {{"(lines)", ""}};
  std::vector<std::pair<std::string, std::string>> differ;
  for (std::size_t i = 0; i < lines[0].size(); ++i)
    if (lines[0][i] != lines[1][i]) differ.emplace_back(lines[0][i], lines[1][i]);
  return differ;
}

std::string Describe(const Site& site) {
  return std::string(kCallNames[site.kind]) + " #" + std::to_string(site.ordinal) + " on " +
         site.file;
}

bool IsOurs(const std::string& name) {
  return IsPage(name) || IsThumbnail(name);
}

// `line` with each copy it names ("kestrune-copies/NAME.EDGE.jpg") named by its photo (NAME).
std::string PhotosForCopies(const std::string& line) {
  static const std::regex copy("kestrune-copies/([^\"]+)\\.[0-9]+\\.jpg");
  return std::regex_replace(line, copy, "$1");
}

// True when every line in which the page `a` differs from `b` is a PREVIOUS link, or names the
// photo where `b` names its copy: a thumbnail or copy looked up in vain falls back to the photo
// (*photoShown says when a copy did).
bool OnlyLookUpsDiffer(const std::string& a, const std::string& b, bool* photoShown) {
  for (const auto& [line, clean] : DifferingLines(a, b)) {
    if (line.find("PREVIOUS") != std::string::npos) continue;
    if (line != PhotosForCopies(clean)) return false;
    *photoShown = true;
  }
  return true;
}

// Why a run that ended well (status 0, no box) left the folder other than a clean run: empty when
// only PREVIOUS icons differ, which loses nothing; "(not let through)" for anything else than
// what the gallery is known to let pass without a word when a call fails: a thumbnail that cannot
// be looked at, or whose mark cannot be read, taken for the user's (left as it was or missing,
// the sheet then without its size); a thumbnail of a photo gone whose mark cannot be read taken
// for a photo (its thumbnail and pages made); the files of a photo gone left when their removal
// or the earlier sheet's read fails; a copy that cannot be looked at, the pages then showing its
// photo (which a browser may not show).
std::string SilentDifferences(const Outcome& run, const Outcome& clean, const Files& before) {
  const auto& made = run.files.bytes;
  const auto& expected = clean.files.bytes;
  std::set<std::string> kinds;
  for (const auto& [name, bytes] : expected) {
    if (made.count(name) && made.at(name) == bytes) continue;
    const bool asBefore =
        made.count(name) && before.bytes.count(name) && before.bytes.at(name) == made.at(name);
    bool photoShown = false;
    if (IsPage(name) && made.count(name) && OnlyLookUpsDiffer(made.at(name), bytes, &photoShown)) {
      if (photoShown) kinds.insert("a copy looked up in vain, its photo shown");
      continue;
    }
    if (IsThumbnail(name) && (!made.count(name) || asBefore)) {
      kinds.insert("thumbnail taken for the user's");
    } else if (name == "index.html" || (IsPage(name) && made.count(name))) {
      kinds.insert("sheet or pages other");
    } else {
      return "(not let through: " + name + ")";
    }
  }
  for (const auto& [name, bytes] : made) {
    if (expected.count(name)) continue;
    if (before.bytes.count(name) && before.bytes.at(name) == bytes) {
      kinds.insert("files of a photo gone left");
    } else if (name.find("_t") != std::string::npos && IsOurs(name)) {
      kinds.insert("thumbnail of a photo gone taken for a photo");
    } else {
      return "(not let through: " + name + ")";
    }
  }
  // Pages may differ only as a thumbnail taken for something else makes them; the sheet alone
  // differs where a thumbnail as made is taken for the user's (listed without its size).
  if (kinds.count("sheet or pages other") && kinds.size() == 1) {
    bool photoShown = false;
    for (const auto& [name, bytes] : expected)
      if (name != "index.html" && IsPage(name) && made.at(name) != bytes &&
          !OnlyLookUpsDiffer(made.at(name), bytes, &photoShown))
        return "(not let through: " + name + ")";
    return "thumbnail taken for the user's";
  }
  std::string said;
  for (const std::string& kind : kinds) said += (said.empty() ? "" : "; ") + kind;
  return said;
}

int LetThrough = 0;  // runs that ended well that the gallery let pass with files unlike a clean run

// What a failed call left that it may not, against a clean run's result and the folder before
// the run; empty when nothing.
std::string WhatWentWrong(const Site& site, const Outcome& run, const Outcome& clean,
                          const Files& before) {
  std::string faults;
  const auto fault = [&faults](bool ok, const std::string& what) {
    if (!ok) faults += "\n  " + what;
  };
  fault(Plan.hit, "the call was not made");
  fault(!run.outsideTouched, "something outside the folder touched");
  std::string boxes;
  for (const std::string& box : run.boxes) boxes += "\n    " + box;
  // The photos and every other file of the user's, bytes and times.
  for (const auto& [name, bytes] : before.bytes) {
    if (IsOurs(name) || name == "index.html") continue;
    fault(run.files.bytes.count(name) && run.files.bytes.at(name) == bytes &&
              run.files.times.at(name) == before.times.at(name),
          name + " changed");
  }
  // A thumbnail as made or as it was; a page whole, or, where its write was told to have failed,
  // as far as it came (a page written in place, over one of an earlier run).
  for (const auto& [name, bytes] : run.files.bytes) {
    fault(!EndsWith(name, ".tmp"), "left " + name);
    const bool asClean = clean.files.bytes.count(name) && clean.files.bytes.at(name) == bytes;
    const bool asBefore = before.bytes.count(name) && before.bytes.at(name) == bytes;
    // One the gallery made for a thumbnail it took for a photo: whole, with its mark.
    const bool made = !clean.files.bytes.count(name) && bytes.compare(0, 2, "\xFF\xD8") == 0 &&
                      EndsWith(bytes, "\xFF\xD9") &&
                      bytes.find("Kestrune thumbnail 1;") != std::string::npos;
    if (IsThumbnail(name)) fault(asClean || asBefore || made, "thumbnail " + name + " partial");
    const bool told = boxes.find("\n    " + name + " | ") != std::string::npos;
    if (IsPage(name))
      fault(asClean || asBefore || IsCompletePage(bytes) || told, "page " + name + " partial");
  }
  if (run.status == 0) {
    const std::string silent = SilentDifferences(run, clean, before);
    fault(run.boxes.empty() && silent.find("(not") == std::string::npos,
          "status 0, but not as a clean run ends " + silent + boxes);
    if (!silent.empty() && silent.find("(not") == std::string::npos) {
      ++LetThrough;
      std::printf("let through by the gallery: %s (%s)\n", Describe(site).c_str(), silent.c_str());
    }
    return faults;
  }
  fault(run.status == 1, "status " + std::to_string(run.status));
  // Told in a box that names the file, or says the folder cannot be read (a look at one of its
  // files while it is listed); a call on the working folder, made to see where a file lies, in a
  // box about that file.
  // A look at a copy while the folder of copies is listed, in a box about that folder.
  const bool anyFile = site.file == "." || site.file == "(working folder)";
  const bool copy = std::regex_match(site.file, std::regex(".+\\.[0-9]+\\.jpg"));
  const std::string name = site.file == "*" ? "photos" : Lower(site.file.substr(0, 6));
  bool named = false;
  for (const std::string& box : run.boxes) {
    named = named || anyFile || Lower(box).find(name) != std::string::npos ||
            box == "photos | The folder cannot be read" ||
            (copy && box.compare(0, 18, "kestrune-copies | ") == 0);
  }
  fault(named, "no box names " + site.file + boxes);
  return faults;
}

int Part = 0, Parts = 1;  // the calls failed: those whose place modulo Parts is Part

// Fails each call that a clean run on `folder` makes, in turn; the clean run leaves `files`
// files in it.
void Sweep(const std::wstring& folder, const char* title, std::size_t files) {
  // A run first, so that every run after it starts from what one before it left in the process
  // (the walk keeps its last images' thumbnails, looked up, from one run to the next).
  Run(folder, nullptr);
  const Outcome clean = Run(folder, nullptr);
  std::string made;
  for (const auto& file : clean.files.bytes) made += " " + file.first;
  for (const std::string& box : clean.boxes) made += "\n    " + box;
  Check(clean.status == 0 && clean.boxes.empty() && clean.files.bytes.size() == files,
        std::string(title) + ": the clean run makes every thumbnail and page:" + made);
  const std::vector<Site> sites = Plan.sites;
  const Files before = Snapshot(folder);
  LetThrough = 0;
  int place = 0;
  for (const Site& site : std::set<Site>(sites.begin(), sites.end())) {
    if (place++ % Parts != Part) continue;
    const Outcome run = Run(folder, &site);
    const std::string faults = WhatWentWrong(site, run, clean, before);
    Check(faults.empty(), Describe(site) + " failed:" + faults);
  }
  // Before the table held every call, a sweep could fail only the writes and the handle moves.
  std::set<Call> kinds;
  int former = 0;
  for (const Site& site : sites) {
    kinds.insert(site.kind);
    former += site.kind == kWriteFile || site.kind == kSetFileInformation;
  }
  std::printf(
      "%s, part %d of %d: %zu calls of %zu kinds in a run (of the former table's two kinds: %d); "
      "%d let through by the gallery\n",
      title, Part + 1, Parts, sites.size(), kinds.size(), former, LetThrough);
  std::fflush(stdout);
}

}  // namespace

// [first|again [PART COUNT]]: the first run's sweep or the re-run's (both when neither is named),
// of every call or of those whose place in the sorted list is PART modulo COUNT, so that a busy
// machine runs the sweep in parts, each within its time limit.
int main(int argc, char** argv) {
  const std::string scenario = argc > 1 ? argv[1] : "";
  if (argc == 4) {
    Part = std::atoi(argv[2]);
    Parts = std::max(1, std::atoi(argv[3]));
  }
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  SetMainWindowShowCommand(SW_HIDE);
  SetWindowsHookExW(WH_CALLWNDPROCRET, AnswerBox, nullptr, GetCurrentThreadId());
  // A first run: two JPEGs (one a portrait) and a PNG large enough for a thumbnail for dense
  // screens (in the folder of copies), all small enough to be made at once; a photo and a page of
  // ours beside the folder, which no run may touch.
  CreateDirectoryW(L"first", nullptr);
  CreateDirectoryW(L"outside", nullptr);
  Check(MakePhoto(L"first\\a.jpg", 96, 64, GUID_ContainerFormatJpeg, 1) &&
            MakePhoto(L"first\\b.jpg", 48, 80, GUID_ContainerFormatJpeg, 2) &&
            MakePhoto(L"first\\c.png", 320, 200, GUID_ContainerFormatPng, 3),
        "the photos made");
  CopyFileW(L"first\\a.jpg", L"outside\\x.jpg", TRUE);
  const std::string page = std::string(kOwnPageMarker) + "\r\n</html>\r\n";
  HANDLE file = CreateFileW(L"outside\\x.htm", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  DWORD wrote = 0;
  WriteFile(file, page.data(), static_cast<DWORD>(page.size()), &wrote, nullptr);
  CloseHandle(file);
  if (scenario != "again")
    Sweep(L"first", "folder run", 15);  // 3 photos, thumbnails, pages, the copy, allin1, index

  // A re-run over that run's thumbnails, copy, pages and sheet: b.jpg changed since (its
  // thumbnail made again), c.png gone (its thumbnail, pages and copy removed, then the folder of
  // copies), a.jpg up to date.
  if (scenario != "first") {
    Run(L"first", nullptr);
    CopyFolder(kPhotos, L"again");
    DeleteFileW(L"again\\b.jpg");
    DeleteFileW(L"again\\c.png");
    Check(MakePhoto(L"again\\b.jpg", 80, 48, GUID_ContainerFormatJpeg, 4), "the photo changed");
    Sweep(L"again", "re-run", 10);
    Run(L"again", nullptr);
    Check(GetFileAttributesW(L"run\\photos\\kestrune-copies") == INVALID_FILE_ATTRIBUTES,
          "the re-run removes the folder of copies once it is empty");
  }
  CoUninitialize();
  return test_checks::Report();
}

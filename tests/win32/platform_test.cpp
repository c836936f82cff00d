// The Win32 platform layer, in-process: folder prefixes, output files that must be refused, and
// the contact sheet's text at page boundaries. Run in an empty scratch working folder; with
// --unicode, only the names in Unicode, under a UTF-8 locale (Wine stores names outside code page
// 1252 only under one).
#include "platform/platform.h"

#include <windows.h>

#include "pages/page_marker.h"
// windows.h first: io.h relies on its types.
#include <io.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "photos/photos.h"
#include "platform/platform_win32.h"
#include "tests/win32/checks.h"

namespace {

using test_checks::Check;

void WriteFile(const std::string& name, const std::string& bytes) {
  std::ofstream(name, std::ios::binary) << bytes;
}

std::string ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void TestFolderPrefix() {
  const struct {
    const char* path;
    std::size_t length;
  } cases[] = {
      {"C:\\pics\\index.htm", 8},
      {"D:index.htm", 2},
      {"index.htm", 0},
      {"a/b.htm", 2},
      {"a\\b/c.htm", 4},
      {"a/b\\c.htm", 4},
      {"\\\\host\\share\\x", 13},
      {"C:\\", 3},
      {"", 0},
      {"1:x.htm", 2},
      {"x.htm:stream", 6},
  };
  for (const auto& c : cases)
    Check(FolderPrefixLength(c.path) == c.length, std::string("folder prefix of ") + c.path);
  // Links split folders at both separators, never at a drive's ":".
  for (char c : {'/', '\\'}) Check(IsFolderSeparator(c), std::string("separator ") + c);
  for (char c : {':', '.', 'a', '%', '\0'})
    Check(!IsFolderSeparator(c), std::string("no separator ") + c);
}

// Creates, writes and closes `name`; true when its bytes arrived.
bool CreatesFile(const std::string& name) {
  std::FILE* stream = CreateOutputFile(name, kOwnPageMarker);
  if (stream == nullptr) return false;
  const bool written = std::fputs("page\n", stream) >= 0;
  return CloseOutputFile(stream) && written && ReadFile(name) == "page\n" &&
         DeleteFileA(name.c_str());
}

void TestDeviceNames() {
  const char* devices[] = {"con.htm",      "CON",          "con .htm",   "Con. .html",
                           "NUL..html",    "nul.",         "prn.htm",    "AUX.htm",
                           "com1.htm",     "COM9.html",    "com0.htm",   "lpt1.x.y",
                           "Lpt9 .htm",    "com\xB9.htm",  "conin$.htm", "CONOUT$.html",
                           "sub\\prn.htm", "sub/nul.html", "aux\\x.htm", "a/LPT3/b/c.htm"};
  for (const char* device : devices) {
    Check(NamesReservedDevice(device), std::string("device name: ") + device);
    std::FILE* stream = CreateOutputFile(device, kOwnPageMarker);
    Check(stream == nullptr, std::string("device name refused: ") + device);
    if (stream != nullptr) CloseOutputFile(stream);
  }
  // Names that only look like devices are ordinary files.
  CreateDirectoryA("sub", nullptr);
  for (const char* name :
       {"console.htm", "cons.htm", "nul_.htm", "com10.htm", "lpt.htm", "xcon.htm", "auxiliary.html",
        "sub\\com1x.htm", "con_tents.htm", ".con", " con.htm"}) {
    Check(!NamesReservedDevice(name), std::string("ordinary name: ") + name);
    Check(CreatesFile(name), std::string("ordinary name written: ") + name);
  }
}

void TestHeldFilesAreRefused() {
  // A page of an earlier run opened as the sheet: only being held keeps it from being replaced.
  const std::string sheetBytes = std::string("<a href=\"a.jpg\">a</a>") + kOwnPageMarker;
  WriteFile("sheet.html", sheetBytes);
  PlatformFile* sheet = OpenFileReadOnly("sheet.html");
  Check(sheet != nullptr, "contact sheet opened");
  for (const std::string& alias :
       {std::string("sheet.html"), std::string("SHEET.HTML"), std::string(".\\sheet.html"),
        std::string("sub\\..\\sheet.html"), GetWorkingFolder() + "\\sheet.html"}) {
    std::FILE* stream = CreateOutputFile(alias, kOwnPageMarker);
    Check(stream == nullptr, "open contact sheet refused as output: " + alias);
    if (stream != nullptr) CloseOutputFile(stream);
  }
  Check(ReadFile("sheet.html") == sheetBytes, "contact sheet intact");
  if (sheet != nullptr) CloseFile(sheet);
  Check(CreatesFile("sheet.html"), "closed contact sheet is writable again");

  // An output not yet closed cannot be opened a second time, and keeps what it was given.
  std::FILE* page = CreateOutputFile("page.htm", kOwnPageMarker);
  Check(page != nullptr, "page created");
  Check(CreateOutputFile("PAGE.htm", kOwnPageMarker) == nullptr, "unclosed page refused");
  const std::string pageBytes = std::string("first\n") + kOwnPageMarker + "\n";
  if (page != nullptr) {
    std::fputs(pageBytes.c_str(), page);
    Check(CloseOutputFile(page), "page closed");
  }
  Check(ReadFile("page.htm") == pageBytes, "page holds its bytes, line end unchanged");
  Check(CreatesFile("page.htm"), "closed page replaced");

  // Bytes that never reach the file are reported when the page is closed.
  std::FILE* lost = CreateOutputFile("lost.htm", kOwnPageMarker);
  Check(lost != nullptr, "page created");
  if (lost != nullptr) {
    std::fputs("never written\n", lost);  // still in the stream's buffer
    CloseHandle(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(lost))));
    Check(!CloseOutputFile(lost), "lost write reported by CloseOutputFile");
  }

  CreateDirectoryA("folder.htm", nullptr);
  Check(CreateOutputFile("folder.htm", kOwnPageMarker) == nullptr, "folder refused as output");
}

// The times of a file, "(failed)" when they cannot be read.
std::string Times(const std::string& name) {
  const HANDLE file =
      CreateFileA(name.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, 0, nullptr);
  FILETIME created, accessed, written;
  const bool got = file != INVALID_HANDLE_VALUE && GetFileTime(file, &created, &accessed, &written);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  if (!got) return "(failed)";
  std::string text;
  for (const FILETIME& time : {created, accessed, written})
    text += std::to_string(time.dwHighDateTime) + ":" + std::to_string(time.dwLowDateTime) + " ";
  return text;
}

// Writes `bytes` and dates the file back (accessed 2001, written 2002), so that any read or
// write through a handle that does not keep them would show in its times.
void WriteOldFile(const std::string& name, const std::string& bytes) {
  WriteFile(name, bytes);
  const HANDLE file = CreateFileA(name.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
  const FILETIME accessed{0xC89DC000, 0x01C07385};  // 2001-01-01
  const FILETIME written{0x41648000, 0x01C19257};   // 2002-01-01
  Check(file != INVALID_HANDLE_VALUE && SetFileTime(file, nullptr, &accessed, &written),
        "old times set on " + name);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

// True when CreateOutputFile refuses `name` and leaves it as it was: `bytes`, and its times
// (taken before anything else reads the file).
bool RefusedAndKept(const std::string& name, const std::string& bytes) {
  const std::string times = Times(name);
  std::FILE* stream = CreateOutputFile(name, kOwnPageMarker);
  if (stream != nullptr) CloseOutputFile(stream);
  const std::string timesAfter = Times(name);
  return stream == nullptr && timesAfter == times && ReadFile(name) == bytes;
}

// A file kestrune did not write is never replaced: only an empty file or one whose first 64 KiB
// hold the marker line. The look reads through the handle that is then written.
void TestOnlyOwnPagesAreReplaced() {
  const std::string marker = kOwnPageMarker;
  const std::string own = "<html><body>My own page of the holiday</body></html>\r\n";
  WriteOldFile("own.htm", own);
  Check(RefusedAndKept("own.htm", own),
        "a page the user made is refused with bytes and times kept");

  WriteOldFile("earlier.htm", "<title>x</title>\r\n" + marker + "\r\n" + std::string(70000, 'e'));
  Check(CreatesFile("earlier.htm"), "a longer page of an earlier run is replaced from its start");
  WriteOldFile("empty.htm", "");
  Check(CreatesFile("empty.htm"), "an empty file is replaced");

  const std::size_t look = kOwnPageLookSize;
  WriteOldFile("edge.htm", std::string(look - marker.size(), ' ') + marker);
  Check(CreatesFile("edge.htm"), "a marker ending at the last byte looked at counts");
  const std::string across = std::string(look - marker.size() + 1, ' ') + marker;
  WriteOldFile("across.htm", across);
  Check(RefusedAndKept("across.htm", across),
        "a marker reaching past the first 64 KiB does not count");
  const std::string late = std::string(look, ' ') + marker;
  WriteOldFile("late.htm", late);
  Check(RefusedAndKept("late.htm", late), "a marker after the first 64 KiB does not count");

  // A file that cannot be read for the look is refused: here another program has it open
  // without sharing reads.
  const std::string earlier = marker + "\r\n";
  WriteOldFile("unshared.htm", earlier);
  const HANDLE holder = CreateFileA("unshared.htm", GENERIC_READ, FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
  Check(holder != INVALID_HANDLE_VALUE, "held without sharing reads");
  const std::string times = Times("unshared.htm");
  Check(
      CreateOutputFile("unshared.htm", kOwnPageMarker) == nullptr && Times("unshared.htm") == times,
      "a page that others keep from being read is refused");
  CloseHandle(holder);
  Check(ReadFile("unshared.htm") == earlier, "the page kept its bytes");
  Check(CreatesFile("unshared.htm"), "once released, the earlier page is replaced");
}

// The files in the working folder whose names end in ".tmp", each with " hidden" behind it when
// it has that attribute. A folder listing, which sees also a file marked for removal.
std::string Temporaries() {
  std::string names;
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA("*.tmp", &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    names += std::string(found.cFileName) +
             ((found.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) ? " hidden" : "") + "\n";
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return names;
}

bool Listed(const std::string& name) {
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA(name.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return true;
}

// Writes `bytes` into a new combined page and closes it, having first closed the stream's file
// under it when `lose` is set: what CloseOutputFile says.
bool WriteCombinedPage(const std::string& bytes, bool lose) {
  std::FILE* stream = CreateOutputFile("allin1.html", kOwnPageMarker);
  if (stream == nullptr) return false;
  std::fputs(bytes.c_str(), stream);  // still in the stream's buffer
  if (lose) CloseHandle(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))));
  return CloseOutputFile(stream);
}

// What the tests put among the system calls: a write that stops halfway, and moves of files
// through their handles after which another program takes the name, or the second of which fails.
int WritesBeforeFull = 0;
BOOL WINAPI WriteUntilFull(HANDLE file, LPCVOID bytes, DWORD size, LPDWORD written,
                           LPOVERLAPPED overlapped) {
  if (WritesBeforeFull-- > 0) return ::WriteFile(file, bytes, size / 2, written, overlapped);
  SetLastError(ERROR_DISK_FULL);
  return FALSE;
}

enum class MoveFault { SlipIn, SecondFails };
MoveFault Fault;
int Moves = 0;
const char kForeign[] = "<html><body>Slipped in</body></html>\r\n";
BOOL WINAPI FaultyMove(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID info, DWORD size) {
  if (kind != FileRenameInfo) return SetFileInformationByHandle(file, kind, info, size);
  if (++Moves == 2 && Fault == MoveFault::SecondFails) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  const BOOL moved = SetFileInformationByHandle(file, kind, info, size);
  if (moved && Moves == 1 && Fault == MoveFault::SlipIn) WriteFile("allin1.html", kForeign);
  return moved;
}

// The combined page is written under a temporary name and put in place only once complete: the
// name holds the complete new file or what it held before, never a file kestrune did not write,
// and no temporary file is left. No file holds the name meanwhile, yet no page can take it.
void TestCombinedPageReplacement() {
  const std::string marker = kOwnPageMarker;
  const std::string earlier = "Earlier combined page\r\n" + marker + "\r\n";
  DeleteFileA("allin1.html");
  std::FILE* stream = CreateOutputFile("allin1.html", kOwnPageMarker);
  Check(stream != nullptr, "combined page created");
  if (stream != nullptr) {
    const std::string temporaries = Temporaries();
    const std::string prefix = ".allin1.html." + std::to_string(GetCurrentProcessId());
    Check(temporaries.compare(0, prefix.size(), prefix) == 0 &&
              temporaries.find(".tmp hidden\n") == temporaries.size() - 12,
          "written meanwhile under one hidden temporary name beside it: " + temporaries);
    // No file holds the name, so that another run can write its own; no page takes it, under
    // any spelling.
    WriteFile("other.html", "other");
    Check(!Listed("allin1.html") && !WriteOutputFile("allin1.html", marker, kOwnPageMarker) &&
              !WriteOutputFile("ALLIN1.HTML.", marker, kOwnPageMarker) &&
              !WriteOutputFile("sub\\..\\allin1.html", marker, kOwnPageMarker) &&
              !Listed("allin1.html"),
          "the name is kept from pages while the combined page is written");
    std::fputs("new page\n", stream);
    Check(CloseOutputFile(stream), "combined page closed");
  }
  Check(ReadFile("allin1.html") == "new page\n" && ReadFile("other.html") == "other",
        "the complete page in place, nothing else replaced");
  // Over an earlier page, no page of the run is written over it, under any name.
  WriteFile("allin1.html", earlier);
  CreateHardLinkA("hard.htm", "allin1.html", nullptr);
  stream = CreateOutputFile("allin1.html", kOwnPageMarker);
  Check(stream != nullptr, "combined page created over an earlier one");
  if (stream != nullptr) {
    Check(!WriteOutputFile("allin1.html", marker, kOwnPageMarker) &&
              !WriteOutputFile("hard.htm", marker, kOwnPageMarker) &&
              ReadFile("allin1.html") == earlier,
          "the page to be replaced is kept from pages meanwhile");
    std::fputs("new page\n", stream);
    Check(CloseOutputFile(stream) && ReadFile("allin1.html") == "new page\n",
          "the earlier page replaced");
  }
  DeleteFileA("hard.htm");
  Check((GetFileAttributesA("allin1.html") & FILE_ATTRIBUTE_HIDDEN) == 0, "the page is not hidden");
  Check(Temporaries().empty(), "no temporary file left after a complete page");

  // Cut short: what stood there before stays, also when nothing did.
  WriteFile("allin1.html", earlier);
  Check(!WriteCombinedPage("lost\n", true) && ReadFile("allin1.html") == earlier,
        "a combined page cut short leaves the earlier one");
  DeleteFileA("allin1.html");
  Check(!WriteCombinedPage("lost\n", true) && !Listed("allin1.html"),
        "a combined page cut short leaves none where there was none");
  Check(Temporaries().empty(), "no temporary file left after a page cut short");

  // A file that kestrune did not write is never replaced: at the start, or when another program
  // creates it at the moment the name is free.
  const std::string own = "<html><body>My own index</body></html>\r\n";
  WriteOldFile("allin1.html", own);
  Check(RefusedAndKept("allin1.html", own), "an allin1.html of the user's own is kept");
  Win32Calls.setFileInformation = FaultyMove;
  Fault = MoveFault::SlipIn;
  Moves = 0;
  WriteFile("allin1.html", earlier);
  Check(!WriteCombinedPage("new page\n", false) && ReadFile("allin1.html") == kForeign,
        "a file taking the name while it is free is kept, the page reported as not completed");
  // The new page cannot take the name: the earlier one goes back.
  Fault = MoveFault::SecondFails;
  Moves = 0;
  WriteFile("allin1.html", earlier);
  Check(!WriteCombinedPage("new page\n", false) && ReadFile("allin1.html") == earlier,
        "a page that cannot be put in place leaves the earlier one");
  Win32Calls.setFileInformation = SetFileInformationByHandle;
  Check(Temporaries().empty(), "no temporary file left after a page not put in place");

  // A page written directly: one this call created and could not complete goes again; an
  // earlier one it replaced stays, as far as the write came.
  const std::string page = marker + "\r\n" + std::string(1000, 'p');
  Win32Calls.writeFile = WriteUntilFull;
  WritesBeforeFull = 1;
  Check(!WriteOutputFile("cut.htm", page, kOwnPageMarker) && !Listed("cut.htm"),
        "a page created and cut short is removed");
  WriteFile("earlier.htm", earlier);
  WritesBeforeFull = 1;
  Check(!WriteOutputFile("earlier.htm", page, kOwnPageMarker) &&
            ReadFile("earlier.htm") == page.substr(0, page.size() / 2),
        "an earlier page cut short stays as far as it came");
  Win32Calls.writeFile = ::WriteFile;
  Check(WriteOutputFile("cut.htm", page, kOwnPageMarker) && ReadFile("cut.htm") == page,
        "a page written whole");

  // A page that holds the very bytes already is left as it is, times and all (a re-run of an
  // unchanged show rewrites nothing); one of the same length with other bytes is written.
  for (const std::string name : {"same.htm", "allin1.html"}) {
    const auto write = [&name](const std::string& bytes) {
      return name == "allin1.html" ? WriteCombinedPage(bytes, false)
                                   : WriteOutputFile(name, bytes, kOwnPageMarker);
    };
    WriteOldFile(name, page);
    const std::string times = Times(name);
    Check(write(page) && Times(name) == times && ReadFile(name) == page,
          name + ": the same bytes leave the page as it was");
    const std::string other = marker + "\r\n" + std::string(1000, 'q');
    Check(write(other) && Times(name) != times && ReadFile(name) == other,
          name + ": other bytes of the same length are written");
  }
  Check(Temporaries().empty(), "no temporary file left after a page left as it was");
}

// Maps `bytes` as a contact sheet; the text and its length, or "(failed)".
std::string MappedText(const std::string& bytes, std::size_t* length) {
  WriteFile("mapped.html", bytes);
  PlatformFile* file = OpenFileReadOnly("mapped.html");
  if (file == nullptr) return "(failed)";
  std::string text = "(failed)";
  if (PlatformText* mapping = OpenWholeText(file)) {
    if (const char* view = ViewWholeText(mapping, length)) {
      // The terminator is read too: it must be there even when the file fills its last page.
      text = view[*length] == '\0' ? std::string(view, *length) : "(not terminated)";
    }
    CloseWholeText(mapping);
  }
  CloseFile(file);
  return text;
}

void TestSheetText() {
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  for (std::size_t size : {std::size_t{1}, std::size_t{system.dwPageSize - 1},
                           std::size_t{system.dwPageSize}, std::size_t{65536}}) {
    const std::string bytes(size, 'k');
    std::size_t length = 0;
    Check(MappedText(bytes, &length) == bytes && length == size,
          "text of a sheet of " + std::to_string(size) + " bytes");
  }
  std::string withZero(system.dwPageSize, 'k');
  withZero[100] = '\0';
  std::size_t length = 0;
  Check(MappedText(withZero, &length) == withZero.substr(0, 100) && length == 100,
        "text ends at the first zero byte");
  Check(MappedText("", &length) == "(failed)", "empty sheet cannot be mapped");

  Check(OpenFileReadOnly("folder.htm") == nullptr, "a folder is no contact sheet");
  Check(OpenFileReadOnly("NUL") == nullptr, "a device is no contact sheet");
  Check(OpenFileReadOnly("missing.html") == nullptr, "a missing file is no contact sheet");
}

void TestFolders() {
  const std::string start = GetWorkingFolder();
  Check(SetWorkingFolder("sub\\") && GetWorkingFolder() == start + "\\sub",
        "working folder set with its separator");
  Check(SetWorkingFolder(start) && GetWorkingFolder() == start, "working folder restored");
  Check(!SetWorkingFolder("missing\\") && GetWorkingFolder() == start,
        "missing folder refused, working folder kept");
  Check(FileExists("mapped.html") && FileExists("sub") && !FileExists("missing.html"),
        "file existence");
}

void TestHelpPage() {
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, sizeof self);
  std::string helpPage = self;
  helpPage = helpPage.substr(0, helpPage.rfind('\\') + 1) + "help.html";
  DeleteFileA(helpPage.c_str());
  Check(HelpPageAddress().empty(), "no help page beside the program");
  WriteFile(helpPage, "<html></html>");
  Check(HelpPageAddress() == helpPage, "help page beside the program");
  DeleteFileA(helpPage.c_str());
}

// A dry run's look and a clean's removal: only a page of ours goes, through the handle it was
// looked at by; every other file stays with its bytes and times, and the look changes nothing.
// A final path that cannot be had, as on a file system that does not tell it.
DWORD WINAPI NoFinalPath(HANDLE, LPWSTR, DWORD, DWORD) {
  SetLastError(ERROR_IO_DEVICE);
  return 0;
}

void TestLookAndRemoval() {
  const std::string marker = std::string(kOwnPageMarker) + "\r\n";
  const std::string own = "<html><body>My own page</body></html>\r\n";
  enum Made { kNothing, kFile, kFolder };
  struct Case {
    const char* name;
    Made made;
    std::string bytes;  // of a file, written dated back
    PageFileState look, removal;
  };
  const Case cases[] = {
      {"ours.htm", kFile, "<title>a</title>\r\n" + marker, PageFileState::OwnPage,
       PageFileState::Removed},
      {"mine.htm", kFile, own, PageFileState::Foreign, PageFileState::Foreign},
      {"blank.htm", kFile, "", PageFileState::Empty, PageFileState::Empty},
      {"dir.htm", kFolder, "", PageFileState::NotRegular, PageFileState::NotRegular},
      {"con.htm", kNothing, "", PageFileState::DeviceName, PageFileState::DeviceName},
      {"none.htm", kNothing, "", PageFileState::Absent, PageFileState::Absent},
      {"nofolder\\x.htm", kNothing, "", PageFileState::FolderMissing, PageFileState::Absent},
  };
  for (const Case& c : cases) {
    const std::string name = c.name;
    if (c.made == kFolder) CreateDirectoryA(c.name, nullptr);
    if (c.made == kFile) WriteOldFile(name, c.bytes);
    const std::string times = c.made == kFile ? Times(name) : "";
    Check(LookAtPageFile(name, kOwnPageMarker).state == c.look, "look at " + name);
    Check(RemoveOwnPage(name, kOwnPageMarker) == c.removal, "removal of " + name);
    if (c.removal == PageFileState::Removed) {
      Check(!FileExists(name), name + " removed");
    } else if (c.made == kFile) {
      // The times first: reading the file for the comparison moves its access time.
      Check(Times(name) == times && ReadFile(name) == c.bytes, name + " kept with its times");
    }
  }
  Check(!FileExists("nofolder"), "no folder made");

  // A read-only page of ours goes too; a page held open without shared deletion, and the open
  // contact sheet, stay: they are in use.
  WriteOldFile("readonly.htm", marker);
  SetFileAttributesA("readonly.htm", FILE_ATTRIBUTE_READONLY);
  Check(RemoveOwnPage("readonly.htm", kOwnPageMarker) == PageFileState::Removed &&
            !FileExists("readonly.htm"),
        "a read-only page of ours removed");
  WriteOldFile("held.htm", marker);
  const HANDLE holder =
      CreateFileA("held.htm", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  Check(RemoveOwnPage("held.htm", kOwnPageMarker) == PageFileState::InUse,
        "a page another program holds stays");
  CloseHandle(holder);
  WriteOldFile("sheet.htm", marker);
  PlatformFile* sheet = OpenFileReadOnly("sheet.htm");
  Check(LookAtPageFile("SHEET.HTM", kOwnPageMarker).state == PageFileState::InUse &&
            RemoveOwnPage("sub\\..\\sheet.htm", kOwnPageMarker) == PageFileState::InUse,
        "the open contact sheet is in use under any spelling");
  if (sheet != nullptr) CloseFile(sheet);
  Check(ReadFile("held.htm") == marker && ReadFile("sheet.htm") == marker, "both kept");
  Check(FileNameKey("Sub\\..\\A.HTM") == FileNameKey("./a.htm") &&
            FileNameKey("a/b.htm") == FileNameKey("A\\B.HTM") &&
            FileNameKey("a.htm") != FileNameKey("b.htm"),
        "name keys read both separators and either case alike");
  // Where a page lies cannot be told (its path cannot be had): a failure, never a link leading
  // out, and the page stays.
  WriteOldFile("lost.htm", marker);
  Win32Calls.getFinalPathName = NoFinalPath;
  Check(LookAtPageFile("lost.htm", kOwnPageMarker).state == PageFileState::Failed &&
            RemoveOwnPage("lost.htm", kOwnPageMarker) == PageFileState::Failed,
        "a page whose place is unknown: the system failed");
  Win32Calls = DefaultWin32Calls();
  Check(ReadFile("lost.htm") == marker, "that page kept");
  for (const char* name : {"mine.htm", "blank.htm", "held.htm", "sheet.htm", "lost.htm"})
    DeleteFileA(name);
  RemoveDirectoryA("dir.htm");
}

// The script makes, beside the scratch folder's "inside" folder, an "outside" folder with a
// victim file and a page of ours, and inside: "escape.htm" linked to the victim, "ours.htm" to
// the page, "linked" linked to "outside", and "inner.htm" to the page "target.htm" beside it.
void TestLinksLeadingOut() {
  const std::string start = GetWorkingFolder();
  if (!SetWorkingFolder("inside\\")) {
    Check(false, "the linked fixtures are missing");
    return;
  }
  Check(CreateOutputFile("escape.htm", kOwnPageMarker) == nullptr,
        "a page linked out of the folder is refused");
  Check(CreateOutputFile("linked\\x.htm", kOwnPageMarker) == nullptr,
        "a page through a linked folder leading out is refused");
  Check(ReadFile("..\\outside\\victim.txt") == "victim\n", "the linked file is unchanged");
  Check(!FileExists("..\\outside\\x.htm"), "nothing created outside");
  // A clean follows none of them, and a dry run reports them as a run refuses them.
  for (const char* name : {"ours.htm", "linked\\page.htm"}) {
    Check(LookAtPageFile(name, kOwnPageMarker).state == PageFileState::LeadsOutside,
          std::string("look at ") + name + " leads out");
  }
  Check(RemoveOwnPage("ours.htm", kOwnPageMarker) == PageFileState::Link,
        "a link named like a page is kept");
  Check(RemoveOwnPage("linked\\page.htm", kOwnPageMarker) == PageFileState::LeadsOutside,
        "a page behind a linked folder is not reached");
  Check(FileExists("..\\outside\\page.htm"), "the page outside is still there");
  // A link that stays inside is not followed either: the page it leads to stays.
  Check(
      RemoveOwnPage("inner.htm", kOwnPageMarker) == PageFileState::Link && FileExists("target.htm"),
      "a link inside the folder is kept, and its page");
  Check(CreatesFile("page.htm"), "a page inside is still written");
  SetWorkingFolder(start);
}

// The entry named `name` of `entries`; nullptr when there is none.
const FolderEntry* EntryNamed(const std::vector<FolderEntry>& entries, const std::string& name) {
  for (const FolderEntry& entry : entries)
    if (entry.name == name) return &entry;
  return nullptr;
}

// The folder of copies, in the same fixtures: made, listed and removed once empty only as a
// folder of the working folder's own, never through the link "linked" leading out; the links in
// a listing are said to be links.
void TestFolderOfCopies() {
  const std::string start = GetWorkingFolder();
  if (!SetWorkingFolder("inside\\")) return;  // told by TestLinksLeadingOut
  std::vector<FolderEntry> entries;
  Check(!ListFolder("linked", &entries) && entries.empty(), "a linked folder is not listed");
  Check(!MakeFolder("linked") && !RemoveEmptyFolder("linked") && IsFolderPath("linked"),
        "a linked folder is neither taken as made nor removed");
  Check(!ListFolder("..", &entries) && !ListFolder("..\\outside", &entries) && !MakeFolder("con"),
        "only a plain name of the folder's own is listed or made");
  Check(MakeFolder("copies") && MakeFolder("copies") && ListFolder("copies", &entries) &&
            entries.empty(),
        "a folder made, found as made by a second call, and listed empty");
  std::ofstream("copies\\a.jpg") << "copy";
  Check(!RemoveEmptyFolder("copies") && ListFolder("copies", &entries) &&
            EntryNamed(entries, "a.jpg") != nullptr &&
            EntryNamed(entries, "a.jpg")->kind == EntryKind::Regular,
        "a folder that holds a file is listed with it and not removed");
  DeleteFileA("copies\\a.jpg");
  Check(RemoveEmptyFolder("copies") && !IsFolderPath("copies"), "the empty folder is removed");
  entries.clear();
  Check(ListWorkingFolder(&entries), "the working folder is listed");
  const FolderEntry* inner = EntryNamed(entries, "inner.htm");
  const FolderEntry* target = EntryNamed(entries, "target.htm");
  const FolderEntry* linked = EntryNamed(entries, "linked");
  Check(inner != nullptr && inner->link && inner->kind == EntryKind::Regular && target != nullptr &&
            !target->link && linked != nullptr && linked->kind == EntryKind::LinkOutside,
        "links are said to be links, and one leading out is not followed");
  SetWorkingFolder(start);
}

// The system's own UTF-16 for a UTF-8 text, and a file read by that name.
std::wstring WideOf(const std::string& utf8) {
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
  if (length > 0)
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], length);
  return wide;
}

std::string ReadFileWide(const std::string& utf8) {
  const HANDLE file = CreateFileW(WideOf(utf8).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "(no such file)";
  char buffer[4096];
  DWORD got = 0;
  const bool read = ::ReadFile(file, buffer, sizeof buffer, &got, nullptr);
  CloseHandle(file);
  return read ? std::string(buffer, got) : "(unreadable)";
}

// The number of entries in the working folder.
int Entries() {
  int entries = 0;
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(L"*", &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  do ++entries;
  while (FindNextFileW(search, &found));
  FindClose(search);
  return entries;
}

// Names are UTF-8 at the platform's edge and Unicode on disk, with every rule of the ANSI names:
// the working folder both ways, pages written, replaced, looked at and removed by their names,
// held files refused under another spelling (Greek letters in either case), device names with a
// superscript digit, a link leading out; a name that is not UTF-8 names no file. The script makes
// "Ελλάδα 😀" in the scratch folder, holding "έξω.htm" linked to the victim outside.
void TestUnicodeNames() {
  const std::string start = GetWorkingFolder();
  const std::string folder = u8"Ελλάδα 😀";
  if (!Check(SetWorkingFolder(folder + "\\"), "the Unicode folder entered")) return;
  Check(GetWorkingFolder() == start + "\\" + folder, "the working folder read back in UTF-8");

  const std::string marker = std::string(kOwnPageMarker) + "\r\n";
  const std::string page = u8"中文 θάλασσα 🌊.htm";
  Check(WriteOutputFile(page, "first\r\n" + marker, kOwnPageMarker) &&
            ReadFileWide(page) == "first\r\n" + marker && FileExists(page),
        "a page written under its Unicode name");
  std::FILE* stream = CreateOutputFile(page, kOwnPageMarker);
  if (Check(stream != nullptr, "the page opened for replacing")) {
    std::fputs(("second\r\n" + marker).c_str(), stream);
    Check(CloseOutputFile(stream) && ReadFileWide(page) == "second\r\n" + marker,
          "the page replaced through a temporary file beside it");
  }
  Check(LookAtPageFile(page, kOwnPageMarker).state == PageFileState::OwnPage, "the page looked at");
  Check(RemoveOwnPage(page, kOwnPageMarker) == PageFileState::Removed && !FileExists(page),
        "the page removed");

  const std::string sheetName = u8"φύλλο.html", otherSpelling = u8"ΦΎΛΛΟ.HTML";
  Check(WriteOutputFile(sheetName, marker, kOwnPageMarker), "a sheet written");
  PlatformFile* sheet = OpenFileReadOnly(sheetName);
  Check(sheet != nullptr, "the sheet opened by its Unicode name");
  Check(FileNameKey(otherSpelling) == FileNameKey(sheetName) &&
            FileNameKey(u8"Ελλάδα\\é.htm") == FileNameKey(u8"ΕΛΛΆΔΑ/É.htm") &&
            FileNameKey(u8"é.htm") != FileNameKey(u8"e.htm"),
        "name keys fold every letter's case");
  Check(CreateOutputFile(otherSpelling, kOwnPageMarker) == nullptr &&
            !WriteOutputFile(otherSpelling, "x", kOwnPageMarker) &&
            LookAtPageFile(otherSpelling, kOwnPageMarker).state == PageFileState::InUse,
        "the open sheet refused under another spelling");
  if (sheet != nullptr) CloseFile(sheet);
  Check(ReadFileWide(sheetName) == marker, "the sheet kept");

  for (const char* device : {u8"COM¹.htm", u8"lpt³.html", u8"sub\\com².htm"}) {
    Check(NamesReservedDevice(device) && CreateOutputFile(device, kOwnPageMarker) == nullptr,
          std::string("device name refused: ") + device);
  }
  Check(!NamesReservedDevice(u8"COMé.htm") && !NamesReservedDevice(u8"com¹x.htm"),
        "names that only look like devices");

  Check(CreateOutputFile(u8"έξω.htm", kOwnPageMarker) == nullptr &&
            RemoveOwnPage(u8"έξω.htm", kOwnPageMarker) == PageFileState::Link &&
            ReadFile("..\\outside\\victim.txt") == "victim\n",
        "a link leading out refused and kept, its target unchanged");

  const int entries = Entries();
  const std::string notUtf8 = "caf\xE9.htm";  // code page 1252
  Check(!WriteOutputFile(notUtf8, "x", kOwnPageMarker) &&
            CreateOutputFile(notUtf8, kOwnPageMarker) == nullptr && !FileExists(notUtf8) &&
            LookAtPageFile(notUtf8, kOwnPageMarker).state == PageFileState::Failed &&
            !SetWorkingFolder("\xCE\\") && Entries() == entries,
        "a name that is not UTF-8 names no file, and nothing is made");
  SetWorkingFolder(start);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--unicode") {
    TestUnicodeNames();
    return test_checks::Report();
  }
  TestFolderPrefix();
  TestDeviceNames();
  TestHeldFilesAreRefused();
  TestOnlyOwnPagesAreReplaced();
  TestCombinedPageReplacement();
  TestSheetText();
  TestFolders();
  TestHelpPage();
  TestLookAndRemoval();
  TestLinksLeadingOut();
  TestFolderOfCopies();
  return test_checks::Report();
}

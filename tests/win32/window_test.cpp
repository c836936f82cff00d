// Runs kestrune.exe as a user would: starts it, finds its window and its message boxes, answers
// them, and checks the boxes, what it wrote and how it ended. Pages are compared with those the
// headless build wrote for the same contact sheets.
//
// kestrune_window_tests PROGRAM HOOK-DLL WORK-FOLDER REFERENCE-FOLDER [--unicode]
//   WORK-FOLDER and REFERENCE-FOLDER hold the same fixtures; the headless build has already run
//   on those in REFERENCE-FOLDER. With --unicode only the cases of names in Unicode run, which
//   need a UTF-8 locale (under it Wine stores names outside code page 1252).
// kestrune_window_tests --record FILE ARGUMENT
//   writes ARGUMENT to FILE: the program these tests register to open web pages.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "kestrune_version.h"
#include "tests/win32/checks.h"
#include "tests/win32/test_hook.h"
#include "tests/win32/windows_of.h"

namespace {

constexpr DWORD kTimeoutMs = 20000;

std::string Program;        // kestrune.exe
std::string WorkRoot;       // the fixtures the program writes into
std::string ReferenceRoot;  // the same fixtures, written by the headless build
HMODULE HookModule = nullptr;
HANDLE ReplyEvent = nullptr;
char* ReplyView = nullptr;

std::string CurrentCase;  // named in every failure

const char kDialogTitle[] = "Choose File from which to Generate Slideshow";
const char kAboutText[] = "Quillfen\n\nVersion " KESTRUNE_VERSION
                          ". Copyright (c) 2026 the Quillfen developers. MIT License.";
const char kHelpText[] =
    "Kestrune will parse an HTML contact sheet that contains links to JPG, GIF and/or PNG files "
    "and build a series of small HTML files that work as a slide show that the user can change "
    "manually or set to change automatically every 5 seconds. These small slideshow HTML files, "
    "along with an allin1.html file will be written to the same folder as the contact sheet.\n\n"
    "Use File > Open to select the HTML contact sheet.\n\n"
    "Or use File > Open Folder... to choose a folder of photos (JPEG, PNG, GIF, HEIC, AVIF, WebP, "
    "TIFF), or of folders of them: kestrune makes each folder's thumbnails, copies sized for "
    "screens and contact sheet, index.html, then its slide show.";
// The menu and class as the program must register them.
const char kExpectedWindow[] =
    "class style 0, extra 0/0, icon application, cursor arrow, background white, menu Menu\n"
    "resource MENU en-US\n"
    "popup &File\n"
    "  item &Open 1\n"
    "  item Open &Folder... 5\n"
    "  item E&xit 2\n"
    "popup &Help\n"
    "  item &Help... 4\n"
    "  item &About... 3\n";
const char kFolderDialogTitle[] = "Open a folder of photos";
// As the menu check confirms.
constexpr unsigned kOpen = 1, kExit = 2, kAbout = 3, kHelp = 4, kOpenFolder = 5;

bool Check(bool ok, const std::string& what) {
  return test_checks::Check(ok, ok ? std::string() : "[" + CurrentCase + "] " + what);
}

bool CheckEqual(const std::string& actual, const std::string& expected, const std::string& what) {
  return Check(actual == expected,
               what + ":\n    got      \"" + actual + "\"\n    expected \"" + expected + "\"");
}

std::string Folder(const std::string& fixture) {
  return WorkRoot + "\\" + fixture;
}

// ---- Windows of the program --------------------------------------------------------------

using test_windows::FindWindowOf;
using test_windows::WindowText;

// One run of kestrune.exe.
struct Run {
  PROCESS_INFORMATION process{};
  HHOOK hooks[2] = {};
  bool ended = false;
  DWORD exitCode = 0;
};

HOOKPROC HookProcedure(const char* name) {
  // Through void (*)(), the type that converts to any function pointer without a warning.
  return reinterpret_cast<HOOKPROC>(reinterpret_cast<void (*)()>(GetProcAddress(HookModule, name)));
}

HWND MainWindow(const Run& run) {
  return FindWindowOf(run.process.dwProcessId, "kestrune", "Quillfen");
}

// `text`, in the code page `codePage`, in UTF-16.
std::wstring WideOf(const std::string& text, UINT codePage) {
  const int length =
      MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
  if (length > 0)
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
  return wide;
}

std::string Utf8Of(const std::wstring& text) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
  if (length > 0)
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0], length,
                        nullptr, nullptr);
  return utf8;
}

// Starts a run in Unicode, as Launch does.
bool LaunchWide(Run& run, const std::wstring& commandLine, const std::wstring& folder,
                bool refuseWindow, const std::wstring& program) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                       nullptr, folder.c_str(), &startup, &run.process)) {
      const DWORD thread = run.process.dwThreadId;
      run.hooks[0] =
          SetWindowsHookExA(WH_GETMESSAGE, HookProcedure("KestruneQueryHook"), HookModule, thread);
      if (refuseWindow) {
        run.hooks[1] = SetWindowsHookExA(WH_CBT, HookProcedure("KestruneRefuseWindowHook"),
                                         HookModule, thread);
      }
      ResumeThread(run.process.hThread);
      Check(run.hooks[0] != nullptr && (!refuseWindow || run.hooks[1] != nullptr), "hooks set");
      return true;  // running: the caller ends it
    }
    if (GetLastError() != 1359) break;  // Wine now and then fails a start with an internal error
    Sleep(100);
  }
  return Check(false, "CreateProcess: error " + std::to_string(GetLastError()));
}

// Starts `program` with `commandLine` in the working folder `folder`, all in the ANSI code page.
// The query hook is set on its thread before it runs; `refuseWindow` also makes its window fail.
bool Launch(Run& run, const std::string& commandLine, const std::string& folder,
            bool refuseWindow = false, const std::string& program = Program) {
  return LaunchWide(run, WideOf(commandLine, CP_ACP), WideOf(folder, CP_ACP), refuseWindow,
                    WideOf(program, CP_ACP));
}

// Starts `program` with `tail` behind its quoted name.
bool Start(Run& run, const std::string& tail, const std::string& folder, bool refuseWindow = false,
           const std::string& program = Program) {
  const std::string commandLine = "\"" + program + "\"" + (tail.empty() ? "" : " " + tail);
  return Launch(run, commandLine, folder, refuseWindow, program);
}

bool Ended(Run& run, DWORD waitMs) {
  if (!run.ended && WaitForSingleObject(run.process.hProcess, waitMs) == WAIT_OBJECT_0) {
    GetExitCodeProcess(run.process.hProcess, &run.exitCode);
    run.ended = true;
  }
  return run.ended;
}

void Release(Run& run) {
  if (!Ended(run, 0)) {
    Check(false, "the program is still running; ended by force");
    TerminateProcess(run.process.hProcess, 99);
    WaitForSingleObject(run.process.hProcess, kTimeoutMs);
  }
  for (HHOOK hook : run.hooks) {
    if (hook != nullptr) UnhookWindowsHookEx(hook);
  }
  CloseHandle(run.process.hThread);
  CloseHandle(run.process.hProcess);
}

// Asks the hook inside the program about `target`.
std::string Query(HWND target, unsigned kind) {
  static const UINT message = RegisterWindowMessageA(kQueryMessageName);
  ResetEvent(ReplyEvent);
  ReplyView[0] = '\0';
  if (!PostMessageA(target, message, kind, 0)) return "(query not posted)";
  if (WaitForSingleObject(ReplyEvent, 5000) != WAIT_OBJECT_0) return "(no reply from the hook)";
  return ReplyView;
}

// Waits for a visible dialog or message box of the program (with `title`, when given).
HWND WaitForBox(Run& run, const char* title = nullptr) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < kTimeoutMs) {
    if (HWND box = FindWindowOf(run.process.dwProcessId, "#32770", title)) return box;
    if (Ended(run, 10)) break;
  }
  Check(false, std::string("no box appeared") + (title ? std::string(": ") + title : ""));
  return nullptr;
}

// Title, text, icon and owner of a message box, in one line.
std::string DescribeBox(Run& run, HWND box) {
  char text[8192] = {};
  GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
  const HWND owner = GetWindow(box, GW_OWNER);
  const std::string ownerName = owner == nullptr           ? "none"
                                : owner == MainWindow(run) ? "main window"
                                                           : "other";
  return WindowText(box) + " | " + text + " | icon " + Query(box, kQueryBoxIcon) + " | owner " +
         ownerName;
}

std::string BoxLine(const std::string& title, const std::string& text, const char* icon,
                    const char* owner) {
  return title + " | " + text + " | icon " + icon + " | owner " + owner;
}

void Answer(HWND box, int button) {
  PostMessageA(box, WM_COMMAND, button, 0);
  const DWORD start = GetTickCount();
  while (IsWindow(box) && IsWindowVisible(box) && GetTickCount() - start < kTimeoutMs) Sleep(5);
  Check(!IsWindowVisible(box), "the box closed when answered");
}

// The file name field of the open-file dialog (an edit box inside a combo box), or the name
// field of the folder dialog.
BOOL CALLBACK VisitFileNameField(HWND child, LPARAM data) {
  char className[64] = {};
  GetClassNameA(child, className, sizeof className);
  const int id = GetDlgCtrlID(child);
  if ((id != 0x047C && id != 0x0480) || std::string(className) != "Edit") return TRUE;
  *reinterpret_cast<HWND*>(data) = child;
  return FALSE;
}

// Types `name` into the file name field of the open-file dialog.
void TypeFileName(HWND dialog, const char* name) {
  HWND edit = nullptr;
  EnumChildWindows(dialog, VisitFileNameField, reinterpret_cast<LPARAM>(&edit));
  if (Check(edit != nullptr, "the dialog has a file name field"))
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name));
}

// DescribeBox with title and text in Unicode, as UTF-8.
std::string DescribeBoxWide(Run& run, HWND box) {
  wchar_t title[4096] = {}, text[8192] = {};
  GetWindowTextW(box, title, 4096);
  GetDlgItemTextW(box, 0xFFFF, text, 8192);
  const HWND owner = GetWindow(box, GW_OWNER);
  const std::string ownerName = owner == nullptr           ? "none"
                                : owner == MainWindow(run) ? "main window"
                                                           : "other";
  return Utf8Of(title) + " | " + Utf8Of(text) + " | icon " + Query(box, kQueryBoxIcon) +
         " | owner " + ownerName;
}

// Lets the run end, answering every message box with OK; returns the boxes shown (`wide`: their
// texts in Unicode, as UTF-8).
std::vector<std::string> RunToEnd(Run& run, bool wide = false) {
  std::vector<std::string> boxes;
  const DWORD start = GetTickCount();
  while (!Ended(run, 10) && GetTickCount() - start < kTimeoutMs) {
    if (HWND box = FindWindowOf(run.process.dwProcessId, "#32770")) {
      const std::string description = wide ? DescribeBoxWide(run, box) : DescribeBox(run, box);
      if (!IsWindow(box)) continue;  // a dialog that was closing as it was found
      boxes.push_back(description);
      Answer(box, IDOK);
    }
  }
  Release(run);
  return boxes;
}

// The window stays up without a contact sheet: it is still there a moment later.
void CheckIdle(Run& run) {
  Sleep(300);
  Check(!Ended(run, 0) && MainWindow(run) != nullptr, "the window stays open, waiting");
}

// Where the status text is painted: the box around every non-white pixel of the client area,
// read back from the screen.
struct Ink {
  int width, height;             // of the client area
  int top, bottom, left, right;  // -1 when all is white
};

Ink FindInk(HWND window) {
  RECT client;
  GetClientRect(window, &client);
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  Ink ink{client.right, client.bottom, -1, -1, -1, -1};
  const HDC screen = GetDC(nullptr);
  const HDC memory = CreateCompatibleDC(screen);
  const HBITMAP bitmap = CreateCompatibleBitmap(screen, ink.width, ink.height);
  const HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, ink.width, ink.height, screen, origin.x, origin.y, SRCCOPY);
  SelectObject(memory, previous);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = ink.width;
  info.bmiHeader.biHeight = -ink.height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  std::vector<DWORD> pixels(static_cast<std::size_t>(ink.width) * ink.height);
  GetDIBits(memory, bitmap, 0, ink.height, pixels.data(), &info, DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  for (int y = 0; y < ink.height; ++y) {
    for (int x = 0; x < ink.width; ++x) {
      if ((pixels[static_cast<std::size_t>(y) * ink.width + x] & 0xFFFFFF) == 0xFFFFFF) continue;
      if (ink.top < 0) ink.top = y;
      ink.bottom = y;
      if (ink.left < 0 || x < ink.left) ink.left = x;
      if (x > ink.right) ink.right = x;
    }
  }
  return ink;
}

// The status text stands from the middle line of the client area down, centred horizontally.
bool AtMiddleLine(const Ink& ink) {
  return ink.top >= ink.height / 2 && ink.top <= ink.height / 2 + 16;
}

bool Centred(const Ink& ink) {
  return ink.left > 0 && std::abs(ink.left + ink.right - ink.width) <= 4;
}

void CheckStatusTextPlace(HWND window, const std::string& when) {
  Ink ink = FindInk(window);
  // The repaint may still be on its way on a busy machine.
  for (DWORD start = GetTickCount();
       !(AtMiddleLine(ink) && Centred(ink)) && GetTickCount() - start < 3000; Sleep(50))
    ink = FindInk(window);
  const std::string place = std::to_string(ink.left) + "," + std::to_string(ink.top) + " to " +
                            std::to_string(ink.right) + "," + std::to_string(ink.bottom) + " in " +
                            std::to_string(ink.width) + "x" + std::to_string(ink.height);
  Check(AtMiddleLine(ink), "status text begins at the middle line " + when + ": " + place);
  Check(Centred(ink), "status text centred " + when + ": " + place);
}

// ---- Files --------------------------------------------------------------------------------

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Every file and folder beneath `root`, by relative name, with a file's bytes.
void ListTree(const std::string& root, const std::string& relative,
              std::map<std::string, std::string>* entries) {
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA((root + relative + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    const std::string entry = relative + "\\" + name;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      (*entries)[entry] = "(folder)";
      ListTree(root, entry, entries);
    } else {
      (*entries)[entry] = ReadAll(root + entry);
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

// True for a thumbnail of kestrune's (its mark right behind the JPEG's start): two codecs make
// different bytes, so scripts/test-windows.sh compares their marks and pictures instead.
bool IsOwnThumbnail(const std::string& bytes) {
  static const std::string marker = "Kestrune thumbnail 1;";
  return bytes.compare(0, 4, "\xFF\xD8\xFF\xFE") == 0 &&
         bytes.compare(6, marker.size(), marker) == 0;
}

// `sheet` without the reason it keeps for each photo that could not be read; `given` counts the
// reasons that say something.
std::string WithoutUnreadReasons(const std::string& sheet, int* given) {
  static const std::regex reason("( data-unread=\"[^\"]*\" title=\")([^\"]*)\"");
  *given = 0;
  for (auto it = std::sregex_iterator(sheet.begin(), sheet.end(), reason);
       it != std::sregex_iterator(); ++it)
    *given += (*it)[2].length() > 0;
  return std::regex_replace(sheet, reason, "$1\"");
}

// Whether the program wrote the bytes the headless build wrote. Not so for thumbnails of
// kestrune's, whose marks and pictures scripts/test-windows.sh compares; nor for the reasons a
// sheet keeps for photos that could not be read, which are each codec's own words (libvips',
// WIC's): there, as many must say something.
bool SameAsHeadless(const std::string& expected, const std::string& actual) {
  if (actual == expected || (IsOwnThumbnail(expected) && IsOwnThumbnail(actual))) return true;
  int expectedReasons = 0, actualReasons = 0;
  return WithoutUnreadReasons(actual, &actualReasons) ==
             WithoutUnreadReasons(expected, &expectedReasons) &&
         actualReasons > 0 && actualReasons == expectedReasons;
}

// The fixture's folder holds exactly what the headless build left in its copy, byte for byte
// (thumbnails of kestrune's: under the same names).
void CheckSameAsHeadless(const std::string& fixture) {
  std::map<std::string, std::string> expected, actual;
  ListTree(ReferenceRoot + "\\" + fixture, "", &expected);
  ListTree(Folder(fixture), "", &actual);
  Check(!expected.empty(), "reference folder " + fixture + " is not empty");
  for (const auto& [name, bytes] : expected) {
    const auto it = actual.find(name);
    if (Check(it != actual.end(), fixture + name + " was written"))
      Check(SameAsHeadless(bytes, it->second), fixture + name + " has the headless build's bytes");
  }
  for (const auto& entry : actual)
    Check(expected.count(entry.first) != 0, fixture + entry.first + " was not expected");
}

// ---- Cases --------------------------------------------------------------------------------

// A folder of photos given on the command line, as a shortcut or Explorer's verb gives it: the
// thumbnails, sheet and slide show of the Linux build's run on the same folder, without a box;
// bad photos told once each (by their name in the box's title), the rest made, status 1; and
// --clean leaves the folder as it was.
void TestFolderGallery() {
  CurrentCase = "folder gallery";
  Run run;
  if (Start(run, "\"" + Folder("gallery") + "\"", WorkRoot)) {
    const std::vector<std::string> boxes = RunToEnd(run);
    Check(boxes.empty(), "no box" + (boxes.empty() ? "" : ": " + boxes.front()));
    CheckEqual(std::to_string(run.exitCode), "0", "exit code");
    CheckSameAsHeadless("gallery");
  }

  CurrentCase = "folder gallery: modern, a trailing backslash, from the folder's parent";
  Run modern;
  if (Start(modern, "--modern gallerymodern\\", WorkRoot)) {
    Check(RunToEnd(modern).empty(), "no box");
    CheckEqual(std::to_string(modern.exitCode), "0", "exit code");
    CheckSameAsHeadless("gallerymodern");
  }

  CurrentCase = "folder gallery: TIFF photos, through WIC";
  Run tiff;
  if (Start(tiff, Folder("gallerytiff"), WorkRoot)) {
    Check(RunToEnd(tiff).empty(), "no box");
    CheckEqual(std::to_string(tiff.exitCode), "0", "exit code");
    CheckSameAsHeadless("gallerytiff");
  }

  CurrentCase = "folder gallery: bad photos";
  Run bad;
  if (Start(bad, Folder("gallerybad"), WorkRoot)) {
    std::vector<std::string> told;  // the folder is listed in the file system's order
    for (const std::string& box : RunToEnd(bad)) told.push_back(box.substr(0, box.find(" | ")));
    std::sort(told.begin(), told.end());
    std::string titles;
    for (const std::string& title : told) titles += title + ";";
    CheckEqual(titles, "huge.png;out.jpg;text.jpg;truncated.jpg;zero.jpg;",
               "one box for each bad photo, in the folder's order");
    CheckEqual(std::to_string(bad.exitCode), "1", "exit code");
    CheckSameAsHeadless("gallerybad");
  }

  CurrentCase = "folder gallery: photos whose decoders the system lacks";
  Run codecs;
  if (Start(codecs, Folder("gallerycodecs"), WorkRoot)) {
    std::multimap<std::string, std::string> told;  // by the box's title, its text
    for (const std::string& box : RunToEnd(codecs))
      told.emplace(box.substr(0, box.find(" | ")), box.substr(box.find(" | ") + 3));
    const std::string sheet = ReadAll(Folder("gallerycodecs") + "\\index.html");
    for (const auto& [photo, format] : std::map<std::string, std::string>{
             {"IMG_1.heic", "HEIC"}, {"IMG_2.avif", "AVIF"}, {"IMG_3.webp", "WebP"}}) {
      const auto box = told.find(photo);
      Check(told.count(photo) == 1 &&
                box->second.find("no decoder for " + format + " photos on this system (") !=
                    std::string::npos,
            photo + " told once, with why: " + (box == told.end() ? "(no box)" : box->second));
      Check(sheet.find("href=\"" + photo + "\"") != std::string::npos, photo + " in the sheet");
    }
    Check(told.count("good.jpg") == 0 &&
              GetFileAttributesA((Folder("gallerycodecs") + "\\good_t.jpg").c_str()) !=
                  INVALID_FILE_ATTRIBUTES,
          "the good photo's thumbnail made");
    CheckEqual(std::to_string(codecs.exitCode), "1", "exit code");
  }

  CurrentCase = "folder gallery: clean";
  Run write;
  if (Start(write, Folder("galleryclean"), WorkRoot)) {
    Check(RunToEnd(write).empty(), "the run showed no box");
    Run clean;
    if (Start(clean, "--clean " + Folder("galleryclean"), WorkRoot)) {
      // One box tells the whole clean: the summary of the thumbnails and copies (a thumbnail for
      // dense screens each, in the folder of copies), then the slide show's.
      const std::vector<std::string> boxes = RunToEnd(clean);
      const std::string box = boxes.empty() ? "" : boxes.back();
      const std::size_t thumbnails =
          box.find("| 6 thumbnails and copies removed, index.html removed, 0 kept");
      const std::size_t pages = box.find("3 images: 7 pages removed, 0 kept, 0 refused");
      Check(boxes.size() == 1 && thumbnails != std::string::npos && pages != std::string::npos &&
                thumbnails < pages,
            "the clean's one result: " + box);
      CheckEqual(std::to_string(clean.exitCode), "0", "the clean's exit code");
      CheckSameAsHeadless("galleryclean");
    }
  }
}

// A contact sheet given on the command line: the pages are written without a question and the
// window closes by itself.
void TestSheetGiven() {
  struct Case {
    const char* name;
    std::string folder;  // working folder
    std::string tail;
    const char* fixture;
    bool bareProgram = false;  // the program's name unquoted, then blanks and tabs
  };
  const std::string cafe = "caf\xE9";
  const Case cases[] = {
      {"absolute path", WorkRoot, Folder("sample") + "\\index.html", "sample"},
      {"quoted path with trailing blanks", WorkRoot,
       "\"" + Folder("quoted") + "\\index.html\"  \t ", "quoted"},
      {"quoted path with further words", WorkRoot,
       "\"" + Folder("words") + "\\index.html\" and more words", "words"},
      {"path relative to the working folder", Folder("relative"), "index.html", "relative"},
      {"program name unquoted, tail behind blanks and tabs", WorkRoot,
       Folder("bare") + "\\index.html", "bare", true},
      {"forward slashes", WorkRoot, "relative2/sub/index.html", "relative2"},
      {"sheet filling its last memory page", WorkRoot, Folder("fullpage") + "\\sheet.html",
       "fullpage"},
      {"sheet with a zero byte", WorkRoot, Folder("zerobyte") + "\\sheet.html", "zerobyte"},
      {"names with bytes above 0x7F", WorkRoot, Folder(cafe) + "\\index.html", cafe.c_str()},
  };
  for (const Case& c : cases) {
    CurrentCase = std::string("sheet given: ") + c.name;
    Run run;
    const bool started = c.bareProgram ? Launch(run, Program + " \t \t" + c.tail, c.folder)
                                       : Start(run, c.tail, c.folder);
    if (!started) continue;
    const std::vector<std::string> boxes = RunToEnd(run);
    Check(boxes.empty(), "no box" + (boxes.empty() ? "" : ": " + boxes.front()));
    CheckEqual(std::to_string(run.exitCode), "0", "exit code");
    CheckSameAsHeadless(c.fixture);
  }

  // An Open that arrives while the pages are being written is ignored.
  CurrentCase = "sheet given: Open during the run";
  Run run;
  if (!Start(run, Folder("busy") + "\\index.html", WorkRoot)) return;
  HWND window = nullptr;
  for (DWORD start = GetTickCount(); !window && GetTickCount() - start < kTimeoutMs; Sleep(1))
    window = MainWindow(run);
  int posted = 0;
  for (int i = 0; i < 3; ++i) posted += PostMessageA(window, WM_COMMAND, kOpen, 0) ? 1 : 0;
  Check(posted == 3 && !Ended(run, 0), "Open posted while the run goes on");
  const std::vector<std::string> boxes = RunToEnd(run);
  Check(boxes.empty(), "no dialog or box" + (boxes.empty() ? "" : ": " + boxes.front()));
  CheckEqual(std::to_string(run.exitCode), "0", "exit code");
  CheckSameAsHeadless("busy");
}

// A start that fails shows one box, ends the program with status 1 and changes nothing.
void TestStartFailures() {
  struct Case {
    const char* fixture;
    const char* tail;
    std::string text;
    const char* icon;
    const char* owner;
  };
  const char* kNoImages = "Kestrune Err: No images found in input file";
  const char* kAllIn1 = "Kestrune Err: Unable to create AllIn1 file";
  const Case cases[] = {
      {"notfound", "missing.html", "File not found: missing.html", "none", "main window"},
      {"notfound", "\"\"", "File not found: ", "none", "main window"},
      {"folder", "sheet.html",
       "No photos in sheet.html (JPEG, PNG, GIF, HEIC, AVIF, WebP or TIFF files, in it or its "
       "folders)",
       "exclamation", "none"},  // a folder is a folder of photos, whatever its name
      {"empty", "empty.html", "File map could not be opened for empty.html", "none", "main window"},
      {"noimages", "index.html", kNoImages, "exclamation", "none"},
      {"allin1blocked", "index.html", kAllIn1, "exclamation", "none"},
      {"sheetallin1", "allin1.html", kAllIn1, "exclamation", "none"},
      {"foreignallin1", "index.html", kAllIn1, "exclamation", "none"},
  };
  for (const Case& c : cases) {
    CurrentCase = std::string("start failure: ") + c.fixture + " " + c.tail;
    Run run;
    if (!Start(run, c.tail, Folder(c.fixture))) continue;
    const std::vector<std::string> boxes = RunToEnd(run);
    if (CheckEqual(std::to_string(boxes.size()), "1", "boxes shown"))
      CheckEqual(boxes[0], BoxLine(Folder(c.fixture), c.text, c.icon, c.owner), "box");
    CheckEqual(std::to_string(run.exitCode), "1", "exit code");
    CheckSameAsHeadless(c.fixture);
  }
}

// `text` with every `from` replaced by `to`.
std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
    text.replace(at, from.size(), to);
  return text;
}

// Windows also splits folders at "\": sub\y.jpg gets its pages in the folder sub, and their links
// lead from there. The headless build wrote the same show for "slash", whose sheet spells the
// names with "/": the two folders must hold the same bytes once the names are spelled alike.
void TestBackslashFolders() {
  CurrentCase = "folders split by a backslash";
  Run run;
  if (!Start(run, "index.html", Folder("backslash"))) return;
  const std::vector<std::string> boxes = RunToEnd(run);
  Check(boxes.empty(), "no box" + (boxes.empty() ? "" : ": " + boxes.front()));
  CheckEqual(std::to_string(run.exitCode), "0", "exit code");
  std::map<std::string, std::string> expected, actual;
  ListTree(ReferenceRoot + "\\slash", "", &expected);
  ListTree(Folder("backslash"), "", &actual);
  Check(expected.count("\\sub\\y.htm") && expected.count("\\w.html"),
        "the headless build wrote the reference pages");
  for (auto& [name, bytes] : expected)
    bytes = Replaced(Replaced(bytes, "sub/y", "sub\\y"), "sub/../w", "sub\\..\\w");
  for (const auto& [name, bytes] : expected) {
    const auto it = actual.find(name);
    if (Check(it != actual.end(), "backslash" + name + " was written"))
      CheckEqual(it->second, bytes, "backslash" + name);
  }
  for (const auto& entry : actual)
    Check(expected.count(entry.first) != 0, "backslash" + entry.first + " was not expected");
  // The page in the folder, spelled out where it matters.
  const std::string page = ReadAll(Folder("backslash") + "\\sub\\y.htm");
  Check(page.find("<a href=\"../first.htm\"><img src=\"../sub\\y.jpg\"") != std::string::npos,
        "sub\\y.htm links PREVIOUS from its folder");
  Check(page.find("<TITLE>sub\\y.jpg</TITLE>") != std::string::npos,
        "sub\\y.htm keeps its title as read");
}

// A page that cannot be written gets its own box, titled with its name; the run goes on.
void TestPageFailures() {
  struct Case {
    const char* fixture;
    const char* tail;
    std::vector<const char*> pages;  // refused, in order
    bool sameAsHeadless;
  };
  const Case cases[] = {
      {"pagefail", "index.html", {"b.htm"}, true},
      {"sheetpage", "pic.htm", {"pic.htm"}, true},
      // Names decoded before a page is opened: refused when they leave the folder or hold a
      // zero byte, titled with the name as linked; the other pages as the headless build's.
      {"escapes",
       "sheet\\index.html",
       {"%2e%2e%2fx.htm", "%2e%2e%2fx.html", "..%5cx.htm", "..%5cx.html", "z%00.htm", "z%00.html"},
       true},
      // Files kestrune did not write are kept; a page of an earlier run and an empty file are not.
      {"foreign", "index.html", {"a.htm", "c.html"}, true},
      // Device names are refused, never opened: the page would vanish into the device.
      {"devices",
       "index.html",
       {"con.htm", "con.html", "con .htm", "con .html", "NUL..htm", "NUL..html", "com1.htm",
        "com1.html", "Lpt9.htm", "Lpt9.html", "aux/x.htm", "aux/x.html", "co%6e.htm", "co%6e.html"},
       false},
  };
  for (const Case& c : cases) {
    CurrentCase = std::string("page failure: ") + c.fixture;
    Run run;
    if (!Start(run, c.tail, Folder(c.fixture))) continue;
    const std::vector<std::string> boxes = RunToEnd(run);
    std::string expected, actual;
    for (const char* page : c.pages)
      expected += BoxLine(page, "Unable to create SlideShow file", "exclamation", "none") + "\n";
    for (const std::string& box : boxes) actual += box + "\n";
    CheckEqual(actual, expected, "boxes");
    CheckEqual(std::to_string(run.exitCode), "1", "exit code");
    if (c.sameAsHeadless) CheckSameAsHeadless(c.fixture);
  }
  CurrentCase = "page failure: foreign";
  const std::string foreign = Folder("foreign") + "\\";
  CheckEqual(ReadAll(foreign + "a.htm"), "<html><body>My own page</body></html>\r\n",
             "the user's page kept");
  Check(ReadAll(foreign + "b.html").find("<TITLE>b.jpg</TITLE>") != std::string::npos,
        "the earlier run's page replaced");
  Check(ReadAll(foreign + "c.htm").find("<TITLE>c.jpg</TITLE>") != std::string::npos,
        "the empty file replaced");
  CurrentCase = "page failure: devices";
  for (const char* written : {"ok.htm", "ok.html", "allin1.html"})
    Check(
        GetFileAttributesA((Folder("devices") + "\\" + written).c_str()) != INVALID_FILE_ATTRIBUTES,
        std::string(written) + " written");
}

// The session ends during a run: Windows asks the window (WM_QUERYENDSESSION), which agrees, then
// tells it (WM_ENDSESSION), after which it may end the process at any moment. The step that ran
// is complete and none follows: the folder holds the pages of the images written so far, whole,
// and an allin1.html that lists exactly those, with its trailer; no temporary file is left.
// The headless build's show of the busy sheet (`reference`) as a run that stopped after
// `written` images leaves it: the sheet, the pages of those images, and allin1.html without the
// lines of the images never written.
std::map<std::string, std::string> BusyShowUpTo(int written,
                                                std::map<std::string, std::string>& reference) {
  std::map<std::string, std::string> expected;
  expected["\\index.html"] = reference["\\index.html"];
  std::string combined = reference["\\allin1.html"];
  for (int image = 1; image <= 300; ++image) {
    const std::string page = "\\p" + std::to_string(image);
    if (image <= written) {
      for (const char* extension : {".htm", ".html"})
        expected[page + extension] = reference[page + extension];
    } else {
      combined =
          Replaced(combined, "<img src=\"p" + std::to_string(image) + ".jpg\"> &nbsp; \r\n", "");
    }
  }
  expected["\\allin1.html"] = combined;
  return expected;
}

void TestSessionEnd() {
  CurrentCase = "the session ends during a run";
  const HANDLE held = CreateEventA(nullptr, TRUE, FALSE, kHoldStepsEventName);
  Run run;
  if (!Check(held != nullptr, "hold event made") ||
      !Start(run, "index.html", Folder("endsession"))) {
    if (held != nullptr) CloseHandle(held);
    return;
  }
  const bool resting = Check(WaitForSingleObject(held, kTimeoutMs) == WAIT_OBJECT_0,
                             "the run rests between two steps");
  CloseHandle(held);
  const HWND window = MainWindow(run);
  DWORD_PTR agreed = 0, told = 0;
  Check(resting &&
            SendMessageTimeoutA(window, WM_QUERYENDSESSION, 0, 0, SMTO_ABORTIFHUNG, kTimeoutMs,
                                &agreed) != 0 &&
            agreed == TRUE,
        "the window agrees that the session ends");
  Check(
      SendMessageTimeoutA(window, WM_ENDSESSION, TRUE, 0, SMTO_ABORTIFHUNG, kTimeoutMs, &told) != 0,
      "the window is told that the session ends");
  const std::vector<std::string> boxes = RunToEnd(run);
  Check(boxes.empty(), "no box" + (boxes.empty() ? "" : ": " + boxes.front()));
  CheckEqual(std::to_string(run.exitCode), "0", "exit code");

  // The headless build wrote all 300 images of the same sheet: its first pages, and its
  // allin1.html without the lines of the images that were never written.
  std::map<std::string, std::string> reference, actual;
  ListTree(ReferenceRoot + "\\busy", "", &reference);
  std::map<std::string, std::string> expected = BusyShowUpTo(kStepsBeforeHold, reference);
  const std::string combined = expected["\\allin1.html"];
  Check(combined.size() < reference["\\allin1.html"].size() &&
            combined.find("</BODY></HTML>\r\n") == combined.size() - 16,
        "the reference's allin1.html, shortened, ends with its trailer");
  ListTree(Folder("endsession"), "", &actual);
  for (const auto& [name, bytes] : expected) {
    const auto it = actual.find(name);
    if (Check(it != actual.end(), "endsession" + name + " was written"))
      Check(it->second == bytes, "endsession" + name + " is whole, as the headless build's");
  }
  for (const auto& entry : actual)
    Check(expected.count(entry.first) != 0, "endsession" + entry.first + " was not expected");
}

// Tells the window that the session ends, as Windows does: asks (it must agree), then, once
// `meanwhile` has seen what follows the question, tells it.
void EndSession(Run& run, const std::function<bool()>& meanwhile) {
  const HWND window = MainWindow(run);
  DWORD_PTR agreed = 0, told = 0;
  Check(window != nullptr &&
            SendMessageTimeoutA(window, WM_QUERYENDSESSION, 0, 0, SMTO_ABORTIFHUNG, kTimeoutMs,
                                &agreed) != 0 &&
            agreed == TRUE,
        "the window agrees that the session ends");
  if (!meanwhile()) return;
  Check(
      SendMessageTimeoutA(window, WM_ENDSESSION, TRUE, 0, SMTO_ABORTIFHUNG, kTimeoutMs, &told) != 0,
      "the window is told that the session ends");
}

// Waits until `box` is gone.
bool Gone(HWND box) {
  const DWORD start = GetTickCount();
  while (IsWindow(box) && IsWindowVisible(box) && GetTickCount() - start < kTimeoutMs) Sleep(5);
  return !IsWindowVisible(box);
}

// The session ends while a dialog waits: Windows' question answers it at once, the open-file
// dialog as cancelled and a message box as with OK, and no further box waits; the program ends
// as it does between two steps. Without a run begun nothing is written; during a run, the
// images written so far are complete and listed.
void TestSessionEndWhileWaiting() {
  CurrentCase = "the session ends while the open-file dialog waits";
  Run chooser;
  if (Start(chooser, "", Folder("endchooser"))) {
    const HWND dialog = WaitForBox(chooser, kDialogTitle);
    EndSession(chooser,
               [&] { return Check(dialog != nullptr && Gone(dialog), "dialog answered"); });
    const std::vector<std::string> boxes = RunToEnd(chooser);
    Check(boxes.empty(), "no box" + (boxes.empty() ? "" : ": " + boxes.front()));
    CheckEqual(std::to_string(chooser.exitCode), "0", "exit code");
    std::map<std::string, std::string> files;
    ListTree(Folder("endchooser"), "", &files);
    CheckEqual(std::to_string(files.size()), "1", "files in the folder: only the sheet");
  }

  CurrentCase = "the session ends while a failure box waits";
  const HANDLE held = CreateEventA(nullptr, TRUE, FALSE, kHoldStepsEventName);
  Run run;
  if (!Check(held != nullptr, "hold event made") || !Start(run, "index.html", Folder("endbox"))) {
    if (held != nullptr) CloseHandle(held);
    return;
  }
  const HWND box = WaitForBox(run, "p5.htm");
  EndSession(run, [&] {
    return Check(box != nullptr && Gone(box), "box answered") &&
           Check(WaitForSingleObject(held, kTimeoutMs) == WAIT_OBJECT_0,
                 "the run goes on and rests between two steps");
  });
  CloseHandle(held);
  const std::vector<std::string> boxes = RunToEnd(run);
  Check(boxes.empty(), "no further box" + (boxes.empty() ? "" : ": " + boxes.front()));
  CheckEqual(std::to_string(run.exitCode), "1", "exit code after the failure");
  // The headless build's pages of the busy sheet for the images written, its allin1.html
  // without the images never written; p5.htm is the folder that took the page's name.
  std::map<std::string, std::string> reference, actual;
  ListTree(ReferenceRoot + "\\busy", "", &reference);
  std::map<std::string, std::string> expected = BusyShowUpTo(kStepsBeforeHold, reference);
  const std::string combined = expected["\\allin1.html"];
  expected["\\p5.htm"] = "(folder)";
  ListTree(Folder("endbox"), "", &actual);
  CheckEqual(std::to_string(actual.size()), std::to_string(expected.size()), "files written");
  for (const auto& [name, bytes] : expected) {
    const auto it = actual.find(name);
    Check(it != actual.end() && it->second == bytes, "endbox" + name + " as the headless build's");
  }
}

// Two runs of one sheet started at once, as a double click twice starts them: each ends as a
// single run would, the folder holds the headless build's pages, and a page of the user's among
// them is the one box both show.
void TestTwoRunsAtOnce() {
  for (const char* fixture : {"twice1", "twice2", "twiceforeign"}) {
    CurrentCase = std::string("two runs at once: ") + fixture;
    const bool foreign = std::string(fixture) == "twiceforeign";
    Run first, second;
    if (!Start(first, "index.html", Folder(fixture))) continue;
    const bool started = Start(second, "index.html", Folder(fixture));
    const std::vector<std::string> boxes[] = {
        RunToEnd(first), started ? RunToEnd(second) : std::vector<std::string>{}};
    const std::vector<std::string> expected =
        foreign ? std::vector<std::string>{BoxLine(
                      "img/p150.htm", "Unable to create SlideShow file", "exclamation", "none")}
                : std::vector<std::string>{};
    for (int i = 0; i < 2 && started; ++i) {
      const Run& run = i == 0 ? first : second;
      std::string shown;
      for (const std::string& box : boxes[i]) shown += box + "\n";
      Check(boxes[i] == expected, "run " + std::to_string(i + 1) + " boxes: " + shown);
      CheckEqual(std::to_string(run.exitCode), foreign ? "1" : "0",
                 "run " + std::to_string(i + 1) + " exit code");
    }
    CheckSameAsHeadless(fixture);
  }
}

// Without a contact sheet the dialog opens at once; the menu drives the rest.
void TestDialogAndMenu() {
  CurrentCase = "no path: dialog, menu, About, Help, Open";
  const std::string record = Folder("help-opened.txt");
  DeleteFileA(record.c_str());
  Run run;
  if (!Start(run, "", Folder("dialog"))) return;
  HWND dialog = WaitForBox(run, kDialogTitle);
  if (dialog == nullptr) return Release(run);
  Check(GetWindow(dialog, GW_OWNER) == nullptr, "the dialog has no owner");
  Check((GetWindowLongA(dialog, GWL_STYLE) & WS_THICKFRAME) != 0, "the dialog can be resized");
  Answer(dialog, IDCANCEL);
  CheckIdle(run);

  const HWND window = MainWindow(run);
  CheckEqual(Query(window, kQueryWindow), kExpectedWindow, "window class and menu");
  CheckStatusTextPlace(window, "at first");
  // Made smaller, the window paints the text again at its new middle line.
  RECT frame;
  GetWindowRect(window, &frame);
  SetWindowPos(window, nullptr, 0, 0, (frame.right - frame.left) * 3 / 4,
               (frame.bottom - frame.top) * 2 / 3, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  CheckStatusTextPlace(window, "after resizing");
  Check((GetWindowLongA(window, GWL_STYLE) & WS_OVERLAPPEDWINDOW) == WS_OVERLAPPEDWINDOW,
        "overlapped window style");

  PostMessageA(window, WM_COMMAND, kAbout, 0);
  if (HWND box = WaitForBox(run)) {
    CheckEqual(DescribeBox(run, box), BoxLine("Quillfen", kAboutText, "information", "main window"),
               "About box");
    Answer(box, IDOK);
  }

  // Help opens help.html beside the program with the program registered for web pages.
  PostMessageA(window, WM_COMMAND, kHelp, 0);
  const std::string helpPage = Program.substr(0, Program.rfind('\\') + 1) + "help.html";
  for (DWORD start = GetTickCount(); GetTickCount() - start < kTimeoutMs; Sleep(20)) {
    if (GetFileAttributesA(record.c_str()) != INVALID_FILE_ATTRIBUTES) break;
  }
  Sleep(50);
  CheckEqual(ReadAll(record), helpPage, "page opened by Help");
  Check(FindWindowOf(run.process.dwProcessId, "#32770") == nullptr, "no fallback box");

  // Open asks again, since the first dialog was cancelled; a name typed there is loaded.
  PostMessageA(window, WM_COMMAND, kOpen, 0);
  dialog = WaitForBox(run, kDialogTitle);
  if (dialog == nullptr) return Release(run);
  TypeFileName(dialog, "index.html");
  Answer(dialog, IDOK);
  const std::vector<std::string> boxes = RunToEnd(run);
  Check(boxes.empty(), "no box" + (boxes.empty() ? "" : ": " + boxes.front()));
  CheckEqual(std::to_string(run.exitCode), "0", "exit code");
  CheckSameAsHeadless("dialog");
}

// A tail beginning with "?" counts as none: the dialog opens; cancelled, File > Exit ends the
// program and nothing is written.
void TestQuestionMark() {
  CurrentCase = "\"?\": dialog cancelled, File > Exit";
  Run run;
  if (!Start(run, "?", Folder("question"))) return;
  if (HWND dialog = WaitForBox(run, kDialogTitle)) Answer(dialog, IDCANCEL);
  CheckIdle(run);
  PostMessageA(MainWindow(run), WM_COMMAND, kExit, 0);
  const std::vector<std::string> boxes = RunToEnd(run);
  Check(boxes.empty(), "no box" + (boxes.empty() ? "" : ": " + boxes.front()));
  CheckEqual(std::to_string(run.exitCode), "0", "exit code");
  CheckSameAsHeadless("question");
}

// The run ends by itself without a box, status 0, and leaves the fixture's folder as the headless
// build left its copy.
void CheckCompleteRun(Run& run, const std::string& fixture) {
  const std::vector<std::string> boxes = RunToEnd(run);
  Check(boxes.empty(), "no box" + (boxes.empty() ? "" : ": " + boxes.front()));
  CheckEqual(std::to_string(run.exitCode), "0", "exit code");
  CheckSameAsHeadless(fixture);
}

// "--modern" at the front of the tail chooses the modern pages, which must be the headless
// build's byte for byte; the rest of the tail is read as without it. A longer word is no option.
void TestModernStyle() {
  struct SheetCase {
    const char* name;
    std::string folder;  // working folder
    std::string tail;
    const char* fixture;
  };
  const SheetCase sheetCases[] = {
      {"quoted path", WorkRoot, "--modern \"" + Folder("modernquoted") + "\\index.html\"",
       "modernquoted"},
      {"bare path with a backslash", WorkRoot, "--modern \t modernbare\\index.html", "modernbare"},
      {"a sheet whose name begins with the option", Folder("notoption"), "--modernx.html",
       "notoption"},
  };
  for (const SheetCase& c : sheetCases) {
    CurrentCase = std::string("modern style: ") + c.name;
    Run run;
    if (Start(run, c.tail, c.folder)) CheckCompleteRun(run, c.fixture);
  }

  // The reference itself holds what the gallery's sheet declares and captions, so the comparison
  // above covers every input of a modern page.
  CurrentCase = "modern style: the gallery's reference pages";
  const std::string combined = ReadAll(ReferenceRoot + "\\modernquoted\\allin1.html");
  for (const char* part :
       {"<!DOCTYPE html>\r\n<!-- Generated by Kestrune.Exe -->\r\n<html lang=\"fr-BE\">\r\n",
        "<meta charset=\"iso-8859-1\">\r\n",
        "<a href=\"harbour.htm\"><img src=\"harbour.jpg\" alt=\"The harbour at dawn\">",
        "<a href=\"beach%20hut.htm\"><img src=\"beach%20hut.jpg\" alt=\"Beach huts in a row\"",
        "<figcaption>Le quai \xE0 midi</figcaption>",
        "<figcaption>\xC9t\xE9 \xE0 la plage</figcaption>",
        "<a href=\"photos/rock%20arch.htm\"><img src=\"photos/rock%20arch.jpg\" alt=\"rock arch\""})
    Check(combined.find(part) != std::string::npos, std::string("allin1.html holds ") + part);
  const std::string arch = ReadAll(ReferenceRoot + "\\modernquoted\\photos\\rock arch.htm");
  Check(arch.find("<img class=\"icon\" src=\"../\xE9t\xE9_t.jpg\" alt=\"\">&#171; PREVIOUS") !=
            std::string::npos,
        "photos\\rock arch.htm shows the thumbnail of \xE9t\xE9.jpg from its folder");

  // Without a sheet after the option the dialog asks for one, which gets modern pages too.
  struct DialogCase {
    const char* tail;
    const char* fixture;
  };
  for (const DialogCase& c :
       {DialogCase{"--modern ?", "modernquestion"}, DialogCase{"--modern", "modernalone"}}) {
    CurrentCase = std::string("modern style: \"") + c.tail + "\", sheet chosen in the dialog";
    Run run;
    if (!Start(run, c.tail, Folder(c.fixture))) continue;
    HWND dialog = WaitForBox(run, kDialogTitle);
    if (dialog == nullptr) {
      Release(run);
      continue;
    }
    TypeFileName(dialog, "index.html");
    Answer(dialog, IDOK);
    CheckCompleteRun(run, c.fixture);
  }
}

// ---- Dry runs and cleans: no window, one box at the end -----------------------------------

const char kDryRunTitle[] = "Quillfen: dry run";
const char kCleanTitle[] = "Quillfen: clean";

// The box of a dry run or a clean as the headless build's output for the same fixture gives it:
// the summary, then the first ten lines about files kept or refused.
std::string ResultBox(const std::string& fixture, const char* title, const char* icon) {
  std::istringstream out(ReadAll(ReferenceRoot + "-results\\" + fixture + ".txt"));
  std::vector<std::string> lines;
  for (std::string line; std::getline(out, line);) lines.push_back(line);
  if (lines.empty()) return "(no headless output for " + fixture + ")";
  std::string text = lines.back();
  std::vector<std::string> notable;
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.rfind("create ", 0) != 0 && line.rfind("replace ", 0) != 0 &&
        line.rfind("removed ", 0) != 0)
      notable.push_back(line);
  }
  if (!notable.empty()) text += "\n";
  for (std::size_t i = 0; i < notable.size() && i < 10; ++i) text += "\n" + notable[i];
  if (notable.size() > 10) text += "\n... and " + std::to_string(notable.size() - 10) + " more";
  return BoxLine(title, text, icon, "none");
}

// The run shows no window, only its result's box, which must be `expected`; then it ends.
void CheckResult(Run& run, const std::string& expected, const char* exitCode) {
  if (WaitForBox(run) != nullptr) Check(MainWindow(run) == nullptr, "no window, only the box");
  const std::vector<std::string> boxes = RunToEnd(run);
  if (CheckEqual(std::to_string(boxes.size()), "1", "boxes shown"))
    CheckEqual(boxes[0], expected, "the result's box");
  CheckEqual(std::to_string(run.exitCode), exitCode, "exit code");
}

// --dry-run and --clean tell their result in one box, as the headless build tells it on standard
// output; the files they leave are the headless build's.
void TestDryRunAndClean() {
  CurrentCase = "dry run: a page of the user's";
  Run dry;
  if (Start(dry, "--dry-run index.html", Folder("dryrun"))) {
    CheckResult(dry, ResultBox("dryrun", kDryRunTitle, "exclamation"), "1");
    CheckSameAsHeadless("dryrun");
  }

  // A run and its clean leave the sample as it was, in either style; a second clean finds
  // nothing.
  for (const char* style : {"", "--modern "}) {
    const std::string fixture = *style ? "cleanedmodern" : "cleaned";
    CurrentCase = "clean after a run: " + fixture;
    Run write;
    if (!Start(write, std::string(style) + "index.html", Folder(fixture))) continue;
    Check(RunToEnd(write).empty(), "the run showed no box");
    CheckEqual(std::to_string(write.exitCode), "0", "the run's exit code");
    for (const char* which : {"first", "second"}) {
      Run clean;
      if (!Start(clean, "--clean \"" + Folder(fixture) + "\\index.html\"", WorkRoot)) break;
      CheckResult(
          clean,
          *which == 'f'
              ? ResultBox(fixture, kCleanTitle, "information")
              : BoxLine(kCleanTitle, "13 images: 0 pages removed, 0 kept, 0 refused, 0 not removed",
                        "information", "none"),
          "0");
      CheckSameAsHeadless(fixture);
    }
  }

  CurrentCase = "clean: files kestrune did not write";
  Run kept;
  if (Start(kept, "--clean index.html", Folder("cleankept"))) {
    CheckResult(kept, ResultBox("cleankept", kCleanTitle, "exclamation"), "1");
    CheckSameAsHeadless("cleankept");
  }

  // The link leads to a page of ours outside the folder: neither followed nor removed.
  CurrentCase = "clean: a link named like a page";
  Run links;
  if (Start(links, "--clean index.html", Folder("cleanlinks"))) {
    CheckResult(links, ResultBox("cleanlinks", kCleanTitle, "exclamation"), "1");
    CheckEqual(ReadAll(WorkRoot + "\\outside-page.htm"),
               "Page outside\r\n<!-- Generated by Kestrune.Exe -->\r\n", "the page outside");
    CheckSameAsHeadless("cleanlinks");
  }

  CurrentCase = "clean: device names";
  Run devices;
  if (Start(devices, "--clean index.html", Folder("cleandevices"))) {
    CheckResult(devices,
                BoxLine(kCleanTitle,
                        "3 images: 3 pages removed, 0 kept, 4 refused, 0 not removed\n\n"
                        "refused con.htm (a device name)\nrefused con.html (a device name)\n"
                        "refused aux/x.htm (a device name)\nrefused aux/x.html (a device name)",
                        "exclamation", "none"),
                "1");
    std::map<std::string, std::string> left;
    ListTree(Folder("cleandevices"), "", &left);
    CheckEqual(std::to_string(left.size()), "2", "the sheet and the folder aux left");
    Check(left.count("\\index.html") && left.count("\\aux"), "the sheet and aux stay");
  }

  // Without a sheet the dialog asks for one.
  CurrentCase = "clean: the sheet chosen in the dialog";
  Run chosen;
  if (Start(chosen, "--clean", Folder("cleandialog"))) {
    if (HWND dialog = WaitForBox(chosen, kDialogTitle)) {
      TypeFileName(dialog, "index.html");
      Answer(dialog, IDOK);
      CheckResult(chosen, ResultBox("cleandialog", kCleanTitle, "information"), "0");
    } else {
      Release(chosen);
    }
    CheckSameAsHeadless("cleandialog");
  }

  // Cancelled, nothing is done and nothing is shown.
  CurrentCase = "dry run: the dialog cancelled";
  Run cancelled;
  if (Start(cancelled, "--dry-run ?", Folder("cleandialog"))) {
    if (HWND dialog = WaitForBox(cancelled, kDialogTitle)) Answer(dialog, IDCANCEL);
    const std::vector<std::string> boxes = RunToEnd(cancelled);
    Check(boxes.empty(), "no box" + (boxes.empty() ? "" : ": " + boxes.front()));
    CheckEqual(std::to_string(cancelled.exitCode), "0", "exit code");
  }

  CurrentCase = "--dry-run with --clean";
  Run both;
  if (Start(both, "--dry-run --clean index.html", Folder("cleandialog"))) {
    CheckResult(both,
                BoxLine("Quillfen",
                        "--dry-run and --clean cannot be used together: --dry-run tells what a "
                        "run would write, --clean removes what a run wrote.",
                        "exclamation", "none"),
                "2");
    CheckSameAsHeadless("cleandialog");
  }
}

// Without help.html beside the program, Help shows the description in a box.
void TestHelpFallback() {
  CurrentCase = "Help without a help page";
  const std::string copy = Folder("nohelp") + "\\kestrune.exe";
  if (!Check(CopyFileA(Program.c_str(), copy.c_str(), FALSE) != 0, "program copied")) return;
  Run run;
  if (!Start(run, "?", Folder("nohelp"), false, copy)) return;
  if (HWND dialog = WaitForBox(run, kDialogTitle)) Answer(dialog, IDCANCEL);
  CheckIdle(run);
  PostMessageA(MainWindow(run), WM_COMMAND, kHelp, 0);
  if (HWND box = WaitForBox(run)) {
    CheckEqual(DescribeBox(run, box), BoxLine("Quillfen", kHelpText, "information", "main window"),
               "Help box");
    Answer(box, IDOK);
  }
  PostMessageA(MainWindow(run), WM_COMMAND, kExit, 0);
  RunToEnd(run);
  CheckEqual(std::to_string(run.exitCode), "0", "exit code");
}

// A window that cannot be created is reported before the program ends with -1.
void TestWindowCreationFailure() {
  CurrentCase = "window creation fails";
  Run run;
  if (!Start(run, "?", Folder("question"), true)) return;
  const std::vector<std::string> boxes = RunToEnd(run);
  if (CheckEqual(std::to_string(boxes.size()), "1", "boxes shown"))
    CheckEqual(
        boxes[0],
        BoxLine("Err! - kestrune", "WinMain(): CreateWindow() failed", "exclamation", "none"),
        "box");
  CheckEqual(std::to_string(static_cast<int>(run.exitCode)), "-1", "exit code");
}

// ---- Names in Unicode (under a UTF-8 locale) ----------------------------------------------

// The fixtures' folder, named outside code page 1252.
const char kUnicodeRoot[] = u8"Ελλάδα 中文 😀";

// A fixture's folder beneath it, in `root` (the work or the reference folder).
std::wstring UnicodeFolder(const std::string& root, const char* fixture) {
  return WideOf(root, CP_ACP) + L"\\" + WideOf(kUnicodeRoot, CP_UTF8) + L"\\" +
         WideOf(fixture, CP_UTF8);
}

std::string ReadAllWide(const std::wstring& path) {
  const HANDLE file =
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "(unreadable)";
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  CloseHandle(file);
  return bytes;
}

// ListTree in Unicode: the names as UTF-8.
void ListTreeWide(const std::wstring& root, const std::wstring& relative,
                  std::map<std::string, std::string>* entries) {
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW((root + relative + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring entry = relative + L"\\" + name;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      (*entries)[Utf8Of(entry)] = "(folder)";
      ListTreeWide(root, entry, entries);
    } else {
      (*entries)[Utf8Of(entry)] = ReadAllWide(root + entry);
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

// CheckSameAsHeadless for a fixture beneath kUnicodeRoot: the same names, the same bytes.
void CheckSameAsHeadlessWide(const char* fixture) {
  std::map<std::string, std::string> expected, actual;
  ListTreeWide(UnicodeFolder(ReferenceRoot, fixture), L"", &expected);
  ListTreeWide(UnicodeFolder(WorkRoot, fixture), L"", &actual);
  Check(expected.size() > 1, std::string("reference folder ") + fixture + " holds pages");
  for (const auto& [name, bytes] : expected) {
    const auto it = actual.find(name);
    if (Check(it != actual.end(), fixture + name + " was written"))
      Check(SameAsHeadless(bytes, it->second), fixture + name + " has the headless build's bytes");
  }
  for (const auto& entry : actual)
    Check(expected.count(entry.first) != 0, fixture + entry.first + " was not expected");
}

// The run ends by itself without a box, status 0, and leaves the fixture as the headless build
// left its copy.
void CheckCompleteRunWide(Run& run, const char* fixture) {
  const std::vector<std::string> boxes = RunToEnd(run, true);
  Check(boxes.empty(), "no box" + (boxes.empty() ? "" : ": " + boxes.front()));
  CheckEqual(std::to_string(run.exitCode), "0", "exit code");
  CheckSameAsHeadlessWide(fixture);
}

// Starts the program with a UTF-8 `tail` behind its quoted name, in `folder`.
bool StartWide(Run& run, const std::string& tail, const std::wstring& folder) {
  const std::wstring program = WideOf(Program, CP_ACP);
  return LaunchWide(run, L"\"" + program + L"\" " + WideOf(tail, CP_UTF8), folder, false, program);
}

// Sheets in UTF-8 and windows-1252 with names in French, German, Greek, Chinese and emoji, raw
// and escaped, in a folder named outside code page 1252, given on the command line and chosen
// in the dialog: the pages are the headless build's, byte for byte, under the names a browser
// opens (for the UTF-8 sheet the headless build's own; for the windows-1252 one its names read
// as windows-1252 where they are not UTF-8, as test-windows.sh renamed them). A name that is
// not in the sheet's charset is refused, and boxes show names outside code page 1252.
void TestUnicodeNames() {
  CurrentCase = "names in Unicode: a UTF-8 sheet, its quoted path on the command line";
  Run given;
  const std::string sheet = Utf8Of(UnicodeFolder(WorkRoot, "utf8")) + "\\index.html";
  if (StartWide(given, "\"" + sheet + "\"", WideOf(WorkRoot, CP_ACP)))
    CheckCompleteRunWide(given, "utf8");

  CurrentCase = "names in Unicode: a windows-1252 sheet in the working folder";
  Run relative;
  if (StartWide(relative, "index.html", UnicodeFolder(WorkRoot, "cp1252")))
    CheckCompleteRunWide(relative, "cp1252");

  CurrentCase = "names in Unicode: the UTF-8 sheet chosen in the dialog, modern pages";
  Run chosen;
  if (StartWide(chosen, "--modern", UnicodeFolder(WorkRoot, "dialog"))) {
    if (HWND dialog = WaitForBox(chosen, kDialogTitle)) {
      TypeFileName(dialog, "index.html");
      Answer(dialog, IDOK);
      CheckCompleteRunWide(chosen, "dialog");
    } else {
      Release(chosen);
    }
  }

  CurrentCase = "names in Unicode: a missing sheet";
  const std::wstring refused = UnicodeFolder(WorkRoot, "refused");
  Run missing;
  if (StartWide(missing, u8"Λείπει.html", refused)) {
    const std::vector<std::string> boxes = RunToEnd(missing, true);
    if (CheckEqual(std::to_string(boxes.size()), "1", "boxes shown"))
      CheckEqual(boxes[0],
                 BoxLine(Utf8Of(refused), u8"File not found: Λείπει.html", "none", "main window"),
                 "box");
    CheckEqual(std::to_string(missing.exitCode), "1", "exit code");
  }

  // A UTF-8 sheet links "bad\xE9.jpg": no browser opens a file by that name, so none is written
  // (its box shows the name read as windows-1252, a dry run's line its byte as \xE9); a folder
  // stands under the name of a page.
  CurrentCase = "names in Unicode: pages refused, in a dry run";
  Run dry;
  if (StartWide(dry, "--dry-run index.html", refused)) {
    const std::vector<std::string> boxes = RunToEnd(dry, true);
    if (CheckEqual(std::to_string(boxes.size()), "1", "boxes shown"))
      CheckEqual(boxes[0],
                 BoxLine("Quillfen: dry run",
                         "3 images: 4 pages to create, 0 to replace, 0 kept, 3 refused (dry run: "
                         "nothing written)\n\n"
                         "refuse bad\\xE9.htm (not in the contact sheet's charset)\n"
                         "refuse bad\\xE9.html (not in the contact sheet's charset)\n" +
                             std::string(u8"refuse Ελλάδα.htm (not a regular file)"),
                         "exclamation", "none"),
                 "the result's box");
    CheckEqual(std::to_string(dry.exitCode), "1", "exit code");
  }

  CurrentCase = "names in Unicode: pages refused";
  Run failing;
  if (StartWide(failing, "index.html", refused)) {
    std::string actual;
    for (const std::string& box : RunToEnd(failing, true)) actual += box + "\n";
    std::string expected;
    for (const char* page : {u8"badé.htm", u8"badé.html", u8"Ελλάδα.htm"})
      expected += BoxLine(page, "Unable to create SlideShow file", "exclamation", "none") + "\n";
    CheckEqual(actual, expected, "boxes");
    CheckEqual(std::to_string(failing.exitCode), "1", "exit code");
  }
  CurrentCase = "names in Unicode: pages refused, the files left";
  std::map<std::string, std::string> left;
  ListTreeWide(refused, L"", &left);
  std::string names;
  for (const auto& entry : left) names += entry.first + " ";
  CheckEqual(names, u8"\\a.htm \\a.html \\allin1.html \\index.html \\Ελλάδα.htm \\Ελλάδα.html ",
             "files left");
}

// Chooses File > Open Folder... in the window of `run` and types `name` (UTF-8) into the folder
// dialog's name field, as a user types it; false when the dialog or its field did not come.
bool OpenFolderTyped(Run& run, const char* name) {
  PostMessageA(MainWindow(run), WM_COMMAND, kOpenFolder, 0);
  const HWND dialog = WaitForBox(run, kFolderDialogTitle);
  if (dialog == nullptr) return false;
  HWND edit = nullptr;
  EnumChildWindows(dialog, VisitFileNameField, reinterpret_cast<LPARAM>(&edit));
  if (!Check(edit != nullptr, "the folder dialog has a name field")) return false;
  const std::wstring wide = WideOf(name, CP_UTF8);
  SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
  Answer(dialog, IDOK);
  return true;
}

// File > Open Folder...: cancelled, nothing happens (nothing written, the window waits); then a
// folder named outside code page 1252, typed into the folder dialog as a user types it, makes
// the gallery of the headless build's run on that folder, and the window closes by itself.
void TestOpenFolder() {
  CurrentCase = "names in Unicode: File > Open Folder..., cancelled";
  const std::wstring opened = UnicodeFolder(WorkRoot, "opened");
  std::map<std::string, std::string> before, after;
  ListTreeWide(opened, L"", &before);
  Run run;
  if (!StartWide(run, "?", opened)) return;
  if (HWND dialog = WaitForBox(run, kDialogTitle)) Answer(dialog, IDCANCEL);
  CheckIdle(run);
  const HWND window = MainWindow(run);
  PostMessageA(window, WM_COMMAND, kOpenFolder, 0);
  if (HWND dialog = WaitForBox(run, kFolderDialogTitle)) Answer(dialog, IDCANCEL);
  CheckIdle(run);
  ListTreeWide(opened, L"", &after);
  Check(after == before, "nothing written");

  CurrentCase = "names in Unicode: File > Open Folder..., a folder chosen";
  if (OpenFolderTyped(run, u8"相片 Ωραία"))
    CheckCompleteRunWide(run, "opened");
  else
    Release(run);
}

// A tree of albums named outside code page 1252 (Cyrillic, Greek, Chinese, Japanese and emoji in
// folder and photo names; an album of albums; a NAS box's folder, which is none), given on the
// command line in classic pages, and chosen with File > Open Folder... in modern pages ordered by
// date: every album's gallery and the listings above it are the headless build's, byte for byte.
void TestAlbumTrees() {
  const char* const top = u8"Фото 📷";
  CurrentCase = "albums: a tree named on the command line";
  Run given;
  if (StartWide(given, "\"" + std::string(top) + "\"", UnicodeFolder(WorkRoot, "albums")))
    CheckCompleteRunWide(given, "albums");

  CurrentCase = "albums: a tree chosen with File > Open Folder..., modern pages by date";
  Run chosen;
  if (!StartWide(chosen, "--modern --order date ?", UnicodeFolder(WorkRoot, "albumsmodern")))
    return;
  if (HWND dialog = WaitForBox(chosen, kDialogTitle)) Answer(dialog, IDCANCEL);
  if (OpenFolderTyped(chosen, top))
    CheckCompleteRunWide(chosen, "albumsmodern");
  else
    Release(chosen);
}

// Registers this program to open web pages, recording the page in help-opened.txt.
bool RegisterPageRecorder() {
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, sizeof self);
  const std::string command =
      std::string("\"") + self + "\" --record \"" + Folder("help-opened.txt") + "\" \"%1\"";
  HKEY key;
  bool ok = RegCreateKeyExA(HKEY_CLASSES_ROOT, ".html", 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                            nullptr) == ERROR_SUCCESS;
  if (ok) {
    ok = RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("KestruneTest"),
                        13) == ERROR_SUCCESS;
    RegCloseKey(key);
  }
  if (ok && RegCreateKeyExA(HKEY_CLASSES_ROOT, "KestruneTest\\shell\\open\\command", 0, nullptr, 0,
                            KEY_WRITE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
    ok = RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                        static_cast<DWORD>(command.size() + 1)) == ERROR_SUCCESS;
    RegCloseKey(key);
  } else {
    ok = false;
  }
  return ok;
}

bool SetUp(const char* hookPath) {
  HookModule = LoadLibraryA(hookPath);
  if (HookModule == nullptr) return false;
  const HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                            kReplySize, kReplyMappingName);
  ReplyView =
      mapping ? static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0)) : nullptr;
  ReplyEvent = CreateEventA(nullptr, TRUE, FALSE, kReplyEventName);
  return ReplyView != nullptr && ReplyEvent != nullptr && RegisterPageRecorder();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--record") {
    std::ofstream(argv[2], std::ios::binary) << argv[3];
    return 0;
  }
  const bool unicode = argc == 6 && std::string(argv[5]) == "--unicode";
  if (argc != 5 && !unicode) {
    std::fputs(
        "usage: kestrune_window_tests PROGRAM HOOK-DLL WORK-FOLDER REFERENCE-FOLDER [--unicode]\n",
        stderr);
    return 2;
  }
  Program = argv[1];
  WorkRoot = argv[3];
  ReferenceRoot = argv[4];
  if (!SetUp(argv[2])) {
    std::fputs("set-up failed: hook DLL, shared memory or registry\n", stderr);
    return 2;
  }
  struct Group {
    const char* name;
    void (*run)();
  };
  const std::vector<Group> groups =
      unicode ? std::vector<Group>{{"names in Unicode", TestUnicodeNames},
                                   {"open folder", TestOpenFolder},
                                   {"album trees", TestAlbumTrees}}
              : std::vector<Group>{
                    {"sheet given", TestSheetGiven},
                    {"folder gallery", TestFolderGallery},
                    {"start failures", TestStartFailures},
                    {"page failures", TestPageFailures},
                    {"session end", TestSessionEnd},
                    {"session end while waiting", TestSessionEndWhileWaiting},
                    {"two runs at once", TestTwoRunsAtOnce},
                    {"backslash folders", TestBackslashFolders},
                    {"dialog and menu", TestDialogAndMenu},
                    {"question mark", TestQuestionMark},
                    {"modern style", TestModernStyle},
                    {"dry run and clean", TestDryRunAndClean},
                    {"help fallback", TestHelpFallback},
                    {"window creation failure", TestWindowCreationFailure},
                };
  for (const auto& group : groups) {
    const int before = test_checks::Failures;
    const DWORD start = GetTickCount();
    group.run();
    std::printf("%s %s (%lu ms)\n", test_checks::Failures == before ? "ok  " : "FAIL", group.name,
                static_cast<unsigned long>(GetTickCount() - start));
    std::fflush(stdout);
  }
  return test_checks::Report();
}

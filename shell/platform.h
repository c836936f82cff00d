// Platform operations: the only way the portable core reaches the operating system.
//
// Each platform implements this header in its own files (platform_posix.cpp for files and
// folders on POSIX; the window machinery without a display in window_headless.cpp, or on an X11
// desktop in window_fltk.cpp, as window_posix.cpp chooses at start-up). The core never includes
// an OS header and never tests which OS it runs on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// Opaque handles owned by the platform layer; nullptr always means "none".
struct PlatformFile;
struct PlatformMapping;
struct PlatformWindow;

// Message numbers; they carry the Win32 values so a Win32 layer can pass them straight through.
constexpr unsigned MsgDestroy = 0x0002;
constexpr unsigned MsgSize = 0x0005;
constexpr unsigned MsgPaint = 0x000F;
constexpr unsigned MsgClose = 0x0010;
constexpr unsigned MsgCommand = 0x0111;
constexpr unsigned MsgUser = 0x0400;

using WindowProcedure = std::intptr_t (*)(PlatformWindow* window, unsigned message,
                                          std::uintptr_t wParam, std::intptr_t lParam);

struct PlatformMessage {
  PlatformWindow* window = nullptr;
  unsigned message = 0;
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;
};

enum class BoxIcon { None, Exclamation, Information };

// ---- Message box -------------------------------------------------------------------------------

// Modal: returns only once the user has dismissed the box. Headless, the box is one record
// "TITLE: TEXT" and a line feed on standard error.
void ShowMessageBox(PlatformWindow* owner, const std::string& text, const std::string& title,
                    BoxIcon icon);

// ---- Files and folders -------------------------------------------------------------------------

// True when something exists under `name` (relative to the working folder, or absolute).
bool FileExists(const std::string& name);

// Opens `path` for reading; nullptr when it cannot be opened or is not a regular file. Never
// blocks (a FIFO is refused, not waited on). While open, CreateOutputFile refuses this file.
PlatformFile* OpenFileReadOnly(const std::string& path);

// A read-only mapping of the whole of `file`; nullptr for a file of zero bytes or on failure.
PlatformMapping* CreateReadOnlyMapping(PlatformFile* file);

// The mapped bytes as one text: *length bytes up to (not including) the first zero byte, with a
// zero byte at text[*length]. Valid until CloseMapping. nullptr when the bytes cannot be had.
const char* MapWholeView(PlatformMapping* mapping, std::size_t* length);

void CloseFileHandle(PlatformFile* file);
void CloseMapping(PlatformMapping* mapping);

std::string GetWorkingFolder();
// Makes `folder` (which may end with its separator) the working folder; returns false on failure.
bool SetWorkingFolder(const std::string& folder);

// Length of the folder prefix of `path`, its last separator included; 0 when there is none.
std::size_t FolderPrefixLength(const std::string& path);

// True when `c` separates folders in a relative name as this system reads it: "/" everywhere,
// and "\" too on Windows. Decides how deep a page lies below the contact sheet's folder.
bool IsFolderSeparator(char c);

// Creates or truncates `name`, relative to the working folder, for writing in binary mode (the
// core writes CR LF itself). Returns nullptr, touching nothing, when the file cannot be created,
// when reaching it would leave the working folder (an absolute name, a "..", or a symbolic link
// leading out, also a link as the last component), or when it is a file this process holds
// open (the contact sheet, or an output file not yet closed), under any name or link.
std::FILE* CreateOutputFile(const std::string& name);

// Flushes and closes a stream from CreateOutputFile; false when anything written was lost.
bool CloseOutputFile(std::FILE* stream);

// ---- Window machinery ---------------------------------------------------------------------------

// Creates the main window (headless: a window without a display). nullptr after the platform
// has told the user why it failed.
PlatformWindow* CreateMainWindow(WindowProcedure procedure);
void ShowMainWindow(PlatformWindow* window);

// Queues a message for the same loop; it is handled after the current one.
bool PostWindowMessage(PlatformWindow* window, unsigned message, std::uintptr_t wParam,
                       std::intptr_t lParam);

// Waits for the next message; false when the loop is to end (*exitCode then holds the code
// given to PostQuit).
bool GetNextMessage(PlatformMessage* message, int* exitCode);
void DispatchWindowMessage(const PlatformMessage& message);
std::intptr_t DefaultWindowProc(PlatformWindow* window, unsigned message, std::uintptr_t wParam,
                                std::intptr_t lParam);
void PostQuit(int exitCode);

// Redraws the status text before returning.
void RepaintNow(PlatformWindow* window);
// Schedules a full repaint with erasing.
void InvalidateWindow(PlatformWindow* window);
// Draws `text` centred horizontally from the middle line of the client area down.
void PaintStatusText(PlatformWindow* window, const std::string& text);

// Lets the user choose a file, starting in `initialFolder`; false when nothing was chosen.
bool ChooseContactSheet(const std::string& initialFolder, const std::string& title,
                        std::string* chosen);

// Opens `address` in the user's browser; false when that failed.
bool OpenWebPage(PlatformWindow* owner, const std::string& address);

// The address of the help page shipped with the program (help.html beside the executable, or in
// the installed documentation folder); empty when it cannot be found.
std::string HelpPageAddress();

// The window machinery on Win32: the "kestrune" window class and its window, the message loop,
// posting and painting, and the user's side of the platform (message boxes, the open-file
// dialog, the forced repaint, the browser). The window procedure is a thin adapter over the
// shared one; a PlatformWindow* is the window's HWND.
#include "ui/window_win32.h"

#include <windows.h>
// windows.h first: the headers below rely on its types.
#include <commdlg.h>
#include <shellapi.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "ui/ui.h"

static_assert(MsgEndSession == WM_ENDSESSION, "the session's end reaches the window as itself");

namespace {

WindowProcedure SharedProcedure = nullptr;
int ShowCommand = SW_SHOWDEFAULT;
MSG CurrentMessage{};  // the last message GetNextMessage took, for TranslateMessage

const char kClassName[] = "kestrune";
const char kStartFailureTitle[] = "Err! - kestrune";

HWND AsWindow(PlatformWindow* window) {
  return reinterpret_cast<HWND>(window);
}

// While the session ends, from Windows' question (WM_QUERYENDSESSION) until it is told the end
// is called off: the dialog or message box that waits is answered at once, and no new one
// waits, so that the run goes on to its finish instead of waiting for a user who is leaving.
bool SessionEnding = false;

// Answers a dialog or message box of this thread as cancelled: the open-file dialog chooses
// nothing, a message box with only OK closes as if it was pressed.
BOOL CALLBACK AnswerDialog(HWND window, LPARAM) {
  char className[16] = {};
  if (GetClassNameA(window, className, sizeof className) != 0 &&
      std::strcmp(className, "#32770") == 0 && IsWindowVisible(window))
    PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
  return TRUE;
}

// Every message reaches the shared procedure, also those the system sends rather than posts,
// which never pass GetNextMessage: WM_QUERYENDSESSION, answered TRUE by DefWindowProc, and
// WM_ENDSESSION (MsgEndSession), on which the shared procedure finishes the slide show at once.
// Both can arrive inside the loop of a dialog or message box, which they answer first.
LRESULT CALLBACK Win32WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_QUERYENDSESSION || (message == WM_ENDSESSION && wParam != 0)) {
    SessionEnding = true;
    EnumThreadWindows(GetCurrentThreadId(), AnswerDialog, 0);
  } else if (message == WM_ENDSESSION) {
    SessionEnding = false;  // called off
  }
  // Messages sent while CreateWindow runs arrive before the procedure is known.
  if (SharedProcedure == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  return SharedProcedure(reinterpret_cast<PlatformWindow*>(window), message, wParam, lParam);
}

PlatformWindow* FailStart(const char* text) {
  MessageBoxA(nullptr, text, kStartFailureTitle, MB_OK | MB_ICONEXCLAMATION);
  return nullptr;
}

}  // namespace

void SetMainWindowShowCommand(int showCommand) {
  ShowCommand = showCommand;
}

// The menu comes from the resources ("Menu" in the class), which the resource script makes from
// the same definition as `menu`.
PlatformWindow* CreateMainWindow(WindowProcedure procedure, const MenuEntry*, std::size_t) {
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA windowClass{};
  windowClass.style = 0;  // no automatic redraw on resizing: WM_SIZE invalidates instead
  windowClass.lpfnWndProc = Win32WindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  windowClass.lpszMenuName = "Menu";
  windowClass.lpszClassName = kClassName;
  if (RegisterClassA(&windowClass) == 0) return FailStart("WinMain(): RegisterClass() failed");

  SharedProcedure = procedure;
  const HWND window =
      CreateWindowExA(0, kClassName, "Quillfen", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                      CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return FailStart("WinMain(): CreateWindow() failed");
  return reinterpret_cast<PlatformWindow*>(window);
}

void ShowMainWindow(PlatformWindow* window) {
  ShowWindow(AsWindow(window), ShowCommand);
}

bool PostWindowMessage(PlatformWindow* window, unsigned message, std::uintptr_t wParam,
                       std::intptr_t lParam) {
  return PostMessageA(AsWindow(window), message, wParam, lParam) != 0;
}

bool GetNextMessage(PlatformMessage* message, int* exitCode) {
  const BOOL result = GetMessageA(&CurrentMessage, nullptr, 0, 0);
  if (result == 0) {  // WM_QUIT carries the code given to PostQuitMessage
    *exitCode = static_cast<int>(CurrentMessage.wParam);
    return false;
  }
  if (result == -1) {
    *exitCode = -1;
    return false;
  }
  *message = {reinterpret_cast<PlatformWindow*>(CurrentMessage.hwnd), CurrentMessage.message,
              CurrentMessage.wParam, CurrentMessage.lParam};
  return true;
}

void DispatchWindowMessage(const PlatformMessage& message) {
  MSG msg = CurrentMessage;
  msg.hwnd = AsWindow(message.window);
  msg.message = message.message;
  msg.wParam = message.wParam;
  msg.lParam = message.lParam;
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
}

std::intptr_t DefaultWindowProc(PlatformWindow* window, unsigned message, std::uintptr_t wParam,
                                std::intptr_t lParam) {
  return DefWindowProcA(AsWindow(window), message, wParam, lParam);
}

void PostQuit(int exitCode) {
  PostQuitMessage(exitCode);
}

// The status text, which now names the image found, is drawn before the step goes on.
void ImageFound(PlatformWindow* window, const std::string&) {
  if (window == nullptr) return;  // a null window would stand for every window on the screen
  InvalidateRect(AsWindow(window), nullptr, TRUE);
  UpdateWindow(AsWindow(window));
}

void InvalidateWindow(PlatformWindow* window) {
  InvalidateRect(AsWindow(window), nullptr, TRUE);
}

void PaintStatusText(PlatformWindow* window, const std::string& text) {
  PAINTSTRUCT paint;
  const HDC context = BeginPaint(AsWindow(window), &paint);
  RECT area;
  GetClientRect(AsWindow(window), &area);
  area.top = area.bottom / 2;  // from the middle line down, centred only horizontally
  DrawTextA(context, text.data(), static_cast<int>(text.size()), &area, DT_CENTER);
  EndPaint(AsWindow(window), &paint);
}

void ShowMessageBox(PlatformWindow* owner, const std::string& text, const std::string& title,
                    BoxIcon icon) {
  if (SessionEnding) return;  // answered at once
  UINT type = MB_OK;
  if (icon == BoxIcon::Exclamation) type |= MB_ICONEXCLAMATION;
  if (icon == BoxIcon::Information) type |= MB_ICONINFORMATION;
  MessageBoxA(AsWindow(owner), text.c_str(), title.c_str(), type);
}

#ifndef _WIN64
// The record without the later extensions ends where they begin: 76 bytes on 32-bit Windows.
static_assert(offsetof(OPENFILENAMEA, pvReserved) == 76, "the dialog record of 32-bit Windows");
#endif

bool ChooseContactSheet(const std::string& initialFolder, const std::string& title,
                        std::string* chosen) {
  if (SessionEnding) return false;  // nothing chosen
  // Room for the longest path the system has, so no choice is ever cut short.
  std::vector<char> buffer(32768, '\0');
  OPENFILENAMEA dialog{};
  // The record without the later extensions; its size differs between 32 and 64 bits.
  dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
  dialog.lpstrFile = buffer.data();
  dialog.nMaxFile = static_cast<DWORD>(buffer.size());
  dialog.lpstrInitialDir = initialFolder.c_str();
  dialog.lpstrTitle = title.c_str();
  dialog.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_EXPLORER | OFN_ENABLESIZING;
  // Cancelled, failed, or (FNERR_BUFFERTOOSMALL) a name that did not fit: nothing is chosen,
  // never a truncated name.
  if (!GetOpenFileNameA(&dialog)) return false;
  *chosen = buffer.data();
  return true;
}

bool OpenWebPage(PlatformWindow* owner, const std::string& address) {
  const HINSTANCE result =
      ShellExecuteA(AsWindow(owner), nullptr, address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

// A GUI program has no console to tell.
void TellConsole(const std::string&) {}

namespace {

// The notable lines of a result that its box shows, and how many there were in all.
constexpr std::size_t kResultLinesShown = 10;
std::vector<std::string> ResultLines;
std::size_t NotableResultLines = 0;

}  // namespace

void TellResultLine(const std::string& line, bool notable) {
  if (!notable) return;
  if (ResultLines.size() < kResultLinesShown) ResultLines.push_back(line);
  ++NotableResultLines;
}

bool ShowResult(const std::string& summary, const std::string& title, bool failed) {
  std::string text = summary;
  if (!ResultLines.empty()) text += "\n";
  for (const std::string& line : ResultLines) text += "\n" + line;
  if (NotableResultLines > ResultLines.size())
    text += "\n... and " + std::to_string(NotableResultLines - ResultLines.size()) + " more";
  ResultLines.clear();
  NotableResultLines = 0;
  MessageBoxA(nullptr, text.c_str(), title.c_str(),
              MB_OK | (failed ? MB_ICONEXCLAMATION : MB_ICONINFORMATION));
  return true;
}

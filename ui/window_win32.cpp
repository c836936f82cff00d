// The window machinery on Win32: the "kestrune" window class and its window, the message loop,
// posting and painting, and the user's side of the platform (message boxes, the open-file
// dialog, the folder chooser, the forced repaint, the browser). The window procedure is a thin
// adapter over the shared one; a PlatformWindow* is the window's HWND. Class, window and texts
// are Unicode: the texts come in UTF-8 and are shown in UTF-16 (ShownText).
#include "ui/window_win32.h"

#include <windows.h>
// windows.h first: the headers below rely on its types.
#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <climits>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/platform_win32.h"
#include "ui/ui.h"

static_assert(MsgEndSession == WM_ENDSESSION, "the session's end reaches the window as itself");

namespace {

WindowProcedure SharedProcedure = nullptr;
int ShowCommand = SW_SHOWDEFAULT;
MSG CurrentMessage{};  // the last message GetNextMessage took, for TranslateMessage

const wchar_t kClassName[] = L"kestrune";
const wchar_t kStartFailureTitle[] = L"Err! - kestrune";

// A text as the user sees it. Texts are UTF-8: paths, the working folder and file names from the
// platform. A link's name is as the contact sheet wrote it, in its charset: a text that is not
// UTF-8 is read as windows-1252, the other encoding a sheet is read in when it declares none.
std::wstring ShownText(const std::string& text) {
  std::wstring wide;
  if (Utf8ToWide(text, &wide) || text.empty() || text.size() > INT_MAX) return wide;
  const int size = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(1252, 0, text.data(), size, nullptr, 0);
  if (length <= 0) return std::wstring();
  wide.assign(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(1252, 0, text.data(), size, &wide[0], length);
  return wide;
}

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
  if (SharedProcedure == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  return SharedProcedure(reinterpret_cast<PlatformWindow*>(window), message, wParam, lParam);
}

PlatformWindow* FailStart(const wchar_t* text) {
  MessageBoxW(nullptr, text, kStartFailureTitle, MB_OK | MB_ICONEXCLAMATION);
  return nullptr;
}

}  // namespace

void SetMainWindowShowCommand(int showCommand) {
  ShowCommand = showCommand;
}

// The menu comes from the resources ("Menu" in the class), which the resource script makes from
// the same definition as `menu`.
PlatformWindow* CreateMainWindow(WindowProcedure procedure, const MenuEntry*, std::size_t) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSW windowClass{};
  windowClass.style = 0;  // no automatic redraw on resizing: WM_SIZE invalidates instead
  windowClass.lpfnWndProc = Win32WindowProc;
  windowClass.hInstance = instance;
  // The system's own icon and cursor, named by number (the headers spell them for the ANSI calls).
  windowClass.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
  windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  windowClass.lpszMenuName = L"Menu";
  windowClass.lpszClassName = kClassName;
  if (RegisterClassW(&windowClass) == 0) return FailStart(L"WinMain(): RegisterClass() failed");

  SharedProcedure = procedure;
  const HWND window =
      CreateWindowExW(0, kClassName, L"Quillfen", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                      CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return FailStart(L"WinMain(): CreateWindow() failed");
  return reinterpret_cast<PlatformWindow*>(window);
}

void ShowMainWindow(PlatformWindow* window) {
  ShowWindow(AsWindow(window), ShowCommand);
}

bool PostWindowMessage(PlatformWindow* window, unsigned message, std::uintptr_t wParam,
                       std::intptr_t lParam) {
  return PostMessageW(AsWindow(window), message, wParam, lParam) != 0;
}

bool GetNextMessage(PlatformMessage* message, int* exitCode) {
  const BOOL result = GetMessageW(&CurrentMessage, nullptr, 0, 0);
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
  DispatchMessageW(&msg);
}

std::intptr_t DefaultWindowProc(PlatformWindow* window, unsigned message, std::uintptr_t wParam,
                                std::intptr_t lParam) {
  return DefWindowProcW(AsWindow(window), message, wParam, lParam);
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

void StepShown(PlatformWindow* window, const std::string& text) {
  ImageFound(window, text);
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
  const std::wstring shown = ShownText(text);
  DrawTextW(context, shown.data(), static_cast<int>(shown.size()), &area, DT_CENTER);
  EndPaint(AsWindow(window), &paint);
}

void ShowMessageBox(PlatformWindow* owner, const std::string& text, const std::string& title,
                    BoxIcon icon) {
  if (SessionEnding) return;  // answered at once
  UINT type = MB_OK;
  if (icon == BoxIcon::Exclamation) type |= MB_ICONEXCLAMATION;
  if (icon == BoxIcon::Information) type |= MB_ICONINFORMATION;
  MessageBoxW(AsWindow(owner), ShownText(text).c_str(), ShownText(title).c_str(), type);
}

#ifndef _WIN64
// The record without the later extensions ends where they begin: 76 bytes on 32-bit Windows.
static_assert(offsetof(OPENFILENAMEW, pvReserved) == 76, "the dialog record of 32-bit Windows");
#endif

// ---- The folder chooser -------------------------------------------------------------------

namespace {

// COM, from ole32.dll in the system folder, loaded by the first folder chooser: a start and a
// sheet run load nothing more, and the program imports only what every Windows has.
struct ComCalls {
  HRESULT(WINAPI* initialize)(LPVOID, DWORD) = nullptr;
  void(WINAPI* uninitialize)() = nullptr;
  HRESULT(WINAPI* createInstance)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*) = nullptr;
  void(WINAPI* taskMemFree)(LPVOID) = nullptr;
};

// Through void (*)(), which converts to any function pointer without a warning.
template <typename Function>
void FindCall(HMODULE module, const char* name, Function* call) {
  *call = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

const ComCalls* LoadCom() {
  static const ComCalls calls = [] {
    ComCalls found;
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return found;
    const HMODULE ole = LoadLibraryW((std::wstring(folder, length) + L"\\ole32.dll").c_str());
    if (ole == nullptr) return found;
    FindCall(ole, "CoInitializeEx", &found.initialize);
    FindCall(ole, "CoUninitialize", &found.uninitialize);
    FindCall(ole, "CoCreateInstance", &found.createInstance);
    FindCall(ole, "CoTaskMemFree", &found.taskMemFree);
    return found;
  }();
  const bool complete = calls.initialize != nullptr && calls.uninitialize != nullptr &&
                        calls.createInstance != nullptr && calls.taskMemFree != nullptr;
  return complete ? &calls : nullptr;
}

// The folder the user chose in the modern dialog (IFileOpenDialog picking folders); *opened
// false when the dialog could not be created or shown, so the caller falls back.
bool ChooseInFileDialog(const ComCalls& com, const std::wstring& initialFolder,
                        const std::wstring& title, std::wstring* chosen, bool* opened) {
  *opened = false;
  IFileOpenDialog* dialog = nullptr;
  if (FAILED(com.createInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IFileOpenDialog, reinterpret_cast<void**>(&dialog))))
    return false;
  DWORD options = 0;
  dialog->GetOptions(&options);
  dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
  dialog->SetTitle(title.c_str());
  IShellItem* start = nullptr;
  using CreateItem = HRESULT(WINAPI*)(PCWSTR, IBindCtx*, REFIID, void**);
  CreateItem createItem = nullptr;  // Vista's, looked up like COM so that no import names it
  FindCall(GetModuleHandleW(L"shell32.dll"), "SHCreateItemFromParsingName", &createItem);
  if (createItem != nullptr && !initialFolder.empty() &&
      SUCCEEDED(createItem(initialFolder.c_str(), nullptr, IID_IShellItem,
                           reinterpret_cast<void**>(&start)))) {
    dialog->SetFolder(start);
    start->Release();
  }
  const HRESULT shown = dialog->Show(nullptr);
  // Cancelled is an answer; anything else means the dialog did not work.
  *opened = SUCCEEDED(shown) || shown == HRESULT_FROM_WIN32(ERROR_CANCELLED);
  IShellItem* result = nullptr;
  if (SUCCEEDED(shown) && SUCCEEDED(dialog->GetResult(&result))) {
    wchar_t* path = nullptr;
    if (SUCCEEDED(result->GetDisplayName(SIGDN_FILESYSPATH, &path)) && path != nullptr) {
      *chosen = path;
      com.taskMemFree(path);
    }
    result->Release();
  }
  dialog->Release();
  return !chosen->empty();
}

// The older folder browser, where the modern dialog is missing (before Vista).
bool ChooseInFolderBrowser(const ComCalls& com, const std::wstring& title, std::wstring* chosen) {
  BROWSEINFOW browse{};
  browse.lpszTitle = title.c_str();
  browse.ulFlags = BIF_RETURNONLYFSDIRS;
  const PIDLIST_ABSOLUTE list = SHBrowseForFolderW(&browse);
  if (list == nullptr) return false;
  wchar_t path[MAX_PATH] = {};  // the older browser's limit
  if (SHGetPathFromIDListW(list, path)) *chosen = path;
  com.taskMemFree(list);
  return !chosen->empty();
}

}  // namespace

bool ChooseFolder(const std::string& initialFolder, const std::string& title, std::string* chosen) {
  if (SessionEnding) return false;  // nothing chosen
  const ComCalls* com = LoadCom();
  if (com == nullptr) return false;
  // The dialogs run in this thread's single-threaded apartment, left again before the run.
  const HRESULT started = com->initialize(nullptr, COINIT_APARTMENTTHREADED);
  if (FAILED(started) && started != RPC_E_CHANGED_MODE) return false;
  std::wstring folder;
  bool opened = false;
  const std::wstring shownTitle = ShownText(title);
  if (!ChooseInFileDialog(*com, ShownText(initialFolder), shownTitle, &folder, &opened) &&
      !opened && !SessionEnding)
    ChooseInFolderBrowser(*com, shownTitle, &folder);
  if (SUCCEEDED(started)) com->uninitialize();
  if (folder.empty()) return false;
  *chosen = WideToUtf8(folder);
  return true;
}

bool ChooseContactSheet(const std::string& initialFolder, const std::string& title,
                        std::string* chosen) {
  if (SessionEnding) return false;  // nothing chosen
  // Room for the longest path the system has, so no choice is ever cut short.
  std::vector<wchar_t> buffer(32768, L'\0');
  const std::wstring folder = ShownText(initialFolder), shownTitle = ShownText(title);
  OPENFILENAMEW dialog{};
  // The record without the later extensions; its size differs between 32 and 64 bits.
  dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
  dialog.lpstrFile = buffer.data();
  dialog.nMaxFile = static_cast<DWORD>(buffer.size());
  dialog.lpstrInitialDir = folder.c_str();
  dialog.lpstrTitle = shownTitle.c_str();
  dialog.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_EXPLORER | OFN_ENABLESIZING;
  // Cancelled, failed, or (FNERR_BUFFERTOOSMALL) a name that did not fit: nothing is chosen,
  // never a truncated name.
  if (!GetOpenFileNameW(&dialog)) return false;
  *chosen = WideToUtf8(std::wstring(buffer.data()));
  return !chosen->empty();
}

bool OpenWebPage(PlatformWindow* owner, const std::string& address) {
  std::wstring wide;
  if (!Utf8ToWide(address, &wide)) return false;
  const HINSTANCE result =
      ShellExecuteW(AsWindow(owner), nullptr, wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
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
  MessageBoxW(nullptr, ShownText(text).c_str(), ShownText(title).c_str(),
              MB_OK | (failed ? MB_ICONEXCLAMATION : MB_ICONINFORMATION));
  return true;
}

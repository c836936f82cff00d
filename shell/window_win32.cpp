// The window machinery on Win32: the "kestrune" window class and its window, the message loop,
// posting and painting. The window procedure is a thin adapter over the shared one; a
// PlatformWindow* is the window's HWND.
#include "shell/window_win32.h"

#include <windows.h>

#include "shell/platform.h"

namespace {

WindowProcedure SharedProcedure = nullptr;
int ShowCommand = SW_SHOWDEFAULT;
MSG CurrentMessage{};  // the last message GetNextMessage took, for TranslateMessage

const char kClassName[] = "kestrune";
const char kStartFailureTitle[] = "Err! - kestrune";

HWND AsWindow(PlatformWindow* window) {
  return reinterpret_cast<HWND>(window);
}

LRESULT CALLBACK Win32WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
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

PlatformWindow* CreateMainWindow(WindowProcedure procedure) {
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

void RepaintNow(PlatformWindow* window) {
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

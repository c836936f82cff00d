// The Win32 test programs find the windows a kestrune.exe process shows by class and title.
#pragma once

#include <windows.h>

#include <string>

namespace test_windows {

inline std::string WindowText(HWND window) {
  char text[4096] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

struct WindowSearch {
  DWORD process;
  const char* className;
  const char* title;  // nullptr: any
  HWND found;
};

inline BOOL CALLBACK VisitWindow(HWND window, LPARAM data) {
  WindowSearch& search = *reinterpret_cast<WindowSearch*>(data);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  char className[64] = {};
  GetClassNameA(window, className, sizeof className);
  if (process != search.process || !IsWindowVisible(window) ||
      std::string(className) != search.className ||
      (search.title != nullptr && WindowText(window) != search.title))
    return TRUE;
  search.found = window;
  return FALSE;
}

// The first visible window of `process` with this class (and title, when given); nullptr if none.
inline HWND FindWindowOf(DWORD process, const char* className, const char* title = nullptr) {
  WindowSearch search{process, className, title, nullptr};
  EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace test_windows

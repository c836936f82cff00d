// Loaded into kestrune.exe by the window tests' hooks. It answers what another process cannot
// read under Wine (menus and icons are per process there): the menu and its resource, the
// window class, and the icon of a message box; and it holds a run between two steps when asked.
// A refusing CBT hook makes window creation fail.
#include "tests/win32/test_hook.h"

#include <windows.h>

#include <cstring>
#include <string>

namespace {

std::string DescribeMenu(HMENU menu, const std::string& indent) {
  std::string out;
  const int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    char label[256] = {};
    GetMenuStringA(menu, i, label, sizeof label, MF_BYPOSITION);
    const HMENU popup = GetSubMenu(menu, i);
    if (popup != nullptr) {
      out += indent + "popup " + label + "\n" + DescribeMenu(popup, indent + "  ");
    } else {
      out += indent + "item " + label + " " + std::to_string(GetMenuItemID(menu, i)) + "\n";
    }
  }
  return out;
}

const char* Match(const void* value, const void* expected, const char* name) {
  return value == expected ? name : "other";
}

// The class as registered, and the menu resource's name and language.
std::string DescribeWindow(HWND window) {
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  std::string out;
  WNDCLASSA info{};
  if (!GetClassInfoA(instance, "kestrune", &info)) return "class kestrune not registered\n";
  const bool menuNamed = HIWORD(reinterpret_cast<ULONG_PTR>(info.lpszMenuName)) != 0;
  out += "class style " + std::to_string(info.style) + ", extra " +
         std::to_string(info.cbClsExtra) + "/" + std::to_string(info.cbWndExtra) + ", icon " +
         Match(info.hIcon, LoadIconA(nullptr, IDI_APPLICATION), "application") + ", cursor " +
         Match(info.hCursor, LoadCursorA(nullptr, IDC_ARROW), "arrow") + ", background " +
         Match(info.hbrBackground, GetStockObject(WHITE_BRUSH), "white") + ", menu " +
         (menuNamed ? info.lpszMenuName : "(id)") + "\n";
  const bool usEnglish = FindResourceExA(instance, RT_MENU, "MENU",
                                         MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)) != nullptr;
  out += std::string("resource MENU ") + (usEnglish ? "en-US" : "missing") + "\n";
  return out + DescribeMenu(GetMenu(window), "");
}

std::string DescribeBoxIcon(HWND box) {
  const HWND control = GetDlgItem(box, kBoxIconControl);
  if (control == nullptr || !IsWindowVisible(control)) return "none";
  const HICON icon = reinterpret_cast<HICON>(SendMessageA(control, STM_GETICON, 0, 0));
  if (icon == nullptr) return "none";
  if (icon == LoadIconA(nullptr, IDI_EXCLAMATION)) return "exclamation";
  if (icon == LoadIconA(nullptr, IDI_INFORMATION)) return "information";
  return "other";
}

void Reply(const std::string& text) {
  const HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, kReplyMappingName);
  if (mapping == nullptr) return;
  if (void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, kReplySize)) {
    const std::size_t length = text.size() < kReplySize ? text.size() : kReplySize - 1;
    std::memcpy(view, text.data(), length);
    static_cast<char*>(view)[length] = '\0';
    UnmapViewOfFile(view);
  }
  CloseHandle(mapping);
  const HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE, kReplyEventName);
  if (event != nullptr) {
    SetEvent(event);
    CloseHandle(event);
  }
}

// True when `message` is the main window's step (WM_USER) that follows kStepsBeforeHold steps,
// and the tests asked to hold the run there: the event is set to tell them.
bool HoldsStep(const MSG& message) {
  static int steps = 0;
  char name[64] = {};
  if (message.message != WM_USER || GetClassNameA(message.hwnd, name, sizeof name) == 0 ||
      std::strcmp(name, "kestrune") != 0 || ++steps != kStepsBeforeHold + 1)
    return false;
  const HANDLE hold = OpenEventA(EVENT_MODIFY_STATE, FALSE, kHoldStepsEventName);
  if (hold == nullptr) return false;
  SetEvent(hold);
  CloseHandle(hold);
  return true;
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK
    KestruneQueryHook(int code, WPARAM removal, LPARAM lParam) {
  static const UINT query = RegisterWindowMessageA(kQueryMessageName);
  MSG* message = reinterpret_cast<MSG*>(lParam);
  if (code == HC_ACTION && removal == PM_REMOVE && message->message == query) {
    Reply(message->wParam == kQueryWindow ? DescribeWindow(message->hwnd)
                                          : DescribeBoxIcon(message->hwnd));
    message->message = WM_NULL;  // answered here; the program never sees it
  } else if (code == HC_ACTION && removal == PM_REMOVE && HoldsStep(*message)) {
    message->message = WM_NULL;  // the step never runs, and posts no next one
  }
  return CallNextHookEx(nullptr, code, removal, lParam);
}

// Makes the creation of any "kestrune" window fail, as a system out of resources would.
extern "C" __declspec(dllexport) LRESULT CALLBACK
    KestruneRefuseWindowHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND) {
    char name[64] = {};
    GetClassNameA(reinterpret_cast<HWND>(wParam), name, sizeof name);
    if (std::strcmp(name, "kestrune") == 0) return 1;
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

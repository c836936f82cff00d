// Runs a command from Explorer's menu for a file or a folder as Explorer does: finds, among the
// verbs registered under HKEY_CLASSES_ROOT for the file's extension (SystemFileAssociations) or
// for folders (Directory), the one whose menu text is TEXT, puts the item's full path in place
// of %1, %L and %V in its command line, starts that line in the item's parent folder and waits
// for it, answering each message box it shows with OK as a user would. Prints the command line
// and each box ("box: TITLE | TEXT"), returns the program's exit code (125 when the verb is
// missing or the program cannot be started).
//
// kestrune_shell_verb TEXT FILE-OR-FOLDER
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/win32/windows_of.h"

namespace {

constexpr int kNotRun = 125;

// The default value of a key below `parent` (a REG_EXPAND_SZ one expanded, as RRF_RT_REG_SZ
// asks); empty when there is none.
std::string DefaultValue(HKEY parent, const std::string& subkey) {
  char value[2048];
  DWORD size = sizeof value;
  if (RegGetValueA(parent, subkey.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size) !=
      ERROR_SUCCESS)
    return std::string();
  return value;
}

// The command line of the verb under the class `item` whose menu text is `text`; empty when
// there is none.
std::string VerbCommand(const std::string& item, const std::string& text) {
  const std::string shell = item + "\\shell";
  HKEY verbs;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, shell.c_str(), 0, KEY_READ, &verbs) != ERROR_SUCCESS)
    return std::string();
  std::string command;
  char name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = sizeof name;
    if (RegEnumKeyExA(verbs, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    if (DefaultValue(verbs, name) == text) {
      command = DefaultValue(verbs, std::string(name) + "\\command");
      break;
    }
  }
  RegCloseKey(verbs);
  return command;
}

// Prints the message box `process` shows, if any, and answers it with OK.
void AnswerBox(DWORD process) {
  const HWND box = test_windows::FindWindowOf(process, "#32770");
  if (box == nullptr) return;
  char text[8192] = {};
  GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
  std::printf("box: %s | %s\n", test_windows::WindowText(box).c_str(), text);
  std::fflush(stdout);
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  for (int i = 0; i < 500 && IsWindow(box) && IsWindowVisible(box); ++i) Sleep(10);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: kestrune_shell_verb TEXT FILE-OR-FOLDER\n");
    return kNotRun;
  }
  const std::string text = argv[1];
  std::string given = argv[2];
  while (given.size() > 3 && (given.back() == '\\' || given.back() == '/')) given.pop_back();
  char full[MAX_PATH];
  char* name = nullptr;
  const DWORD length = GetFullPathNameA(given.c_str(), sizeof full, full, &name);
  if (length == 0 || length >= sizeof full || name == nullptr) {
    std::fprintf(stderr, "cannot resolve %s\n", argv[2]);
    return kNotRun;
  }
  const std::string path = full;
  const std::string folder(full, name);
  const DWORD attributes = GetFileAttributesA(full);
  const bool isFolder =
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const std::string::size_type dot = path.rfind('.');
  const std::string item = isFolder ? "Directory"
                           : dot == std::string::npos
                               ? "SystemFileAssociations\\"
                               : "SystemFileAssociations\\" + path.substr(dot);

  std::string command = VerbCommand(item, text);
  if (command.empty()) {
    std::fprintf(stderr, "no verb \"%s\" under %s\n", text.c_str(), item.c_str());
    return kNotRun;
  }
  // One pass, so that a "%" in the path itself is never read as another placeholder.
  std::string substituted;
  for (std::string::size_type at = 0; at < command.size(); ++at) {
    if (command[at] == '%' && at + 1 < command.size() &&
        std::string("1LlVv").find(command[at + 1]) != std::string::npos) {
      substituted += path;
      ++at;
    } else {
      substituted += command[at];
    }
  }
  command = substituted;
  std::printf("command: %s\n", command.c_str());
  std::fflush(stdout);

  std::vector<char> line(command.begin(), command.end());
  line.push_back('\0');
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                      &startup, &process)) {
    std::fprintf(stderr, "cannot start: error %lu\n", GetLastError());
    return kNotRun;
  }
  DWORD code = kNotRun;
  DWORD waited = 0;
  for (; waited < 120000 && WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT; waited += 50)
    AnswerBox(process.dwProcessId);
  if (waited >= 120000) {
    std::fprintf(stderr, "the program did not end within 2 minutes\n");
    TerminateProcess(process.hProcess, kNotRun);
  } else {
    GetExitCodeProcess(process.hProcess, &code);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
}

// ==== The program ===============================================================================
// Where the running program lies, and the help page shipped with it. Windows sends no signals:
// the end of a session reaches the window as a message, so there are no interruptions to catch.
#include "platform/platform.h"
#include "platform/platform_win32.h"
#include "platform/text_buffer.h"
#include "platform/win32_calls.h"
#include "platform/win32_names.h"

using namespace win32;

void CatchInterruptions() {}

int PendingInterruption() {
  return 0;
}

std::string ProgramFolder() {
  // A name cut short fills the whole buffer: it then asks for more room.
  const std::string program =
      WideToUtf8(ReadIntoGrowingBuffer<wchar_t>(MAX_PATH, [](wchar_t* buffer, std::size_t size) {
        return LengthOrNeeded(GetModuleFileNameW(nullptr, buffer, static_cast<DWORD>(size)));
      }));
  return program.substr(0, FolderPrefixLength(program));
}

// help.html beside the executable.
std::string HelpPageAddress() {
  const std::string folder = ProgramFolder();
  if (folder.empty()) return std::string();
  const std::string candidate = folder + "help.html";
  const DWORD attributes = Win32Calls.getFileAttributes(Wide(candidate).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return std::string();
  return candidate;
}

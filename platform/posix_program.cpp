// ==== The program ===============================================================================
// Where the running program lies, and the help page shipped with it.
#include <fcntl.h>
#include <unistd.h>

#include <climits>

#include "kestrune_version.h"
#include "platform/platform.h"
#include "platform/posix_calls.h"
#include "platform/text_buffer.h"

std::string ProgramFolder() {
  // A target that fills the whole buffer may have been cut short: it asks for more room.
  const std::string path = ReadIntoGrowingBuffer(PATH_MAX, [](char* buffer, std::size_t size) {
    return static_cast<long long>(PosixCalls.readlink("/proc/self/exe", buffer, size));
  });
  return path.substr(0, FolderPrefixLength(path));
}

// Beside the executable in a build folder; where it was installed, relative to the installed
// executable, otherwise.
std::string HelpPageAddress() {
  const std::string folder = ProgramFolder();
  if (folder.empty()) return std::string();
  for (const char* place : {"help.html", KESTRUNE_HELP_FROM_PROGRAM}) {
    const std::string candidate = folder + place;
    if (PosixCalls.access(candidate.c_str(), R_OK) == 0) return candidate;
  }
  return std::string();
}

// Loading the desktop window's module, only when there is a display to show it on.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "kestrune_version.h"
#include "platform/platform.h"
#include "ui/desktop.h"

namespace {

// The module: beside the program in a build folder, in its library folder once installed.
void* LoadDesktopModule() {
  const std::string folder = ProgramFolder();
  std::string failure = "no program folder";
  for (const char* place : {KESTRUNE_DESKTOP_MODULE, KESTRUNE_DESKTOP_FROM_PROGRAM}) {
    if (folder.empty()) break;
    if (void* module = ::dlopen((folder + place).c_str(), RTLD_NOW | RTLD_LOCAL)) return module;
    failure = ::dlerror();
  }
  std::fprintf(stderr, KESTRUNE_CONSOLE_PREFIX "no window (%s); running without one\n",
               failure.c_str());
  return nullptr;
}

}  // namespace

const WindowOperations* OpenDesktop() {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') return nullptr;
  void* module = LoadDesktopModule();
  if (module == nullptr) return nullptr;
  // The module stays loaded for the life of the process, as its window does.
  const auto open = reinterpret_cast<const WindowOperations* (*)()>(::dlsym(module, kDesktopEntry));
  return open != nullptr ? open() : nullptr;
}

// A build without a desktop window (KESTRUNE_WINDOW=OFF): no toolkit, always headless.
#include "ui/desktop.h"

const WindowOperations* OpenDesktop() {
  return nullptr;
}

// The window machinery without a display: a window that exists only as its procedure over the
// shared message queue (no input can arrive), message boxes as records on standard error, and
// progress on a terminal.
#include <sys/ioctl.h>
#include <unistd.h>

#include <string>

#include "kestrune_version.h"
#include "ui/message_queue.h"
#include "ui/window_posix.h"

namespace {

int ImagesShown = 0;       // one for each image found
bool ImageCounted = true;  // whether the status text is an image found (else another step)
bool ProgressLineShown = false;

bool ErrorIsTerminal() {
  static const bool terminal = ::isatty(STDERR_FILENO) == 1;
  return terminal;
}

void ClearProgressLine() {
  if (!ProgressLineShown) return;
  std::fputs("\r\x1b[K", stderr);
  ProgressLineShown = false;
}

std::size_t TerminalWidth() {
  struct winsize size {};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1) return size.ws_col;
  return 80;
}

// One line that fits the terminal: control characters become blanks, the rest is cut.
std::string ProgressLine(const std::string& text) {
  std::string line = KESTRUNE_CONSOLE_PREFIX;
  if (ImageCounted) line += "image " + std::to_string(ImagesShown) + ": ";
  for (char c : text) line += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
  const std::size_t width = TerminalWidth() - 1;
  if (line.size() > width) line.resize(width);
  return line;
}

}  // namespace

// The window operations without a display, in their own namespace beside the forwarders of the
// same names.
namespace headless {

void ShowMessageBox(PlatformWindow*, const std::string& text, const std::string& title, BoxIcon) {
  ClearProgressLine();
  const std::string record = title + ": " + text + "\n";
  std::fwrite(record.data(), 1, record.size(), stderr);
  std::fflush(stderr);
}

PlatformWindow* CreateMainWindow(WindowProcedure procedure, const MenuEntry*, std::size_t) {
  ImagesShown = 0;
  ImageCounted = true;
  return StartMessageQueue(procedure, QueueToolkit{nullptr, ClearProgressLine});
}

void ShowMainWindow(PlatformWindow*) {}

void ImageFound(PlatformWindow* window, const std::string&) {
  if (window == nullptr || window->destroyed) return;
  ++ImagesShown;
  ImageCounted = true;
  QueueRepaintNow(window);
}

void StepShown(PlatformWindow* window, const std::string&) {
  if (window == nullptr || window->destroyed) return;
  ImageCounted = false;
  QueueRepaintNow(window);
}

void InvalidateWindow(PlatformWindow*) {}

void PaintStatusText(PlatformWindow*, const std::string& text) {
  if (!ErrorIsTerminal()) return;  // a script reading standard error sees message records only
  std::fputs(("\r" + ProgressLine(text) + "\x1b[K").c_str(), stderr);
  std::fflush(stderr);
  ProgressLineShown = true;
}

bool ChooseContactSheet(const std::string&, const std::string&, std::string*) {
  return false;
}

bool OpenWebPage(PlatformWindow*, const std::string&) {
  return false;
}

bool ChooseFolder(const std::string&, const std::string&, std::string*) {
  return false;
}

}  // namespace headless

const WindowOperations HeadlessWindowOperations = {
    headless::ShowMessageBox,
    headless::CreateMainWindow,
    headless::ShowMainWindow,
    QueuePostWindowMessage,
    QueueGetNextMessage,
    QueueDefaultWindowProc,
    QueuePostQuit,
    headless::ImageFound,
    headless::InvalidateWindow,
    headless::PaintStatusText,
    headless::ChooseContactSheet,
    headless::OpenWebPage,
    QueueWatchInterruption,
    headless::ChooseFolder,
};

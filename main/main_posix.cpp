// Entry point on POSIX: rebuilds the command-line tail from the arguments and runs the tool, in
// a window when a display can be opened, headless otherwise.
#include <cstdio>
#include <cstring>
#include <string>

#include "app/main_window.h"
#include "kestrune_version.h"
#include "names/file_names.h"
#include "ui/desktop.h"

namespace {

const char kUsage[] =
    "Usage: kestrune [--modern] [--dry-run | --clean] CONTACT-SHEET.html | FOLDER\n"
    "Writes a slide show beside the contact sheet: allin1.html, and for every linked JPG, GIF\n"
    "and PNG image a manual page (NAME.htm) and an automatic page (NAME.html).\n";

// The thumbnail's size is filled in (twice, "%dx%d").
const char kHelpFolder[] =
    "\n"
    "Given a FOLDER of photos instead (trailing / or not), kestrune makes a thumbnail of each\n"
    "photo in it (NAME_t.jpg, %dx%d, upright, none of the photo's metadata) and its contact\n"
    "sheet index.html, then the slide show of that sheet. Re-runs remake only the thumbnails of\n"
    "changed photos; an index.html kestrune did not write is never replaced.\n";

const char kHelp[] =
    "\n"
    "--modern writes the same files and links in a modern page style: each photo fitted whole\n"
    "to any screen from a phone to 4K, light or dark as the reader prefers, reachable by\n"
    "keyboard, captions taken from the text or alt of a thumbnail's link, and still no script.\n"
    "Without it the pages are the classic ones. A later run in either style replaces the other.\n"
    "\n"
    "--dry-run writes nothing and says on standard output, one line a file in the order a run\n"
    "would write them, what the run would do: create NAME, replace NAME (an earlier page, or an\n"
    "empty file), keep NAME (a file kestrune did not write) or refuse NAME (REASON); then a\n"
    "summary. For a folder it says the same of the thumbnails and index.html, and which files of\n"
    "photos that are gone it would remove. Its exit status is the run's.\n"
    "\n"
    "--clean removes the slide show a run of the contact sheet wrote: both pages of every image\n"
    "and allin1.html, each only where it carries kestrune's marker line; for a folder also its\n"
    "thumbnails and index.html where they carry kestrune's mark. It keeps every other file and\n"
    "says so, follows no link, and removes no folder and nothing outside the contact sheet's\n"
    "folder. One line a file (removed NAME, kept NAME (REASON) ...), then a summary; exit status\n"
    "0 when everything found was removed, 1 when anything was kept or refused. Neither opens a\n"
    "window, and both need the contact sheet or the folder on the command line; the two cannot\n"
    "be given together. For example:\n"
    "  kestrune --dry-run ~/pictures/holiday/index.html\n"
    "  kestrune --clean ~/pictures/holiday\n"
    "\n"
    "With a display, kestrune shows its window and, without a contact sheet, asks for one\n"
    "there. Without a display (DISPLAY unset or empty, or not to be opened) it runs headless.\n"
    "\n"
    "Exit status: 0 when the whole slide show was written, 1 when a failure was reported (in a\n"
    "message box, or headless as one line \"TITLE: TEXT\" on standard error), 2 when no contact\n"
    "sheet was given headless (or to --dry-run or --clean, or both were given), 128+N when\n"
    "signal N (Ctrl-C, kill) stopped the run: the slide show written so far is then complete.\n"
    "A contact sheet named like an option is reached as ./--help.\n";

// The tail as a Windows command line would give it: the arguments joined by single blanks.
std::string CommandTail(int argc, char** argv) {
  std::string tail;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) tail += ' ';
    tail += argv[i];
  }
  return tail;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--help") == 0) {
    std::fputs(kUsage, stdout);
    std::printf(kHelpFolder, kThumbnailEdge, kThumbnailEdge);
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
    std::puts("kestrune " KESTRUNE_VERSION);
    return 0;
  }
  const std::string tail = CommandTail(argc, argv);
  // From here a signal ends the run between two steps with a complete slide show.
  CatchInterruptions();
  const CommandOptions options = ReadCommandOptions(tail);
  const std::string sheet = tail.substr(options.length);
  const bool sheetGiven = !sheet.empty() && sheet.front() != '?';
  // A dry run and a clean only report what they find: never a window, nor a dialog to ask with.
  const bool report = options.mode != RunMode::Write || options.conflicting;
  // Decided once: the desktop window when a display can be opened, headless otherwise.
  if (!report) {
    if (const WindowOperations* desktop = OpenDesktop()) {
      UseWindowOperations(*desktop);
      return RunKestrune(tail, options);
    }
  }
  if (!sheetGiven && !options.conflicting) {
    // The open-file dialog would be needed, and there is no display to show it on.
    std::fputs(kUsage, stderr);
    return 2;
  }
  return RunKestrune(tail, options);
}

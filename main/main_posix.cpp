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
    "Usage: kestrune [--modern] [--dry-run | --clean] CONTACT-SHEET.html\n"
    "       kestrune [--modern] [--dry-run | --clean] [--order name|date] FOLDER\n"
    "Writes a slide show beside the contact sheet: allin1.html, and for every linked JPG, GIF\n"
    "and PNG image a manual page (NAME.htm) and an automatic page (NAME.html).\n";

// The sizes, the copies' folder and the deepest album are filled in from the rules for names
// (names/file_names.h), in the order they appear, so that the help cannot fall behind them.
const char kHelpFolder[] =
    "\n"
    "Given a FOLDER instead (trailing / or not), kestrune makes a gallery of its photos: JPEG,\n"
    "PNG, GIF, HEIC and HEIF, AVIF, WebP and TIFF (.jpg .jpe .jpeg .png .gif .heic .heif .hif\n"
    ".avif .webp .tif .tiff, any case). Each photo gets a thumbnail beside it (NAME_t.jpg,\n"
    "fitted into %dx%d) and, in the folder %s/ beside it, a thumbnail for\n"
    "dense screens (%dx%d) and copies for the slides fitted into %d and %d pixels\n"
    "(never enlarged; a HEIC, HEIF or TIFF photo, which browsers cannot show, always gets\n"
    "one): JPEG, sRGB, upright, none of the photo's metadata. Then the contact sheet\n"
    "index.html, and the slide show of that sheet. Files that are no photo (raw files,\n"
    "videos) are named in one line.\n"
    "\n"
    "Every folder below FOLDER that holds photos, or such folders, is an album and gets its\n"
    "own gallery; each sheet lists its albums first (cover, name, photos in all, the days they\n"
    "span) and links up to the sheet above. Not albums: hidden folders (.name), %s,\n"
    "system and NAS folders (@eaDir, #recycle, $RECYCLE.BIN, lost+found, __MACOSX...), and,\n"
    "named once, a link to a folder (not followed) and a folder more than %d below FOLDER.\n"
    "\n"
    "--order name (the default: IMG_9 before IMG_10) or --order date (when each photo was\n"
    "taken, from its EXIF, else the file's time; albums by their first photo) orders photos\n"
    "and albums. Each sheet keeps the order, so a run without --order keeps it.\n"
    "\n"
    "Re-runs make pictures again only for changed photos and remove what kestrune made for\n"
    "photos that are gone; an unchanged tree decodes nothing. An index.html kestrune did not\n"
    "write is never replaced: its folder is left as it is, and the status is 1.\n";

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
    "summary. For a folder it says the same of the thumbnails, copies and sheets of every\n"
    "album, named from FOLDER, and which files of photos that are gone it would remove. Its\n"
    "exit status is the run's.\n"
    "\n"
    "--clean removes the slide show a run of the contact sheet wrote: both pages of every image\n"
    "and allin1.html, each only where it carries kestrune's marker line. For a folder it does\n"
    "so in every album, and removes the thumbnails, copies and index.html that carry\n"
    "kestrune's mark and the folder kestrune-copies once empty: the tree as it was before the\n"
    "first run. It keeps every other file and says so, follows no link, and removes no other\n"
    "folder and nothing outside the contact sheet's folder. One line a file (removed NAME,\n"
    "kept NAME (REASON) ...), then a summary; exit status 0 when everything found was\n"
    "removed, 1 when anything was kept or refused. Neither opens a window, and both need the\n"
    "contact sheet or the folder on the command line; the two cannot be given together.\n"
    "For example:\n"
    "  kestrune --dry-run ~/pictures/holiday/index.html\n"
    "  kestrune --order date ~/Pictures\n"
    "  kestrune --clean ~/Pictures\n"
    "\n"
    "With a display, kestrune shows its window and, without a contact sheet, asks for one\n"
    "there (File > Open Folder... takes a folder). Without a display (DISPLAY unset or empty,\n"
    "or not to be opened) it runs headless.\n"
    "\n"
    "Exit status: 0 when the whole slide show was written, 1 when a failure was reported (in a\n"
    "message box, or headless as one line \"TITLE: TEXT\" on standard error), 2 when no contact\n"
    "sheet was given headless (or to --dry-run or --clean, or both were given), 128+N when\n"
    "signal N (Ctrl-C, kill) stopped the run: the slide show written so far is then complete\n"
    "(for a folder: the album in hand with the photos done, and the sheets above it).\n"
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
    std::printf(kHelpFolder, kThumbnailEdge, kThumbnailEdge, kCopiesFolder, kDenseThumbnailEdge,
                kDenseThumbnailEdge, kScreenEdges[0], kScreenEdges[1], kCopiesFolder,
                kDeepestAlbum);
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

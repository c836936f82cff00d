// Choosing and loading the contact sheet, and reading its images into the generation's slots.
#include "generation/contact_sheet.h"

#include "generation/generation.h"
#include "generation/generation_state.h"
#include "sheet/scanner.h"
#include "sheet/sheet_path.h"

namespace {

const char kDialogTitle[] = "Choose File from which to Generate Slideshow";

// Opens the sheet, loads its text and enters its folder. nullptr when all went well, else the
// text that reports the step that failed.
const char* LoadContactSheet(const std::string& path) {
  if (!FileExists(path)) return "File not found: ";
  State.SheetFile = OpenFileReadOnly(path);
  if (State.SheetFile == nullptr) return "Could not create mapping file for ";
  State.SheetMapping = OpenWholeText(State.SheetFile);
  if (State.SheetMapping == nullptr) return "File map could not be opened for ";
  std::size_t length = 0;
  State.SheetView = ViewWholeText(State.SheetMapping, &length);
  if (State.SheetView == nullptr) return "Could not map view of file for ";
  State.SheetEnd = State.SheetView + length;
  State.SheetFolder = path.substr(0, FolderPrefixLength(path));
  // Pages are written relative to the working folder: a sheet whose folder can no longer be
  // entered (removed or locked since it was opened) would get its pages in the start folder.
  if (!State.SheetFolder.empty() && !SetWorkingFolder(State.SheetFolder)) return "File not found: ";
  return nullptr;
}

}  // namespace

int SelectContactSheet() {
  if (!State.InputPath || State.InputPath->empty()) {
    State.DialogPath.clear();
    if (!ChooseContactSheet(State.StartFolder, kDialogTitle, &State.DialogPath)) return 0;
    State.InputPath = State.DialogPath;
  }
  CleanPath(*State.InputPath);
  return 1;
}

int OpenContactSheet(const std::string& path) {
  if (const char* failure = LoadContactSheet(path)) {
    // A plain box owned by the main window: the fixed text, then the path as given.
    ReportFailure(State.MainWindow, failure + path, State.StartFolder, BoxIcon::None);
    CloseContactSheet();
    return 0;
  }
  State.SheetName = path.substr(State.SheetFolder.size());
  State.CurrentImage = State.SheetName;
  return 1;
}

void CloseContactSheet() {
  if (State.SheetMapping != nullptr) {
    CloseWholeText(State.SheetMapping);
    State.SheetMapping = nullptr;
    // The text lived there; nothing may scan it any more.
    State.SheetView = State.SheetEnd = State.ScanPosition = nullptr;
  }
  if (State.SheetFile != nullptr) {
    CloseFile(State.SheetFile);
    State.SheetFile = nullptr;
  }
}

const char* FindNextImage(const char* from) {
  std::string_view target;
  const char* found = FindNextImageLink(from, State.SheetEnd, State.NextImage, &target);
  if (found == nullptr) return nullptr;
  State.NextImage.assign(target);
  RepaintNow(State.MainWindow);  // the status text shows each image as soon as it is found
  return found;
}

const char* ReadNextCaption(const char* from) {
  return ExtractCaption(from, State.SheetEnd, State.NextImage, State.NextCaption);
}

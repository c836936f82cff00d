// Choosing, opening and mapping the contact sheet.
#include "generation/generation.h"
#include "generation/generation_state.h"
#include "sheet/contact_sheet.h"

namespace {

const char kDialogTitle[] = "Choose File from which to Generate Slideshow";

// Every load failure: a plain box owned by the main window, the fixed text and the path.
int ReportLoadFailure(const char* prefix, const std::string& path) {
  ReportFailure(State.MainWindow, prefix + path, State.StartFolder, BoxIcon::None);
  return 0;
}

}  // namespace

void CleanPath(std::string& path) {
  // The first character is never removed, so only a text of double quotes can become empty.
  while (path.size() > 1 && static_cast<unsigned char>(path.back()) <= 0x20) path.pop_back();
  if (!path.empty() && path.front() == '"') {
    const std::size_t closing = path.find('"', 1);
    path = path.substr(1, closing == std::string::npos ? std::string::npos : closing - 1);
  }
}

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
  if (!FileExists(path)) return ReportLoadFailure("File not found: ", path);

  State.SheetFile = OpenFileReadOnly(path);
  if (State.SheetFile == nullptr)
    return ReportLoadFailure("Could not create mapping file for ", path);

  State.SheetMapping = CreateReadOnlyMapping(State.SheetFile);
  if (State.SheetMapping == nullptr) {
    ReportLoadFailure("File map could not be opened for ", path);
    CloseContactSheet();
    return 0;
  }

  std::size_t length = 0;
  State.SheetView = MapWholeView(State.SheetMapping, &length);
  if (State.SheetView == nullptr) {
    ReportLoadFailure("Could not map view of file for ", path);
    CloseContactSheet();
    return 0;
  }
  State.SheetEnd = State.SheetView + length;

  const std::size_t folderLength = FolderPrefixLength(path);
  State.SheetFolder = path.substr(0, folderLength);
  if (!State.SheetFolder.empty()) SetWorkingFolder(State.SheetFolder);
  State.SheetName = path.substr(folderLength);
  State.CurrentImage = State.SheetName;
  return 1;
}

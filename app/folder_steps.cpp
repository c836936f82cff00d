#include "app/folder_steps.h"

#include "app/menu.h"
#include "gallery/folder_run.h"
#include "gallery/gallery_sheet.h"
#include "generation/generation.h"
#include "generation/generation_state.h"
#include "generation/preview.h"
#include "generation/slide_step.h"
#include "photos/photos.h"
#include "sheet/sheet_path.h"
#include "ui/ui.h"

namespace {

bool FolderRunActive = false;

std::string FolderOfInput() {
  if (!State.InputPath || State.InputPath->empty() || State.InputPath->front() == '?')
    return std::string();
  std::string path = *State.InputPath;
  CleanPath(path);
  return IsFolderPath(path) ? path : std::string();
}

// The thumbnails are done (or the run stops): the sheet written, and the Open command's input
// from now on that sheet, in the folder that is now the working folder.
bool WriteFolderSheet() {
  FolderRunActive = false;
  const bool written = FinishFolderRun();
  if (FolderRunFailed()) State.FailureReported = true;
  State.InputPath = std::string(kGallerySheetName);
  return written;
}

}  // namespace

bool StartFolderRun() {
  const std::string folder = FolderOfInput();
  if (folder.empty()) return false;
  if (!BeginFolderRun(folder, *State.Style)) {
    State.FailureReported = true;
    PostWindowMessage(State.MainWindow, MsgClose, 0, 0);
    return true;
  }
  if (FolderRunFailed()) State.FailureReported = true;
  FolderRunActive = true;
  PostWindowMessage(State.MainWindow, MsgStep, kFolderStep, 0);
  return true;
}

void OnFolderStep() {
  if (!FolderRunActive) return;
  std::string status;
  State.StepRunning = true;  // a photo's message box may see the session end: finish first
  const bool more = MakeNextThumbnail(&status);
  State.StepRunning = false;
  if (FolderRunFailed()) State.FailureReported = true;
  if (!status.empty()) {
    State.NextImage = status;
    StepShown(State.MainWindow, status);
  }
  if (State.SessionEnded) {
    EndFolderRunEarly();
    FinishGeneration();
    DefaultWindowProc(State.MainWindow, MsgClose, 0, 0);
    return;
  }
  if (more) {
    PostWindowMessage(State.MainWindow, MsgStep, kFolderStep, 0);
  } else if (WriteFolderSheet()) {
    PostWindowMessage(State.MainWindow, MsgCommand, IDM_OPEN, 0);
  } else {
    PostWindowMessage(State.MainWindow, MsgClose, 0, 0);
  }
}

bool EndFolderRunEarly() {
  if (!FolderRunActive) return false;
  if (!WriteFolderSheet() || BeginGeneration() != StartResult::Started) return true;
  while (State.ScanPosition != nullptr) State.ScanPosition = GenerateSlide(State.ScanPosition);
  return true;
}

int RunFolderReport(bool clean) {
  const std::string folder = FolderOfInput();
  if (folder.empty()) return -1;
  if (!clean) return DryRunFolder(folder);
  return CleanFolder(folder, [] {
    State.InputPath = std::string(kGallerySheetName);
    return CleanSlideShow(true);
  });
}

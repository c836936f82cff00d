// The sequence of a run on folders: for each folder, plan, thumbnails, sheet, slide show; then
// the next folder, from the folder the run started in.
#include "gallery/folder_run.h"

#include "gallery/folder_make.h"
#include "gallery/folder_plan.h"
#include "generation/generation.h"
#include "names/file_names.h"
#include "platform/platform.h"
#include "ui/user.h"

namespace {

enum class Phase { Idle, Thumbnails, SlideShow };

// The run: its folders, the one in hand and how far it got. Each folder's gallery is made fresh.
struct FolderRun {
  std::vector<std::string> folders;
  std::size_t next = 0;     // the folder to begin after the one in hand
  std::string startFolder;  // the working folder the program started in: folders are named from it
  const PageStyle* style = nullptr;
  Phase phase = Phase::Idle;
  FolderGallery gallery;
  std::string progress;
  bool failed = false;
} Run;

const char kForeignSheetText[] =
    " is not a contact sheet kestrune wrote: run kestrune on it to make its slide show";

// Told like every failure of a run's start: titled with the folder the program started in.
bool Refuse(const std::string& text) {
  ShowMessageBox(nullptr, text, Run.startFolder, BoxIcon::Exclamation);
  Run.failed = true;
  return false;
}

// Enters `folder`, plans it and begins its thumbnails; false after a message said why not. The
// first folder is entered from the working folder as the run found it, every later one from the
// folder the program started in.
bool BeginFolder(const std::string& folder) {
  Run.gallery = FolderGallery();
  Run.progress.clear();
  const bool first = Run.next == 1;
  if ((!first && !SetWorkingFolder(Run.startFolder)) || !SetWorkingFolder(folder))
    return Refuse("File not found: " + folder);
  Run.gallery.folder = folder;
  Run.gallery.title = FolderTitle(folder);
  bool sheetFailed = false;
  if (!GallerySheetMayBeWritten(&sheetFailed))
    return Refuse(sheetFailed
                      ? "Unable to create the contact sheet " + std::string(kGallerySheetName)
                      : kGallerySheetName + std::string(kForeignSheetText));
  if (!PlanFolder(Run.gallery)) {
    ShowMessageBox(nullptr, "The folder cannot be read", Run.gallery.title, BoxIcon::Exclamation);
    Run.failed = true;
    return false;
  }
  if (Run.gallery.photos.empty()) {
    for (const auto& [name, text] : Run.gallery.notices)
      ShowMessageBox(nullptr, text, name, BoxIcon::Exclamation);
    Run.failed = Run.failed || !Run.gallery.notices.empty();
    return Refuse("No photos in " + folder + " (JPG, GIF and PNG files directly in it)");
  }
  std::string why;
  const bool begun = BeginThumbnails(Run.gallery, &why);
  Run.failed = Run.failed || Run.gallery.failed;
  if (!begun) return Refuse("Thumbnails need " + why);
  Run.phase = Phase::Thumbnails;
  return true;
}

// Begins the next folder that can be begun; false when none is left.
bool BeginNextFolder() {
  Run.phase = Phase::Idle;
  while (Run.next < Run.folders.size()) {
    if (BeginFolder(Run.folders[Run.next++])) return true;
  }
  return false;
}

// The thumbnails are done (or the run stops): the sheet written, and its slide show begun as a
// run of that sheet begins, in the folder that is now the working folder.
FolderStep BeginSlideShow() {
  const bool written = FinishGallery(Run.gallery, *Run.style);
  Run.failed = Run.failed || Run.gallery.failed;
  Run.progress.clear();
  if (!written) return FolderStep::Failed;
  PrepareGenerationOf(kGallerySheetName);
  if (BeginGeneration() != StartResult::Started) return FolderStep::Failed;
  Run.phase = Phase::SlideShow;
  return FolderStep::More;
}

}  // namespace

bool BeginFolderRun(const std::vector<std::string>& folders, const PageStyle& style,
                    const std::string& startFolder) {
  StopPhotoJobs();
  Run = FolderRun();
  Run.folders = folders;
  Run.style = &style;
  Run.startFolder = startFolder;
  if (Run.folders.empty() || !BeginFolder(Run.folders[Run.next++])) {
    Run.phase = Phase::Idle;
    return false;
  }
  return true;
}

bool FolderRunActive() {
  return Run.phase != Phase::Idle;
}

FolderStep StepFolderRun() {
  switch (Run.phase) {
    case Phase::Idle:
      return FolderStep::Done;
    case Phase::Thumbnails: {
      const bool more = MakeNextThumbnail(Run.gallery, &Run.progress);
      Run.failed = Run.failed || Run.gallery.failed;
      return more ? FolderStep::More : BeginSlideShow();
    }
    case Phase::SlideShow:
      if (WriteNextSlide()) return FolderStep::More;
      FinishGeneration();
      return BeginNextFolder() ? FolderStep::More : FolderStep::Done;
  }
  return FolderStep::Done;
}

const std::string& FolderRunProgress() {
  return Run.progress;
}

bool FolderRunFailed() {
  return Run.failed;
}

void EndFolderRunEarly() {
  if (Run.phase == Phase::Thumbnails && BeginSlideShow() == FolderStep::More) {
    while (WriteNextSlide()) {
    }
  }
  Run.phase = Phase::Idle;
  Run.next = Run.folders.size();
}

// The dry run and the clean of a folder: the plan of a run told instead of made, and the files
// of kestrune's in the folder removed.
#include "gallery/folder_report.h"

#include <algorithm>

#include "gallery/folder_plan.h"
#include "gallery/gallery_names.h"
#include "generation/generation.h"
#include "generation/preview.h"
#include "names/file_names.h"
#include "pages/page_marker.h"
#include "platform/platform.h"
#include "ui/user.h"

namespace {

bool EnterFolder(const std::string& folder) {
  if (SetWorkingFolder(folder)) return true;
  ShowMessageBox(nullptr, "File not found: " + folder, folder, BoxIcon::Exclamation);
  return false;
}

// Tells each thumbnail's fate; counts those to make, up to date and kept.
void TellThumbnails(const FolderGallery& gallery, std::size_t* make, std::size_t* current,
                    std::size_t* kept) {
  for (const PlannedPhoto& photo : gallery.photos) {
    switch (photo.plan) {
      case ThumbnailPlan::Make:
        TellResultLine("create " + photo.thumbnail, false);
        ++*make;
        break;
      case ThumbnailPlan::Remake:
        TellResultLine("replace " + photo.thumbnail, false);
        ++*make;
        break;
      case ThumbnailPlan::UpToDate:
        TellResultLine("keep " + photo.thumbnail + " (up to date)", false);
        ++*current;
        break;
      case ThumbnailPlan::Foreign:
        TellResultLine("keep " + photo.thumbnail + " (not written by kestrune)", true);
        ++*kept;
        break;
    }
  }
}

void TellGone(const FolderGallery& gallery) {
  for (const std::string& name : gallery.gone) {
    const std::string_view marker = IsPhotoName(name) ? kThumbnailMarker : kOwnPageMarker;
    if (LookAtPageFile(name, marker).state == PageFileState::OwnPage)
      TellResultLine("remove " + name + " (its photo is gone)", false);
  }
}

// The thumbnails of kestrune's in the working folder removed, in natural order; counts those
// removed and those that could not be.
void RemoveThumbnails(std::size_t* removed, std::size_t* notRemoved) {
  std::vector<FolderEntry> entries;
  ListWorkingFolder(&entries);
  std::sort(entries.begin(), entries.end(),
            [](const FolderEntry& a, const FolderEntry& b) { return NaturalLess(a.name, b.name); });
  for (const FolderEntry& entry : entries) {
    ThumbnailMark mark;
    if (entry.kind != EntryKind::Regular || !IsPhotoName(entry.name) ||
        !ReadOwnMark(entry.name, &mark))
      continue;
    if (RemoveOwnPage(entry.name, kThumbnailMarker) == PageFileState::Removed) {
      TellResultLine("removed " + entry.name, false);
      ++*removed;
    } else {
      TellResultLine("not removed " + entry.name, true);
      ++*notRemoved;
    }
  }
}

}  // namespace

int DryRunFolder(const std::string& folder) {
  if (!EnterFolder(folder)) return 1;
  const std::string sheet = kGallerySheetName;
  if (!GallerySheetMayBeWritten()) {
    TellResultLine("keep " + sheet + " (not written by kestrune)", true);
    ShowResult(sheet + " is not a contact sheet kestrune wrote: nothing would be written", folder,
               true);
    return 1;
  }
  FolderGallery gallery;
  gallery.folder = folder;
  gallery.title = FolderTitle(folder);
  if (!PlanFolder(gallery)) return 1;
  std::size_t make = 0, current = 0, kept = 0;
  TellThumbnails(gallery, &make, &current, &kept);
  TellGone(gallery);
  const bool exists = LookAtPageFile(sheet, kOwnPageMarker).state != PageFileState::Absent;
  TellResultLine((exists ? "replace " : "create ") + sheet, false);
  // A thumbnail of the user's is used as it is: the run would end well, and so does its preview.
  ShowResult(std::to_string(gallery.photos.size()) + " photos: " + std::to_string(make) +
                 " thumbnails to make, " + std::to_string(current) + " up to date, " +
                 std::to_string(kept) + " kept; then the slide show of " + sheet +
                 " (dry run: nothing written)",
             folder, false);
  return 0;
}

int CleanFolder(const std::string& folder) {
  if (!EnterFolder(folder)) return 1;
  const std::string sheet = kGallerySheetName;
  int status = 0;
  if (LookAtPageFile(sheet, kOwnPageMarker).state == PageFileState::OwnPage) {
    PrepareGenerationOf(sheet);
    status = CleanSlideShow(true);
  }
  std::size_t removed = 0, notRemoved = 0;
  RemoveThumbnails(&removed, &notRemoved);
  const PageFileState state = RemoveOwnPage(sheet, kOwnPageMarker);
  if (state == PageFileState::Removed) {
    TellResultLine("removed " + sheet, false);
  } else if (state != PageFileState::Absent) {
    TellResultLine("kept " + sheet + " (not written by kestrune)", true);
    ++notRemoved;
  }
  ShowResult(std::to_string(removed) + " thumbnails removed" +
                 (state == PageFileState::Removed ? ", " + sheet + " removed" : "") + ", " +
                 std::to_string(notRemoved) + " kept",
             folder, notRemoved != 0);
  return notRemoved != 0 ? 1 : status;
}

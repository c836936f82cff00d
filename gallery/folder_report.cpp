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

// Tells the fate of one picture of a photo; counts those to make, up to date and kept.
void TellPicture(const std::string& name, ThumbnailPlan plan, const std::string& condition,
                 std::size_t* make, std::size_t* current, std::size_t* kept) {
  switch (plan) {
    case ThumbnailPlan::Make:
      TellResultLine("create " + name + condition, false);
      ++*make;
      break;
    case ThumbnailPlan::Remake:
      TellResultLine("replace " + name + condition, false);
      ++*make;
      break;
    case ThumbnailPlan::UpToDate:
      TellResultLine("keep " + name + " (up to date)", false);
      ++*current;
      break;
    case ThumbnailPlan::Foreign:
      TellResultLine("keep " + name + " (not written by kestrune)", true);
      ++*kept;
      break;
  }
}

// Tells each thumbnail's fate, and that of each copy the photo calls for; a copy of a photo whose
// size is not known yet is made if the photo is larger. Counts the pictures to make, up to date
// and kept.
void TellPictures(const FolderGallery& gallery, std::size_t* make, std::size_t* current,
                  std::size_t* kept) {
  for (const PlannedPhoto& photo : gallery.photos) {
    TellPicture(photo.thumbnail, photo.plan, "", make, current, kept);
    for (const PlannedCopy& copy : photo.copies) {
      if (photo.width > 0 && !copy.called) {
        if (copy.ours) TellResultLine("remove " + copy.name + " (its photo is smaller)", false);
        continue;
      }
      const std::string condition =
          photo.width > 0 ? ""
          : copy.threshold == 0
              ? ""
              : " (if the photo is larger than " + std::to_string(copy.threshold) + " pixels)";
      TellPicture(copy.name, copy.plan, condition, make, current, kept);
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

// The thumbnails of kestrune's in `folder` (the working folder, or the copies folder) removed, in
// natural order; counts those removed and those that could not be.
void RemovePictures(const std::string& folder, std::size_t* removed, std::size_t* notRemoved) {
  std::vector<FolderEntry> entries;
  if (folder == ".") {
    ListWorkingFolder(&entries);
  } else {
    ListFolder(folder, &entries);
  }
  std::sort(entries.begin(), entries.end(),
            [](const FolderEntry& a, const FolderEntry& b) { return NaturalLess(a.name, b.name); });
  for (const FolderEntry& entry : entries) {
    const std::string name = folder == "." ? entry.name : folder + "/" + entry.name;
    ThumbnailMark mark;
    if (entry.kind != EntryKind::Regular || entry.link || !IsPhotoName(entry.name) ||
        !ReadOwnMark(name, &mark))
      continue;
    if (RemoveOwnPage(name, kThumbnailMarker) == PageFileState::Removed) {
      TellResultLine("removed " + name, false);
      ++*removed;
    } else {
      TellResultLine("not removed " + name, true);
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
  gallery.readHeaders = true;
  if (!PlanFolder(gallery)) return 1;
  std::size_t make = 0, current = 0, kept = 0;
  TellPictures(gallery, &make, &current, &kept);
  TellGone(gallery);
  const bool exists = LookAtPageFile(sheet, kOwnPageMarker).state != PageFileState::Absent;
  TellResultLine((exists ? "replace " : "create ") + sheet, false);
  // A thumbnail of the user's is used as it is: the run would end well, and so does its preview.
  ShowResult(std::to_string(gallery.photos.size()) + " photos: " + std::to_string(make) +
                 " thumbnails and copies to make, " + std::to_string(current) + " up to date, " +
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
  RemovePictures(".", &removed, &notRemoved);
  // The copies folder with the copies of kestrune's in it, and then itself once empty; a link
  // under its name is not followed.
  std::size_t copies = 0;
  RemovePictures(kCopiesFolder, &copies, &notRemoved);
  if (RemoveEmptyFolder(kCopiesFolder))
    TellResultLine("removed " + std::string(kCopiesFolder), false);
  removed += copies;
  const PageFileState state = RemoveOwnPage(sheet, kOwnPageMarker);
  if (state == PageFileState::Removed) {
    TellResultLine("removed " + sheet, false);
  } else if (state != PageFileState::Absent) {
    TellResultLine("kept " + sheet + " (not written by kestrune)", true);
    ++notRemoved;
  }
  ShowResult(std::to_string(removed) + " thumbnails and copies removed" +
                 (state == PageFileState::Removed ? ", " + sheet + " removed" : "") + ", " +
                 std::to_string(notRemoved) + " kept",
             folder, notRemoved != 0);
  return notRemoved != 0 ? 1 : status;
}

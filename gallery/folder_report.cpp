// The dry run and the clean of a folder: the plan of a run told instead of made, and the files
// of kestrune's in the folder removed.
#include "gallery/folder_report.h"

#include <algorithm>

#include "gallery/album_tree.h"
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
void TellPictures(const FolderGallery& gallery, const std::string& prefix, std::size_t* make,
                  std::size_t* current, std::size_t* kept) {
  for (const PlannedPhoto& photo : gallery.photos) {
    TellPicture(prefix + photo.thumbnail, photo.plan, "", make, current, kept);
    for (const PlannedCopy& copy : photo.copies) {
      if (photo.width > 0 && !copy.called) {
        if (copy.ours)
          TellResultLine("remove " + prefix + copy.name + " (its photo is smaller)", false);
        continue;
      }
      const std::string condition =
          photo.width > 0 ? ""
          : copy.threshold == 0
              ? ""
              : " (if the photo is larger than " + std::to_string(copy.threshold) + " pixels)";
      TellPicture(prefix + copy.name, copy.plan, condition, make, current, kept);
    }
  }
}

void TellGone(const FolderGallery& gallery, const std::string& prefix) {
  for (const std::string& name : gallery.gone) {
    const std::string_view marker = IsPhotoName(name) ? kThumbnailMarker : kOwnPageMarker;
    if (LookAtPageFile(name, marker).state == PageFileState::OwnPage)
      TellResultLine("remove " + prefix + name + " (its photo is gone)", false);
  }
}

// The thumbnails of kestrune's in `folder` (the working folder, or the copies folder) removed, in
// natural order; counts those removed and those that could not be.
void RemovePictures(const std::string& folder, const std::string& prefix, std::size_t* removed,
                    std::size_t* notRemoved) {
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
      TellResultLine("removed " + prefix + name, false);
      ++*removed;
    } else {
      TellResultLine("not removed " + prefix + name, true);
      ++*notRemoved;
    }
  }
}

// What a dry run or a clean of a tree counted.
struct TreeTally {
  std::size_t albums = 0, photos = 0, make = 0, current = 0, kept = 0;
  std::size_t removed = 0, notRemoved = 0;
  bool refused = false;  // a folder's index.html is the user's, or one is left out: a run says so
  int status = 0;
};

// The notices of a tree's walk as lines: a folder left out and why, which a run tells (its status
// is then 1).
void TellSkipped(const TreeNotices& notices, TreeTally& tally) {
  for (const auto& [folder, why] : notices) {
    TellResultLine("skip " + folder + " (" + why + ")", true);
    tally.refused = true;
  }
}

// The dry run of the folder at `path` of the tree (entered) after those of the albums in it; true
// when it is an album.
bool DryRunAlbum(const std::string& top, const std::string& path, int depth, TreeTally& tally) {
  std::vector<FolderEntry> entries;
  if (!ListWorkingFolder(&entries)) return false;
  TreeNotices notices;
  bool albums = false;
  for (const std::string& folder : AlbumFolders(entries, path, depth, &notices)) {
    const std::string inner = TreePath(path, folder);
    if (EnterTreeFolder(top, inner) && DryRunAlbum(top, inner, depth + 1, tally)) albums = true;
  }
  TellSkipped(notices, tally);
  if (!EnterTreeFolder(top, path)) return false;
  const std::string prefix = path.empty() ? "" : path + "/";
  const std::string sheet = prefix + kGallerySheetName;
  if (!GallerySheetMayBeWritten()) {
    TellResultLine("keep " + sheet + " (not written by kestrune)", true);
    tally.refused = true;
    return false;
  }
  FolderGallery gallery;
  gallery.folder = path;
  gallery.readHeaders = true;
  if (!PlanFolder(gallery)) return false;
  const bool exists =
      LookAtPageFile(kGallerySheetName, kOwnPageMarker).state != PageFileState::Absent;
  if (gallery.photos.empty() && !albums) {
    if (exists) TellResultLine("remove " + sheet + " (no photos in it)", false);
    TellGone(gallery, prefix);
    return false;
  }
  ++tally.albums;
  tally.photos += gallery.photos.size();
  TellPictures(gallery, prefix, &tally.make, &tally.current, &tally.kept);
  TellGone(gallery, prefix);
  TellResultLine((exists ? "replace " : "create ") + sheet, false);
  return true;
}

// The clean of the folder at `path` of the tree (entered) after those of the folders in it: the
// slide show of its sheet, its thumbnails and copies of kestrune's, and the sheet.
void CleanAlbum(const std::string& top, const std::string& path, int depth, TreeTally& tally) {
  std::vector<FolderEntry> entries;
  ListWorkingFolder(&entries);
  TreeNotices notices;
  for (const std::string& folder : AlbumFolders(entries, path, depth, &notices)) {
    const std::string inner = TreePath(path, folder);
    if (EnterTreeFolder(top, inner)) CleanAlbum(top, inner, depth + 1, tally);
  }
  if (!EnterTreeFolder(top, path)) return;
  const std::string prefix = path.empty() ? "" : path + "/";
  const std::string sheet = kGallerySheetName;
  if (LookAtPageFile(sheet, kOwnPageMarker).state == PageFileState::OwnPage && SheetListsPhotos()) {
    PrepareGenerationOf(sheet);
    NameResultsIn(prefix);
    if (CleanSlideShow(true) != 0) tally.status = 1;
    NameResultsIn("");
  }
  RemovePictures(".", prefix, &tally.removed, &tally.notRemoved);
  // The copies folder with the copies of kestrune's in it, and then itself once empty; a link
  // under its name is not followed.
  RemovePictures(kCopiesFolder, prefix, &tally.removed, &tally.notRemoved);
  if (RemoveEmptyFolder(kCopiesFolder)) TellResultLine("removed " + prefix + kCopiesFolder, false);
  const PageFileState state = RemoveOwnPage(sheet, kOwnPageMarker);
  if (state == PageFileState::Removed) {
    TellResultLine("removed " + prefix + sheet, false);
    ++tally.albums;
  } else if (state != PageFileState::Absent) {
    TellResultLine("kept " + prefix + sheet + " (not written by kestrune)", true);
    ++tally.notRemoved;
  }
}

}  // namespace

int DryRunFolder(const std::string& folder) {
  if (!EnterFolder(folder)) return 1;
  const std::string top = GetWorkingFolder();
  const std::string sheet = kGallerySheetName;
  if (!GallerySheetMayBeWritten()) {
    TellResultLine("keep " + sheet + " (not written by kestrune)", true);
    ShowResult(sheet + " is not a contact sheet kestrune wrote: nothing would be written", folder,
               true);
    return 1;
  }
  TreeTally tally;
  if (top.empty() || !DryRunAlbum(top, "", 0, tally)) {
    if (!tally.refused) ShowResult("no photos in it: nothing would be written", folder, true);
    return 1;
  }
  // A thumbnail of the user's is used as it is: the run would end well, and so does its preview.
  const std::string albums =
      tally.albums > 1 ? " in " + std::to_string(tally.albums) + " albums" : "";
  ShowResult(std::to_string(tally.photos) + " photos" + albums + ": " + std::to_string(tally.make) +
                 " thumbnails and copies to make, " + std::to_string(tally.current) +
                 " up to date, " + std::to_string(tally.kept) + " kept; then the slide show of " +
                 (tally.albums > 1 ? "each album's " : "") + sheet + " (dry run: nothing written)",
             folder, tally.refused);
  return tally.refused ? 1 : 0;
}

int CleanFolder(const std::string& folder) {
  if (!EnterFolder(folder)) return 1;
  const std::string top = GetWorkingFolder();
  TreeTally tally;
  if (!top.empty()) CleanAlbum(top, "", 0, tally);
  const std::string sheets = tally.albums > 1    ? std::to_string(tally.albums) + " sheets removed"
                             : tally.albums == 1 ? std::string(kGallerySheetName) + " removed"
                                                 : "";
  ShowResult(std::to_string(tally.removed) + " thumbnails and copies removed" +
                 (sheets.empty() ? "" : ", " + sheets) + ", " + std::to_string(tally.notRemoved) +
                 " kept",
             folder, tally.notRemoved != 0);
  return tally.notRemoved != 0 ? 1 : tally.status;
}

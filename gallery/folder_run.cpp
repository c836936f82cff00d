#include "gallery/folder_run.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "gallery/gallery_metadata.h"
#include "gallery/gallery_names.h"
#include "gallery/gallery_sheet.h"
#include "pages/page_marker.h"
#include "photos/photos.h"
#include "platform/platform.h"
#include "sheet/scanner.h"
#include "ui/user.h"

namespace {

// The size setting: thumbnails fit into this many pixels each way.
constexpr int kThumbnailEdge = 240;
// A mark stands right behind the JPEG's first two bytes; this much holds any mark.
constexpr std::size_t kMarkLookSize = 8192;

enum class ThumbnailPlan { Make, Remake, UpToDate, Foreign };

constexpr std::size_t kNoJob = static_cast<std::size_t>(-1);

struct Photo {
  FolderEntry file;
  std::string thumbnail;
  ThumbnailPlan plan = ThumbnailPlan::Make;
  bool readable = true;  // false once the photo failed to decode: listed without a thumbnail
  ThumbnailMark mark;    // of the thumbnail in place, or of the one made
};

struct FolderRun {
  std::string title;
  const PageStyle* style = nullptr;
  std::vector<Photo> photos;
  std::size_t done = 0;            // photos[0, done) have their thumbnail decided and made
  std::vector<ThumbnailJob> jobs;  // the thumbnails to make, in photo order
  std::vector<std::size_t> jobOf;  // per photo: its job, or kNoJob
  std::vector<std::string> gone;   // files of kestrune's whose photo is gone
  bool failed = false;
} Run;

void TellAboutFile(const std::string& name, const std::string& text) {
  ShowMessageBox(nullptr, text, name, BoxIcon::Exclamation);
  Run.failed = true;
}

// The path's last name ("\\" separates names too on Windows).
std::string LastName(std::string path) {
  while (path.size() > 1 && IsFolderSeparator(path.back())) path.pop_back();
  std::size_t start = path.size();
  while (start > 0 && !IsFolderSeparator(path[start - 1])) --start;
  return path.substr(start);
}

std::string FolderTitle(const std::string& folder) {
  std::string name = LastName(folder);
  if (name.empty() || name == "." || name == "..") name = LastName(GetWorkingFolder());
  return name.empty() ? "Photos" : name;
}

bool MayBeThumbnailName(const std::string& name) {
  return name.size() > 4 && (name.rfind("tn_", 0) == 0 || name.find("_t.") != std::string::npos);
}

// Whether the regular file `name` carries a thumbnail's mark of kestrune's. One whose first bytes
// cannot be read is taken for the user's, and told about when `report`.
bool HasOwnMark(const std::string& name, ThumbnailMark* mark, bool report) {
  std::string head;
  if (!ReadFileHead(name, kMarkLookSize, &head)) {
    if (report) TellAboutFile(name, "Unable to read the file: it is kept as it is");
    return false;
  }
  return ReadThumbnailMark(head, mark);
}

// The names the sheet of an earlier run listed: their pages and thumbnails are kestrune's. A
// sheet that stands (`listed`) but cannot be read is told about when `report`: the pages of
// photos gone since stay.
std::vector<std::string> PhotosOfEarlierSheet(bool listed, bool report) {
  std::vector<std::string> names;
  std::string text;
  if (!ReadFileHead(kGallerySheetName, 64u << 20, &text)) {
    if (listed && report)
      TellAboutFile(kGallerySheetName, "Unable to read it: the pages of photos gone stay");
    return names;
  }
  if (text.find(kOwnPageMarker) == std::string::npos) return names;
  const char* end = text.c_str() + text.size();
  std::string_view target;
  for (const char* at = FindNextImageLink(text.c_str(), end, "", &target); at != nullptr;
       at = FindNextImageLink(at, end, target, &target))
    names.push_back(DecodedLink(target));
  return names;
}

// Everything a run on the working folder would do, taken from the folder as it is now.
bool PlanFolder(bool report) {
  std::vector<FolderEntry> entries;
  if (!ListWorkingFolder(&entries)) {
    if (report) TellAboutFile(Run.title, "The folder cannot be read");
    return false;
  }
  std::vector<std::string> candidates;
  // Thumbnails of kestrune's by name, with their marks: read once, here.
  std::unordered_map<std::string, ThumbnailMark> ownThumbnails;
  std::unordered_map<std::string, const FolderEntry*> byName;
  bool sheetListed = false;
  for (const FolderEntry& entry : entries) {
    sheetListed = sheetListed || entry.name == kGallerySheetName;
    if (!IsPhotoName(entry.name) || entry.kind == EntryKind::Folder) continue;
    if (entry.kind != EntryKind::Regular) {
      if (report)
        TellAboutFile(entry.name, entry.kind == EntryKind::LinkOutside
                                      ? "A link leading out of the folder, not followed"
                                      : "Not a regular file, not read");
      continue;
    }
    ThumbnailMark mark;
    if (MayBeThumbnailName(entry.name) && HasOwnMark(entry.name, &mark, report)) {
      ownThumbnails.emplace(entry.name, mark);
      continue;
    }
    candidates.push_back(entry.name);
    byName[entry.name] = &entry;
  }
  std::vector<std::string> photos = WithoutThumbnailsOfOthers(candidates);
  std::sort(photos.begin(), photos.end(),
            [](const std::string& a, const std::string& b) { return NaturalLess(a, b); });
  const std::vector<std::string> thumbnails = ThumbnailNames(photos);
  Run.photos.clear();
  for (std::size_t i = 0; i < photos.size(); ++i) {
    Photo photo;
    photo.file = *byName.at(photos[i]);
    photo.thumbnail = thumbnails[i];
    const auto own = ownThumbnails.find(photo.thumbnail);
    const PageFileState state = own != ownThumbnails.end()
                                    ? PageFileState::OwnPage
                                    : LookAtPageFile(photo.thumbnail, kThumbnailMarker).state;
    if (state == PageFileState::Absent || state == PageFileState::Empty) {
      photo.plan = ThumbnailPlan::Make;
    } else if (state == PageFileState::NotWritable || state == PageFileState::Failed) {
      // Neither made nor used: the photo is listed without one, and the run says so.
      photo.plan = ThumbnailPlan::Foreign;
      photo.readable = false;
      photo.mark.caption = ChooseCaption("", "", photo.file.name);
      if (report) TellAboutFile(photo.thumbnail, "Unable to create the thumbnail file");
    } else if (own != ownThumbnails.end()) {
      photo.mark = own->second;
      ownThumbnails.erase(own);
      const bool same = photo.mark.photoSize == photo.file.size &&
                        photo.mark.photoModified == photo.file.modified &&
                        photo.mark.edge == kThumbnailEdge;
      photo.plan = same ? ThumbnailPlan::UpToDate : ThumbnailPlan::Remake;
    } else {
      photo.plan = ThumbnailPlan::Foreign;  // the user's: used as it is
      photo.mark.caption = ChooseCaption("", "", photo.file.name);
    }
    Run.photos.push_back(std::move(photo));
  }
  // What an earlier run made for photos that are gone: its thumbnails (their mark says so) and
  // the pages of the photos its sheet listed.
  for (const auto& [name, mark] : ownThumbnails) Run.gone.push_back(name);
  std::unordered_set<std::string> bases;
  for (const Photo& photo : Run.photos)
    bases.insert(photo.file.name.substr(0, photo.file.name.rfind('.')));
  for (const std::string& earlier : PhotosOfEarlierSheet(sheetListed, report)) {
    const std::string base = earlier.substr(0, earlier.rfind('.'));
    if (bases.count(base) != 0 || earlier.find('/') != std::string::npos) continue;
    bases.insert(base);
    Run.gone.push_back(base + ".htm");
    Run.gone.push_back(base + ".html");
  }
  std::sort(Run.gone.begin(), Run.gone.end());
  return true;
}

const char kForeignSheet[] =
    "index.html is not a contact sheet kestrune wrote: run kestrune on it to make its slide show";

// index.html may be written: absent, empty, or a sheet of kestrune's. *failed: it could not be
// looked at or may not be written, whoever wrote it.
bool SheetMayBeWritten(bool* failed = nullptr) {
  const PageFileState state = LookAtPageFile(kGallerySheetName, kOwnPageMarker).state;
  if (failed != nullptr)
    *failed = state == PageFileState::Unreadable || state == PageFileState::NotWritable ||
              state == PageFileState::Failed;
  return state == PageFileState::Absent || state == PageFileState::Empty ||
         state == PageFileState::OwnPage;
}

bool WriteThumbnail(Photo& photo, const ThumbnailJob& job) {
  photo.mark.photoSize = photo.file.size;
  photo.mark.photoModified = photo.file.modified;
  photo.mark.edge = kThumbnailEdge;
  photo.mark.width = job.width;
  photo.mark.height = job.height;
  photo.mark.caption = ChooseCaption(job.exif, job.xmp, photo.file.name);
  const std::string bytes = MarkedThumbnail(job.jpeg, photo.mark);
  // Written under a temporary name and put in place complete; never over a file of the user's
  // that took the name meanwhile.
  std::FILE* stream = CreateOutputFile(photo.thumbnail, kThumbnailMarker);
  if (stream == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
  return CloseOutputFile(stream) && written && !bytes.empty();
}

}  // namespace

bool BeginFolderRun(const std::string& folder, const PageStyle& style) {
  StopThumbnails();
  Run = FolderRun();
  Run.style = &style;
  // Titled like every failure of a run's start: with the folder the program started in.
  const std::string start = GetWorkingFolder();
  const auto refuse = [&start](const std::string& text) {
    ShowMessageBox(nullptr, text, start, BoxIcon::Exclamation);
    return false;
  };
  if (!SetWorkingFolder(folder)) return refuse("File not found: " + folder);
  Run.title = FolderTitle(folder);
  bool sheetFailed = false;
  if (!SheetMayBeWritten(&sheetFailed))
    return refuse(sheetFailed ? "Unable to create the contact sheet index.html" : kForeignSheet);
  if (!PlanFolder(true)) return false;
  if (Run.photos.empty())
    return refuse("No photos in " + folder + " (JPG, GIF and PNG files directly in it)");
  // The codec is loaded (libvips started, which takes longer than a whole sheet run) only when a
  // thumbnail is to be made: a re-run of an unchanged folder needs none.
  for (const Photo& photo : Run.photos) {
    const bool make = photo.plan == ThumbnailPlan::Make || photo.plan == ThumbnailPlan::Remake;
    Run.jobOf.push_back(make ? Run.jobs.size() : kNoJob);
    if (!make) continue;
    Run.jobs.emplace_back();
    Run.jobs.back().photo = photo.file.name;
    Run.jobs.back().edge = kThumbnailEdge;
  }
  std::string why;
  if (!Run.jobs.empty() && !OpenPhotoCodec(&why))
    return refuse("Thumbnails need the photo module kestrune-photos.so (" + why + ")");
  if (!Run.jobs.empty()) StartThumbnails(&Run.jobs);
  return true;
}

bool MakeNextThumbnail(std::string* status) {
  // Photos whose thumbnail stands already pass at once; the next one to make is waited for
  // while the cores make the ones after it.
  while (Run.done < Run.photos.size()) {
    Photo& photo = Run.photos[Run.done];
    const std::size_t index = Run.jobOf[Run.done++];
    if (index == kNoJob) continue;
    TakeThumbnail(index);
    ThumbnailJob& job = Run.jobs[index];
    if (!job.made) {
      photo.readable = false;
      photo.mark.caption = ChooseCaption("", "", photo.file.name);
      TellAboutFile(photo.file.name, "Could not make a thumbnail: " + job.failure);
    } else if (!WriteThumbnail(photo, job)) {
      photo.readable = false;
      TellAboutFile(photo.thumbnail, "Unable to create the thumbnail file");
    }
    // What was read of the photo goes now: memory does not grow with the number of photos.
    std::string().swap(job.jpeg);
    std::string().swap(job.exif);
    std::string().swap(job.xmp);
    *status = "photo " + std::to_string(Run.done) + " of " + std::to_string(Run.photos.size()) +
              ": " + photo.file.name;
    break;
  }
  return Run.done < Run.photos.size();
}

bool FinishFolderRun() {
  StopThumbnails();  // a stopped run: the photos in hand are finished, none after them begun
  for (const std::string& name : Run.gone) {
    const bool thumbnail = IsPhotoName(name);
    const PageFileState state =
        RemoveOwnPage(name, thumbnail ? std::string_view(kThumbnailMarker) : kOwnPageMarker);
    // Kept silently only when it is no longer ours (the user's, or not a regular file).
    if (state == PageFileState::Unreadable || state == PageFileState::NotWritable ||
        state == PageFileState::Failed || state == PageFileState::LeftAside)
      TellAboutFile(name, "Unable to remove this file of a photo that is gone");
  }
  std::vector<SheetEntry> entries;
  for (std::size_t i = 0; i < Run.done; ++i) {
    const Photo& photo = Run.photos[i];
    SheetEntry entry;
    entry.photo = photo.file.name;
    if (photo.readable) entry.thumbnail = photo.thumbnail;
    entry.width = photo.mark.width;
    entry.height = photo.mark.height;
    entry.caption = photo.mark.caption;
    entries.push_back(std::move(entry));
  }
  const std::string text = GallerySheetText(*Run.style, Run.title, entries);
  std::FILE* sheet = CreateOutputFile(kGallerySheetName, kOwnPageMarker);
  const bool written =
      sheet != nullptr && std::fwrite(text.data(), 1, text.size(), sheet) == text.size();
  if (sheet == nullptr || !CloseOutputFile(sheet) || !written) {
    TellAboutFile(kGallerySheetName, "Unable to create the contact sheet");
    return false;
  }
  return true;
}

bool FolderRunFailed() {
  return Run.failed;
}

int DryRunFolder(const std::string& folder) {
  Run = FolderRun();
  if (!SetWorkingFolder(folder)) {
    ShowMessageBox(nullptr, "File not found: " + folder, folder, BoxIcon::Exclamation);
    return 1;
  }
  if (!SheetMayBeWritten()) {
    TellResultLine("keep index.html (not written by kestrune)", true);
    ShowResult("index.html is not a contact sheet kestrune wrote: nothing would be written", folder,
               true);
    return 1;
  }
  Run.title = FolderTitle(folder);
  if (!PlanFolder(false)) return 1;
  std::size_t make = 0, kept = 0, current = 0;
  for (const Photo& photo : Run.photos) {
    switch (photo.plan) {
      case ThumbnailPlan::Make:
        TellResultLine("create " + photo.thumbnail, false);
        ++make;
        break;
      case ThumbnailPlan::Remake:
        TellResultLine("replace " + photo.thumbnail, false);
        ++make;
        break;
      case ThumbnailPlan::UpToDate:
        TellResultLine("keep " + photo.thumbnail + " (up to date)", false);
        ++current;
        break;
      case ThumbnailPlan::Foreign:
        TellResultLine("keep " + photo.thumbnail + " (not written by kestrune)", true);
        ++kept;
        break;
    }
  }
  for (const std::string& name : Run.gone) {
    const bool thumbnail = IsPhotoName(name);
    if (LookAtPageFile(name, thumbnail ? std::string_view(kThumbnailMarker) : kOwnPageMarker)
            .state == PageFileState::OwnPage)
      TellResultLine("remove " + name + " (its photo is gone)", false);
  }
  const bool exists =
      LookAtPageFile(kGallerySheetName, kOwnPageMarker).state != PageFileState::Absent;
  TellResultLine(std::string(exists ? "replace " : "create ") + kGallerySheetName, false);
  // A thumbnail of the user's is used as it is: the run would end well, and so does its preview.
  ShowResult(std::to_string(Run.photos.size()) + " photos: " + std::to_string(make) +
                 " thumbnails to make, " + std::to_string(current) + " up to date, " +
                 std::to_string(kept) + " kept; then the slide show of " + kGallerySheetName +
                 " (dry run: nothing written)",
             folder, false);
  return 0;
}

int CleanFolder(const std::string& folder, int (*cleanSlideShow)()) {
  if (!SetWorkingFolder(folder)) {
    ShowMessageBox(nullptr, "File not found: " + folder, folder, BoxIcon::Exclamation);
    return 1;
  }
  int status = 0;
  if (LookAtPageFile(kGallerySheetName, kOwnPageMarker).state == PageFileState::OwnPage)
    status = cleanSlideShow();
  std::vector<FolderEntry> entries;
  ListWorkingFolder(&entries);
  std::sort(entries.begin(), entries.end(),
            [](const FolderEntry& a, const FolderEntry& b) { return NaturalLess(a.name, b.name); });
  std::size_t removed = 0, notRemoved = 0;
  for (const FolderEntry& entry : entries) {
    ThumbnailMark mark;
    if (entry.kind != EntryKind::Regular || !IsPhotoName(entry.name) ||
        !HasOwnMark(entry.name, &mark, false))
      continue;
    if (RemoveOwnPage(entry.name, kThumbnailMarker) == PageFileState::Removed) {
      TellResultLine("removed " + entry.name, false);
      ++removed;
    } else {
      TellResultLine("not removed " + entry.name, true);
      ++notRemoved;
    }
  }
  const PageFileState sheet = RemoveOwnPage(kGallerySheetName, kOwnPageMarker);
  if (sheet == PageFileState::Removed)
    TellResultLine("removed index.html", false);
  else if (sheet != PageFileState::Absent) {
    TellResultLine("kept index.html (not written by kestrune)", true);
    ++notRemoved;
  }
  ShowResult(std::to_string(removed) + " thumbnails removed" +
                 (sheet == PageFileState::Removed ? ", index.html removed" : "") + ", " +
                 std::to_string(notRemoved) + " kept",
             folder, notRemoved != 0);
  return notRemoved != 0 ? 1 : status;
}

// Planning a folder's gallery: the listing read once, each photo's thumbnail looked at once, and
// every decision taken from what was found.
#include "gallery/folder_plan.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "gallery/gallery_names.h"
#include "names/escapes.h"
#include "names/file_names.h"
#include "pages/page_marker.h"
#include "platform/platform.h"
#include "sheet/scanner.h"

namespace {

// A mark stands right behind the JPEG's first two bytes; this much holds any mark.
constexpr std::size_t kMarkLookSize = 8192;
// An earlier sheet is read up to this size for the photos it listed.
constexpr std::size_t kEarlierSheetLimit = std::size_t{64} << 20;

// The path's last name ("\\" separates names too on Windows).
std::string LastName(std::string path) {
  while (path.size() > 1 && IsFolderSeparator(path.back())) path.pop_back();
  std::size_t start = path.size();
  while (start > 0 && !IsFolderSeparator(path[start - 1])) --start;
  return path.substr(start);
}

// The names the sheet of an earlier run listed: their pages and thumbnails are kestrune's. A
// sheet that stands (`listed`) but cannot be read is noted: the pages of photos gone since stay.
std::vector<std::string> PhotosOfEarlierSheet(FolderGallery& gallery, bool listed) {
  std::vector<std::string> names;
  std::string text;
  if (!ReadFileHead(kGallerySheetName, kEarlierSheetLimit, &text)) {
    if (listed)
      gallery.notices.emplace_back(kGallerySheetName,
                                   "Unable to read it: the pages of photos gone stay");
    return names;
  }
  if (text.find(kOwnPageMarker) == std::string::npos) return names;
  const char* end = text.c_str() + text.size();
  std::string_view target;
  for (const char* at = FindNextImageLink(text.c_str(), end, "", &target); at != nullptr;
       at = FindNextImageLink(at, end, target, &target))
    names.push_back(DecodePercentEscapes(target));
  return names;
}

// Why a name with a photo's extension is not read, or nullptr when it is read.
const char* WhyNotRead(EntryKind kind) {
  switch (kind) {
    case EntryKind::Regular:
    case EntryKind::Folder:
      return nullptr;
    case EntryKind::LinkOutside:
      return "A link leading out of the folder, not followed";
    case EntryKind::Other:
      break;
  }
  return "Not a regular file, not read";
}

// A photo's thumbnail decided from what stands under its name: `own` holds the thumbnails of
// kestrune's that the listing found, each taken out once it is a photo's.
void PlanThumbnail(FolderGallery& gallery, PlannedPhoto& photo,
                   std::unordered_map<std::string, ThumbnailMark>& own) {
  const auto found = own.find(photo.thumbnail);
  const PageFileState state = found != own.end()
                                  ? PageFileState::OwnPage
                                  : LookAtPageFile(photo.thumbnail, kThumbnailMarker).state;
  if (state == PageFileState::Absent || state == PageFileState::Empty) {
    photo.plan = ThumbnailPlan::Make;
  } else if (state == PageFileState::NotWritable || state == PageFileState::Failed) {
    // Neither made nor used: the photo is listed without one, and the run says so.
    photo.plan = ThumbnailPlan::Foreign;
    photo.readable = false;
    photo.mark.caption = ChooseCaption("", "", photo.file.name);
    gallery.notices.emplace_back(photo.thumbnail, "Unable to create the thumbnail file");
  } else if (found != own.end()) {
    photo.mark = found->second;
    own.erase(found);
    const bool same = photo.mark.photoSize == photo.file.size &&
                      photo.mark.photoModified == photo.file.modified &&
                      photo.mark.edge == kThumbnailEdge;
    photo.plan = same ? ThumbnailPlan::UpToDate : ThumbnailPlan::Remake;
  } else {
    photo.plan = ThumbnailPlan::Foreign;  // the user's: used as it is
    photo.mark.caption = ChooseCaption("", "", photo.file.name);
  }
}

// What an earlier run made for photos that are gone: its thumbnails (their mark says so) and the
// pages of the photos its sheet listed.
void PlanGone(FolderGallery& gallery, const std::unordered_map<std::string, ThumbnailMark>& ownLeft,
              bool sheetListed) {
  for (const auto& entry : ownLeft) gallery.gone.push_back(entry.first);
  std::unordered_set<std::string> bases;
  for (const PlannedPhoto& photo : gallery.photos)
    bases.insert(std::string(BaseName(photo.file.name)));
  for (const std::string& earlier : PhotosOfEarlierSheet(gallery, sheetListed)) {
    const std::string base(BaseName(earlier));
    if (bases.count(base) != 0 || earlier.find('/') != std::string::npos) continue;
    bases.insert(base);
    std::string page;
    AssignManualPageName(page, earlier);
    gallery.gone.push_back(page);
    AssignAutomaticPageName(page, earlier);
    gallery.gone.push_back(page);
  }
  std::sort(gallery.gone.begin(), gallery.gone.end());
}

}  // namespace

std::string FolderTitle(const std::string& folder) {
  std::string name = LastName(folder);
  if (name.empty() || name == "." || name == "..") name = LastName(GetWorkingFolder());
  return name.empty() ? "Photos" : name;
}

bool GallerySheetMayBeWritten(bool* failed) {
  const PageFileState state = LookAtPageFile(kGallerySheetName, kOwnPageMarker).state;
  if (failed != nullptr)
    *failed = state == PageFileState::Unreadable || state == PageFileState::NotWritable ||
              state == PageFileState::Failed;
  return state == PageFileState::Absent || state == PageFileState::Empty ||
         state == PageFileState::OwnPage;
}

bool ReadOwnMark(const std::string& name, ThumbnailMark* mark, bool* unreadable) {
  std::string head;
  const bool read = ReadFileHead(name, kMarkLookSize, &head);
  if (unreadable != nullptr) *unreadable = !read;
  return read && ReadThumbnailMark(head, mark);
}

bool PlanFolder(FolderGallery& gallery) {
  std::vector<FolderEntry> entries;
  if (!ListWorkingFolder(&entries)) return false;
  std::vector<std::string> candidates;
  // Thumbnails of kestrune's by name, with their marks: read once, here.
  std::unordered_map<std::string, ThumbnailMark> own;
  std::unordered_map<std::string, const FolderEntry*> byName;
  bool sheetListed = false;
  for (const FolderEntry& entry : entries) {
    sheetListed = sheetListed || entry.name == kGallerySheetName;
    if (!IsPhotoName(entry.name) || entry.kind == EntryKind::Folder) continue;
    if (const char* why = WhyNotRead(entry.kind)) {
      gallery.notices.emplace_back(entry.name, why);
      continue;
    }
    ThumbnailMark mark;
    bool unreadable = false;
    if (MayBeThumbnailName(entry.name) && ReadOwnMark(entry.name, &mark, &unreadable)) {
      own.emplace(entry.name, mark);
      continue;
    }
    // Taken for the user's, since nothing says it is kestrune's.
    if (unreadable)
      gallery.notices.emplace_back(entry.name, "Unable to read the file: it is kept as it is");
    candidates.push_back(entry.name);
    byName[entry.name] = &entry;
  }
  std::vector<std::string> photos = WithoutThumbnailsOfOthers(candidates);
  std::sort(photos.begin(), photos.end(),
            [](const std::string& a, const std::string& b) { return NaturalLess(a, b); });
  const std::vector<std::string> thumbnails = ThumbnailNames(photos);
  for (std::size_t i = 0; i < photos.size(); ++i) {
    PlannedPhoto photo;
    photo.file = *byName.at(photos[i]);
    photo.thumbnail = thumbnails[i];
    PlanThumbnail(gallery, photo, own);
    gallery.photos.push_back(std::move(photo));
  }
  PlanGone(gallery, own, sheetListed);
  return true;
}

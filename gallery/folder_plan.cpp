// Planning a folder's gallery: the listing read once, each photo's thumbnail looked at once, and
// every decision taken from what was found.
#include "gallery/folder_plan.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "gallery/gallery_names.h"
#include "names/escapes.h"
#include "names/file_names.h"
#include "pages/page_marker.h"
#include "photos/photo_metadata.h"
#include "platform/platform.h"
#include "sheet/attributes.h"
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

// A photo an earlier run could not read, as its sheet says: the photo's size and modification
// time then, and why.
struct FailedBefore {
  unsigned long long size = 0;
  long long modified = 0;
  std::string reason;
};

// What the sheet of an earlier run says: the photos it listed (their pages and thumbnails are
// kestrune's), and those it could not read.
struct EarlierSheet {
  std::vector<std::string> photos;
  std::unordered_map<std::string, FailedBefore> failed;
  std::string order;  // as its mark keeps it: "date", or empty (by name)
};

// The mark of the order a sheet's photos were shown in (when not by name).
const char kOrderMark[] = "<!-- kestrune order: ";

// The text of an attribute as HTML writes it, its four references read back.
std::string AttributeText(std::string_view value) {
  std::string text(value);
  for (const auto& [reference, c] : {std::pair<const char*, char>{"&lt;", '<'},
                                     {"&gt;", '>'},
                                     {"&quot;", '"'},
                                     {"&amp;", '&'}}) {
    for (std::size_t at = text.find(reference); at != std::string::npos;
         at = text.find(reference, at + 1))
      text.replace(at, std::string_view(reference).size(), 1, c);
  }
  return text;
}

// A photo the sheet lists as unread: its anchor (from `anchor` to `tagEnd`) says when and why.
void ReadFailedBefore(const char* anchor, const char* tagEnd, const std::string& photo,
                      EarlierSheet& earlier) {
  const std::optional<std::string_view> state = ReadAttribute(anchor, tagEnd + 1, "data-unread");
  if (!state) return;
  FailedBefore failed;
  char* stop = nullptr;
  const std::string numbers(*state);
  failed.size = std::strtoull(numbers.c_str(), &stop, 10);
  if (stop == numbers.c_str() || *stop != ' ') return;
  const char* time = stop + 1;
  failed.modified = std::strtoll(time, &stop, 10);
  if (stop == time || *stop != '\0') return;
  const std::optional<std::string_view> reason = ReadAttribute(anchor, tagEnd + 1, "title");
  failed.reason = reason ? AttributeText(*reason) : std::string();
  earlier.failed.emplace(photo, std::move(failed));
}

// The sheet of an earlier run. A sheet that stands (`listed`) but cannot be read is noted: the
// pages of photos gone since stay.
EarlierSheet ReadEarlierSheet(FolderGallery& gallery, bool listed) {
  EarlierSheet earlier;
  std::string text;
  if (!ReadFileHead(kGallerySheetName, kEarlierSheetLimit, &text)) {
    if (listed)
      gallery.notices.emplace_back(kGallerySheetName,
                                   "Unable to read it: the pages of photos gone stay");
    return earlier;
  }
  if (text.find(kOwnPageMarker) == std::string::npos) return earlier;
  const std::size_t order = text.find(kOrderMark);
  if (order != std::string::npos && text.compare(order + std::strlen(kOrderMark), 4, "date") == 0)
    earlier.order = "date";
  const char* end = text.c_str() + text.size();
  std::string_view target;
  const char* anchor = nullptr;
  for (const char* at =
           FindNextImageLink(text.c_str(), end, "", &target, &anchor, ImageLinks::Photos);
       at != nullptr;
       at = FindNextImageLink(at, end, target, &target, &anchor, ImageLinks::Photos)) {
    earlier.photos.push_back(DecodePercentEscapes(target));
    ReadFailedBefore(anchor, at, earlier.photos.back(), earlier);
  }
  return earlier;
}

// A photo the last run could not read, unchanged since: it is not decoded again.
void RememberFailure(PlannedPhoto& photo, const EarlierSheet& earlier) {
  const auto failed = earlier.failed.find(photo.file.name);
  if (failed == earlier.failed.end() || photo.plan == ThumbnailPlan::Foreign ||
      failed->second.size != photo.file.size || failed->second.modified != photo.file.modified)
    return;
  photo.failedBefore = true;
  photo.readable = false;
  photo.failure = failed->second.reason;
  photo.mark.caption = ChooseCaption("", "", photo.file.name);
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

bool UpToDate(const ThumbnailMark& mark, const FolderEntry& photo, int edge) {
  return mark.photoSize == photo.size && mark.photoModified == photo.modified && mark.edge == edge;
}

// A mark of this version of an up-to-date picture says the photo's size, upright, and when it was
// taken where the photo says it.
void TakeSizeFrom(const ThumbnailMark& mark, PlannedPhoto& photo) {
  if (photo.width > 0 || mark.photoWidth <= 0 || mark.photoHeight <= 0) return;
  photo.width = mark.photoWidth;
  photo.height = mark.photoHeight;
  photo.taken = mark.taken;
  photo.takenDay = mark.takenDay;
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
    // A mark of an earlier version does not say the photo's size: made again with its copies.
    const bool same = UpToDate(photo.mark, photo.file, kThumbnailEdge) && photo.mark.photoWidth > 0;
    photo.plan = same ? ThumbnailPlan::UpToDate : ThumbnailPlan::Remake;
    if (same) TakeSizeFrom(photo.mark, photo);
  } else {
    photo.plan = ThumbnailPlan::Foreign;  // the user's: used as it is
    photo.mark.caption = ChooseCaption("", "", photo.file.name);
  }
}

// What the copies folder holds: the copies of kestrune's with their marks, each taken out once it
// is a photo's, and every name that stands there.
struct CopiesFound {
  std::unordered_map<std::string, ThumbnailMark> own;
  std::unordered_set<std::string> present;
};

// A copy decided from what stands under its name; a name the copies folder does not hold needs
// no look.
PlannedCopy PlanCopy(PlannedPhoto& photo, int edge, int threshold, CopiesFound& found) {
  PlannedCopy copy;
  copy.name = CopyName(photo.file.name, edge);
  copy.edge = edge;
  copy.threshold = threshold;
  const auto own = found.own.find(copy.name);
  if (own != found.own.end()) {
    copy.ours = true;
    copy.mark = own->second;
    found.own.erase(own);
    copy.plan =
        UpToDate(copy.mark, photo.file, edge) ? ThumbnailPlan::UpToDate : ThumbnailPlan::Remake;
    if (copy.plan == ThumbnailPlan::UpToDate) TakeSizeFrom(copy.mark, photo);
    return copy;
  }
  const PageFileState state = found.present.count(copy.name) != 0
                                  ? LookAtPageFile(copy.name, kThumbnailMarker).state
                                  : PageFileState::Absent;
  if (state == PageFileState::Absent || state == PageFileState::Empty) {
    copy.plan = ThumbnailPlan::Make;
  } else {
    copy.plan = ThumbnailPlan::Foreign;  // the user's, or one that cannot be written: left alone
    copy.unwritable = state == PageFileState::NotWritable || state == PageFileState::Failed;
  }
  return copy;
}

// The size of a photo that no up-to-date mark gives, where its header says it (JPEG, PNG, GIF):
// read from its first bytes, so that the plan knows which copies it calls for. A run reads it only
// where the photo would not be decoded otherwise (its thumbnail is the user's: one too small for
// any copy is then not decoded to learn it); a dry run reads it to say which copies a run makes.
void ReadSizeFromHeader(PlannedPhoto& photo) {
  constexpr std::size_t kHeaderLook = std::size_t{128} << 10;
  std::string head;
  long long width = 0, height = 0;
  if (!ReadFileHead(photo.file.name, kHeaderLook, &head) ||
      !PhotoPixelSize(head, &width, &height) || width <= 0 || height <= 0 || width > 1000000 ||
      height > 1000000)
    return;
  std::string exif, xmp;
  FindPhotoMetadata(head, &exif, &xmp);
  TakenTime taken;
  if (ExifTakenTime(exif, &taken)) {
    photo.taken = taken.seconds;
    photo.takenDay = taken.date;
  }
  const bool turned = ExifOrientation(exif) >= 5;
  photo.width = static_cast<int>(turned ? height : width);
  photo.height = static_cast<int>(turned ? width : height);
}

// Whether `name` is a page of one of `photos` (its base name with ".htm" or ".html").
bool IsPageOf(const std::string& name, const std::unordered_set<std::string>& bases) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  const std::string_view extension = std::string_view(name).substr(dot);
  return (extension == ".htm" || extension == ".html") && bases.count(name.substr(0, dot)) != 0;
}

// The regular files that are no photo kestrune reads and none of its own: not hidden, not a
// photo, thumbnail, page, sheet or combined page, and not a file of kestrune's to be removed.
void NoteUnused(FolderGallery& gallery, const std::vector<FolderEntry>& entries) {
  std::unordered_set<std::string> used(gallery.gone.begin(), gallery.gone.end()), bases;
  used.insert(kGallerySheetName);
  used.insert(kCombinedPageName);
  for (const PlannedPhoto& photo : gallery.photos) {
    used.insert(photo.file.name);
    used.insert(photo.thumbnail);
    bases.insert(std::string(BaseName(photo.file.name)));
  }
  for (const FolderEntry& entry : entries) {
    if (entry.kind != EntryKind::Regular || entry.name.compare(0, 1, ".") == 0 ||
        IsPhotoName(entry.name) || used.count(entry.name) != 0 || IsPageOf(entry.name, bases))
      continue;
    gallery.unused.push_back(entry.name);
  }
  std::sort(gallery.unused.begin(), gallery.unused.end(),
            [](const std::string& a, const std::string& b) { return NaturalLess(a, b); });
}

// The copies of a photo: the thumbnail for dense screens and the screen copies, and, once the
// photo's size is known, which of them it calls for. A photo of an unknown size is decoded, and
// the decode decides.
void PlanCopies(FolderGallery& gallery, PlannedPhoto& photo, CopiesFound& found) {
  if (gallery.copiesRefused) return;
  // A thumbnail of the user's is shown as it is, on dense screens too.
  if (photo.plan != ThumbnailPlan::Foreign)
    photo.copies.push_back(PlanCopy(photo, kDenseThumbnailEdge, kDenseThumbnailThreshold, found));
  const bool shown = BrowserShows(photo.file.name);
  for (int edge : kScreenEdges)
    photo.copies.push_back(PlanCopy(photo, edge, ScreenCopyThreshold(edge, shown), found));
  if (photo.width == 0 && (photo.plan == ThumbnailPlan::Foreign || gallery.readHeaders))
    ReadSizeFromHeader(photo);
  const int longer = std::max(photo.width, photo.height);
  for (PlannedCopy& copy : photo.copies) {
    if (photo.width > 0) copy.called = longer > copy.threshold;
    if (copy.unwritable && copy.called)
      gallery.notices.emplace_back(copy.name, "Unable to create the copy file");
  }
}

// The copies folder's own copies, with their marks, and the names it holds; a file or a link
// under its name is told about once, and no copy is then made or removed there.
void ListCopies(FolderGallery& gallery, const std::vector<FolderEntry>& entries,
                CopiesFound& found) {
  const auto folder = std::find_if(entries.begin(), entries.end(), [](const FolderEntry& entry) {
    return entry.name == kCopiesFolder;
  });
  if (folder == entries.end()) return;
  std::vector<FolderEntry> copies;
  if (folder->kind != EntryKind::Folder || folder->link || !ListFolder(kCopiesFolder, &copies)) {
    gallery.copiesRefused = true;
    gallery.notices.emplace_back(kCopiesFolder, "Not a folder of kestrune's: no copy is made");
    return;
  }
  gallery.copiesFolder = true;
  for (const FolderEntry& entry : copies) {
    const std::string name = std::string(kCopiesFolder) + "/" + entry.name;
    found.present.insert(name);
    ThumbnailMark mark;
    bool unreadable = false;
    if (entry.kind != EntryKind::Regular || entry.link) continue;
    if (ReadOwnMark(name, &mark, &unreadable)) {
      found.own.emplace(name, mark);
    } else if (unreadable) {
      // Taken for the user's, since nothing says it is kestrune's.
      gallery.notices.emplace_back(name, "Unable to read the file: it is kept as it is");
    }
  }
}

// What an earlier run made for photos that are gone: its thumbnails (their mark says so) and the
// pages of the photos its sheet listed.
void PlanGone(FolderGallery& gallery, const std::unordered_map<std::string, ThumbnailMark>& ownLeft,
              const std::unordered_map<std::string, ThumbnailMark>& copiesLeft,
              const EarlierSheet& earlierSheet) {
  for (const auto& entry : ownLeft) gallery.gone.push_back(entry.first);
  for (const auto& entry : copiesLeft) gallery.gone.push_back(entry.first);
  std::unordered_set<std::string> bases;
  for (const PlannedPhoto& photo : gallery.photos)
    bases.insert(std::string(BaseName(photo.file.name)));
  for (const std::string& earlier : earlierSheet.photos) {
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
  CopiesFound copies;
  ListCopies(gallery, entries, copies);
  const EarlierSheet earlier = ReadEarlierSheet(gallery, sheetListed);
  // The order chosen, else the one the sheet kept.
  gallery.order = gallery.orderGiven.empty()     ? earlier.order
                  : gallery.orderGiven == "date" ? "date"
                                                 : "";
  for (std::size_t i = 0; i < photos.size(); ++i) {
    PlannedPhoto photo;
    photo.file = *byName.at(photos[i]);
    photo.thumbnail = thumbnails[i];
    PlanThumbnail(gallery, photo, own);
    RememberFailure(photo, earlier);
    PlanCopies(gallery, photo, copies);
    gallery.photos.push_back(std::move(photo));
  }
  PlanGone(gallery, own, copies.own, earlier);
  NoteUnused(gallery, entries);
  return true;
}

bool NeedsDecoding(const PlannedPhoto& photo) {
  if (photo.failedBefore) return false;
  const auto makes = [](ThumbnailPlan plan) {
    return plan == ThumbnailPlan::Make || plan == ThumbnailPlan::Remake;
  };
  if (makes(photo.plan)) return true;
  for (const PlannedCopy& copy : photo.copies) {
    if (copy.plan == ThumbnailPlan::Foreign) continue;
    if (photo.width == 0 || (copy.called && makes(copy.plan))) return true;
  }
  return false;
}

long long PhotoTime(const PlannedPhoto& photo) {
  if (!photo.takenDay.empty()) return photo.taken;
  const long long nanoseconds = photo.file.modified;
  return nanoseconds >= 0 ? nanoseconds / 1000000000 : -((-nanoseconds + 999999999) / 1000000000);
}

std::string PhotoDay(const PlannedPhoto& photo) {
  if (!photo.takenDay.empty()) return photo.takenDay;
  // The civil date of a day count from 1970-01-01.
  const long long seconds = PhotoTime(photo);
  long long days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
  days += 719468;
  const long long era = (days >= 0 ? days : days - 146096) / 146097;
  const long long dayOfEra = days - era * 146097;
  const long long yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const long long shifted = (5 * dayOfYear + 2) / 153;
  const long long day = dayOfYear - (153 * shifted + 2) / 5 + 1;
  const long long month = shifted < 10 ? shifted + 3 : shifted - 9;
  const long long year = yearOfEra + era * 400 + (month <= 2);
  char text[32];
  std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld", year, month, day);
  return text;
}

bool SheetListsPhotos() {
  FolderGallery ignored;
  return !ReadEarlierSheet(ignored, false).photos.empty();
}

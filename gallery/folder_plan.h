// What a run on a folder of photos will do, decided once from the folder as it stands: its
// photos in order, each with its thumbnail's name and fate, the files kestrune made for photos
// that are gone, and the files it saw but may not read. A run makes what the plan says
// (folder_make.h); a dry run and a clean report it (folder_report.h). Nothing decides twice.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "gallery/gallery_metadata.h"
#include "gallery/gallery_sheet.h"
#include "photos/photos.h"

// What becomes of a photo's thumbnail.
enum class ThumbnailPlan {
  Make,      // none stands there (or an empty file): made
  Remake,    // kestrune's, made from another state of the photo or another size: made again
  UpToDate,  // kestrune's, made from the photo as it is: kept
  Foreign,   // a file of the user's under its name: used as it is, never replaced
};

// A copy of a photo in the copies folder: its thumbnail for dense screens, or a screen copy.
struct PlannedCopy {
  std::string name;  // in the working folder: "kestrune-copies/a.jpg.1280.jpg"
  int edge = 0;
  int threshold = 0;  // made when the photo's longer side is longer than this
  ThumbnailPlan plan = ThumbnailPlan::Make;
  bool ours = false;        // a file of kestrune's stands under its name
  bool unwritable = false;  // it could not be looked at, or may not be written
  bool called = true;  // the photo calls for it (decided by the decode when its size is unknown)
  ThumbnailMark mark;  // of the copy in place, or of the one made
};

struct PlannedPhoto {
  FolderEntry file;
  std::string thumbnail;  // its name, where the PREVIOUS icon's lookup finds it
  ThumbnailPlan plan = ThumbnailPlan::Make;
  bool readable = true;  // false once the photo failed to decode: listed without a thumbnail
  std::string failure;   // why it could not be read (decoded, or as the earlier sheet says)
  // It could not be read at the last run and has not changed since: not decoded again.
  bool failedBefore = false;
  ThumbnailMark mark;               // of the thumbnail in place, or of the one made
  std::vector<PlannedCopy> copies;  // the thumbnail for dense screens, then the screen copies
  int width = 0, height = 0;        // the photo's, upright: from an up-to-date mark, or decoded
  // When it was taken, as its EXIF says (from an up-to-date mark, its header, or decoded);
  // `takenDay` empty while not known.
  long long taken = 0;
  std::string takenDay;
};

// Whether the photo is decoded: a picture it calls for is to be made, or its size is not known.
bool NeedsDecoding(const PlannedPhoto& photo);

// When the photo was taken, for its order: as its EXIF says, else its modification time (seconds
// since 1970); and the day, "YYYY-MM-DD", as the photo says it or its time gives it (UTC).
long long PhotoTime(const PlannedPhoto& photo);
std::string PhotoDay(const PlannedPhoto& photo);

// One folder's gallery: the plan, then how far its making got. Made fresh for every folder.
struct FolderGallery {
  std::string folder;  // as the user named it
  std::string path;    // below the top of its tree, with a separator ("2024/Rome/"); "" for the top
  std::string title;   // the contact sheet's: the folder's own name
  std::vector<AlbumEntry> albums;  // in: the albums in it (folders of a tree), made, in order
  std::vector<std::string> trail;  // in: the folders' names from the top of the tree down to it
  std::string orderGiven;          // in: "name" or "date" as the user chose; empty: as before
  std::string order;  // how its photos are shown: "date" (when taken), or empty (by name)
  std::vector<PlannedPhoto> photos;
  std::vector<std::string> gone;  // files of kestrune's whose photo is gone, sorted
  bool readHeaders = false;       // in: a photo's size is read from its header where no mark
                                  // says it (a dry run's plan)
  bool copiesFolder = false;      // the copies folder stands, a folder of its own
  bool copiesRefused = false;     // a file or a link stands under its name: no copy is made
  // What the plan found that a run tells, one message a file: names with a photo's extension
  // that are not read (a link leading out, a FIFO), files that cannot be read or looked at.
  std::vector<std::pair<std::string, std::string>> notices;
  // The files of the folder that are no photo kestrune reads nor a file of its own (a camera's
  // raw file, a video, a text): said in one summary line.
  std::vector<std::string> unused;

  std::vector<PhotoJob> jobs;      // the photos to decode, in photo order
  std::vector<std::size_t> jobOf;  // per photo: its job, or kNoThumbnailJob
  // Per job, what each picture wanted is: kJobThumbnail, or the index of a copy of its photo.
  std::vector<std::vector<int>> jobPictures;
  std::size_t done = 0;  // photos[0, done) have their thumbnail decided and made
  bool failed = false;   // a message about a file was shown: the run's status is 1
};

inline constexpr std::size_t kNoThumbnailJob = static_cast<std::size_t>(-1);
inline constexpr int kJobThumbnail = -1;

// The title of the sheet of `folder`: its last name (the working folder's for "." or "..").
std::string FolderTitle(const std::string& folder);

// True when the gallery's sheet may be written in the working folder: nothing there, an empty
// file, or a sheet of kestrune's. *failed: it could not be looked at or may not be written,
// whoever wrote it.
bool GallerySheetMayBeWritten(bool* failed = nullptr);

// Plans the working folder into `gallery` (whose folder and title are set): false when the
// folder cannot be read.
bool PlanFolder(FolderGallery& gallery);

// The mark of the thumbnail of kestrune's under `name`; false when the file carries none, or when
// its first bytes cannot be read (*unreadable, when given, says so).
bool ReadOwnMark(const std::string& name, ThumbnailMark* mark, bool* unreadable = nullptr);

// Whether the sheet of kestrune's in the working folder links a photo (a sheet of albums alone
// links none, and has no slide show).
bool SheetListsPhotos();

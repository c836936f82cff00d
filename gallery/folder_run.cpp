// The sequence of a run on folders of photos: each folder the user named is the top of a tree,
// walked so that every album comes after the albums in it (whose sheets it lists); for each album
// plan, thumbnails, sheet, slide show; then the next.
#include "gallery/folder_run.h"

#include <algorithm>

#include "gallery/album_tree.h"
#include "gallery/folder_make.h"
#include "gallery/folder_plan.h"
#include "generation/generation.h"
#include "names/file_names.h"
#include "platform/platform.h"
#include "ui/user.h"

namespace {

enum class Phase { Idle, Walking, Thumbnails, SlideShow };

// A folder of the tree being walked: the folders in it still to walk, and the albums among those
// walked, whose sheets it lists.
struct TreeLevel {
  std::string path;                  // from the top: "" for the top, "2024/Rome"
  std::string name;                  // its own name: its sheet's title
  std::vector<std::string> folders;  // its folders that may be albums, in natural order
  std::size_t next = 0;              // the next of them to walk
  std::vector<AlbumEntry> albums;    // those that are albums, made
  bool unreadable = false;           // its listing failed: told, and not made
};

// The run: the trees the user named, the one in hand and how far its walk got. Each album's
// gallery is made fresh; what stays from album to album is only the way up the tree.
struct FolderRun {
  std::vector<std::string> tops;
  std::size_t nextTop = 0;
  std::string startFolder;  // the working folder the program started in: tops are named from it
  const PageStyle* style = nullptr;
  std::string order;  // "name", "date", or empty: as each sheet kept it
  std::string given;  // the tree in hand as the user named it
  std::string title;  // its top's name, as its sheet's title gives it
  std::string top;    // and as a path the program enters from anywhere
  std::vector<TreeLevel> stack;
  std::size_t albums = 0, albumsBegun = 0;  // for the progress
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

void TellAbout(const std::string& name, const std::string& text) {
  ShowMessageBox(nullptr, text, name, BoxIcon::Exclamation);
  Run.failed = true;
}

// A name of the tree in hand as the user reads it: its path below the top, and the file.
std::string InTree(const std::string& path, const std::string& name) {
  return TreePath(path, name);
}

// A folder of the tree in hand as its messages name it: the top by its own name, as its sheet's
// title does, a folder below it by its path from the top.
std::string AlbumName(const std::string& path) {
  return path.empty() ? Run.title : path;
}

// The albums of a folder in the order its sheet shows them: by name as walked, or by when their
// first photos were taken (those without a date last, ties by name).
void OrderAlbums(std::vector<AlbumEntry>& albums, const std::string& order) {
  if (order != "date") return;
  std::stable_sort(albums.begin(), albums.end(), [](const AlbumEntry& a, const AlbumEntry& b) {
    if (a.firstDay.empty() != b.firstDay.empty()) return b.firstDay.empty();
    return a.firstTime < b.firstTime;
  });
}

// Lists the folder at `path` of the tree (its name `name`) into a new level of the walk; its
// links to folders and its folders too deep are told once. A folder that cannot be listed is told
// and left as it is: made without its albums, its sheet would drop them.
void PushLevel(const std::string& path, const std::string& name) {
  TreeLevel level;
  level.path = path;
  level.name = name;
  std::vector<FolderEntry> entries;
  if (EnterTreeFolder(Run.top, path)) {
    if (ListWorkingFolder(&entries)) {
      TreeNotices notices;
      level.folders = AlbumFolders(entries, path, static_cast<int>(Run.stack.size()), &notices);
      for (const auto& [folder, text] : notices) TellAbout(folder, text);
    } else {
      level.unreadable = true;
      TellAbout(AlbumName(path), "The folder cannot be read");
    }
  }
  Run.stack.push_back(std::move(level));
}

// The album in hand is made (or is none): its level leaves the walk, and its summary goes to the
// folder above, which lists it.
void PopLevel(bool listed) {
  const std::string folder = Run.stack.back().name;
  Run.stack.pop_back();
  if (!listed || Run.stack.empty()) return;
  AlbumEntry album = SummaryOf(Run.gallery);
  album.folder = folder;
  Run.stack.back().albums.push_back(std::move(album));
}

// A fresh gallery for the folder of `level`, entered: its title, albums, the trail down to it
// and the order chosen. False after a message when its sheet may not be written.
bool PrepareGallery(TreeLevel& level) {
  Run.gallery = FolderGallery();
  Run.progress.clear();
  Run.gallery.folder = level.path.empty() ? Run.given : level.path;
  Run.gallery.path = level.path.empty() ? std::string() : level.path + "/";
  // The names the levels were given as the walk reached them: the top's was taken in the top,
  // since by now the working folder is the album in hand.
  Run.gallery.title = level.name;
  Run.gallery.orderGiven = Run.order;
  for (const TreeLevel& above : Run.stack) Run.gallery.trail.push_back(above.name);
  bool sheetFailed = false;
  if (GallerySheetMayBeWritten(&sheetFailed)) return true;
  const std::string sheet = InTree(level.path, kGallerySheetName);
  if (level.path.empty())
    return Refuse(sheetFailed ? "Unable to create the contact sheet " + sheet
                              : sheet + kForeignSheetText);
  TellAbout(sheet, sheetFailed ? "Unable to create the contact sheet"
                               : "Not a contact sheet kestrune wrote: its folder is left as it "
                                 "is and not listed");
  return false;
}

enum class AlbumStart { Begun, Made, NotMade };

// Plans the folder of the level on top of the walk and begins its thumbnails (Begun); a folder of
// albums alone gets its sheet at once (Made); a folder that is no album, or may not be made, is
// left (NotMade), its files of kestrune's removed where it is none.
AlbumStart BeginAlbum() {
  TreeLevel& level = Run.stack.back();
  if (level.unreadable) return AlbumStart::NotMade;
  if (!EnterTreeFolder(Run.top, level.path)) {
    Refuse("File not found: " + (level.path.empty() ? Run.given : level.path));
    return AlbumStart::NotMade;
  }
  if (!PrepareGallery(level)) return AlbumStart::NotMade;
  FolderGallery& gallery = Run.gallery;
  if (!PlanFolder(gallery)) {
    TellAbout(AlbumName(level.path), "The folder cannot be read");
    return AlbumStart::NotMade;
  }
  gallery.albums = level.albums;
  OrderAlbums(gallery.albums, gallery.order);
  if (gallery.photos.empty()) {
    for (const auto& [name, text] : gallery.notices) TellAbout(InTree(level.path, name), text);
    const bool made = FinishGallery(gallery, *Run.style);
    Run.failed = Run.failed || gallery.failed;
    return made && !gallery.albums.empty() ? AlbumStart::Made : AlbumStart::NotMade;
  }
  ++Run.albumsBegun;
  std::string why;
  const bool begun = BeginThumbnails(gallery, &why);
  Run.failed = Run.failed || gallery.failed;
  if (!begun) {
    Refuse("Thumbnails need " + why);
    return AlbumStart::NotMade;
  }
  Run.phase = Phase::Thumbnails;
  return AlbumStart::Begun;
}

// Walks on to the next album whose thumbnails can begin, making those that need none; false when
// the trees are done.
bool WalkToNextAlbum();

// Begins the tree whose top is `given`; false, after a message, when it holds no album.
bool BeginTree(const std::string& given) {
  Run.given = given;
  Run.stack.clear();
  const bool first = Run.nextTop == 1;
  if ((!first && !SetWorkingFolder(Run.startFolder)) || !SetWorkingFolder(given))
    return Refuse("File not found: " + given);
  Run.top = GetWorkingFolder();
  if (Run.top.empty()) return Refuse("File not found: " + given);
  // Named now, in the top: "." and ".." are named after the working folder.
  Run.title = FolderTitle(given);
  std::vector<std::string> unreadable;
  Run.albums = CountAlbums(Run.top, &unreadable);
  Run.albumsBegun = 0;
  if (Run.albums == 0) {
    // A folder that could not be listed may hold the photos: that is told, not "No photos".
    if (!unreadable.empty()) {
      TellAbout(AlbumName(unreadable.front()), "The folder cannot be read");
      return false;
    }
    return Refuse("No photos in " + given +
                  " (JPEG, PNG, GIF, HEIC, AVIF, WebP or TIFF files, in it or its folders)");
  }
  PushLevel("", Run.title);
  return true;
}

bool WalkToNextAlbum() {
  for (;;) {
    while (!Run.stack.empty()) {
      TreeLevel& level = Run.stack.back();
      if (level.next < level.folders.size()) {
        const std::string folder = level.folders[level.next++];
        PushLevel(TreePath(level.path, folder), folder);
        continue;
      }
      const AlbumStart start = BeginAlbum();
      if (start == AlbumStart::Begun) return true;
      PopLevel(start == AlbumStart::Made);
    }
    if (Run.nextTop >= Run.tops.size() || !BeginTree(Run.tops[Run.nextTop++])) {
      if (Run.nextTop >= Run.tops.size()) return false;
    }
  }
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

// The progress of a photo of the album in hand: as for one folder, or, in a tree of several
// albums, "album K of N: NAME, photo I of M".
void ShowAlbumProgress() {
  if (Run.progress.empty() || Run.albums < 2) return;
  const std::size_t albums = std::max(Run.albums, Run.albumsBegun);
  Run.progress = "album " + std::to_string(Run.albumsBegun) + " of " + std::to_string(albums) +
                 ": " + Run.gallery.title + ", photo " + std::to_string(Run.gallery.done) + " of " +
                 std::to_string(Run.gallery.photos.size());
}

// A stopped run: the sheets of the folders above the album in hand, listing the albums made and
// the photos whose thumbnails stand; nothing removed, no slide show begun.
void WriteListingsAbove() {
  while (!Run.stack.empty()) {
    TreeLevel& level = Run.stack.back();
    bool listed = false;
    if (EnterTreeFolder(Run.top, level.path) && PrepareGallery(level) && PlanFolder(Run.gallery)) {
      FolderGallery& gallery = Run.gallery;
      gallery.albums = level.albums;
      OrderAlbums(gallery.albums, gallery.order);
      gallery.photos.erase(std::remove_if(gallery.photos.begin(), gallery.photos.end(),
                                          [](const PlannedPhoto& photo) {
                                            return photo.plan != ThumbnailPlan::UpToDate;
                                          }),
                           gallery.photos.end());
      gallery.done = gallery.photos.size();
      listed =
          (!gallery.photos.empty() || !gallery.albums.empty()) && WriteSheet(gallery, *Run.style);
      Run.failed = Run.failed || gallery.failed;
    }
    PopLevel(listed);
  }
}

}  // namespace

bool BeginFolderRun(const std::vector<std::string>& folders, const PageStyle& style,
                    const std::string& startFolder, const std::string& order) {
  StopPhotoJobs();
  Run = FolderRun();
  Run.tops = folders;
  Run.style = &style;
  Run.startFolder = startFolder;
  Run.order = order;
  Run.phase = Phase::Walking;
  // The first tree must have an album to begin with; later ones are told about as they come.
  if (Run.tops.empty() || !BeginTree(Run.tops[Run.nextTop++]) || !WalkToNextAlbum()) {
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
    case Phase::Walking:
      if (WalkToNextAlbum()) return FolderStep::More;
      Run.phase = Phase::Idle;
      return FolderStep::Done;
    case Phase::Thumbnails: {
      const bool more = MakeNextThumbnail(Run.gallery, &Run.progress);
      ShowAlbumProgress();
      Run.failed = Run.failed || Run.gallery.failed;
      return more ? FolderStep::More : BeginSlideShow();
    }
    case Phase::SlideShow:
      if (WriteNextSlide()) return FolderStep::More;
      FinishGeneration();
      PopLevel(true);
      Run.phase = Phase::Walking;
      return FolderStep::More;
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
  // The album in hand is written whole before its folder is left, then the folders above it.
  if (Run.phase == Phase::Thumbnails || Run.phase == Phase::SlideShow) {
    FinishGeneration();
    PopLevel(true);
    WriteListingsAbove();
  }
  Run.phase = Phase::Idle;
  Run.nextTop = Run.tops.size();
}

// The platform's photo operations, for a run on a folder of photos: the folder's entries, the
// first bytes of a file, and the photo codec (decoding and thumbnails), which on Linux lives in a
// module of its own (kestrune-photos.so, linking libvips) that only a folder run loads. A sheet
// run never calls any of these.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// What stands under a name directly in a folder, looked at without following a link out of it
// and without opening anything that is not a regular file.
enum class EntryKind {
  Regular,      // a regular file (also one reached through a link that stays in the folder)
  Folder,       // a folder, or a link to one
  LinkOutside,  // a symbolic link leading out of the folder, or nowhere: not followed
  Other,        // a FIFO, a device, a socket
};

struct FolderEntry {
  std::string name;
  EntryKind kind = EntryKind::Other;
  bool link = false;  // reached through a symbolic link
  unsigned long long size = 0;
  long long modified = 0;  // modification time, nanoseconds since the epoch
};

// True when `path` names a folder (a link to one counts).
bool IsFolderPath(const std::string& path);

// The entries of the working folder, "." and ".." left out; false when it cannot be read.
bool ListWorkingFolder(std::vector<FolderEntry>* entries);

// The entries of `folder`, a folder of the working folder named without a separator, as
// ListWorkingFolder lists them; false when it cannot be read or is a link.
bool ListFolder(const std::string& folder, std::vector<FolderEntry>* entries);

// Makes the folder `name` in the working folder, or finds it there; true when a folder of its own
// (no link) stands under the name.
bool MakeFolder(const std::string& name);

// Removes the folder `name` of the working folder when it is empty (a folder that holds anything,
// or is a link, stays); true when it was removed.
bool RemoveEmptyFolder(const std::string& name);

// Up to `limit` first bytes of the regular file `name` in the working folder, read without
// following a link and without waiting on a FIFO or a device; false when it is no regular file
// or cannot be read.
bool ReadFileHead(const std::string& name, std::size_t limit, std::string* head);

// One picture to make of a photo: a JPEG fitted into edge x edge pixels (never enlarged, upright
// by the photo's orientation, sRGB, no metadata), made only when the photo's longer side is
// longer than `whenLongerThan` (0: always).
struct PictureWanted {
  int edge = 0;
  int whenLongerThan = 0;
  int quality = 0;  // 1 to 100
};

struct PictureMade {
  bool made = false;
  std::string jpeg;
  int width = 0, height = 0;
};

// The pictures to make of one photo (a thumbnail, copies), all from one decode of it, and the
// photo's own metadata blobs.
struct PhotoJob {
  std::string photo;                  // name in the working folder
  std::vector<PictureWanted> wanted;  // at most kMostPictures
  bool made = false;                  // the photo was decoded and every picture it calls for made
  std::string failure;                // why not, or what was wrong with the photo
  std::vector<PictureMade> pictures;  // one for each wanted, once made
  int width = 0, height = 0;          // the photo's size, upright
  std::string exif, xmp;  // the photo's EXIF block (TIFF structure) and XMP packet, if any
  static constexpr std::size_t kMostPictures = 4;
};

// Loads the codec; false when it cannot be had, with what is missing and why in *why ("the photo
// module kestrune-photos.so (REASON)", as a message "Thumbnails need ..." says it).
bool OpenPhotoCodec(std::string* why);

// Begins making the jobs' pictures in the background, one photo a core at a time, in order. Only
// a few photos a core run ahead of the one taken last, so memory is bounded by the cores, never
// by the number of photos. `jobs` stays in place until StopPhotoJobs. Photos are only read; a
// photo that cannot be read or decoded fails its job alone.
void StartPhotoJobs(std::vector<PhotoJob>* jobs);

// Waits for jobs[index] and fills it in; jobs are taken in order.
void TakePhotoJob(std::size_t index);

// Begins no further photo, finishes those in hand (no picture is left half made) and ends the
// threads; the jobs not taken stay unmade. Does nothing when no jobs were started.
void StopPhotoJobs();

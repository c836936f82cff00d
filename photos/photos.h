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
  unsigned long long size = 0;
  long long modified = 0;  // modification time, nanoseconds since the epoch
};

// True when `path` names a folder (a link to one counts).
bool IsFolderPath(const std::string& path);

// The entries of the working folder, "." and ".." left out; false when it cannot be read.
bool ListWorkingFolder(std::vector<FolderEntry>* entries);

// Up to `limit` first bytes of the regular file `name` in the working folder, read without
// following a link and without waiting on a FIFO or a device; false when it is no regular file
// or cannot be read.
bool ReadFileHead(const std::string& name, std::size_t limit, std::string* head);

// One thumbnail to make: a photo in, a JPEG fitted into edge x edge pixels (never enlarged,
// upright by its orientation tag, no metadata) out, with the photo's own metadata blobs.
struct ThumbnailJob {
  std::string photo;  // name in the working folder
  int edge = 0;       // the thumbnail fits into edge x edge pixels
  int quality = 0;    // its JPEG quality, 1 to 100
  bool made = false;
  std::string failure;  // why it was not made, or what was wrong with the photo
  std::string jpeg;
  int width = 0, height = 0;
  std::string exif, xmp;  // the photo's EXIF block (TIFF structure) and XMP packet, if any
};

// Loads the codec; false when it cannot be had, with what is missing and why in *why ("the photo
// module kestrune-photos.so (REASON)", as a message "Thumbnails need ..." says it).
bool OpenPhotoCodec(std::string* why);

// Begins making the jobs' thumbnails in the background, one photo a core at a time, in order.
// Only a few photos a core run ahead of the one taken last, so memory is bounded by the cores,
// never by the number of photos. `jobs` stays in place until StopThumbnails. Photos are only
// read; a photo that cannot be read or decoded fails its job alone.
void StartThumbnails(std::vector<ThumbnailJob>* jobs);

// Waits for jobs[index] and fills it in; jobs are taken in order.
void TakeThumbnail(std::size_t index);

// Begins no further photo, finishes those in hand (no thumbnail is left half made) and ends the
// threads; the jobs not taken stay unmade. Does nothing when no jobs were started.
void StopThumbnails();

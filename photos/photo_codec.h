// What passes between the program and the photo module (kestrune-photos.so): plain C data, so
// neither side depends on the other's C++ run-time.
#pragma once

#include <cstddef>

extern "C" {

struct stat;

// Why a job failed, where the program words the message itself.
enum KestrunePhotoFailure {
  kPhotoFailureTold = 0,  // `failure` says why
  kPhotoTooLarge = 1,     // the photo claims claimedWidth x claimedHeight pixels, above the limit
};

// One picture made of a photo: sRGB, upright, fitted into edge x edge pixels and never enlarged,
// a JPEG of `quality` without metadata; made only when the photo's longer side (upright) is longer
// than `whenLongerThan` (0: always).
struct KestrunePicture {
  int edge;             // in
  int whenLongerThan;   // in
  int quality;          // in: 1 to 100
  int made;             // out: 1 when jpeg holds the picture
  unsigned char* jpeg;  // out, allocated by the codec, freed by its release
  std::size_t jpegSize;
  int width, height;  // out: the picture's size
};

enum { kPhotoMostPictures = 4 };

struct KestrunePhotoJob {
  const char* photo;     // in: name of a regular file, relative to the working folder
  long long pixelLimit;  // in: a photo of more pixels than this is refused before decoding
  int pictureCount;      // in: pictures[0, pictureCount), all made from one decode of the photo
  KestrunePicture pictures[kPhotoMostPictures];
  int made;         // out: 1 when the photo was decoded and every picture it calls for made
  int failureCode;  // out: a KestrunePhotoFailure when it was not made
  long long claimedWidth, claimedHeight;  // out, with kPhotoTooLarge
  char failure[256];            // out: why it was not made, or what was wrong with the photo
  int photoWidth, photoHeight;  // out, once made: the photo's size, upright
  unsigned char* exif;          // out, malloc'ed: the photo's EXIF block, if any
  std::size_t exifSize;
  unsigned char* xmp;  // out, malloc'ed: the photo's XMP packet, if any
  std::size_t xmpSize;
};

// The calls a codec reads photos with, each as the POSIX call of its name, handed over by the
// program so that they go through its own call table (its tests fail each in turn). They are
// called from the codec's threads. A codec that reads through the system's own calls (WIC,
// linked into the program) is handed none.
struct KestrunePhotoFiles {
  int (*open)(const char* path, int flags);
  int (*fstat)(int fd, struct stat* info);
  std::ptrdiff_t (*read)(int fd, void* buffer, std::size_t count);
  int (*close)(int fd);
};

struct KestrunePhotoCodec {
  int version;  // kPhotoCodecVersion
  // Begins making jobs[0, count) on up to `threads` threads of the codec's own and returns at
  // once, reading the photos through `files` (kept until stop). Jobs are begun in order, and
  // none more than `ahead` past the last one waited for, so the results held at once are
  // bounded by `ahead`, never by `count`.
  void (*start)(const KestrunePhotoFiles* files, KestrunePhotoJob* jobs, std::size_t count,
                unsigned threads, std::size_t ahead);
  // Waits until jobs[index] is made or has failed; jobs are waited for in order.
  void (*wait)(std::size_t index);
  // Begins no further job, waits for those in hand (none is left half made) and ends the
  // threads; the jobs never begun stay as they were. Follows every start.
  void (*stop)();
  // Frees what a job's outputs hold.
  void (*release)(KestrunePhotoJob* job);
  // Stops the codec at the end of the process: worker threads it keeps (libvips keeps a pool)
  // are ended and waited for, so none is still running while the process exits. No call may
  // follow.
  void (*finish)();
};

// The module's one entry: the codec, or nullptr when libvips cannot be started.
__attribute__((visibility("default"))) const KestrunePhotoCodec* KestruneOpenPhotoCodec();
}

inline constexpr int kPhotoCodecVersion = 5;
inline constexpr char kPhotoCodecEntry[] = "KestruneOpenPhotoCodec";

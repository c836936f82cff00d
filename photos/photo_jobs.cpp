// Photo jobs handed to the loaded photo codec and their results taken back, the same on
// every platform; the facts the codec is given (quality, pixel limit) and the words of its
// refusals are the program's, written here once.
#include "photos/photo_jobs.h"

#include <algorithm>
#include <cstdio>

namespace {

// The run's jobs as the codec sees them; the names point into the caller's jobs.
std::vector<PhotoJob>* Jobs = nullptr;
std::vector<KestrunePhotoJob> Work;

// Why the codec did not make a job's thumbnail, in the program's words where it gave a code.
std::string FailureOf(const KestrunePhotoJob& done) {
  if (done.failureCode != kPhotoTooLarge) return done.failure;
  char text[160];
  std::snprintf(text, sizeof text,
                "claims %lldx%lld pixels, more than a photo may have (%lld million)",
                done.claimedWidth, done.claimedHeight, kPhotoPixelLimit / 1000000);
  return text;
}

}  // namespace

void StartPhotoJobs(std::vector<PhotoJob>* jobs) {
  StopPhotoJobs();
  Jobs = jobs;
  Work.assign(jobs->size(), KestrunePhotoJob{});
  for (std::size_t i = 0; i < jobs->size(); ++i) {
    const PhotoJob& job = (*jobs)[i];
    KestrunePhotoJob& work = Work[i];
    work.photo = job.photo.c_str();
    work.pixelLimit = kPhotoPixelLimit;
    work.pictureCount =
        static_cast<int>(std::min<std::size_t>(job.wanted.size(), kPhotoMostPictures));
    for (int p = 0; p < work.pictureCount; ++p) {
      work.pictures[p].edge = job.wanted[p].edge;
      work.pictures[p].whenLongerThan = job.wanted[p].whenLongerThan;
      work.pictures[p].quality = job.wanted[p].quality;
    }
  }
  // Two photos a core ahead: a core that finished its photo begins the next while the program
  // writes the one before. Eight cores make thumbnails faster than a disk gives photos, and keep
  // what many cores would hold at once (a photo read whole each) in bounds.
  const unsigned threads = std::min(PhotoThreads(), 8u);
  LoadedPhotoCodec().start(PhotoFiles(), Work.data(), Work.size(), threads,
                           2 * std::size_t{threads});
}

void TakePhotoJob(std::size_t index) {
  if (Jobs == nullptr || index >= Work.size()) return;
  const KestrunePhotoCodec& codec = LoadedPhotoCodec();
  codec.wait(index);
  PhotoJob& job = (*Jobs)[index];
  KestrunePhotoJob& done = Work[index];
  job.made = done.made != 0;
  job.failure = FailureOf(done);
  job.pictures.assign(static_cast<std::size_t>(done.pictureCount), PictureMade());
  for (int p = 0; p < done.pictureCount; ++p) {
    const KestrunePicture& picture = done.pictures[p];
    PictureMade& made = job.pictures[static_cast<std::size_t>(p)];
    made.made = picture.made != 0;
    made.jpeg.assign(reinterpret_cast<const char*>(picture.jpeg), picture.jpegSize);
    made.width = picture.width;
    made.height = picture.height;
  }
  job.exif.assign(reinterpret_cast<const char*>(done.exif), done.exifSize);
  job.xmp.assign(reinterpret_cast<const char*>(done.xmp), done.xmpSize);
  job.width = done.photoWidth;
  job.height = done.photoHeight;
  codec.release(&done);
}

void StopPhotoJobs() {
  if (Jobs == nullptr) return;
  const KestrunePhotoCodec& codec = LoadedPhotoCodec();
  codec.stop();
  for (KestrunePhotoJob& job : Work) codec.release(&job);  // made ahead, never taken
  Work.clear();
  Jobs = nullptr;
}

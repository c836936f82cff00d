#include "photos/photo_jobs.h"

void RunThumbnailJobs(const KestrunePhotoCodec& codec, std::vector<ThumbnailJob>* jobs,
                      unsigned threads) {
  std::vector<KestrunePhotoJob> work(jobs->size());
  for (std::size_t i = 0; i < jobs->size(); ++i) {
    work[i] = KestrunePhotoJob{};
    work[i].photo = (*jobs)[i].photo.c_str();
    work[i].edge = (*jobs)[i].edge;
    work[i].pixelLimit = kPhotoPixelLimit;
  }
  codec.makeThumbnails(work.data(), work.size(), threads);
  for (std::size_t i = 0; i < jobs->size(); ++i) {
    ThumbnailJob& job = (*jobs)[i];
    const KestrunePhotoJob& done = work[i];
    job.made = done.made != 0;
    job.failure = done.failure;
    job.jpeg.assign(reinterpret_cast<const char*>(done.jpeg), done.jpegSize);
    job.exif.assign(reinterpret_cast<const char*>(done.exif), done.exifSize);
    job.xmp.assign(reinterpret_cast<const char*>(done.xmp), done.xmpSize);
    job.width = done.width;
    job.height = done.height;
    codec.release(&work[i]);
  }
}

// A system without the photo codec (Windows for now): a folder run says so and stops.
#include "photos/photos.h"

bool IsFolderPath(const std::string&) {
  return false;
}

bool ListWorkingFolder(std::vector<FolderEntry>*) {
  return false;
}

bool ReadFileHead(const std::string&, std::size_t, std::string*) {
  return false;
}

bool OpenPhotoCodec(std::string* why) {
  *why = "this build makes no thumbnails";
  return false;
}

void MakeThumbnails(std::vector<ThumbnailJob>*) {}

std::size_t PhotoBatchSize() {
  return 1;
}

// Writes a benchmark gallery contact sheet: make_gallery IMAGES FILE [--thumbnails]
// With --thumbnails it also creates the (empty) thumbnail files the sheet shows, beside it.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/gallery.h"

namespace {

bool WriteFile(const std::string& path, const std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() &&
      std::fclose(file) == 0)
    return true;
  std::perror(path.c_str());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  const bool thumbnails = argc == 4 && std::strcmp(argv[3], "--thumbnails") == 0;
  if ((argc != 3 && !thumbnails) || std::atoi(argv[1]) <= 0) {
    std::fprintf(stderr, "usage: make_gallery IMAGES FILE [--thumbnails]\n");
    return 2;
  }
  const int images = std::atoi(argv[1]);
  const std::string path = argv[2];
  if (!WriteFile(path, MakeGallery(images))) return 1;
  if (thumbnails) {
    const std::string folder = path.substr(0, path.rfind('/') + 1);
    for (const std::string& image : GalleryImages(images)) {
      if (!WriteFile(folder + ThumbnailName(image), "")) return 1;
    }
  }
  return 0;
}

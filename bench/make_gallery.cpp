// Writes a benchmark gallery contact sheet: make_gallery IMAGES FILE [--thumbnails | --folder]
// With --thumbnails it also creates the (empty) thumbnail files the sheet shows, beside it.
// With --folder it writes the hand-made layout instead: the photos and one thumbnail in twenty
// (empty files) in img/ beside the sheet.
// make_gallery IMAGES --list [--folder] prints the sheet's images instead, one a line, in the
// order a run makes their slides.
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
  const bool folder = argc == 4 && std::strcmp(argv[3], "--folder") == 0;
  if ((argc == 3 || folder) && std::strcmp(argv[2], "--list") == 0 && std::atoi(argv[1]) > 0) {
    const int images = std::atoi(argv[1]);
    for (const std::string& image : folder ? FolderGalleryImages(images) : GalleryImages(images))
      std::printf("%s\n", image.c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  const bool thumbnails = argc == 4 && std::strcmp(argv[3], "--thumbnails") == 0;
  if ((argc != 3 && !thumbnails && !folder) || std::atoi(argv[1]) <= 0) {
    std::fprintf(stderr,
                 "usage: make_gallery IMAGES FILE [--thumbnails | --folder] | "
                 "make_gallery IMAGES --list [--folder]\n");
    return 2;
  }
  const int images = std::atoi(argv[1]);
  const std::string path = argv[2];
  if (folder) {
    const std::string beside = path.substr(0, path.rfind('/') + 1);
    if (!WriteFile(path, MakeFolderGallery(images))) return 1;
    if (std::system(("mkdir -p '" + beside + "img'").c_str()) != 0) return 1;
    for (const std::string& file : FolderGalleryImages(images)) {
      if (!WriteFile(beside + file, "")) return 1;
    }
    for (const std::string& file : FolderGalleryThumbnails(images)) {
      if (!WriteFile(beside + file, "")) return 1;
    }
    return 0;
  }
  if (!WriteFile(path, MakeGallery(images))) return 1;
  if (thumbnails) {
    const std::string folder = path.substr(0, path.rfind('/') + 1);
    for (const std::string& image : GalleryImages(images)) {
      if (!WriteFile(folder + ThumbnailName(image), "")) return 1;
    }
  }
  return 0;
}

// Writes a benchmark gallery contact sheet: make_gallery IMAGES FILE
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/gallery.h"

int main(int argc, char** argv) {
  if (argc != 3 || std::atoi(argv[1]) <= 0) {
    std::fprintf(stderr, "usage: make_gallery IMAGES FILE\n");
    return 2;
  }
  const std::string page = MakeGallery(std::atoi(argv[1]));
  std::FILE* file = std::fopen(argv[2], "wb");
  if (file == nullptr || std::fwrite(page.data(), 1, page.size(), file) != page.size() ||
      std::fclose(file) != 0) {
    std::perror(argv[2]);
    return 1;
  }
  return 0;
}

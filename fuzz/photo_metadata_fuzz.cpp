// Fuzz target: what kestrune reads of a photo and of a thumbnail itself (libvips decodes the
// pixels): the EXIF description, orientation, the XMP description and title, the caption chosen
// from them, the thumbnail's mark, and the metadata blocks and size read from a photo's bytes. The
// input is split at its first two zero bytes into an EXIF block, an XMP packet and a file's first
// bytes. A mark written must read back the same.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "gallery/gallery_metadata.h"
#include "photos/photo_metadata.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t first = std::min(input.find('\0'), input.size());
  const std::size_t second = std::min(input.find('\0', first + 1), input.size());
  const std::string exif = input.substr(0, first);
  const std::string xmp = first < input.size() ? input.substr(first + 1, second - first - 1) : "";
  const std::string head = second < input.size() ? input.substr(second + 1) : input;

  const std::string caption = ChooseCaption(exif, xmp, "photo.jpg");
  // The reader of a photo's own bytes (the whole input as a file): what it finds must be a part
  // of the file, and the orientation within 1-8.
  std::string foundExif, foundXmp;
  FindPhotoMetadata(input, &foundExif, &foundXmp);
  long long width = 0, height = 0;
  PhotoPixelSize(input, &width, &height);
  JpegEndsWhole(input);
  const int orientation = ExifOrientation(exif);
  if (orientation < 1 || orientation > 8 || ExifOrientation(foundExif) < 1 ||
      input.find(foundExif) == std::string::npos || input.find(foundXmp) == std::string::npos) {
    std::fprintf(stderr, "the photo reader went wrong\n");
    std::abort();
  }
  ThumbnailMark mark;
  if (ReadThumbnailMark(head, &mark)) {
    ThumbnailMark again;
    const std::string remade = MarkedThumbnail("\xFF\xD8", mark);
    if (!ReadThumbnailMark(remade, &again) || again.caption != mark.caption.substr(0, 1000) ||
        again.photoSize != mark.photoSize || again.width != mark.width) {
      std::fprintf(stderr, "a mark read back differs\n");
      std::abort();
    }
  }
  mark.caption = caption;
  ThumbnailMark read;
  if (!ReadThumbnailMark(MarkedThumbnail("\xFF\xD8\xFF\xD9", mark), &read) ||
      read.caption != caption.substr(0, 1000)) {
    std::fprintf(stderr, "the caption %s does not survive its mark\n", caption.c_str());
    std::abort();
  }
  return 0;
}

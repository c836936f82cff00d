// What kestrune reads of a photo's bytes itself, the same on every platform: where its EXIF
// block and XMP packet are, its size in pixels from its header, and the EXIF fields a thumbnail
// needs (the orientation, and the description for captions). Nothing here trusts a length.
#pragma once

#include <string>
#include <string_view>

// The unsigned number of `width` bytes (at most 4) at bytes[at], in either byte order; the caller
// has checked that they are there.
unsigned ReadNumber(std::string_view bytes, std::size_t at, std::size_t width, bool bigEndian);

// One field of an EXIF block's first image directory: its type, count and value bytes (in the
// entry itself when they fit in four bytes), and the byte order of the block.
struct ExifField {
  unsigned type = 0;
  unsigned count = 0;
  std::string_view value;
  bool bigEndian = false;
};

// The first field tagged `tag` of type `type` in the first image directory of `exif` (a TIFF
// structure, with or without the "Exif\0\0" in front); false when there is none, or when the
// block is malformed where that field is.
bool FindExifField(std::string_view exif, unsigned tag, unsigned type, ExifField* field);

// The same in the EXIF sub-directory (the one IFD0's tag 0x8769 points at), where the camera's
// settings and the times a photo was taken stand.
bool FindExifSubField(std::string_view exif, unsigned tag, unsigned type, ExifField* field);

// When a photo was taken, as its EXIF says: DateTimeOriginal, and with OffsetTimeOriginal where
// given. `seconds` counts from 1970-01-01 00:00: UTC where the offset is known (`zoned`), else the
// camera's clock read as if it were UTC. `date` is the day as the camera wrote it, "YYYY-MM-DD".
struct TakenTime {
  long long seconds = 0;
  bool zoned = false;
  std::string date;
};
bool ExifTakenTime(std::string_view exif, TakenTime* taken);

// The EXIF orientation (1-8: 1 upright, 6 turned a quarter clockwise to be upright, ...); 1 when
// the block has none or a value outside 1-8.
int ExifOrientation(std::string_view exif);

// The EXIF block and XMP packet of a JPEG (APP1 segments before the image data), a PNG (eXIf
// and an iTXt "XML:com.adobe.xmp" chunk, uncompressed) or a WebP photo (its EXIF and XMP
// chunks); empty where the file holds none. A JPEG's EXIF block keeps its "Exif\0\0" in front,
// as libvips gives it.
void FindPhotoMetadata(std::string_view file, std::string* exif, std::string* xmp);

// The size in pixels that a JPEG, PNG or GIF file's header claims; false for any other file or
// a header cut short.
bool PhotoPixelSize(std::string_view file, long long* width, long long* height);

// True when a JPEG's entropy-coded data ends with its end-of-image marker: a file cut short
// (copied in part, or written by a camera whose card filled) does not.
bool JpegEndsWhole(std::string_view file);

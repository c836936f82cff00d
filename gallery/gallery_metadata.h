// What a folder gallery reads from a photo's metadata (its caption) and keeps in a thumbnail
// (kestrune's mark): both are byte formats of ours, read here without trusting any length.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The ImageDescription of the first image directory of an EXIF block (a TIFF structure, with or
// without the "Exif\0\0" in front); empty when there is none or the block is malformed.
std::string ExifImageDescription(std::string_view exif);

// The words that name the camera a photo was taken with: its make and model from the EXIF block
// and from the XMP packet, lower case.
std::vector<std::string> CameraWords(std::string_view exif, std::string_view xmp);

// The text of dc:description, else of dc:title, in an XMP packet (its first alternative), with
// XML's character references decoded; empty when there is none. A description that only names
// the camera (`camera`, see ChooseCaption) gives way to the title.
std::string XmpDescription(std::string_view xmp, const std::vector<std::string>& camera = {});

// A photo's caption: the first of the EXIF description and the XMP description that says
// something, blanks around it trimmed and control bytes made blanks; else the file name without
// its extension. A description that only names the camera says nothing: all its words are words
// of the camera's make or model, words cameras write for any photo ("DIGITAL CAMERA", "DSC",
// "Exif_JPEG_PICTURE", "untitled"), or numbers, in any case, padded or not.
std::string ChooseCaption(std::string_view exif, std::string_view xmp, std::string_view photo);

// The mark of a thumbnail or copy kestrune made of a photo, a JPEG comment right behind its
// start: what it was made from (the photo's size and modification time, the size setting) and
// what the sheet and the next run need of it without decoding the photo again (its own size, the
// photo's caption, and the photo's size in pixels, upright: 0 in marks of earlier versions).
struct ThumbnailMark {
  unsigned long long photoSize = 0;
  long long photoModified = 0;
  int edge = 0;
  int width = 0, height = 0;
  std::string caption;
  int photoWidth = 0, photoHeight = 0;
  // When the photo was taken, as its EXIF says (TakenTime): seconds and the day written; not
  // known (`takenDay` empty) for a photo that does not say it.
  long long taken = 0;
  std::string takenDay;
};

// The text that begins every mark: a file that holds it in its first bytes is a thumbnail of
// kestrune's (the file layer's marker for thumbnails).
inline constexpr char kThumbnailMarker[] = "Kestrune thumbnail 1;";

// `jpeg` (which begins with its start-of-image marker) with the mark as a comment segment right
// behind that marker; empty when `jpeg` is no JPEG.
std::string MarkedThumbnail(std::string_view jpeg, const ThumbnailMark& mark);

// The mark of a file whose first bytes are `head`; false when it carries none (a file of the
// user's, or a thumbnail cut short).
bool ReadThumbnailMark(std::string_view head, ThumbnailMark* mark);

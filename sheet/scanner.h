// Reading a contact sheet's text: the links to images in document order, the caption of each,
// and the sheet's title. Plain forward scans over [text, end), where `end` is the text's first
// zero byte: nothing is read at or past it, and nothing is kept between calls.
#pragma once

#include <string>
#include <string_view>

// Which links lead to images: in any contact sheet those whose target ends in .jpg, .gif, .png,
// .jpe or .jpeg; in a sheet kestrune wrote for a folder, those to photos of every kind it reads
// (HasPhotoExtension), HEIC and TIFF among them.
enum class ImageLinks { SheetImages, Photos };

// The next acceptable image link at or after `from`: an anchor whose quoted target leads to an
// image (`kinds`, in any case) and does not repeat `last`, the image found before it (compared
// without regard to case). Sets *target to the link's target, a view into the text, and returns
// the ">" that closes its anchor tag; nullptr when none is left. When `anchor` is given, it
// receives the "<" that opens that tag.
const char* FindNextImageLink(const char* from, const char* end, std::string_view last,
                              std::string_view* target, const char** anchor = nullptr,
                              ImageLinks kinds = ImageLinks::SheetImages);

// The visible text of the anchor whose tag ends at `from`, into `out`; an anchor that shows no
// text (only an image) is captioned with `image`, its target, and *showsOnlyImage, when given,
// says so. Returns where the caption ended.
const char* ExtractCaption(const char* from, const char* end, std::string_view image,
                           std::string& out, bool* showsOnlyImage = nullptr);

// The text of the first title tag of the text, into `out` (unchanged when there is none).
// Returns where copying stopped, or nullptr.
const char* ExtractTitle(const char* text, const char* end, std::string& out);

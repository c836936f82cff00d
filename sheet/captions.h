// Captions for anchors that show only an image (a thumbnail), taken from what the contact sheet
// says about the image elsewhere.
#pragma once

#include <string>
#include <string_view>

#include "sheet/scanner.h"

// For the image anchor whose tag opens at `anchor` and closes at `tagEnd`, and whose caption
// ended at `captionEnd`: the visible text of the anchors right behind it that link the same
// `image` again (the repeats a scan skips), else the alt text of the image it shows, else its
// title. Fills `out` and returns true when one of them holds a visible character; text and
// entities stay as written, blanks around them dropped.
bool FindImageCaption(const char* anchor, const char* tagEnd, const char* captionEnd,
                      const char* end, std::string_view image, std::string& out,
                      ImageLinks kinds = ImageLinks::SheetImages);

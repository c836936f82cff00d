// Names in a folder gallery: the photos' order, and how the contact sheet links and shows them
// (which files are photos and what their thumbnails are named: names/file_names.h).
#pragma once

#include <string>
#include <string_view>

// Natural order: letters compared without regard to case, runs of digits as numbers (IMG_9
// before IMG_10); names equal so far by that are ordered by their bytes, so the order is total.
bool NaturalLess(std::string_view a, std::string_view b);

// A file name as a link value that a browser opens as that very file and that kestrune's own
// reading decodes back to the name: "%" followed by two hexadecimal digits for every byte that a
// browser would read otherwise (blank, "#", "%", "&", "<", ">", quotes, "?", "\", ":", control
// bytes) and every byte above 127.
std::string LinkToName(std::string_view name);

// Text for an HTML page: "&", "<", ">" and '"' as character references, control bytes blanks.
std::string HtmlText(std::string_view text);

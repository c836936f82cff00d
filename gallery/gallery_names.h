// Names in a folder gallery: which files are photos, their order, their thumbnails' names, and
// how the contact sheet links them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// A photo's name ends in one of the image extensions a contact sheet's links are read with
// (.jpg, .jpe, .jpeg, .gif, .png), in any case, and has something before it.
bool IsPhotoName(std::string_view name);

// Natural order: letters compared without regard to case, runs of digits as numbers (IMG_9
// before IMG_10); names equal so far by that are ordered by their bytes, so the order is total.
bool NaturalLess(std::string_view a, std::string_view b);

// The two names the PREVIOUS icon is looked for under, in that order: a.png gives a_t.jpg, then
// tn_a_png.jpg.
std::string ThumbnailFirstChoice(std::string_view photo);
std::string ThumbnailSecondChoice(std::string_view photo);

// The thumbnail's name for each of `photos`, where the icon lookup will find it: the first
// choice, unless another photo has the same name before its extension (a.jpg and a.png), since
// the lookup would find that one name for both; each such photo then gets its second choice.
std::vector<std::string> ThumbnailNames(const std::vector<std::string>& photos);

// `candidates` without the names where the icon lookup looks for another candidate's thumbnail:
// such a file is that photo's thumbnail, not a photo of its own (a_t.jpg beside a.jpg).
std::vector<std::string> WithoutThumbnailsOfOthers(const std::vector<std::string>& candidates);

// A file name as a link value that a browser opens as that very file and that kestrune's own
// reading decodes back to the name: "%" followed by two hexadecimal digits for every byte that a
// browser would read otherwise (blank, "#", "%", "&", "<", ">", quotes, "?", "\", ":", control
// bytes) and every byte above 127.
std::string LinkToName(std::string_view name);

// Text for an HTML page: "&", "<", ">" and '"' as character references, control bytes blanks.
std::string HtmlText(std::string_view text);

// A link value of the sheet back to its file name: every "%" with two hexadecimal digits decoded
// (the sheet's links hold no character references).
std::string DecodedLink(std::string_view link);

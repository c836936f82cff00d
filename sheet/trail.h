// The trail of a folder's sheet in a tree of albums: the folders from the top down to its own, as
// a sheet kestrune wrote shows them (a paragraph of class "trail"), read back so that its slide
// pages can show the same way up.
#pragma once

#include <string_view>
#include <vector>

// One folder of the trail: its sheet's link (empty for the sheet's own folder) and its name, as
// written in the sheet.
struct TrailLink {
  std::string_view link;
  std::string_view name;
};

// The trail of the sheet [text, end): the first paragraph of class "trail", its links and its
// last name; empty when there is none or it is malformed.
std::vector<TrailLink> ReadTrail(const char* text, const char* end);

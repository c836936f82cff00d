// Contact sheets shaped like the gallery pages that photo programs write, for benchmarks.
#pragma once

#include <string>

// A gallery page of `images` images, four to a table row: mostly a thumbnail anchor followed by
// a caption anchor to the same image, some captions inside the thumbnail's anchor after a
// "<br>", some images with no caption at all. The same count always gives the same bytes.
std::string MakeGallery(int images);

// Contact sheets shaped like the gallery pages that photo programs write, for benchmarks.
#pragma once

#include <string>
#include <vector>

// A gallery page of `images` images, four to a table row: mostly a thumbnail anchor followed by
// a caption anchor to the same image, some captions inside the thumbnail's anchor after a
// "<br>", some images with no caption at all. The same count always gives the same bytes.
std::string MakeGallery(int images);

// The images of MakeGallery(images) in order, and the thumbnail each one shows ("a.jpg" shows
// "a_t.jpg", the name the slide show looks for as the PREVIOUS icon).
std::vector<std::string> GalleryImages(int images);
std::string ThumbnailName(const std::string& image);

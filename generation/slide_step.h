// The slide step: one image's line of the combined page and its two slide pages.
#pragma once

#include <string>

// Moves the slots one image on and writes that image's line and pages. Returns the position of
// the next search, or nullptr when the current image was the last one.
const char* GenerateSlide(const char* from);

// Helpers of the step, visible for their tests.

// The name cut before its last "."; a name without "." is its own base.
std::string BaseName(const std::string& name);

// The small PREVIOUS icon: previous_t.jpg, else tn_previous_ext.jpg, else the current image.
// Candidates are link targets, looked for under their decoded names.
std::string FindThumbnail(const std::string& previousImage, const std::string& currentImage);

// The small picture that stands for `image` on a modern page: its thumbnail by the same rule,
// else the image itself.
std::string ThumbnailOf(const std::string& image);

// The slide step: one image's line of the combined page and its two slide pages.
#pragma once

#include <string>

// Moves the slots one image on and writes that image's line and pages. Returns the position of
// the next search, or nullptr when the current image was the last one.
const char* GenerateSlide(const char* from);

// The name cut before its last "."; a name without "." is its own base.
std::string BaseName(const std::string& name);

// The small picture that stands for `image` on a modern page: its thumbnail by the same rule,
// else the image itself.
std::string ThumbnailOf(const std::string& image);

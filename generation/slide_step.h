// Helpers of the slide step, visible for their tests.
#pragma once

#include <string>

// The name cut before its last "."; a name without "." is its own base.
std::string BaseName(const std::string& name);

// The small PREVIOUS icon: previous_t.jpg, else tn_previous_ext.jpg, else the current image.
// Candidates are link targets, looked for under their decoded names.
std::string FindThumbnail(const std::string& previousImage, const std::string& currentImage);

// True when `name`, read lexically, stays inside the working folder: not absolute, no ":",
// and no ".." that climbs above the folder ("/" and "\" both separate).
bool IsInsideSheetFolder(const std::string& name);

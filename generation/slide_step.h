// The slide step of a run: one image's line of the combined page and its two slide pages.
#pragma once

// Moves the slots one image on and writes that image's line and pages. Returns the position of
// the next search, or nullptr when the current image was the last one.
const char* GenerateSlide(const char* from);

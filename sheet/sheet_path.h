// The contact sheet's path as a command line or the file chooser gives it.
#pragma once

#include <string>

// Strips trailing bytes of 0x20 and below and, for a path that begins with a double quote,
// keeps only what stands between it and the next double quote. The first character is never
// stripped, so only a text of double quotes can become empty.
void CleanPath(std::string& path);

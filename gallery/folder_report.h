// What a run on a folder would do, and the undoing of what runs did: --dry-run FOLDER and
// --clean FOLDER. Neither loads the photo module, and both tell their result line by line
// (TellResultLine), ending with a summary (ShowResult).
#pragma once

#include <string>

// One line a file for the thumbnails and the contact sheet, what a run would do (create,
// replace, keep, remove), then a summary; writes nothing. Returns the status the run would end
// with.
int DryRunFolder(const std::string& folder);

// Removes the slide show of the folder's sheet (as --clean of that sheet does), the thumbnails
// of kestrune's and the sheet itself, nothing else; returns 0 when all that was found was
// removed, 1 when anything was kept or not removed.
int CleanFolder(const std::string& folder);

// A run on a folder of photos: its thumbnails and its contact sheet (index.html), made before
// the slide show of that sheet is made as for any sheet. The window procedure drives it one photo
// per message, so progress is painted and a signal is heard after every photo, while the cores
// make the next photos' thumbnails in the background.
#pragma once

#include <string>

#include "pages/page_style.h"

// Starts a run on `folder` (which becomes the working folder): the photo module loaded, the
// photos listed, every decision taken (which thumbnails to make, keep or remove), and the
// thumbnails begun in the background. False after a
// message said why nothing can be done: the codec is missing, the folder cannot be read, or
// index.html there is a file of the user's.
bool BeginFolderRun(const std::string& folder, const PageStyle& style);

// Takes the next photo's thumbnail once it is made and writes it (a photo whose thumbnail stands
// already passes at once); false when no photo is left. *status receives "photo N of M: NAME" for
// the progress shown.
bool MakeNextThumbnail(std::string* status);

// Removes the thumbnails and pages of kestrune's whose photos are gone, and writes the contact
// sheet of the photos done so far (all of them, unless the run was stopped). False when it could
// not be written. The slide show of kestrune_gallery's index.html is then made by a sheet run.
bool FinishFolderRun();

// Whether a message about a photo was shown during the run (the run's status is then 1).
bool FolderRunFailed();

// --dry-run FOLDER: one line a file for the thumbnails and the contact sheet, what a run would
// do (create, replace, keep, remove), then the pages as a run of the sheet would write them, and
// a summary. --clean FOLDER: the slide show, the thumbnails and the contact sheet of kestrune's
// removed, nothing else. Both return the exit status; neither loads the photo module.
int DryRunFolder(const std::string& folder);
int CleanFolder(const std::string& folder, int (*cleanSlideShow)());

// Making a planned folder gallery: its thumbnails, taken one photo at a time while the cores make
// the next ones in the background, then the files of photos that are gone removed and the contact
// sheet written. Every message about a file is a box titled with its name, and marks the gallery
// failed.
#pragma once

#include <string>

#include "gallery/folder_plan.h"
#include "pages/page_style.h"

// Tells what the plan noticed (one message a file), then begins making the thumbnails the plan
// calls for; the photo codec is loaded only when there is one to make. False, with what is
// missing in *why, when the codec cannot be had.
bool BeginThumbnails(FolderGallery& gallery, std::string* why);

// Takes the next photo's thumbnail once it is made and writes it (a photo whose thumbnail stands
// already passes at once); false when no photo is left. *progress receives "photo N of M: NAME".
bool MakeNextThumbnail(FolderGallery& gallery, std::string* progress);

// Begins no further thumbnail (those in hand are finished), removes the files of kestrune's whose
// photos are gone, and writes the contact sheet of the albums and the photos done so far. A folder
// without either keeps no sheet and no slide show of kestrune's; one of albums alone keeps no
// slide show. False, after its message, when the sheet could not be written.
bool FinishGallery(FolderGallery& gallery, const PageStyle& style);

// Writes the contact sheet of the albums and the photos done so far, and nothing else. False,
// after its message, when it could not be written.
bool WriteSheet(FolderGallery& gallery, const PageStyle& style);

// What the sheet of the folder above says of this folder as an album: how many photos it holds
// in all (its own listed so far, and its albums'), the days they span, and its cover (its first
// photo's thumbnail, else its first album's cover). Its folder name is the caller's to set.
AlbumEntry SummaryOf(const FolderGallery& gallery);

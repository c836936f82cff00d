// A run on folders of photos, one after another in one process: for each folder its thumbnails
// and contact sheet (index.html), then the slide show of that sheet written exactly as a run of
// the sheet writes it, with the generation record made fresh. The window procedure drives it, one
// step a message: a photo's thumbnail, or one image's slides, so progress is painted and a signal
// is heard after each, while the cores make the next photos' thumbnails in the background.
#pragma once

#include <string>
#include <vector>

#include "pages/page_style.h"

// Begins the run on `folders` (each named as the user named it, relative to `startFolder`, the
// working folder the program started in) in the page style `style`, photos and albums in `order`
// ("name" or "date"; empty: as each sheet kept it). Each folder is the top of a tree: every folder
// of it that holds photos, or albums, is an album, made after the albums in it (its sheet lists
// them); its first album is planned and its thumbnails begun. False after a message said why the
// first tree cannot be made: its top cannot be entered or read, holds no photo anywhere, its
// index.html is a file of the user's, or the photo codec is missing. A later album or tree that
// cannot be made is told the same way and passed over.
bool BeginFolderRun(const std::vector<std::string>& folders, const PageStyle& style,
                    const std::string& startFolder, const std::string& order = std::string());

// True from a successful BeginFolderRun until its last step or EndFolderRunEarly.
bool FolderRunActive();

enum class FolderStep { More, Done, Failed };

// One step: the next photo's thumbnail, or the sheet once they are made, or one image's slides,
// or the walk on to the next album. More while steps remain; Done after the last folder's slide
// show; Failed when a sheet could not be written or its slide show not begun (after the message).
FolderStep StepFolderRun();

// The progress of the album being made while its thumbnails are taken ("photo N of M: NAME"; in a
// tree of albums "album K of N: NAME, photo I of M"); empty once its slide show is written, where
// the image found is the status text.
const std::string& FolderRunProgress();

// Whether a message about a file or folder was shown during the run (its status is then 1).
bool FolderRunFailed();

// The run is to end (a signal, the window closed): the photos in hand are finished, the sheet and
// slide show of the album in hand written with the photos done, then the sheets of the folders
// above it; no further album is begun.
void EndFolderRunEarly();

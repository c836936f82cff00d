// A run on a folder, as the window procedure drives it: one message per batch of thumbnails,
// then the Open command again on the folder's new contact sheet, which runs as any sheet does.
#pragma once

#include <cstdint>

// wParam of the step message (MsgStep) that makes the next batch of thumbnails.
constexpr std::uintptr_t kFolderStep = 1;

// When the path to open names a folder: begins its run and schedules its first step, or, when
// it cannot begin, closes the window after the message said why. False when the path names no
// folder (the caller opens it as a contact sheet).
bool StartFolderRun();

// One batch of thumbnails, with its progress; the next step, or the Open command on the sheet.
void OnFolderStep();

// The run is to end (a signal, the window closed) while thumbnails are made: writes the sheet of
// the photos done and its whole slide show at once. False when no folder run was under way.
bool EndFolderRunEarly();

// --dry-run FOLDER and --clean FOLDER; -1 when the path names no folder.
int RunFolderReport(bool clean);

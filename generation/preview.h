// Preview and undo: what a run of the contact sheet would do to each file, and the removal of
// the slide show a run wrote. Both start as a run starts, read the images in the same order, and
// tell their result line by line (TellResultLine), ending with a summary (ShowResult).
#pragma once

#include <string>

// Writes nothing. One line per file, in the order a run would write it: "create NAME",
// "replace NAME" (an earlier page, an empty file, or a page this run wrote already), "keep NAME
// (REASON)" (a file kestrune did not write) or "refuse NAME (REASON)"; an allin1.html that a run
// could not write stops here as the run stops. Returns the status the run would have: 0, or 1
// when anything would be kept or refused; 1 as well when the start fails (after its message) or
// the result cannot be shown; 0 when the dialog returned no file.
int DryRun();

// Removes both pages of every image and allin1.html where they carry the page marker: one line
// "removed NAME" each, "kept NAME (REASON)" for a file kestrune did not write or that is no
// regular file, "refused NAME (REASON)" for a name no run writes (outside the folder, a device),
// "not removed NAME (REASON)" for a page that could not be removed. Returns 0 when every file
// found was removed (or none was found), 1 otherwise or when the start fails; 0 when the dialog
// returned no file. Its summary ends the result shown, or, with `summaryAsLine` (the clean of a
// folder, which shows one result for the slide show and the thumbnails), is told as one notable
// line of that result.
int CleanSlideShow(bool summaryAsLine = false);

// The folder of a tree that the names of the lines told from now on lie in, with its separator
// ("2024/Rome/"; empty: the sheet's own folder), so that each line names its file from the top.
void NameResultsIn(const std::string& folder);

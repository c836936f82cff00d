// Start and finish of a generation: the sheet read, the combined page begun and finished.
#pragma once

#include <string>

#include "names/file_names.h"
#include "platform/platform.h"

// How a start ended: Started; Cancelled, the dialog returned no file; Failed, after a message box
// said why. The values are the small integers the window procedure has always been given.
enum class StartResult { Failed = -1, Cancelled = 0, Started = 1 };

// The start every kind of run shares: the contact sheet chosen (the dialog when none was given),
// loaded, its folder entered, and its first image with its caption read into the slots
// (ScanPosition is where the search for the next one goes on).
StartResult BeginReadingSheet();
// Releases the contact sheet again (a dry run's and a clean's end).
void EndReadingSheet();

// BeginReadingSheet, then the combined page created; once Started, the caller schedules the
// first slide step.
StartResult BeginGeneration();

// Writes the combined page's trailer, closes it and releases the contact sheet. Safe to call
// whether or not a generation started.
void FinishGeneration();

// Makes the record fresh for another generation of this process, whose input is `sheet` (a run
// that makes the galleries of several folders, one after another): nothing of the last one stays
// behind but what belongs to the process, the window, the folder it started in, the page style
// and whether a failure was reported. The last generation must be finished.
void PrepareGenerationOf(const std::string& sheet);

// One slide step of the generation begun, as the step message runs it: false once the last
// image was written (or none is left to write).
bool WriteNextSlide();

// The failures a generation reports, and how.
#include "generation/failures.h"

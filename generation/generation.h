// Start and finish of a generation, and the one way every part of it reports a failure.
#pragma once

#include <string>

#include "platform/platform.h"

// The combined page, written beside the contact sheet.
inline constexpr char kCombinedPageName[] = "allin1.html";

// The start every kind of run shares: the contact sheet chosen (the dialog when none was given),
// loaded, its folder entered, and its first image with its caption read into the slots
// (ScanPosition is where the search for the next one goes on). 1: started; 0: the dialog returned
// no file; -1: the start failed after a message box said why.
int BeginReadingSheet();

// BeginReadingSheet, then the combined page created. 1: started, the caller schedules the first
// slide step; 0: the dialog returned no file; -1: the start failed after a message box said why.
int BeginGeneration();

// Writes the combined page's trailer, closes it and releases the contact sheet. Safe to call
// whether or not a generation started.
void FinishGeneration();

// The failures a generation reports, and how.
#include "generation/failures.h"

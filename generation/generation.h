// Start and finish of a generation, and the failure report shared by every subsystem.
#pragma once

#include <string>

#include "shell/platform.h"

// 1: started, the caller schedules the first slide step; 0: the dialog returned no file;
// -1: the start failed after a message box said why.
int BeginGeneration();

// Writes the combined page's trailer, closes it and releases the contact sheet. Safe to call
// whether or not a generation started.
void FinishGeneration();

// Moves the slots one image on and writes that image's line and pages. Returns the position of
// the next search, or nullptr when the current image was the last one.
const char* GenerateSlide(const char* from);

// Shows a message box that reports a failure and remembers that one was shown.
void ReportFailure(PlatformWindow* owner, const std::string& text, const std::string& title,
                   BoxIcon icon);

// Closes the contact sheet's mapping and file, if open, and clears their slots.
void CloseContactSheet();

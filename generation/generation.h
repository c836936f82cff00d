// Start and finish of a generation, and the one way every part of it reports a failure.
#pragma once

#include <string>

#include "platform/platform.h"

// 1: started, the caller schedules the first slide step; 0: the dialog returned no file;
// -1: the start failed after a message box said why.
int BeginGeneration();

// Writes the combined page's trailer, closes it and releases the contact sheet. Safe to call
// whether or not a generation started.
void FinishGeneration();

// Shows a message box that reports a failure and remembers that one was shown, so the exit
// status never reports a failure as success.
void ReportFailure(PlatformWindow* owner, const std::string& text, const std::string& title,
                   BoxIcon icon);

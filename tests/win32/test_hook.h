// What the window tests and their hook DLL share: the query message, its kinds, where the
// answer goes, and the event that holds a run between two steps.
#pragma once

#include <cstddef>

// Posted to a window of kestrune.exe; wParam says what to describe.
constexpr const char* kQueryMessageName = "KestruneTestQuery";
constexpr unsigned kQueryWindow = 1;   // the main window's class, menu resource and menu
constexpr unsigned kQueryBoxIcon = 2;  // the icon of the message box it is posted to

// The answer: a zero-terminated text in a named shared memory block, then a named event set.
constexpr const char* kReplyMappingName = "KestruneTestReply";
constexpr const char* kReplyEventName = "KestruneTestReplied";
constexpr std::size_t kReplySize = 65536;

// The id of the icon control in Wine's message box.
constexpr int kBoxIconControl = 0x0440;

// While an event of this name exists, the query hook takes away the main window's step message
// that follows kStepsBeforeHold steps, so the run rests between two steps with more images to
// write; it then sets the event.
constexpr const char* kHoldStepsEventName = "KestruneTestHoldSteps";
constexpr int kStepsBeforeHold = 25;

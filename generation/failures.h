// Failures as the user is told of them: the fixed texts of every failure box of a generation,
// in one table, and the one way to show one.
#pragma once

#include <string>

#include "ui/user.h"

// Texts that end in a blank are followed by the path concerned.
inline constexpr char kSheetNotFound[] = "File not found: ";
inline constexpr char kSheetNotOpened[] = "Could not create mapping file for ";
inline constexpr char kSheetNotRead[] = "File map could not be opened for ";
inline constexpr char kSheetNotViewed[] = "Could not map view of file for ";
inline constexpr char kNoImagesFound[] = "Kestrune Err: No images found in input file";
inline constexpr char kCombinedPageFailure[] = "Kestrune Err: Unable to create AllIn1 file";
// The combined page was created but could not be completed and put in place.
inline constexpr char kCombinedPageIncomplete[] = "Kestrune Err: Unable to complete AllIn1 file";
inline constexpr char kSlidePageFailure[] = "Unable to create SlideShow file";

// Shows a message box that reports a failure and remembers that one was shown, so the exit
// status never reports a failure as success.
void ReportFailure(PlatformWindow* owner, const std::string& text, const std::string& title,
                   BoxIcon icon);

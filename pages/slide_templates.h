// The classic slide page kinds: the manual page (".htm") and the automatic page (".html"). The
// manual page uses playLink and no refresh; the automatic page uses refreshTarget and pauseLink.
#pragma once

#include <string>

#include "pages/page_style.h"

// The bytes of each page, line ends CR LF, to be written in one write, into `text` (its old
// content replaced; its room kept, so one buffer serves page after page).
void ManualPageText(const SlidePageValues& values, std::string& text);
void AutomaticPageText(const SlidePageValues& values, std::string& text);

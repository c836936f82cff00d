// The classic style's formats of the combined page "allin1.html": header, one line per image,
// trailer (the modern style makes its own in modern_pages.cpp).
#pragma once

#include "pages/page_marker.h"

// Values: SheetTitle, SheetName, SheetTitle.
inline constexpr const char* kCombinedPageHeader =
    "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 3.2//EN\">\n"
    "<HTML><HEAD><TITLE>All Images for %s</TITLE></HEAD>\n" KESTRUNE_PAGE_MARKER
    "\n"
    "<BODY BGCOLOR=\"#FFFFFF\" TEXT=\"#000000\">\n"
    "<center><h3><a href=\"%s\">%s</a></h3><p>\n";

// Value: CurrentImage. The line ends in a blank after "&nbsp;".
inline constexpr const char* kCombinedPageImageLine = "<img src=\"%s\"> &nbsp; \n";

// Values: SheetName, SheetTitle.
inline constexpr const char* kCombinedPageTrailer =
    "<h3><p><a href=\"%s\">Back to %s</a></h3></center></BODY></HTML>\n";

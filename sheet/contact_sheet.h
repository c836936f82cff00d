// Contact sheet input: choosing, loading and scanning the contact sheet.
#pragma once

#include <string>

// 1 when InputPath holds the cleaned path; 0 when the open-file dialog returned no file.
int SelectContactSheet();

// Strips trailing bytes of 0x20 and below and, for a path that begins with a double quote,
// keeps only what stands between it and the next double quote.
void CleanPath(std::string& path);

// 1 when the contact sheet is open, mapped, its folder is the working folder and SheetName,
// SheetFolder and CurrentImage are set; 0 after a message box said what failed.
int OpenContactSheet(const std::string& path);

// The next acceptable image link at or after `from`: copies its target into `last`, repaints
// the status text and returns the ">" that closes its anchor tag; nullptr when none is left.
const char* FindNextImageLink(const char* from, std::string& last);

// The visible text of the anchor whose tag ends at `from`, into `out`; returns where it ended.
const char* ExtractCaption(const char* from, std::string& out);

// The text of the first title tag of `text`, into `out` (unchanged when there is none). Returns
// where copying stopped, or nullptr.
const char* ExtractTitle(const char* text, std::string& out);

// The contact sheet of a generation: choosing it, loading it, and reading its images in order
// into the slots of the generation's state.
#pragma once

#include <string>

// 1 when InputPath holds the cleaned path; 0 when the open-file dialog returned no file.
int SelectContactSheet();

// 1 when the contact sheet is open, its text loaded, its folder is the working folder and
// SheetName, SheetFolder and CurrentImage are set; 0 after a message box said what failed.
int OpenContactSheet(const std::string& path);

// Closes the contact sheet's text and file, if open, and clears their slots.
void CloseContactSheet();

// Which links of the sheet loaded lead to images (State.LinkedImages): a sheet kestrune wrote
// (its marker within its first kOwnPageLookSize bytes) links photos of every kind it reads, and
// gives their sizes.
void ChooseImageLinks();

// The next image link at or after `from`: its target goes into NextImage, which is also the
// status text, repainted at once. Returns the ">" that closes its anchor, or nullptr when no
// image is left (NextImage then unchanged).
const char* FindNextImage(const char* from);

// The caption of the image just found, into NextCaption, by the rule the run chose at its start
// (State.ReadCaption); returns where the caption ended.
const char* ReadNextCaption(const char* from);
// The rules: the caption as the anchor shows it (a thumbnail anchor's is its link target); or,
// for pages that describe their images, a thumbnail anchor's caption taken from the anchors that
// repeat its image, its alt text or title, else the file name without folder and extension.
const char* ReadLinkedCaption(const char* from);
const char* ReadDescribedCaption(const char* from);

// The language and the charset of modern pages: what the sheet declares, else "en", and UTF-8
// when its bytes are valid UTF-8, else windows-1252.
void ReadSheetDeclarations();

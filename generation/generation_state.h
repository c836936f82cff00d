// The one record of a generation, shared by every subsystem of the process.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "pages/page_style.h"
#include "platform/platform.h"
#include "sheet/scanner.h"
#include "sheet/trail.h"
#include "ui/user.h"

// Status text shown before any contact sheet is loaded.
inline constexpr const char* kInitialStatusText =
    "Use File > Open to select an HTML contact sheet that contains links\n"
    "to the images you want to have in your slide show.";

// A photo's size in pixels, upright, as a sheet kestrune wrote says it; 0 where it says nothing.
struct PhotoSize {
  int width = 0, height = 0;
};

struct GenerationState {
  // The look of the pages a run writes, chosen before the start: the classic pages, or the
  // modern ones (--modern).
  const PageStyle* Style = &ClassicPages;
  // How the caption of an image found is read, chosen at the start for the style (none: as the
  // anchor shows it).
  const char* (*ReadCaption)(const char* from) = nullptr;

  // Which links lead to images: in a sheet kestrune wrote (its marker stands in its first bytes),
  // links to photos of every kind it reads, whose sizes the sheet gives; in any other, links to
  // JPG, GIF and PNG images.
  ImageLinks LinkedImages = ImageLinks::SheetImages;

  // Image slots: a window sliding over SheetName, image 1 .. image N, SheetName.
  std::string NextImage = kInitialStatusText;  // also the status text and the repeat memory
  std::string CurrentImage;
  std::string PreviousImage;
  std::string NextCaption;
  std::string CurrentCaption;
  PhotoSize NextPhotoSize;  // of NextImage and CurrentImage, in a sheet kestrune wrote
  PhotoSize CurrentPhotoSize;

  std::string SheetTitle = "Index";
  std::string SheetName;    // contact sheet file name without its folder
  std::string SheetFolder;  // folder prefix of the contact sheet path, separator included
  std::string StartFolder;  // working folder at start-up
  std::string DialogPath;
  std::string ThumbnailName;
  // The folders from the top of a tree of albums down to the sheet's, as a sheet kestrune wrote
  // shows them (views into the sheet's text); empty for any other sheet.
  std::vector<TrailLink> SheetTrail;
  // What the sheet declares of itself, read for the styles that show it.
  std::string SheetLanguage;
  std::string SheetCharset;
  std::optional<std::string> InputPath;

  PlatformFile* SheetFile = nullptr;
  PlatformText* SheetMapping = nullptr;  // the sheet's whole text, mapped or read
  const char* SheetView = nullptr;       // the contact sheet text, zero-terminated at SheetEnd
  const char* SheetEnd = nullptr;        // its first zero byte: no scan reads at or past it
  const char* ScanPosition = nullptr;
  const char* NextAnchor = nullptr;  // the "<" of the anchor that linked NextImage

  std::FILE* CombinedPage = nullptr;
  char CombinedPageBuffer[512] = {};

  PlatformWindow* MainWindow = nullptr;

  // Set by every failure message box, so the exit status never reports a failure as success.
  bool FailureReported = false;
  // A run began its slide show (its combined page is open or was finished), and the images whose
  // line and pages the slide steps have written: what the slide show holds.
  bool ShowBegun = false;
  std::size_t ImagesWritten = 0;
  // A slide step is running, and the session ended meanwhile (told inside the step, by the loop
  // of one of its message boxes): the step completes first.
  bool StepRunning = false;
  bool SessionEnded = false;
};

extern GenerationState State;

// The step that writes one image's line of the combined page and its two slide pages.
#include "generation/slide_step.h"

#include "generation/combined_page.h"
#include "generation/generation.h"
#include "generation/generation_state.h"
#include "pages/slide_templates.h"
#include "pages/text_output.h"
#include "sheet/contact_sheet.h"

namespace {

using PageWriter = bool (*)(std::FILE*, const SlidePageValues&);

void WriteSlidePage(const std::string& pageName, PageWriter write, const SlidePageValues& values) {
  // A hostile contact sheet must not be able to place pages outside its own folder.
  std::FILE* page = IsInsideSheetFolder(pageName) ? CreateOutputFile(pageName) : nullptr;
  // A page is one write: unbuffered, the stream needs no buffer and asks the system nothing.
  if (page != nullptr) std::setvbuf(page, nullptr, _IONBF, 0);
  bool written = page != nullptr && write(page, values);
  if (page != nullptr) written = CloseOutputFile(page) && written;
  if (!written) {
    ReportFailure(nullptr, "Unable to create SlideShow file", pageName, BoxIcon::Exclamation);
  }
}

// Moves the image slots one place on and reads the following image ahead.
const char* AdvanceSlots(const char* from) {
  State.PreviousImage = State.CurrentImage;
  State.CurrentImage = State.NextImage;
  State.CurrentCaption = State.NextCaption;
  const char* pos = FindNextImageLink(from, State.NextImage);
  if (pos == nullptr) {
    State.NextImage = State.SheetName;
  } else {
    pos = ExtractCaption(pos, State.NextCaption);
  }
  return pos;
}

}  // namespace

std::string BaseName(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string FindThumbnail(const std::string& previousImage, const std::string& currentImage) {
  const std::size_t dot = previousImage.rfind('.');
  if (dot == std::string::npos) return previousImage;
  std::string candidate = previousImage.substr(0, dot) + "_t.jpg";
  if (FileExists(candidate)) return candidate;
  candidate = "tn_" + previousImage;
  candidate[3 + dot] = '_';
  candidate += ".jpg";
  if (FileExists(candidate)) return candidate;
  return currentImage;
}

bool IsInsideSheetFolder(const std::string& name) {
  if (name.empty() || name.front() == '/' || name.front() == '\\') return false;
  if (name.find(':') != std::string::npos) return false;
  int depth = 0;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t stop = name.find_first_of("/\\", start);
    if (stop == std::string::npos) stop = name.size();
    const std::string segment = name.substr(start, stop - start);
    if (segment == "..") {
      if (--depth < 0) return false;
    } else if (!segment.empty() && segment != ".") {
      ++depth;
    }
    start = stop + 1;
  }
  return true;
}

const char* GenerateSlide(const char* from) {
  const char* pos = AdvanceSlots(from);
  WriteFormatted(State.CombinedPage, kCombinedPageImageLine, {State.CurrentImage});

  const std::string prevBase = BaseName(State.PreviousImage);
  const std::string curBase = BaseName(State.CurrentImage);
  const std::string nextBase = BaseName(State.NextImage);
  const bool atStart = State.PreviousImage == State.SheetName;
  const bool atEnd = State.NextImage == State.SheetName;
  State.ThumbnailName = FindThumbnail(State.PreviousImage, State.CurrentImage);

  const std::string sheetEnd = State.SheetName + "#end";
  SlidePageValues manual;
  manual.pageTitle = State.CurrentImage;
  manual.previousLink = atStart ? State.SheetName : prevBase + ".htm";
  manual.previousIcon = atStart ? State.SheetName : State.ThumbnailName;
  manual.indexLink = State.SheetName;
  manual.centreLink = State.CurrentImage;
  manual.centreText = State.CurrentCaption;
  manual.playLink = atEnd ? State.SheetName : nextBase + ".html";
  manual.nextLink = atEnd ? sheetEnd : nextBase + ".htm";
  manual.nextIcon = State.NextImage;
  manual.frameSource = State.CurrentImage;
  manual.fallbackImage = State.CurrentImage;
  WriteSlidePage(curBase + ".htm", WriteManualPage, manual);

  SlidePageValues automatic = manual;
  automatic.refreshTarget = atEnd ? sheetEnd : nextBase + ".html";
  automatic.previousLink = atStart ? State.SheetName : prevBase + ".html";
  automatic.pauseLink = atEnd ? State.SheetName : curBase + ".htm";
  automatic.nextLink = atEnd ? sheetEnd : nextBase + ".html";
  WriteSlidePage(curBase + ".html", WriteAutomaticPage, automatic);
  return pos;
}

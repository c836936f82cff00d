// The step that writes one image's line of the combined page and its two slide pages.
#include "generation/slide_step.h"

#include "generation/contact_sheet.h"
#include "generation/generation.h"
#include "generation/generation_state.h"
#include "generation/link_targets.h"
#include "pages/combined_page.h"
#include "pages/slide_templates.h"
#include "pages/text_output.h"

namespace {

// True when `target`, decoded, names a file that exists; a name with a zero byte names none.
bool TargetFileExists(const std::string& target) {
  const std::string file = DecodeFileName(target);
  return file.find('\0') == std::string::npos && ImageFileExists(file);
}

// Writes the page linked as `pageName`, in one write, into the file that name leads a browser
// to; failures are titled with the name as linked.
void WriteSlidePage(const std::string& pageName, const std::string& text) {
  const std::string file = DecodeFileName(pageName);
  // A hostile contact sheet must not be able to place pages outside its own folder.
  const bool allowed = file.find('\0') == std::string::npos && IsInsideSheetFolder(file);
  if (!allowed || !WriteOutputFile(file, text)) {
    ReportFailure(nullptr, "Unable to create SlideShow file", pageName, BoxIcon::Exclamation);
  }
}

// Moves the image slots one place on and reads the following image ahead.
const char* AdvanceSlots(const char* from) {
  State.PreviousImage = State.CurrentImage;
  State.CurrentImage = State.NextImage;
  State.CurrentCaption = State.NextCaption;
  const char* pos = FindNextImage(from);
  if (pos == nullptr) {
    State.NextImage = State.SheetName;
  } else {
    pos = ReadNextCaption(pos);
  }
  return pos;
}

// Links of a page that lies `depth` folders below the sheet's folder lead from there; the title
// and the caption are no links.
void RebaseLinks(SlidePageValues& values, std::size_t depth) {
  if (depth == 0) return;  // beside the sheet every link leads from there already
  for (std::string* link :
       {&values.refreshTarget, &values.previousLink, &values.previousIcon, &values.indexLink,
        &values.centreLink, &values.playLink, &values.pauseLink, &values.nextLink, &values.nextIcon,
        &values.frameSource, &values.fallbackImage}) {
    *link = RebaseLink(*link, depth);
  }
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
  if (TargetFileExists(candidate)) return candidate;
  candidate = "tn_" + previousImage;
  candidate[3 + dot] = '_';
  candidate += ".jpg";
  if (TargetFileExists(candidate)) return candidate;
  return currentImage;
}

const char* GenerateSlide(const char* from) {
  const char* pos = AdvanceSlots(from);
  static const PreparedFormat imageLine = PrepareFormat(kCombinedPageImageLine);
  static std::string line;
  line.clear();
  AppendFormatted(line, imageLine, {State.CurrentImage});
  std::fwrite(line.data(), 1, line.size(), State.CombinedPage);

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

  SlidePageValues automatic = manual;
  automatic.refreshTarget = atEnd ? sheetEnd : nextBase + ".html";
  automatic.previousLink = atStart ? State.SheetName : prevBase + ".html";
  automatic.pauseLink = atEnd ? State.SheetName : curBase + ".htm";
  automatic.nextLink = atEnd ? sheetEnd : nextBase + ".html";

  // Both pages lie in the current image's folder.
  const std::size_t depth = LinkFolderDepth(curBase + ".htm");
  RebaseLinks(manual, depth);
  RebaseLinks(automatic, depth);
  static std::string text;  // one buffer for every page of the run
  ManualPageText(manual, text);
  WriteSlidePage(curBase + ".htm", text);
  AutomaticPageText(automatic, text);
  WriteSlidePage(curBase + ".html", text);
  return pos;
}

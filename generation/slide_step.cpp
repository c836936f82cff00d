// The step that writes one image's line of the combined page and its two slide pages.
#include "generation/slide_step.h"

#include <deque>

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
// and the caption are no links. The rebased values are kept in `storage`, which a deque keeps in
// place while it grows, so the views stay valid.
void RebaseLinks(SlidePageValues& values, std::size_t depth, std::deque<std::string>& storage) {
  if (depth == 0) return;  // beside the sheet every link leads from there already
  for (std::string_view* link :
       {&values.refreshTarget, &values.previousLink, &values.previousIcon, &values.indexLink,
        &values.centreLink, &values.playLink, &values.pauseLink, &values.nextLink, &values.nextIcon,
        &values.frameSource, &values.fallbackImage}) {
    *link = storage.emplace_back(RebaseLink(*link, depth));
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
  static std::string text;  // one buffer for every line and page of the run
  text.clear();
  AppendFormatted(text, imageLine, {State.CurrentImage});
  std::fwrite(text.data(), 1, text.size(), State.CombinedPage);

  const std::string prevBase = BaseName(State.PreviousImage);
  const std::string curBase = BaseName(State.CurrentImage);
  const std::string nextBase = BaseName(State.NextImage);
  const bool atStart = State.PreviousImage == State.SheetName;
  const bool atEnd = State.NextImage == State.SheetName;
  State.ThumbnailName = FindThumbnail(State.PreviousImage, State.CurrentImage);

  // Every value is made once; the two pages show views of them.
  const std::string& sheet = State.SheetName;
  const std::string sheetEnd = sheet + "#end";
  const std::string previousManual = prevBase + ".htm", previousAutomatic = prevBase + ".html";
  const std::string currentManual = curBase + ".htm", currentAutomatic = curBase + ".html";
  const std::string nextManual = nextBase + ".htm", nextAutomatic = nextBase + ".html";

  SlidePageValues manual;
  manual.pageTitle = State.CurrentImage;
  manual.previousLink = atStart ? sheet : previousManual;
  manual.previousIcon = atStart ? sheet : State.ThumbnailName;
  manual.indexLink = sheet;
  manual.centreLink = State.CurrentImage;
  manual.centreText = State.CurrentCaption;
  manual.playLink = atEnd ? sheet : nextAutomatic;
  manual.nextLink = atEnd ? sheetEnd : nextManual;
  manual.nextIcon = State.NextImage;
  manual.frameSource = State.CurrentImage;
  manual.fallbackImage = State.CurrentImage;

  SlidePageValues automatic = manual;
  automatic.refreshTarget = atEnd ? sheetEnd : nextAutomatic;
  automatic.previousLink = atStart ? sheet : previousAutomatic;
  automatic.pauseLink = atEnd ? sheet : currentManual;
  automatic.nextLink = atEnd ? sheetEnd : nextAutomatic;

  // Both pages lie in the current image's folder.
  const std::size_t depth = LinkFolderDepth(currentManual);
  std::deque<std::string> rebased;
  RebaseLinks(manual, depth, rebased);
  RebaseLinks(automatic, depth, rebased);
  ManualPageText(manual, text);
  WriteSlidePage(currentManual, text);
  AutomaticPageText(automatic, text);
  WriteSlidePage(currentAutomatic, text);
  return pos;
}

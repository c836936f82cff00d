// The step that writes one image's line of the combined page and its two slide pages.
#include "generation/slide_step.h"

#include "generation/contact_sheet.h"
#include "generation/failures.h"
#include "generation/generation_state.h"
#include "generation/link_targets.h"
#include "pages/combined_page.h"
#include "pages/modern_pages.h"
#include "pages/page_marker.h"
#include "pages/slide_templates.h"
#include "pages/text_output.h"

namespace {

// The file a link target names: `target` itself when it holds nothing to decode (most names),
// else its decoded form, kept in `decoded`.
const std::string& FileNamed(const std::string& target, std::string& decoded) {
  if (target.find_first_of("&%") == std::string::npos) return target;
  decoded = DecodeFileName(target);
  return decoded;
}

// True when `target`, decoded, names a file that exists; a name with a zero byte names none.
bool TargetFileExists(const std::string& target) {
  std::string decoded;
  const std::string& file = FileNamed(target, decoded);
  return file.find('\0') == std::string::npos && ImageFileExists(file);
}

// Writes the page linked as `pageName`, in one write, into the file that name leads a browser
// to; failures are titled with the name as linked.
void WriteSlidePage(const std::string& pageName, const std::string& text) {
  std::string decoded;
  const std::string& file = FileNamed(pageName, decoded);
  // A hostile contact sheet must not be able to place pages outside its own folder.
  const bool allowed = PageFileRefusal(file) == PageNameRefusal::None;
  if (!allowed || !WriteOutputFile(file, text, kOwnPageMarker)) {
    ReportFailure(nullptr, kSlidePageFailure, pageName, BoxIcon::Exclamation);
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
  if (State.Style == PageStyle::Modern) {
    State.PreviousThumbnail = std::move(State.CurrentThumbnail);
    State.CurrentThumbnail = std::move(State.NextThumbnail);
    State.NextThumbnail = pos != nullptr ? ThumbnailOf(State.NextImage) : std::string();
  }
  return pos;
}

// Links of a page that lies `depth` folders below the sheet's folder lead from there; the title
// and the caption are no links. The rebased values are written one after another into `arena`,
// which keeps its room from step to step and is given all it needs first, so it does not move
// while the views into it are made.
void RebaseLinks(std::initializer_list<std::string_view*> links, std::size_t depth,
                 std::string& arena) {
  if (depth == 0) return;  // beside the sheet every link leads from there already
  std::size_t size = 0;
  for (const std::string_view* link : links) size += link->size() + 3 * depth;
  arena.clear();
  arena.reserve(size);
  for (std::string_view* link : links) {
    const std::size_t start = arena.size();
    AppendRebasedLink(arena, *link, depth);
    *link = std::string_view(arena).substr(start);
  }
}

void RebaseLinks(SlidePageValues& v, std::size_t depth, std::string& arena) {
  RebaseLinks(
      {&v.refreshTarget, &v.previousLink, &v.previousIcon, &v.indexLink, &v.centreLink, &v.playLink,
       &v.pauseLink, &v.nextLink, &v.nextIcon, &v.frameSource, &v.fallbackImage},
      depth, arena);
}

void RebaseLinks(ModernPageValues& v, std::size_t depth, std::string& arena) {
  RebaseLinks(
      {&v.refreshTarget, &v.previousLink, &v.previousIcon, &v.indexLink, &v.centreLink, &v.playLink,
       &v.pauseLink, &v.nextLink, &v.nextIcon, &v.photo, &v.prefetchPage, &v.prefetchImage},
      depth, arena);
}

// One arena for the links of each page of a step.
std::string ManualLinks, AutomaticLinks;

// The page names of one step, made once; the pages show views of them.
struct SlideNames {
  bool atStart, atEnd;
  std::string sheetEnd, previousManual, previousAutomatic, currentManual, currentAutomatic,
      nextManual, nextAutomatic;
};

SlideNames MakeSlideNames() {
  const std::string prevBase = BaseName(State.PreviousImage);
  const std::string curBase = BaseName(State.CurrentImage);
  const std::string nextBase = BaseName(State.NextImage);
  return {State.PreviousImage == State.SheetName,
          State.NextImage == State.SheetName,
          State.SheetName + "#end",
          prevBase + ".htm",
          prevBase + ".html",
          curBase + ".htm",
          curBase + ".html",
          nextBase + ".htm",
          nextBase + ".html"};
}

// The thumbnail of `image`: image_t.jpg, else tn_image_ext.jpg; empty when neither exists.
std::string ExistingThumbnail(const std::string& image, std::size_t dot) {
  std::string candidate = image.substr(0, dot) + "_t.jpg";
  if (TargetFileExists(candidate)) return candidate;
  candidate = "tn_" + image;
  candidate[3 + dot] = '_';
  candidate += ".jpg";
  if (TargetFileExists(candidate)) return candidate;
  return std::string();
}

// The small PREVIOUS icon of a classic page: previous_t.jpg, else tn_previous_ext.jpg, else the
// current image. Candidates are link targets, looked for under their decoded names.
std::string FindThumbnail(const std::string& previousImage, const std::string& currentImage) {
  const std::size_t dot = previousImage.rfind('.');
  if (dot == std::string::npos) return previousImage;
  std::string thumbnail = ExistingThumbnail(previousImage, dot);
  return thumbnail.empty() ? currentImage : thumbnail;
}

// Writes the two pages of the step, both in the current image's folder and so linking from there.
template <typename Values>
void WriteBothPages(const SlideNames& n, Values& manual, Values& automatic,
                    void (*manualText)(const Values&, std::string&),
                    void (*automaticText)(const Values&, std::string&), std::string& text) {
  const std::size_t depth = LinkFolderDepth(n.currentManual);
  RebaseLinks(manual, depth, ManualLinks);
  RebaseLinks(automatic, depth, AutomaticLinks);
  manualText(manual, text);
  WriteSlidePage(n.currentManual, text);
  automaticText(automatic, text);
  WriteSlidePage(n.currentAutomatic, text);
}

void WriteClassicPages(const SlideNames& n, std::string& text) {
  const std::string& sheet = State.SheetName;
  State.ThumbnailName = FindThumbnail(State.PreviousImage, State.CurrentImage);
  SlidePageValues manual;
  manual.pageTitle = State.CurrentImage;
  manual.previousLink = n.atStart ? sheet : n.previousManual;
  manual.previousIcon = n.atStart ? sheet : State.ThumbnailName;
  manual.indexLink = sheet;
  manual.centreLink = State.CurrentImage;
  manual.centreText = State.CurrentCaption;
  manual.playLink = n.atEnd ? sheet : n.nextAutomatic;
  manual.nextLink = n.atEnd ? n.sheetEnd : n.nextManual;
  manual.nextIcon = State.NextImage;
  manual.frameSource = State.CurrentImage;
  manual.fallbackImage = State.CurrentImage;

  SlidePageValues automatic = manual;
  automatic.refreshTarget = n.atEnd ? n.sheetEnd : n.nextAutomatic;
  automatic.previousLink = n.atStart ? sheet : n.previousAutomatic;
  automatic.pauseLink = n.atEnd ? sheet : n.currentManual;
  automatic.nextLink = n.atEnd ? n.sheetEnd : n.nextAutomatic;
  WriteBothPages(n, manual, automatic, ManualPageText, AutomaticPageText, text);
}

// The same links as the classic pages; the icons stand for the neighbouring images on both
// sides, and the next page and photo are fetched ahead.
void WriteModernPages(const SlideNames& n, std::string& text) {
  const std::string& sheet = State.SheetName;
  ModernPageValues manual;
  manual.language = State.SheetLanguage;
  manual.charset = State.SheetCharset;
  manual.caption = State.CurrentCaption;
  manual.sheetTitle = State.SheetTitle;
  manual.previousLink = n.atStart ? sheet : n.previousManual;
  if (!n.atStart) manual.previousIcon = State.PreviousThumbnail;
  manual.indexLink = sheet;
  manual.centreLink = State.CurrentImage;
  manual.playLink = n.atEnd ? sheet : n.nextAutomatic;
  manual.nextLink = n.atEnd ? n.sheetEnd : n.nextManual;
  if (!n.atEnd) manual.nextIcon = State.NextThumbnail;
  manual.photo = State.CurrentImage;
  manual.prefetchPage = n.atEnd ? sheet : n.nextManual;
  if (!n.atEnd) manual.prefetchImage = State.NextImage;

  ModernPageValues automatic = manual;
  automatic.refreshTarget = n.atEnd ? n.sheetEnd : n.nextAutomatic;
  automatic.previousLink = n.atStart ? sheet : n.previousAutomatic;
  automatic.pauseLink = n.atEnd ? sheet : n.currentManual;
  automatic.nextLink = n.atEnd ? n.sheetEnd : n.nextAutomatic;
  automatic.prefetchPage = n.atEnd ? sheet : n.nextAutomatic;
  WriteBothPages(n, manual, automatic, ModernManualPageText, ModernAutomaticPageText, text);
}

}  // namespace

std::string BaseName(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string ThumbnailOf(const std::string& image) {
  const std::size_t dot = image.rfind('.');
  if (dot == std::string::npos) return image;
  std::string thumbnail = ExistingThumbnail(image, dot);
  return thumbnail.empty() ? image : thumbnail;
}

const char* GenerateSlide(const char* from) {
  const char* pos = AdvanceSlots(from);
  const SlideNames names = MakeSlideNames();
  static const PreparedFormat imageLine = PrepareFormat(kCombinedPageImageLine);
  static std::string text;  // one buffer for every line and page of the run
  text.clear();
  if (State.Style == PageStyle::Modern) {
    AppendModernCombinedImage(text, State.CurrentImage, names.currentManual, State.CurrentCaption,
                              !names.atStart);
  } else {
    AppendFormatted(text, imageLine, {State.CurrentImage});
  }
  std::fwrite(text.data(), 1, text.size(), State.CombinedPage);
  if (State.Style == PageStyle::Modern) {
    WriteModernPages(names, text);
  } else {
    WriteClassicPages(names, text);
  }
  ++State.ImagesWritten;
  return pos;
}

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

// True when `target`, decoded, names a file that exists; a name with a zero byte names none,
// and neither does one that no browser can open.
bool TargetFileExists(const std::string& target) {
  std::string converted;
  const std::string* file = LinkedFile(target, State.SheetCharset, converted);
  return file != nullptr && file->find('\0') == std::string::npos && ImageFileExists(*file);
}

// Writes the page linked as `pageName`, in one write, into the file that name leads a browser
// to; failures are titled with the name as linked.
void WriteSlidePage(const std::string& pageName, const std::string& text) {
  std::string converted;
  const std::string* file = LinkedFile(pageName, State.SheetCharset, converted);
  // A hostile contact sheet must not be able to place pages outside its own folder.
  const bool allowed = file != nullptr && PageFileRefusal(*file) == PageNameRefusal::None;
  if (!allowed || !WriteOutputFile(*file, text, kOwnPageMarker)) {
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
// which keeps its room from step to step and is sized for all of them first, so it does not
// move while the views into it are made.
void RebaseLinks(std::initializer_list<std::string_view*> links, std::size_t depth,
                 std::string& arena) {
  if (depth == 0) return;  // beside the sheet every link leads from there already
  std::size_t size = 0;
  for (const std::string_view* link : links) size += link->size() + 3 * depth;
  arena.resize(size);
  char* const first = &arena[0];
  char* end = first;
  for (std::string_view* link : links) {
    char* const start = end;
    end = CopyRebasedLink(start, *link, depth);
    *link = std::string_view(start, static_cast<std::size_t>(end - start));
  }
  arena.resize(static_cast<std::size_t>(end - first));  // shrinking keeps the characters in place
}

// The two page names of one image: base.htm and base.html.
struct ImagePages {
  std::string image, manual, automatic;
};

// Makes `pages` those of `image`, unless they are already.
void NamePages(ImagePages& pages, const std::string& image) {
  if (pages.image == image && !pages.manual.empty()) return;
  pages.image = image;
  pages.manual.assign(image, 0, image.rfind('.')).append(".htm");  // as BaseName cuts it
  pages.automatic.assign(pages.manual).push_back('l');
}

// The page names of one step; the pages show views of them.
struct SlideNames {
  bool atStart = false, atEnd = false;
  std::string sheetEnd;
  ImagePages previous, current, next;
};

// Each image's names serve three steps in a row (as the next image, the current one and the
// previous one), so they move on with the images and are made only for a new one; every slot
// is checked against its image, so nothing depends on what the step before was.
const SlideNames& StepNames() {
  static SlideNames n;
  std::swap(n.previous, n.current);
  std::swap(n.current, n.next);  // the next slot reuses the room of the one dropped
  NamePages(n.previous, State.PreviousImage);
  NamePages(n.current, State.CurrentImage);
  NamePages(n.next, State.NextImage);
  n.atStart = State.PreviousImage == State.SheetName;
  n.atEnd = State.NextImage == State.SheetName;
  n.sheetEnd.assign(State.SheetName).append("#end");
  return n;
}

// The links of one step's pages, each made once. Both pages lie in the current image's folder,
// so every link leads from there; a view is empty where the pages have no such link.
struct StepLinks {
  std::string_view sheet, sheetEnd, previousManual, previousAutomatic, currentManual, nextManual,
      nextAutomatic, currentImage, nextImage, previousIcon, nextIcon;
};

// One arena for the rebased links of a step.
std::string StepArena;

StepLinks LinksOf(const SlideNames& n, std::string_view previousIcon, std::string_view nextIcon) {
  StepLinks l{State.SheetName,  n.sheetEnd,    n.previous.manual, n.previous.automatic,
              n.current.manual, n.next.manual, n.next.automatic,  State.CurrentImage,
              State.NextImage,  previousIcon,  nextIcon};
  RebaseLinks({&l.sheet, &l.sheetEnd, &l.previousManual, &l.previousAutomatic, &l.currentManual,
               &l.nextManual, &l.nextAutomatic, &l.currentImage, &l.nextImage, &l.previousIcon,
               &l.nextIcon},
              LinkFolderDepth(n.current.manual), StepArena);
  return l;
}

// Makes `thumbnail` the thumbnail of `image`: image_t.jpg, else tn_image_ext.jpg; false when
// neither exists. The candidates are built in `thumbnail` itself, whose room serves every image.
bool FindExistingThumbnail(const std::string& image, std::size_t dot, std::string& thumbnail) {
  thumbnail.assign(image, 0, dot).append("_t.jpg");
  if (TargetFileExists(thumbnail)) return true;
  thumbnail.assign("tn_").append(image).append(".jpg");
  thumbnail[3 + dot] = '_';
  return TargetFileExists(thumbnail);
}

// Makes `icon` the small PREVIOUS icon of a classic page: previous_t.jpg, else
// tn_previous_ext.jpg, else the current image. Candidates are link targets, looked for under
// their decoded names.
void FindThumbnail(const std::string& previousImage, const std::string& currentImage,
                   std::string& icon) {
  const std::size_t dot = previousImage.rfind('.');
  if (dot == std::string::npos) {
    icon = previousImage;
  } else if (!FindExistingThumbnail(previousImage, dot, icon)) {
    icon = currentImage;
  }
}

// Writes the two pages of the step.
template <typename Values>
void WriteBothPages(const SlideNames& n, const Values& manual, const Values& automatic,
                    void (*manualText)(const Values&, std::string&),
                    void (*automaticText)(const Values&, std::string&), std::string& text) {
  manualText(manual, text);
  WriteSlidePage(n.current.manual, text);
  automaticText(automatic, text);
  WriteSlidePage(n.current.automatic, text);
}

// The links both styles put in the same places: the manual page's, given to the automatic page
// with the rest of the manual page's values, then those where the automatic page differs.
template <typename Values>
void SetLinks(const SlideNames& n, const StepLinks& l, Values& manual, Values& automatic) {
  manual.previousLink = n.atStart ? l.sheet : l.previousManual;
  manual.previousIcon = l.previousIcon;
  manual.indexLink = l.sheet;
  manual.centreLink = l.currentImage;
  manual.playLink = n.atEnd ? l.sheet : l.nextAutomatic;
  manual.nextLink = n.atEnd ? l.sheetEnd : l.nextManual;
  manual.nextIcon = l.nextIcon;
  automatic = manual;
  automatic.refreshTarget = n.atEnd ? l.sheetEnd : l.nextAutomatic;
  automatic.previousLink = n.atStart ? l.sheet : l.previousAutomatic;
  automatic.pauseLink = n.atEnd ? l.sheet : l.currentManual;
  automatic.nextLink = n.atEnd ? l.sheetEnd : l.nextAutomatic;
}

void WriteClassicPages(const SlideNames& n, std::string& text) {
  FindThumbnail(State.PreviousImage, State.CurrentImage, State.ThumbnailName);
  const StepLinks l =
      LinksOf(n, n.atStart ? State.SheetName : State.ThumbnailName, State.NextImage);
  SlidePageValues manual, automatic;
  manual.pageTitle = State.CurrentImage;
  manual.centreText = State.CurrentCaption;
  manual.frameSource = l.currentImage;
  manual.fallbackImage = l.currentImage;
  SetLinks(n, l, manual, automatic);
  WriteBothPages(n, manual, automatic, ManualPageText, AutomaticPageText, text);
}

// The same links as the classic pages; the icons stand for the neighbouring images on both
// sides, and the next page and photo are fetched ahead.
void WriteModernPages(const SlideNames& n, std::string& text) {
  const StepLinks l = LinksOf(n, n.atStart ? std::string_view() : State.PreviousThumbnail,
                              n.atEnd ? std::string_view() : State.NextThumbnail);
  ModernPageValues manual, automatic;
  manual.language = State.SheetLanguage;
  manual.charset = State.SheetCharset;
  manual.caption = State.CurrentCaption;
  manual.sheetTitle = State.SheetTitle;
  manual.photo = l.currentImage;
  manual.prefetchPage = n.atEnd ? l.sheet : l.nextManual;
  if (!n.atEnd) manual.prefetchImage = l.nextImage;
  SetLinks(n, l, manual, automatic);
  automatic.prefetchPage = n.atEnd ? l.sheet : l.nextAutomatic;
  WriteBothPages(n, manual, automatic, ModernManualPageText, ModernAutomaticPageText, text);
}

}  // namespace

std::string BaseName(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string ThumbnailOf(const std::string& image) {
  const std::size_t dot = image.rfind('.');
  std::string thumbnail;
  if (dot == std::string::npos || !FindExistingThumbnail(image, dot, thumbnail)) return image;
  return thumbnail;
}

const char* GenerateSlide(const char* from) {
  const char* pos = AdvanceSlots(from);
  const SlideNames& names = StepNames();
  static const PreparedFormat imageLine = PrepareFormat(kCombinedPageImageLine);
  static std::string line;  // the image's line of the combined page
  static std::string text;  // one buffer for every page of the run, each made over the last
  line.clear();
  if (State.Style == PageStyle::Modern) {
    AppendModernCombinedImage(line, State.CurrentImage, names.current.manual, State.CurrentCaption,
                              !names.atStart);
  } else {
    AppendFormatted(line, imageLine, {State.CurrentImage});
  }
  std::fwrite(line.data(), 1, line.size(), State.CombinedPage);
  if (State.Style == PageStyle::Modern) {
    WriteModernPages(names, text);
  } else {
    WriteClassicPages(names, text);
  }
  ++State.ImagesWritten;
  return pos;
}

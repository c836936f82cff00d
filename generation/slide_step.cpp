// The run's side of the walk: each slide written, its line into the combined page and its two
// pages in the style chosen at the start.
#include "generation/slide_step.h"

#include <vector>

#include "generation/failures.h"
#include "generation/generation_state.h"
#include "generation/link_targets.h"
#include "generation/sheet_walk.h"
#include "pages/page_marker.h"
#include "pages/page_style.h"

namespace {

// Writes one page in one write; failures are titled with the name as linked.
void WriteSlidePage(const SlidePage& page, const std::string& text) {
  // A hostile contact sheet must not be able to place pages outside its own folder.
  if (page.refusal != PageNameRefusal::None || !WriteOutputFile(page.file, text, kOwnPageMarker))
    ReportFailure(nullptr, kSlidePageFailure, page.linked, BoxIcon::Exclamation);
}

// Links of a page that lies `depth` folders below the sheet's folder lead from there; the title
// and the caption are no links. The rebased values are written one after another into `arena`,
// which keeps its room from step to step and is sized for all of them first, so it does not
// move while the views into it are made.
void RebaseLinks(const std::vector<std::string_view*>& links, std::size_t depth,
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

// The links of one step's pages, each made once. Both pages lie in the current image's folder,
// so every link leads from there; a view is empty where the pages have no such link.
struct StepLinks {
  std::string_view sheet, sheetEnd, previousManual, previousAutomatic, currentManual, nextManual,
      nextAutomatic, currentImage, nextImage, previousIcon, nextIcon, currentShown, nextShown;
  PictureSources current, next;  // what the current and the next page offer
  std::vector<TrailStep> trail;  // the way up a tree of albums, the sheet's own folder last
};

StepLinks LinksOf(const Slide& s, const std::string& sheetEnd, std::string_view previousIcon,
                  std::string_view nextIcon) {
  static std::string arena;                       // one for the rebased links of every step
  static std::vector<std::string_view*> rebased;  // and the list of them, keeping its room
  StepLinks l{State.SheetName,
              sheetEnd,
              s.previous->manual.linked,
              s.previous->automatic.linked,
              s.current->manual.linked,
              s.next->manual.linked,
              s.next->automatic.linked,
              s.current->image,
              s.next->image,
              previousIcon,
              nextIcon,
              s.current->shown,
              s.next->shown,
              SourcesOf(*s.current),
              s.atEnd ? PictureSources() : SourcesOf(*s.next),
              {}};
  rebased.assign({&l.sheet, &l.sheetEnd, &l.previousManual, &l.previousAutomatic, &l.currentManual,
                  &l.nextManual, &l.nextAutomatic, &l.currentImage, &l.nextImage, &l.previousIcon,
                  &l.nextIcon, &l.currentShown, &l.nextShown});
  for (PictureSources* sources : {&l.current, &l.next})
    for (int i = 0; i < sources->count; ++i) rebased.push_back(&sources->links[i]);
  for (const TrailLink& step : State.SheetTrail)
    l.trail.push_back(
        {step.link.empty() ? std::string_view(State.SheetName) : step.link, step.name});
  for (TrailStep& step : l.trail) rebased.push_back(&step.link);
  RebaseLinks(rebased, LinkFolderDepth(s.current->manual.linked), arena);
  return l;
}

// The values of both pages: the manual page's, given to the automatic page, then those where
// the automatic page differs.
void SetValues(const Slide& s, const StepLinks& l, SlidePageValues& manual,
               SlidePageValues& automatic) {
  manual.image = State.CurrentImage;
  manual.caption = State.CurrentCaption;
  manual.sheetTitle = State.SheetTitle;
  manual.language = State.SheetLanguage;
  manual.charset = State.SheetCharset;
  manual.previousLink = s.atStart ? l.sheet : l.previousManual;
  manual.previousIcon = l.previousIcon;
  manual.indexLink = l.sheet;
  manual.photo = l.currentImage;
  manual.trail = l.trail;
  manual.shown = l.currentShown;
  manual.sources = l.current;
  manual.playLink = s.atEnd ? l.sheet : l.nextAutomatic;
  manual.nextLink = s.atEnd ? l.sheetEnd : l.nextManual;
  manual.nextIcon = l.nextIcon;
  manual.prefetchPage = s.atEnd ? l.sheet : l.nextManual;
  if (!s.atEnd) {
    manual.prefetchImage = l.nextShown;
    manual.prefetchSources = l.next;
  }
  automatic = manual;
  automatic.refreshTarget = s.atEnd ? l.sheetEnd : l.nextAutomatic;
  automatic.previousLink = s.atStart ? l.sheet : l.previousAutomatic;
  automatic.pauseLink = s.atEnd ? l.sheet : l.currentManual;
  automatic.nextLink = s.atEnd ? l.sheetEnd : l.nextAutomatic;
  automatic.prefetchPage = s.atEnd ? l.sheet : l.nextAutomatic;
}

void WriteSlide(const Slide& s) {
  const PageStyle& style = *State.Style;
  static std::string sheetEnd, line, text;  // buffers that keep their room for the whole run
  const NeighbourPictures pictures = PicturesOf(s);
  line.clear();
  style.combinedImage({State.CurrentImage, s.current->manual.linked, State.CurrentCaption,
                       s.atStart, s.current->shown, SourcesOf(*s.current)},
                      line);
  std::fwrite(line.data(), 1, line.size(), State.CombinedPage);

  State.ThumbnailName.assign(style.previousIcon(pictures));
  sheetEnd.assign(State.SheetName).append("#end");
  const StepLinks links = LinksOf(s, sheetEnd, State.ThumbnailName, style.nextIcon(pictures));
  SlidePageValues manual, automatic;
  SetValues(s, links, manual, automatic);
  style.manualPage(manual, text);
  WriteSlidePage(s.current->manual, text);
  style.automaticPage(automatic, text);
  WriteSlidePage(s.current->automatic, text);
  ++State.ImagesWritten;
}

}  // namespace

const char* GenerateSlide(const char* from) {
  const char* next = nullptr;
  WriteSlide(WalkOneImage(from, &next));
  return next;
}

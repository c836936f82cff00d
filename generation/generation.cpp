// Start and finish of a generation, and the combined page "allin1.html".
#include "generation/generation.h"

#include "generation/contact_sheet.h"
#include "generation/generation_state.h"
#include "generation/slide_step.h"
#include "pages/combined_page.h"
#include "pages/modern_pages.h"
#include "pages/text_output.h"
#include "sheet/scanner.h"

GenerationState State;

namespace {

int AbandonStart(const char* text) {
  ReportFailure(nullptr, text, State.StartFolder, BoxIcon::Exclamation);
  CloseContactSheet();
  return -1;
}

}  // namespace

int BeginReadingSheet() {
  if (SelectContactSheet() == 0) return 0;
  State.NextImage = State.StartFolder;
  if (OpenContactSheet(*State.InputPath) == 0) return -1;
  if (State.Style == PageStyle::Modern) ReadSheetDeclarations();

  State.ScanPosition = FindNextImage(State.SheetView);
  if (State.ScanPosition == nullptr) return AbandonStart(kNoImagesFound);
  State.ScanPosition = ReadNextCaption(State.ScanPosition);
  ExtractTitle(State.SheetView, State.SheetEnd, State.SheetTitle);
  return 1;
}

int BeginGeneration() {
  const int started = BeginReadingSheet();
  if (started != 1) return started;
  State.CombinedPage = CreateOutputFile(kCombinedPageName, kOwnPageMarker);
  if (State.CombinedPage == nullptr) return AbandonStart(kCombinedPageFailure);
  State.ShowBegun = true;
  std::setvbuf(State.CombinedPage, State.CombinedPageBuffer, _IOFBF,
               sizeof State.CombinedPageBuffer);
  if (State.Style == PageStyle::Modern) {
    State.NextThumbnail = ThumbnailOf(State.NextImage);
    const std::string header = ModernCombinedHeader(State.SheetLanguage, State.SheetCharset,
                                                    State.SheetTitle, State.SheetName);
    std::fwrite(header.data(), 1, header.size(), State.CombinedPage);
  } else {
    WriteFormatted(State.CombinedPage, kCombinedPageHeader,
                   {State.SheetTitle, State.SheetName, State.SheetTitle});
  }
  return 1;
}

void FinishGeneration() {
  if (State.CombinedPage != nullptr) {
    if (State.Style == PageStyle::Modern) {
      const std::string trailer = ModernCombinedTrailer(State.SheetName, State.SheetTitle);
      std::fwrite(trailer.data(), 1, trailer.size(), State.CombinedPage);
    } else {
      WriteFormatted(State.CombinedPage, kCombinedPageTrailer, {State.SheetName, State.SheetTitle});
    }
    const bool complete = CloseOutputFile(State.CombinedPage);
    State.CombinedPage = nullptr;
    // A combined page cut short by a full disk is a failure, not a finished slide show.
    if (!complete)
      ReportFailure(nullptr, kCombinedPageIncomplete, State.StartFolder, BoxIcon::Exclamation);
  }
  CloseContactSheet();
}

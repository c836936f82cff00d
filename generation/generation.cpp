// Start and finish of a generation, and the combined page "allin1.html".
#include "generation/generation.h"

#include "generation/contact_sheet.h"
#include "generation/generation_state.h"
#include "pages/combined_page.h"
#include "pages/text_output.h"
#include "sheet/scanner.h"

GenerationState State;

namespace {

const char kCombinedPageName[] = "allin1.html";

int FailStart(const char* text) {
  ReportFailure(nullptr, text, State.StartFolder, BoxIcon::Exclamation);
  CloseContactSheet();
  return -1;
}

}  // namespace

void ReportFailure(PlatformWindow* owner, const std::string& text, const std::string& title,
                   BoxIcon icon) {
  State.FailureReported = true;
  ShowMessageBox(owner, text, title, icon);
}

int BeginGeneration() {
  if (SelectContactSheet() == 0) return 0;
  State.NextImage = State.StartFolder;
  if (OpenContactSheet(*State.InputPath) == 0) return -1;

  State.ScanPosition = FindNextImage(State.SheetView);
  if (State.ScanPosition == nullptr)
    return FailStart("Kestrune Err: No images found in input file");
  State.ScanPosition = ReadNextCaption(State.ScanPosition);
  ExtractTitle(State.SheetView, State.SheetEnd, State.SheetTitle);

  State.CombinedPage = CreateOutputFile(kCombinedPageName);
  if (State.CombinedPage == nullptr) return FailStart(kCombinedPageFailure);
  std::setvbuf(State.CombinedPage, State.CombinedPageBuffer, _IOFBF,
               sizeof State.CombinedPageBuffer);
  WriteFormatted(State.CombinedPage, kCombinedPageHeader,
                 {State.SheetTitle, State.SheetName, State.SheetTitle});
  return 1;
}

void FinishGeneration() {
  if (State.CombinedPage != nullptr) {
    WriteFormatted(State.CombinedPage, kCombinedPageTrailer, {State.SheetName, State.SheetTitle});
    const bool complete = CloseOutputFile(State.CombinedPage);
    State.CombinedPage = nullptr;
    // A combined page cut short by a full disk is a failure, not a finished slide show.
    if (!complete)
      ReportFailure(nullptr, kCombinedPageIncomplete, State.StartFolder, BoxIcon::Exclamation);
  }
  CloseContactSheet();
}

// Start and finish of a generation, and the combined page "allin1.html".
#include "generation/generation.h"

#include "generation/contact_sheet.h"
#include "generation/generation_state.h"
#include "generation/sheet_walk.h"
#include "generation/slide_step.h"
#include "pages/page_marker.h"
#include "sheet/scanner.h"

GenerationState State;

namespace {

StartResult AbandonStart(const char* text) {
  ReportFailure(nullptr, text, State.StartFolder, BoxIcon::Exclamation);
  CloseContactSheet();
  return StartResult::Failed;
}

SheetFacts SheetFactsOf() {
  return {State.SheetLanguage, State.SheetCharset, State.SheetTitle, State.SheetName};
}

}  // namespace

StartResult BeginReadingSheet() {
  if (SelectContactSheet() == 0) return StartResult::Cancelled;
  State.NextImage = State.StartFolder;
  if (OpenContactSheet(*State.InputPath) == 0) return StartResult::Failed;
  ChooseImageLinks();
  ForgetWalk();
  if (State.LinkedImages == ImageLinks::Photos)
    State.SheetTrail = ReadTrail(State.SheetView, State.SheetEnd);
  State.ReadCaption = ReadLinkedCaption;
  if (State.Style->describesImages) State.ReadCaption = ReadDescribedCaption;
  // Pages that describe their images declare the sheet's charset; where files are named in
  // Unicode, the names of its links are read in it.
  if (State.Style->describesImages || NamesFilesInUnicode()) ReadSheetDeclarations();

  State.ScanPosition = FindNextImage(State.SheetView);
  if (State.ScanPosition == nullptr) return AbandonStart(kNoImagesFound);
  State.ScanPosition = ReadNextCaption(State.ScanPosition);
  ExtractTitle(State.SheetView, State.SheetEnd, State.SheetTitle);
  return StartResult::Started;
}

void EndReadingSheet() {
  CloseContactSheet();
}

StartResult BeginGeneration() {
  const StartResult started = BeginReadingSheet();
  if (started != StartResult::Started) return started;
  State.CombinedPage = CreateOutputFile(kCombinedPageName, kOwnPageMarker);
  if (State.CombinedPage == nullptr) return AbandonStart(kCombinedPageFailure);
  State.ShowBegun = true;
  std::setvbuf(State.CombinedPage, State.CombinedPageBuffer, _IOFBF,
               sizeof State.CombinedPageBuffer);
  std::string header;
  State.Style->combinedHeader(SheetFactsOf(), header);
  std::fwrite(header.data(), 1, header.size(), State.CombinedPage);
  return StartResult::Started;
}

void PrepareGenerationOf(const std::string& sheet) {
  GenerationState fresh;
  fresh.Style = State.Style;
  fresh.StartFolder = State.StartFolder;
  fresh.MainWindow = State.MainWindow;
  fresh.FailureReported = State.FailureReported;
  fresh.StepRunning = State.StepRunning;
  fresh.SessionEnded = State.SessionEnded;
  fresh.InputPath = sheet;
  State = std::move(fresh);
}

bool WriteNextSlide() {
  if (State.CombinedPage == nullptr || State.ScanPosition == nullptr) return false;
  State.ScanPosition = GenerateSlide(State.ScanPosition);
  return State.ScanPosition != nullptr;
}

void FinishGeneration() {
  if (State.CombinedPage != nullptr) {
    std::string trailer;
    State.Style->combinedTrailer(SheetFactsOf(), trailer);
    std::fwrite(trailer.data(), 1, trailer.size(), State.CombinedPage);
    const bool complete = CloseOutputFile(State.CombinedPage);
    State.CombinedPage = nullptr;
    // A combined page cut short by a full disk is a failure, not a finished slide show.
    if (!complete)
      ReportFailure(nullptr, kCombinedPageIncomplete, State.StartFolder, BoxIcon::Exclamation);
  }
  EndReadingSheet();
}

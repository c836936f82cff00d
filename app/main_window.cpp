// The window procedure: the Open command starts a generation, then every posted step message
// writes one image until the window closes itself.
#include "app/main_window.h"

#include <cstring>

#include "app/menu.h"
#include "gallery/folder_report.h"
#include "gallery/folder_run.h"
#include "generation/generation.h"
#include "generation/generation_state.h"
#include "generation/preview.h"
#include "generation/slide_step.h"
#include "kestrune_version.h"
#include "photos/photos.h"
#include "sheet/sheet_path.h"

const char kAboutText[] =
    KESTRUNE_PRODUCT "\n\nVersion " KESTRUNE_VERSION ". " KESTRUNE_LEGAL_NOTICE;

#define MENU_POPUP(label) {MenuEntry::Popup, label, 0},
#define MENU_ITEM(label, command) {MenuEntry::Item, label, command},
#define MENU_END_POPUP {MenuEntry::EndPopup, nullptr, 0},
const MenuEntry kMainMenu[] = {KESTRUNE_MENU(MENU_POPUP, MENU_ITEM, MENU_END_POPUP)};
const std::size_t kMainMenuEntries = sizeof kMainMenu / sizeof kMainMenu[0];

namespace {

// Shown when the help page cannot be opened.
const char kHelpFallbackText[] =
    "Kestrune will parse an HTML contact sheet that contains links to JPG, GIF and/or PNG files "
    "and build a series of small HTML files that work as a slide show that the user can change "
    "manually or set to change automatically every 5 seconds. These small slideshow HTML files, "
    "along with an allin1.html file will be written to the same folder as the contact sheet.\n"
    "\n"
    "Use File > Open to select the HTML contact sheet.\n"
    "\n"
    "Or use File > Open Folder... to choose a folder of photos (JPEG, PNG, GIF, HEIC, AVIF, WebP, "
    "TIFF), or of folders of them: kestrune makes each folder's thumbnails, copies sized for "
    "screens and contact sheet, index.html, then its slide show.";

// wParam of the step message (MsgStep) of a folder run; a sheet run's carries 0.
constexpr std::uintptr_t kFolderStep = 1;

// The order of a folder run's photos and albums, chosen on the command line (--order).
std::string FolderOrder;

// The folder the input names, cleaned as a sheet's path is; empty when it names none.
std::string FolderOfInput() {
  if (!State.InputPath || State.InputPath->empty() || State.InputPath->front() == '?')
    return std::string();
  std::string path = *State.InputPath;
  CleanPath(path);
  return IsFolderPath(path) ? path : std::string();
}

// A folder run's failures count for the exit status as every other failure does.
void NoteFolderRunFailures() {
  if (FolderRunFailed()) State.FailureReported = true;
}

void StartFolderRun(const std::string& folder) {
  const bool begun = BeginFolderRun({folder}, *State.Style, State.StartFolder, FolderOrder);
  NoteFolderRunFailures();
  if (!begun) {
    State.FailureReported = true;
    PostWindowMessage(State.MainWindow, MsgClose, 0, 0);
    return;
  }
  PostWindowMessage(State.MainWindow, MsgStep, kFolderStep, 0);
}

void OnOpen(PlatformWindow*) {
  // One run at a time: an Open that arrives while one runs is ignored.
  if (State.CombinedPage != nullptr || FolderRunActive()) return;
  const std::string folder = FolderOfInput();
  if (!folder.empty()) return StartFolderRun(folder);
  switch (BeginGeneration()) {
    case StartResult::Failed:
      PostWindowMessage(State.MainWindow, MsgClose, 0, 0);
      break;
    case StartResult::Cancelled:
      State.InputPath.reset();
      break;
    case StartResult::Started:
      PostWindowMessage(State.MainWindow, MsgStep, 0, 0);
      break;
  }
}

// File > Open Folder...: the folder chosen is the run's input, as if named on the command line.
void OnOpenFolder(PlatformWindow* window) {
  if (State.CombinedPage != nullptr) return;
  std::string folder;
  if (!ChooseFolder(State.StartFolder, "Open a folder of photos", &folder)) return;
  State.InputPath = folder;
  OnOpen(window);
}

void OnExit(PlatformWindow* window) {
  PostWindowMessage(window, MsgClose, 0, 0);
}

void OnAbout(PlatformWindow* window) {
  ShowMessageBox(window, kAboutText, KESTRUNE_PRODUCT, BoxIcon::Information);
}

void OnHelp(PlatformWindow* window) {
  const std::string address = HelpPageAddress();
  if (address.empty() || !OpenWebPage(window, address)) {
    ShowMessageBox(window, kHelpFallbackText, KESTRUNE_PRODUCT, BoxIcon::Information);
  }
}

struct Command {
  unsigned id;
  void (*handler)(PlatformWindow*);
};

const Command kCommands[] = {
    {IDM_OPEN, OnOpen}, {IDM_OPEN_FOLDER, OnOpenFolder}, {IDM_EXIT, OnExit}, {IDM_ABOUT, OnAbout},
    {IDM_HELP, OnHelp},
};

void OnCommand(PlatformWindow* window, unsigned id) {
  for (const Command& command : kCommands) {
    if (command.id == id) command.handler(window);
  }
}

// The session, or a signal on the command line, ends the program: the step that ran has
// completed, no further one starts, and the combined page is finished at once (on Windows the
// process may end as soon as this returns) and lists exactly the images written.
void OnEndSession(PlatformWindow* window) {
  if (State.StepRunning) {  // a box of the step is open: the step ends the session when done
    State.SessionEnded = true;
    return;
  }
  EndFolderRunEarly();
  FinishGeneration();
  DefaultWindowProc(window, MsgClose, 0, 0);
}

// One step of a folder run, with its progress shown; the next step, or the window closed.
void OnFolderStep() {
  if (!FolderRunActive()) return;
  State.StepRunning = true;  // a photo's message box may see the session end: finish first
  const FolderStep step = StepFolderRun();
  State.StepRunning = false;
  NoteFolderRunFailures();
  if (!FolderRunProgress().empty()) StepShown(State.MainWindow, FolderRunProgress());
  if (State.SessionEnded) {
    OnEndSession(State.MainWindow);
    return;
  }
  if (step == FolderStep::More)
    PostWindowMessage(State.MainWindow, MsgStep, kFolderStep, 0);
  else
    PostWindowMessage(State.MainWindow, MsgClose, 0, 0);
}

// The status text: a folder run's progress while it makes thumbnails, else the image found last.
const std::string& StatusText() {
  return FolderRunProgress().empty() ? State.NextImage : FolderRunProgress();
}

void OnStep() {
  // A step message without a running generation has nothing to write.
  if (State.CombinedPage == nullptr || State.ScanPosition == nullptr) return;
  State.StepRunning = true;
  State.ScanPosition = GenerateSlide(State.ScanPosition);
  State.StepRunning = false;
  if (State.SessionEnded) {
    OnEndSession(State.MainWindow);
    return;
  }
  PostWindowMessage(State.MainWindow, State.ScanPosition != nullptr ? MsgStep : MsgClose, 0, 0);
}

}  // namespace

std::intptr_t MainWindowProc(PlatformWindow* window, unsigned message, std::uintptr_t wParam,
                             std::intptr_t lParam) {
  switch (message) {
    case MsgCommand:
      OnCommand(window, static_cast<unsigned>(wParam & 0xFFFF));
      return 0;
    case MsgStep:
      if (wParam == kFolderStep)
        OnFolderStep();
      else
        OnStep();
      return 0;
    case MsgEndSession:
      if (wParam != 0) OnEndSession(window);
      return 0;
    case MsgPaint:
      PaintStatusText(window, StatusText());
      return 0;
    case MsgSize:
      InvalidateWindow(window);
      return 0;
    case MsgDestroy:
      PostQuit(State.FailureReported ? 1 : 0);
      return 0;
    default:
      return DefaultWindowProc(window, message, wParam, lParam);
  }
}

CommandOptions ReadCommandOptions(const std::string& commandLine) {
  CommandOptions options;
  bool dryRun = false, clean = false, byName = false, byDate = false;
  const struct {
    const char* word;
    bool* seen;
  } kOptions[] = {{"--modern", &options.modern},
                  {"--dry-run", &dryRun},
                  {"--clean", &clean},
                  {"--order name", &byName},
                  {"--order date", &byDate}};
  const auto isBlank = [&commandLine](std::size_t at) {
    return commandLine[at] == ' ' || commandLine[at] == '\t';
  };
  for (bool taken = true; taken;) {
    taken = false;
    for (const auto& option : kOptions) {
      const std::size_t end = options.length + std::strlen(option.word);
      if (*option.seen ||
          commandLine.compare(options.length, end - options.length, option.word) != 0 ||
          (end < commandLine.size() && !isBlank(end)))
        continue;  // given already, another word, or a longer one such as a sheet's name
      *option.seen = taken = true;
      options.length = end;
      while (options.length < commandLine.size() && isBlank(options.length)) ++options.length;
      break;
    }
  }
  options.conflicting = dryRun && clean;
  options.order = byDate ? "date" : byName ? "name" : "";
  options.mode = dryRun ? RunMode::DryRun : clean ? RunMode::Clean : RunMode::Write;
  return options;
}

namespace {

const char kConflictText[] =
    "--dry-run and --clean cannot be used together: --dry-run tells what a run would write, "
    "--clean removes what a run wrote.";

// A dry run or a clean: no window, and one result at the end.
int RunWithoutWindow(const CommandOptions& options) {
  if (options.conflicting) {
    ShowMessageBox(nullptr, kConflictText, KESTRUNE_PRODUCT, BoxIcon::Exclamation);
    return 2;
  }
  const bool clean = options.mode == RunMode::Clean;
  const std::string folder = FolderOfInput();
  if (!folder.empty()) return clean ? CleanFolder(folder) : DryRunFolder(folder);
  return clean ? CleanSlideShow() : DryRun();
}

}  // namespace

int RunKestrune(const std::string& commandLine, const CommandOptions& options) {
  if (options.modern) State.Style = &ModernPages;
  FolderOrder = options.order;
  const std::string tail = commandLine.substr(options.length);
  State.InputPath = (!tail.empty() && tail.front() == '?') ? "" : tail;
  if (options.mode != RunMode::Write || options.conflicting) {
    State.StartFolder = GetWorkingFolder();
    const int status = RunWithoutWindow(options);
    if (const int signal = PendingInterruption()) {
      TellConsole(KESTRUNE_CONSOLE_PREFIX "stopped by signal " + std::to_string(signal));
      return 128 + signal;
    }
    return status;
  }
  State.MainWindow = CreateMainWindow(MainWindowProc, kMainMenu, kMainMenuEntries);
  if (State.MainWindow == nullptr) return -1;
  ShowMainWindow(State.MainWindow);
  State.StartFolder = GetWorkingFolder();
  PostWindowMessage(State.MainWindow, MsgCommand, IDM_OPEN, 0);

  PlatformMessage message;
  int exitCode = 0;
  while (GetNextMessage(&message, &exitCode)) DispatchWindowMessage(message);
  EndFolderRunEarly();  // the window closed while thumbnails were made
  FinishGeneration();
  if (const int signal = PendingInterruption()) {
    // As a program ended by the signal would report it, but with a slide show to show for it
    // when a run had begun one.
    std::string told = KESTRUNE_CONSOLE_PREFIX "stopped by signal " + std::to_string(signal);
    if (State.ShowBegun)
      told += "; the slide show holds " + std::to_string(State.ImagesWritten) +
              " images, all listed in allin1.html";
    TellConsole(told);
    return 128 + signal;
  }
  // A failure reported after the loop (the combined page could not be completed) counts too.
  return State.FailureReported ? 1 : exitCode;
}

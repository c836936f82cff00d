// The desktop window's message order, run without a display: the program's own window procedure
// and run over the message queue, with a scripted toolkit standing in for FLTK.
#include "ui/message_queue.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/menu.h"
#include "generation_fixture.h"

namespace {

// What the program did to the scripted toolkit, and what the toolkit does in return.
struct Script {
  std::vector<std::string> handled;  // messages the window procedure received, in order
  std::vector<std::string> painted;  // status texts painted
  std::vector<std::string> boxes;    // "TITLE: TEXT"
  std::vector<std::string> chooserFolders;
  std::vector<std::string> chooserAnswers;  // one per chooser shown; "" cancels
  int waits = 0;
  // The user, called when the loop waits for the toolkit (with the number of the wait) and when
  // the status text is painted. Without an answer the user presses the close box.
  std::function<void(int wait)> onWait;
  std::function<void(const std::string& text)> onPaint;
  std::function<void(const std::string& title)> onBox;  // while the box is open
  std::function<void()> onChooser;                      // while the chooser is open
};

Script Toolkit;
WindowProcedure ProgramProcedure = nullptr;

std::string Describe(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
  switch (message) {
    case MsgCommand:
      return "Command " + std::to_string(wParam);
    case MsgStep:
      return "Step";
    case MsgPaint:
      return "Paint";
    case MsgClose:
      return "Close";
    case MsgDestroy:
      return "Destroy";
    case MsgEndSession:
      return "EndSession " + std::to_string(lParam);
    case MsgSize:
      return "Size " + std::to_string(lParam & 0xFFFF) + "x" + std::to_string(lParam >> 16);
  }
  return "Message " + std::to_string(message);
}

std::intptr_t RecordingProcedure(PlatformWindow* window, unsigned message, std::uintptr_t wParam,
                                 std::intptr_t lParam) {
  Toolkit.handled.push_back(Describe(message, wParam, lParam));
  return ProgramProcedure(window, message, wParam, lParam);
}

void ScriptedWait() {
  ++Toolkit.waits;
  // A user who never answers would leave the loop waiting for ever.
  if (Toolkit.onWait && Toolkit.waits < 50) {
    Toolkit.onWait(Toolkit.waits);
  } else {
    QueueCloseBox();
  }
}

void NoWindowToDestroy() {}

PlatformWindow* ScriptedWindow = nullptr;

PlatformWindow* ScriptedCreate(WindowProcedure procedure, const MenuEntry*, std::size_t) {
  ProgramProcedure = procedure;
  ScriptedWindow =
      StartMessageQueue(RecordingProcedure, QueueToolkit{ScriptedWait, NoWindowToDestroy});
  return ScriptedWindow;
}

// A window that appears on the screen needs its first paint.
void ScriptedShow(PlatformWindow*) {
  RequestPaint();
}

void ScriptedInvalidate(PlatformWindow*) {
  RequestPaint();
}

void ScriptedPaint(PlatformWindow*, const std::string& text) {
  Toolkit.painted.push_back(text);
  if (Toolkit.onPaint) Toolkit.onPaint(text);
}

void ScriptedBox(PlatformWindow*, const std::string& text, const std::string& title, BoxIcon) {
  Toolkit.boxes.push_back(title + ": " + text);
  if (Toolkit.onBox) Toolkit.onBox(title);
}

bool ScriptedChooser(const std::string& folder, const std::string& title, std::string* chosen) {
  EXPECT_EQ(title, "Choose File from which to Generate Slideshow");
  Toolkit.chooserFolders.push_back(folder);
  if (Toolkit.onChooser) Toolkit.onChooser();
  const std::size_t shown = Toolkit.chooserFolders.size();
  if (shown > Toolkit.chooserAnswers.size() || Toolkit.chooserAnswers[shown - 1].empty())
    return false;
  *chosen = Toolkit.chooserAnswers[shown - 1];
  return true;
}

bool NoBrowser(PlatformWindow*, const std::string&) {
  return false;
}

// The signal a test lets arrive, seen by the queue in place of the process's own signals.
int InterruptedBy = 0;

int ScriptedInterruption() {
  return InterruptedBy;
}

void WatchScriptedInterruption(int (*)()) {
  InterruptedBy = 0;
  QueueWatchInterruption(ScriptedInterruption);
}

const WindowOperations ScriptedDesktop = {
    ScriptedBox,
    ScriptedCreate,
    ScriptedShow,
    QueuePostWindowMessage,
    QueueGetNextMessage,
    QueueDefaultWindowProc,
    QueuePostQuit,
    [](PlatformWindow* window, const std::string&) { QueueRepaintNow(window); },
    ScriptedInvalidate,
    ScriptedPaint,
    ScriptedChooser,
    NoBrowser,
    WatchScriptedInterruption,
    [](const std::string&, const std::string&, std::string*) { return false; },
};

std::string Sheet(const std::string& anchors) {
  return "<html><head><title>Trip</title></head><body>\n" + anchors + "\n</body></html>\n";
}

const char kThreeImages[] =
    R"(<a href="a.jpg">A</a> <a href="b.jpg">B</a> <a href="photos/c.png">C</a>)";

class DesktopLoopTest : public GenerationTest {
 protected:
  void SetUp() override {
    Toolkit = Script{};
    State = GenerationState{};
    UseWindowOperations(ScriptedDesktop);
  }

  void TearDown() override {
    UseWindowOperations(HeadlessWindowOperations);
    GenerationTest::TearDown();
  }

  // The whole program as the entry point runs it, started in the scratch folder.
  int Run(const std::string& commandLine) {
    SetWorkingFolder(folder_.path());
    startedIn_ = GetWorkingFolder();
    const int exitCode = RunKestrune(commandLine, ReadCommandOptions(commandLine));
    SetWorkingFolder(startFolder_);
    return exitCode;
  }

  // A sheet of three images, the last in a subfolder.
  void WriteThreeImageSheet() {
    folder_.Write("index.html", Sheet(kThreeImages));
    folder_.Write("photos/c.png", "");
  }

  std::string startedIn_;
};

using Lines = std::vector<std::string>;

TEST_F(DesktopLoopTest, StepsRunBeforeMenuChoicesAndPaintsQueuedDuringTheChain) {
  WriteThreeImageSheet();
  // While the first image is shown, the user chooses Help > About and File > Exit, and the
  // window is exposed: all of it waits behind the chain, which closes the window first.
  Toolkit.onPaint = [](const std::string& text) {
    if (text != "a.jpg") return;
    QueueMenuCommand(IDM_ABOUT);
    QueueMenuCommand(IDM_EXIT);
    RequestPaint();
  };
  EXPECT_EQ(Run("index.html"), 0);
  EXPECT_EQ(Toolkit.handled, (Lines{"Command 1", "Paint", "Step", "Paint", "Step", "Paint", "Step",
                                    "Close", "Destroy"}));
  // One forced repaint for each image found, showing its link target.
  EXPECT_EQ(Toolkit.painted, (Lines{"a.jpg", "b.jpg", "photos/c.png"}));
  EXPECT_EQ(Toolkit.boxes, Lines{});
  EXPECT_EQ(Toolkit.waits, 0);
  for (const char* page : {"a.htm", "a.html", "b.htm", "b.html", "photos/c.htm", "photos/c.html"})
    EXPECT_TRUE(folder_.Exists(page)) << page;
  EXPECT_TRUE(Contains(Page("allin1.html"), "<img src=\"photos/c.png\">"));
}

// A signal during a step: that step completes, the window is told before the next step, no
// further step runs, and the combined page, finished at once, lists exactly the images written.
TEST_F(DesktopLoopTest, InterruptionEndsTheRunBetweenTwoStepsWithACompleteCombinedPage) {
  WriteThreeImageSheet();
  Toolkit.onPaint = [](const std::string& text) {
    if (text == "photos/c.png") InterruptedBy = 15;  // found while b.jpg is written
  };
  EXPECT_EQ(Run("index.html"), 0);  // the exit status of a signal is the entry point's
  EXPECT_EQ(Toolkit.handled, (Lines{"Command 1", "Paint", "Step", "Paint", "Step", "Paint",
                                    "EndSession 15", "Destroy"}));
  EXPECT_EQ(State.ImagesWritten, 2u);
  EXPECT_TRUE(folder_.Exists("b.html"));
  EXPECT_FALSE(folder_.Exists("photos/c.htm"));
  const std::string combined = Page("allin1.html");
  EXPECT_TRUE(Contains(combined, "<img src=\"b.jpg\">"));
  EXPECT_FALSE(Contains(combined, "c.png"));
  EXPECT_TRUE(Contains(combined, "Back to Trip</a></h3></center></BODY></HTML>\r\n"));
}

// Win32 hands sent messages to the window inside the loop of a message box: the session may end
// in the middle of a step. The step still completes before the combined page is finished.
TEST_F(DesktopLoopTest, SessionEndingWhileAStepShowsABoxLetsTheStepComplete) {
  WriteThreeImageSheet();
  ASSERT_EQ(::mkdir((folder_ / "b.htm").c_str(), 0755), 0);  // refused with a box
  Toolkit.onBox = [this](const std::string& title) {
    if (title != "b.htm") return;
    ProgramProcedure(ScriptedWindow, MsgEndSession, 1, 0);
    EXPECT_FALSE(folder_.Exists("allin1.html"));  // not finished inside the step
  };
  EXPECT_EQ(Run("index.html"), 1);
  EXPECT_EQ(Toolkit.boxes, Lines{"b.htm: Unable to create SlideShow file"});
  EXPECT_TRUE(folder_.Exists("b.html"));  // the step's other page, written after the box
  EXPECT_FALSE(folder_.Exists("photos/c.htm"));
  const std::string combined = Page("allin1.html");
  EXPECT_TRUE(Contains(combined, "<img src=\"b.jpg\">"));
  EXPECT_FALSE(Contains(combined, "c.png"));
  EXPECT_TRUE(Contains(combined, "</center></BODY></HTML>\r\n"));
}

// A signal while a modal dialog waits: the toolkit answers the dialog (the chooser as cancelled,
// a box as with OK), and the run ends as between two steps. Without a run begun, nothing is
// written; during a step's box, that step completes and is the last.
TEST_F(DesktopLoopTest, ASignalWhileADialogWaitsEndsTheProgramAfterIt) {
  WriteThreeImageSheet();
  Toolkit.onChooser = [] { InterruptedBy = 15; };
  EXPECT_EQ(Run(""), 0);  // the exit status of a signal is the entry point's
  EXPECT_EQ(Toolkit.handled, (Lines{"Command 1", "EndSession 15", "Destroy"}));
  EXPECT_EQ(Toolkit.chooserFolders, Lines{startedIn_});
  EXPECT_EQ(ListFiles(folder_.path()), (Lines{"index.html", "photos/c.png"}));

  Toolkit = Script{};
  State = GenerationState{};
  ASSERT_EQ(::mkdir((folder_ / "b.htm").c_str(), 0755), 0);  // refused with a box
  Toolkit.onBox = [](const std::string&) { InterruptedBy = 15; };
  EXPECT_EQ(Run("index.html"), 1);
  EXPECT_EQ(Toolkit.handled, (Lines{"Command 1", "Paint", "Step", "Paint", "Step", "Paint",
                                    "EndSession 15", "Destroy"}));
  EXPECT_TRUE(folder_.Exists("b.html"));  // the step's other page, written after the box
  EXPECT_FALSE(folder_.Exists("photos/c.htm"));
  EXPECT_TRUE(Contains(Page("allin1.html"), "<img src=\"b.jpg\">"));
}

TEST_F(DesktopLoopTest, CancelledChooserLeavesTheWindowIdleAndOpenAsksAgain) {
  Toolkit.onWait = [](int wait) {
    switch (wait) {
      case 1:  // input arrives together with an exposure: input first, then one paint
        RequestPaint();
        QueueResize(800, 575);
        QueueMenuCommand(IDM_ABOUT);
        break;
      case 2:
        QueueMenuCommand(IDM_OPEN);
        break;
      default:
        QueueMenuCommand(IDM_EXIT);
    }
  };
  EXPECT_EQ(Run(""), 0);
  EXPECT_EQ(Toolkit.handled, (Lines{"Command 1", "Paint", "Size 800x575", "Command 3", "Paint",
                                    "Command 1", "Command 2", "Close", "Destroy"}));
  EXPECT_EQ(Toolkit.painted, Lines(2, kInitialStatusText));
  EXPECT_EQ(Toolkit.chooserFolders, Lines(2, startedIn_));
  ASSERT_EQ(Toolkit.boxes.size(), 1u);
  EXPECT_EQ(Toolkit.boxes[0], std::string("Quillfen: ") + kAboutText);
  EXPECT_FALSE(folder_.Exists("allin1.html"));
}

TEST_F(DesktopLoopTest, ChoosingASheetAfterACancelRunsItAndClosesTheWindow) {
  WriteThreeImageSheet();
  Toolkit.chooserAnswers = {"", folder_ / "index.html"};
  Toolkit.onWait = [](int) { QueueMenuCommand(IDM_OPEN); };
  EXPECT_EQ(Run("?"), 0);
  EXPECT_EQ(Toolkit.chooserFolders.size(), 2u);
  EXPECT_EQ(Toolkit.waits, 1);
  EXPECT_EQ(Toolkit.painted, (Lines{kInitialStatusText, "a.jpg", "b.jpg", "photos/c.png"}));
  EXPECT_EQ(Toolkit.handled.back(), "Destroy");
  EXPECT_TRUE(folder_.Exists("photos/c.html"));
}

// "--modern" alone: the chooser asks for the sheet, and the sheet chosen gets modern pages.
TEST_F(DesktopLoopTest, ModernWithoutASheetAsksForOneAndWritesModernPages) {
  WriteThreeImageSheet();
  Toolkit.chooserAnswers = {folder_ / "index.html"};
  EXPECT_EQ(Run("--modern"), 0);
  EXPECT_EQ(Toolkit.chooserFolders, Lines{startedIn_});
  EXPECT_EQ(Page("a.htm").compare(0, 17, "<!DOCTYPE html>\r\n"), 0);
  EXPECT_EQ(Page("allin1.html").compare(0, 17, "<!DOCTYPE html>\r\n"), 0);
}

TEST_F(DesktopLoopTest, FailedStartShowsItsBoxAndEndsWithStatusOne) {
  EXPECT_EQ(Run("missing.html"), 1);
  EXPECT_EQ(Toolkit.boxes, Lines{startedIn_ + ": File not found: missing.html"});
  // The paint the shown window asked for is dropped with the window.
  EXPECT_EQ(Toolkit.handled, (Lines{"Command 1", "Close", "Destroy"}));
  EXPECT_EQ(Toolkit.waits, 0);
}

TEST_F(DesktopLoopTest, CloseBoxWhileIdleEndsOnceAndDropsLaterInput) {
  Toolkit.onWait = [](int) {
    QueueCloseBox();
    QueueCloseBox();
    QueueMenuCommand(IDM_ABOUT);
  };
  EXPECT_EQ(Run(""), 0);
  EXPECT_EQ(Toolkit.handled, (Lines{"Command 1", "Paint", "Close", "Destroy"}));
  EXPECT_EQ(Toolkit.boxes, Lines{});
  // Input for a destroyed window goes nowhere.
  QueueMenuCommand(IDM_ABOUT);
  RequestPaint();
  PlatformMessage message;
  int exitCode = -1;
  EXPECT_FALSE(QueueGetNextMessage(&message, &exitCode));
  EXPECT_EQ(exitCode, 0);
}

// ---- The queues on their own --------------------------------------------------------------------

std::vector<std::string> Drained;

std::intptr_t Drain(PlatformWindow*, unsigned message, std::uintptr_t wParam,
                    std::intptr_t lParam) {
  Drained.push_back(Describe(message, wParam, lParam));
  return 0;
}

class DesktopQueueTest : public testing::Test {
 protected:
  void SetUp() override {
    Drained.clear();
    window_ = StartMessageQueue(Drain, QueueToolkit{ScriptedWait, NoWindowToDestroy});
    Toolkit = Script{};
  }

  // Hands out messages until the loop ends or the toolkit would be asked to wait.
  Lines Take(int* exitCode) {
    Lines taken;
    PlatformMessage message;
    while (QueueMessagePending() && QueueGetNextMessage(&message, exitCode))
      taken.push_back(Describe(message.message, message.wParam, message.lParam));
    return taken;
  }

  PlatformWindow* window_ = nullptr;
};

TEST_F(DesktopQueueTest, PostedBeforeInputBeforePaint) {
  RequestPaint();
  QueueMenuCommand(IDM_HELP);
  QueuePostWindowMessage(window_, MsgStep, 0, 0);
  QueueCloseBox();
  RequestPaint();
  QueuePostWindowMessage(window_, MsgCommand, IDM_OPEN, 0);
  int exitCode = -1;
  EXPECT_EQ(Take(&exitCode), (Lines{"Step", "Command 1", "Command 4", "Close", "Paint"}));
  EXPECT_EQ(Toolkit.waits, 0);
}

TEST_F(DesktopQueueTest, QuitComesAfterPostedMessagesAndBeforeInput) {
  QueueMenuCommand(IDM_ABOUT);
  QueuePostWindowMessage(window_, MsgStep, 0, 0);
  QueuePostQuit(7);
  QueuePostWindowMessage(window_, MsgStep, 0, 0);
  int exitCode = -1;
  EXPECT_EQ(Take(&exitCode), (Lines{"Step", "Step"}));
  EXPECT_EQ(exitCode, 7);
}

TEST_F(DesktopQueueTest, ForcedRepaintSettlesAPendingPaint) {
  RequestPaint();
  QueueRepaintNow(window_);
  EXPECT_EQ(Drained, Lines{"Paint"});
  EXPECT_FALSE(QueueMessagePending());
}

TEST_F(DesktopQueueTest, SizesFillOneWordEach) {
  QueueResize(1, 0xFFFF);
  QueueResize(70000, -5);
  int exitCode = -1;
  EXPECT_EQ(Take(&exitCode), (Lines{"Size 1x65535", "Size 65535x0"}));
}

}  // namespace

// The slide step: link structure, PREVIOUS icons, page names and the combined page.
#include "generation/slide_step.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ostream>
#include <set>
#include <string>

#include "app/main_window.h"
#include "app/menu.h"
#include "generation/link_targets.h"
#include "generation/sheet_walk.h"
#include "generation_fixture.h"
#include "pages/page_marker.h"
#include "platform/posix_calls.h"

namespace {

std::string Sheet(const std::string& anchors) {
  return "<html><head><title>Trip</title></head><body>\n" + anchors + "\n</body></html>\n";
}

// The PREVIOUS cell of a page: its link and its icon.
std::string PreviousCell(const std::string& link, const std::string& icon) {
  return "<td nowrap><a href=\"" + link + "\"><img src=\"" + icon + "\" height=";
}

std::string NextCell(const std::string& link, const std::string& icon) {
  return "<a href=\"" + link + "\"><b>NEXT &#187;</b> <img src=\"" + icon + "\" height=";
}

struct ThumbnailCase {
  const char* name;
  std::vector<std::string> thumbnails;  // files present beside the images
  std::string expectedIcon;             // PREVIOUS icon on both pages of b.jpg
};

void PrintTo(const ThumbnailCase& c, std::ostream* out) {
  *out << c.name;
}

class PreviousIcon : public GenerationTest, public testing::WithParamInterface<ThumbnailCase> {};

TEST_P(PreviousIcon, FollowsThumbnailPrecedence) {
  folder_.Write("index.html", Sheet(R"(<a href="a.jpg">A</a> <a href="b.jpg">B</a>)"));
  for (const std::string& file : GetParam().thumbnails) folder_.Write(file, "thumbnail");
  ASSERT_EQ(Generate("index.html"), 1);
  EXPECT_TRUE(Contains(Page("b.htm"), PreviousCell("a.htm", GetParam().expectedIcon)));
  EXPECT_TRUE(Contains(Page("b.html"), PreviousCell("a.html", GetParam().expectedIcon)));
}

INSTANTIATE_TEST_SUITE_P(
    SlideStep, PreviousIcon,
    testing::Values(ThumbnailCase{"UnderscoreT", {"a_t.jpg"}, "a_t.jpg"},
                    ThumbnailCase{"TnPrefix", {"tn_a_jpg.jpg"}, "tn_a_jpg.jpg"},
                    ThumbnailCase{
                        "UnderscoreTWinsOverTnPrefix", {"tn_a_jpg.jpg", "a_t.jpg"}, "a_t.jpg"},
                    ThumbnailCase{"NoneFallsBackToTheCurrentImage", {}, "b.jpg"},
                    ThumbnailCase{"AFolderCountsAsPresent", {"a_t.jpg/inner"}, "a_t.jpg"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(GenerationTest, SubfolderImagesGetPagesInTheirFolder) {
  folder_.Write("index.html",
                Sheet(R"(<a href="photos/a.jpg">A</a> <a href="photos/b.gif">B</a>)"));
  folder_.Write("photos/a.jpg", "image");
  folder_.Write("tn_photos/a_jpg.jpg", "thumbnail");
  ASSERT_EQ(Generate("index.html"), 1);
  EXPECT_EQ(messages_, "");
  EXPECT_TRUE(folder_.Exists("photos/a.htm"));
  EXPECT_TRUE(folder_.Exists("photos/a.html"));
  // Links are read from the contact sheet's folder: from the subfolder they climb back up.
  const std::string manual = Page("photos/b.htm");
  EXPECT_TRUE(Contains(manual, PreviousCell("../photos/a.htm", "../tn_photos/a_jpg.jpg")));
  EXPECT_TRUE(Contains(manual, NextCell("../index.html#end", "../index.html")));
  EXPECT_TRUE(Contains(Page("photos/a.htm"), PreviousCell("../index.html", "../index.html")));
}

TEST_F(GenerationTest, SubfolderThumbnailBesideTheImage) {
  folder_.Write("index.html",
                Sheet(R"(<a href="photos/a.jpg">A</a> <a href="photos/b.gif">B</a>)"));
  folder_.Write("photos/a_t.jpg", "thumbnail");
  ASSERT_EQ(Generate("index.html"), 1);
  EXPECT_TRUE(Contains(Page("photos/b.htm"), PreviousCell("../photos/a.htm", "../photos/a_t.jpg")));
}

TEST_F(GenerationTest, SlotsSlideOverTheSheetAndItsImages) {
  folder_.Write("index.html",
                Sheet(R"(<a href="a.jpg">A</a> <a href="b.jpg">B</a> <a href="c.jpg">C</a>)"));
  Prepare("index.html");
  ASSERT_EQ(BeginGeneration(), StartResult::Started);
  EXPECT_EQ(State.CurrentImage, "index.html");
  EXPECT_EQ(State.NextImage, "a.jpg");
  EXPECT_EQ(State.NextCaption, "A");
  const char* expected[][4] = {{"index.html", "a.jpg", "b.jpg", "A"},
                               {"a.jpg", "b.jpg", "c.jpg", "B"},
                               {"b.jpg", "c.jpg", "index.html", "C"}};
  for (const auto& step : expected) {
    State.ScanPosition = GenerateSlide(State.ScanPosition);
    EXPECT_EQ(State.PreviousImage, step[0]);
    EXPECT_EQ(State.CurrentImage, step[1]);
    EXPECT_EQ(State.NextImage, step[2]);
    EXPECT_EQ(State.CurrentCaption, step[3]);
  }
  EXPECT_EQ(State.ScanPosition, nullptr);
  EXPECT_EQ(State.NextCaption, "C");  // kept once the next slot holds the sheet
}

struct FolderCase {
  const char* name;
  bool inside;
};

void PrintTo(const FolderCase& c, std::ostream* out) {
  *out << c.name;
}

class PageNames : public testing::TestWithParam<FolderCase> {};

TEST_P(PageNames, StayInsideTheSheetFolder) {
  EXPECT_EQ(IsInsideSheetFolder(GetParam().name), GetParam().inside) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    SlideStep, PageNames,
    testing::Values(FolderCase{"a.htm", true}, FolderCase{"photos/a.htm", true},
                    FolderCase{"./a.htm", true}, FolderCase{"a/../b.htm", true},
                    FolderCase{"a//b/./../c.htm", true}, FolderCase{"..htm", true},
                    FolderCase{"...htm", true}, FolderCase{"../a.htm", false},
                    FolderCase{"..\\a.htm", false}, FolderCase{"a/../../b.htm", false},
                    FolderCase{"a\\..\\..\\b.htm", false}, FolderCase{"./../a.htm", false},
                    FolderCase{"/tmp/a.htm", false}, FolderCase{"\\\\server\\share\\a.htm", false},
                    FolderCase{"C:a.htm", false}, FolderCase{"photos/c:a.htm", false}));

TEST(BaseNames, AreCutBeforeTheLastDot) {
  EXPECT_EQ(BaseName("a.jpg"), "a");
  EXPECT_EQ(BaseName("a.b.jpeg"), "a.b");
  EXPECT_EQ(BaseName("my.pics/a"), "my");
  EXPECT_EQ(BaseName("noextension"), "noextension");
  EXPECT_EQ(BaseName(".jpg"), "");
}

TEST_F(GenerationTest, OpenDuringARunIsIgnored) {
  folder_.Write("index.html", Sheet(R"(<a href="a.jpg">A</a> <a href="b.jpg">B</a>)"));
  Prepare("index.html");
  State.MainWindow = CreateMainWindow(MainWindowProc, kMainMenu, kMainMenuEntries);
  testing::internal::CaptureStderr();
  MainWindowProc(State.MainWindow, MsgCommand, IDM_OPEN, 0);
  ASSERT_NE(State.CombinedPage, nullptr);
  std::FILE* running = State.CombinedPage;
  MainWindowProc(State.MainWindow, MsgCommand, IDM_OPEN, 0);
  EXPECT_EQ(State.CombinedPage, running);
  const int exitCode = RunMessageLoop();
  FinishGeneration();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(exitCode, 0);
  EXPECT_TRUE(Contains(Page("allin1.html"), "<img src=\"a.jpg\"> &nbsp; \r\n<img src=\"b.jpg\">"));
}

TEST_F(GenerationTest, CloseBetweenStepsEndsTheChainWithAFinishedCombinedPage) {
  folder_.Write("index.html",
                Sheet(R"(<a href="a.jpg">A</a> <a href="b.jpg">B</a> <a href="c.jpg">C</a>)"));
  Prepare("index.html");
  State.MainWindow = CreateMainWindow(MainWindowProc, kMainMenu, kMainMenuEntries);
  MainWindowProc(State.MainWindow, MsgCommand, IDM_OPEN, 0);
  MainWindowProc(State.MainWindow, MsgStep, 0, 0);  // writes a.jpg, posts the next step
  MainWindowProc(State.MainWindow, MsgClose, 0, 0);
  const int exitCode = RunMessageLoop();
  FinishGeneration();
  EXPECT_EQ(exitCode, 0);
  const std::string combined = Page("allin1.html");
  EXPECT_TRUE(Contains(combined, "<img src=\"a.jpg\"> &nbsp; \r\n<h3><p><a href=\"index.html\">"));
  EXPECT_FALSE(folder_.Exists("b.htm"));
  EXPECT_TRUE(Contains(Page("a.htm"), NextCell("b.htm", "b.jpg")));
}

// The disk fills up while a.html is written: its first bytes land, the rest is refused.
std::set<int> FullPageFds;
int OpenNotingFullPage(int folder, const char* name, int flags, mode_t mode) {
  const int fd = ::openat(folder, name, flags, mode);
  if (fd >= 0 && std::string(name) == "a.html") FullPageFds.insert(fd);
  return fd;
}
ssize_t WriteUntilFull(int fd, const void* data, size_t size) {
  if (FullPageFds.count(fd) == 0) return ::write(fd, data, size);
  FullPageFds.erase(fd);  // one short write, then the disk is full
  return ::write(fd, data, std::min<size_t>(size, 100)) < 0 ? -1 : (errno = ENOSPC, -1);
}

// Pages are written without a stream buffer: a write that fails must still be reported, and
// a longer page left from an earlier run must still be cut to the new length.
TEST_F(GenerationTest, APageWhoseBytesAreLostIsReportedAndTheRunGoesOn) {
  folder_.Write("index.html", Sheet(R"(<a href="a.jpg">A</a> <a href="b.jpg">B</a>)"));
  FullPageFds.clear();
  PosixCalls.openat = OpenNotingFullPage;  // a page beside the sheet is created with openat
  PosixCalls.write = WriteUntilFull;
  const int started = Generate("index.html");
  PosixCalls = DefaultPosixCalls();
  ASSERT_EQ(started, 1);
  EXPECT_EQ(messages_, "a.html: Unable to create SlideShow file\n");
  EXPECT_FALSE(folder_.Exists("a.html"));  // made by this run and cut short: removed again
  EXPECT_TRUE(Contains(Page("a.htm"), NextCell("b.htm", "b.jpg")));
  EXPECT_TRUE(Contains(Page("b.html"), PreviousCell("a.html", "b.jpg")));
}

TEST_F(GenerationTest, ALongerPageFromAnEarlierRunIsReplacedWhole) {
  folder_.Write("index.html", Sheet(R"(<a href="a.jpg">A</a>)"));
  ASSERT_EQ(Generate("index.html"), 1);
  const std::string fresh = Page("a.htm");
  folder_.Write("a.htm", fresh + std::string(20000, 'o'));  // hand-edited since
  ASSERT_EQ(Generate("index.html"), 1);
  EXPECT_EQ(Page("a.htm"), fresh);
}

// Folders opened to read their names (not the folder an unnamed file is made in).
int FolderReads = 0;
int OpenCountingFolderReads(int folder, const char* name, int flags, mode_t mode) {
  const bool unnamedFile = (flags & O_TMPFILE) == O_TMPFILE;  // O_TMPFILE holds O_DIRECTORY
  if ((flags & O_DIRECTORY) != 0 && (flags & O_PATH) == 0 && !unnamedFile) ++FolderReads;
  return ::openat(folder, name, flags, mode);
}

// A gallery beside its sheet: the pass that reads the folder for the thumbnails also finds the
// hidden files runs killed outright left, so the folder is read once. Those of a process gone
// that carry the marker are removed; one without it, and one of a process still running, stay.
TEST_F(GenerationTest, KilledRunsLeftoversAreFoundInTheThumbnailsPass) {
  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ASSERT_GT(gone, 0);
  ASSERT_EQ(::waitpid(gone, nullptr, 0), gone);
  const std::string dead = ".allin1.html." + std::to_string(gone);
  const std::string running = ".allin1.html." + std::to_string(::getppid()) + ".tmp";
  const std::string page = std::string("<p>left over</p>\r\n") + kOwnPageMarker + "\r\n";
  std::string anchors;
  for (int i = 0; i < 40; ++i) anchors += "<a href=\"p" + std::to_string(i) + ".jpg\">P</a>\n";
  folder_.Write("index.html", Sheet(anchors));
  folder_.Write("p7_t.jpg", "thumbnail");
  folder_.Write(dead + ".tmp", page);
  folder_.Write(dead + "-2.tmp", "<p>my notes</p>\n");
  folder_.Write(running, page);
  FolderReads = 0;
  PosixCalls.openat = OpenCountingFolderReads;
  const int started = Generate("index.html");
  PosixCalls = DefaultPosixCalls();
  ASSERT_EQ(started, 1);
  EXPECT_EQ(messages_, "");
  EXPECT_EQ(FolderReads, 1);
  EXPECT_FALSE(folder_.Exists(dead + ".tmp"));
  EXPECT_EQ(folder_.Read(dead + "-2.tmp"), "<p>my notes</p>\n");
  EXPECT_EQ(folder_.Read(running), page);
  EXPECT_TRUE(Contains(Page("p8.htm"), PreviousCell("p7.htm", "p7_t.jpg")));
}

}  // namespace

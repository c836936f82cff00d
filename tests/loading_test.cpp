// Loading the contact sheet: path clean-up, folder split, failures, and what may be replaced.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <ostream>
#include <string>
#include <vector>

#include "generation/contact_sheet.h"
#include "generation_fixture.h"
#include "pages/page_marker.h"
#include "platform/platform.h"
#include "platform/posix_calls.h"
#include "sheet/sheet_path.h"

namespace {

struct CleanCase {
  std::string given;
  std::string cleaned;
};

void PrintTo(const CleanCase& c, std::ostream* out) {
  *out << '[' << c.given << "] -> [" << c.cleaned << ']';
}

class PathCleaning : public testing::TestWithParam<CleanCase> {};

TEST_P(PathCleaning, StripsTrailingBlanksAndQuotes) {
  std::string path = GetParam().given;
  CleanPath(path);
  EXPECT_EQ(path, GetParam().cleaned);
}

INSTANTIATE_TEST_SUITE_P(Loading, PathCleaning,
                         testing::Values(CleanCase{"index.html", "index.html"},
                                         CleanCase{"index.html \t\r\n", "index.html"},
                                         CleanCase{"\"a b.html\"   ", "a b.html"},
                                         CleanCase{"\"a b.html\" more words", "a b.html"},
                                         CleanCase{"\"unclosed.html", "unclosed.html"},
                                         CleanCase{"\"\"", ""}, CleanCase{"\"", ""},
                                         CleanCase{"   ", " "},  // the first character stays
                                         CleanCase{" lead.html", " lead.html"},
                                         CleanCase{"in\"side.html", "in\"side.html"}));

TEST(Loading, EmptyInputPathAsksForAFileAndHeadlessNoneIsChosen) {
  State = GenerationState{};
  State.InputPath = "";
  EXPECT_EQ(SelectContactSheet(), 0);
  EXPECT_EQ(BeginGeneration(), StartResult::Cancelled);
  EXPECT_EQ(State.SheetFile, nullptr);
}

class SheetLoading : public GenerationTest {
 protected:
  void TearDown() override {
    PosixCalls = DefaultPosixCalls();
    GenerationTest::TearDown();
  }
};

TEST_F(SheetLoading, FolderOfThePathBecomesTheWorkingFolder) {
  folder_.Write("sub dir/index.html", "<a href=\"a.jpg\">A</a>");
  ASSERT_EQ(Generate("sub dir/index.html"), 1);
  EXPECT_EQ(State.SheetName, "index.html");
  EXPECT_EQ(State.SheetFolder, folder_ / "sub dir/");
  EXPECT_TRUE(folder_.Exists("sub dir/a.htm"));
  EXPECT_TRUE(folder_.Exists("sub dir/allin1.html"));
}

TEST_F(SheetLoading, OnlySlashSeparatesFolders) {
  folder_.Write("c:back\\slash.html", "<a href=\"a.jpg\">A</a>");
  ASSERT_EQ(Generate("c:back\\slash.html"), 1);
  EXPECT_EQ(State.SheetName, "c:back\\slash.html");
  EXPECT_TRUE(Contains(Page("a.htm"), "<a href=\"c:back\\slash.html\">Index</a>"));
}

TEST_F(SheetLoading, TextEndsAtTheFirstZeroByte) {
  folder_.Write("index.html", std::string("<a href=\"a.jpg\">A</a>\0<a href=\"b.jpg\">B</a>", 43));
  ASSERT_EQ(Generate("index.html"), 1);
  EXPECT_TRUE(folder_.Exists("a.htm"));
  EXPECT_FALSE(folder_.Exists("b.htm"));
}

// Makes the Nth read of the file layer fail.
ssize_t FailingRead(int, void*, size_t) {
  errno = EIO;
  return -1;
}

TEST_F(SheetLoading, FailedReadIsReportedAsAnUnmappableView) {
  folder_.Write("index.html", "<a href=\"a.jpg\">A</a>");
  PosixCalls.read = FailingRead;
  EXPECT_EQ(Generate("index.html"), -1);
  EXPECT_EQ(messages_,
            startFolder_ + ": Could not map view of file for " + (folder_ / "index.html") + "\n");
  EXPECT_EQ(State.SheetFile, nullptr);
  EXPECT_EQ(State.SheetMapping, nullptr);
  EXPECT_FALSE(folder_.Exists("allin1.html"));
}

int FailingFstat(int, struct stat*) {
  errno = EIO;
  return -1;
}

TEST_F(SheetLoading, FailedStatusAfterOpeningIsReportedAsUnopenable) {
  folder_.Write("index.html", "<a href=\"a.jpg\">A</a>");
  PosixCalls.fstat = FailingFstat;
  EXPECT_EQ(Generate("index.html"), -1);
  EXPECT_EQ(messages_, startFolder_ + ": Could not create mapping file for " +
                           (folder_ / "index.html") + "\n");
}

// The system may hand out less than asked, or be interrupted before reading anything.
ssize_t ShortOrInterruptedRead(int fd, void* buffer, size_t count) {
  static bool interrupt = false;
  interrupt = !interrupt;
  if (interrupt) {
    errno = EINTR;
    return -1;
  }
  return ::read(fd, buffer, count < 7 ? count : 7);
}

TEST_F(SheetLoading, ShortAndInterruptedReadsStillLoadTheWholeSheet) {
  folder_.Write("index.html", "<a href=\"a.jpg\">A</a> <a href=\"b.jpg\">B</a>");
  PosixCalls.read = ShortOrInterruptedRead;
  ASSERT_EQ(Generate("index.html"), 1);
  EXPECT_TRUE(folder_.Exists("b.htm"));
}

// Another program cuts the file short after its size was taken.
ssize_t ReadOfAShrunkFile(int fd, void* buffer, size_t count) {
  return ::lseek(fd, 0, SEEK_CUR) >= 20 ? 0 : ::read(fd, buffer, count < 20 ? count : 20);
}

TEST_F(SheetLoading, SheetCutShortWhileReadEndsWhereItWasCut) {
  folder_.Write("index.html", "<a href=\"a.jpg\">A</a> <a href=\"b.jpg\">B</a>");
  PosixCalls.read = ReadOfAShrunkFile;
  ASSERT_EQ(Generate("index.html"), 1);
  EXPECT_TRUE(folder_.Exists("a.htm"));
  EXPECT_FALSE(folder_.Exists("b.htm"));
}

// Output files never replace a file this process holds open, whatever name reaches it. Output
// names are relative to the working folder, as during a generation.
class HeldFiles : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SetWorkingFolder(folder_.path())); }
  void TearDown() override {
    if (sheet_ != nullptr) CloseFile(sheet_);
    PosixCalls = DefaultPosixCalls();
    SetWorkingFolder(startFolder_);
  }
  const std::string startFolder_ = GetWorkingFolder();
  ScratchFolder folder_;
  PlatformFile* sheet_ = nullptr;
};

TEST_F(HeldFiles, TheOpenSheetIsRefusedUnderEveryName) {
  // A page of an earlier run opened as the sheet: only being held keeps it from being replaced.
  const std::string sheet = std::string("sheet ") + kOwnPageMarker;
  folder_.Write("index.html", sheet);
  ASSERT_EQ(::link((folder_ / "index.html").c_str(), (folder_ / "hard.htm").c_str()), 0);
  ASSERT_EQ(::symlink("index.html", (folder_ / "soft.htm").c_str()), 0);
  sheet_ = OpenFileReadOnly(folder_ / "index.html");
  ASSERT_NE(sheet_, nullptr);
  for (const char* name : {"index.html", "hard.htm", "soft.htm", "./index.html"}) {
    EXPECT_EQ(CreateOutputFile(name, kOwnPageMarker), nullptr) << name;
  }
  EXPECT_EQ(folder_.Read("index.html"), sheet);
  CloseFile(sheet_);
  sheet_ = nullptr;
  std::FILE* replaced = CreateOutputFile("hard.htm", kOwnPageMarker);
  ASSERT_NE(replaced, nullptr);  // once closed, the file may be replaced
  EXPECT_TRUE(CloseOutputFile(replaced));
  EXPECT_EQ(folder_.Read("hard.htm"), "");
  EXPECT_EQ(folder_.Read("index.html"), sheet);  // put in place by name: the other link stays
}

// The combined page's name is kept from every other output while the page is written, though
// no file holds it until the page is complete: under any spelling and through a linked folder.
TEST_F(HeldFiles, AnOpenOutputIsRefusedUntilClosed) {
  folder_.Write("sub/keep.txt", "");
  ASSERT_EQ(::symlink(".", (folder_ / "same").c_str()), 0);
  std::FILE* first = CreateOutputFile("allin1.html", kOwnPageMarker);
  ASSERT_NE(first, nullptr);
  std::fputs("partial", first);
  EXPECT_EQ(CreateOutputFile("allin1.html", kOwnPageMarker), nullptr);
  for (const char* page :
       {"allin1.html", "./allin1.html", "sub/../allin1.html", "same/allin1.html"})
    EXPECT_FALSE(WriteOutputFile(page, "page", kOwnPageMarker)) << page;
  EXPECT_TRUE(WriteOutputFile("sub/allin1.html", "page", kOwnPageMarker));
  EXPECT_EQ(ListFiles(folder_.path()),
            (std::vector<std::string>{"same", "sub/allin1.html", "sub/keep.txt"}));
  EXPECT_TRUE(CloseOutputFile(first));
  EXPECT_EQ(folder_.Read("allin1.html"), "partial");
}

// Where the file system makes no unnamed file, the combined page is written under a hidden
// temporary name beside it, which is gone once it is in place.
int NoUnnamedFiles(int folder, const char* name, int flags, mode_t mode) {
  if ((flags & O_TMPFILE) == O_TMPFILE) return errno = EOPNOTSUPP, -1;
  return ::openat(folder, name, flags, mode);
}

TEST_F(HeldFiles, WithoutUnnamedFilesTheCombinedPageIsWrittenUnderAHiddenName) {
  PosixCalls.openat = NoUnnamedFiles;
  for (const char* earlier : {"", "<p>older</p>"}) {
    if (*earlier != '\0') folder_.Write("allin1.html", std::string(earlier) + kOwnPageMarker);
    std::FILE* combined = CreateOutputFile("allin1.html", kOwnPageMarker);
    ASSERT_NE(combined, nullptr);
    std::fputs("complete", combined);
    std::fflush(combined);
    const std::string hidden = ".allin1.html." + std::to_string(::getpid()) + ".tmp";
    EXPECT_EQ(folder_.Read(hidden), "complete") << earlier;
    EXPECT_TRUE(CloseOutputFile(combined));
    EXPECT_EQ(ListFiles(folder_.path()), std::vector<std::string>{"allin1.html"});
    EXPECT_EQ(folder_.Read("allin1.html"), "complete");
  }
}

// The hidden file of a run killed outright is removed only once its process is gone: one named
// for a process this run may not signal (another user's, running) stays. Process numbers stop
// below 2^22, so the system knows no process of these numbers.
constexpr pid_t kOthersProcess = 999999998;

int OthersRunning(pid_t process, int signal) {
  return process == kOthersProcess ? (errno = EPERM, -1) : ::kill(process, signal);
}

TEST_F(HeldFiles, AHiddenFileOfAnotherUsersRunningProcessStays) {
  PosixCalls.kill = OthersRunning;
  const std::string others = ".allin1.html." + std::to_string(kOthersProcess) + ".tmp";
  folder_.Write(others, kOwnPageMarker);
  folder_.Write(".allin1.html.999999999.tmp", kOwnPageMarker);  // no such process
  std::FILE* combined = CreateOutputFile("allin1.html", kOwnPageMarker);
  ASSERT_NE(combined, nullptr);
  EXPECT_TRUE(CloseOutputFile(combined));
  EXPECT_EQ(ListFiles(folder_.path()), (std::vector<std::string>{others, "allin1.html"}));
}

TEST_F(HeldFiles, SpecialFilesAreNotOpenedAsSheets) {
  ASSERT_EQ(::mkfifo((folder_ / "pipe.html").c_str(), 0600), 0);
  EXPECT_EQ(OpenFileReadOnly(folder_ / "pipe.html"), nullptr);  // returns at once, no writer needed
  EXPECT_EQ(OpenFileReadOnly(folder_.path()), nullptr);
  EXPECT_EQ(CreateOutputFile("pipe.html", kOwnPageMarker), nullptr);
  EXPECT_EQ(CreateOutputFile(".", kOwnPageMarker), nullptr);
}

ssize_t DiskFullWrite(int, const void*, size_t) {
  errno = ENOSPC;
  return -1;
}

ssize_t HalfWrite(int fd, const void* data, size_t size) {
  return ::write(fd, data, size > 1 ? size / 2 : size);
}

int FailingClose(int fd) {
  ::close(fd);
  errno = EIO;
  return -1;
}

TEST_F(HeldFiles, ALostWriteOrCloseIsReportedOnClose) {
  PosixCalls.write = DiskFullWrite;
  std::FILE* page = CreateOutputFile("full.htm", kOwnPageMarker);
  ASSERT_NE(page, nullptr);
  std::fputs("never stored", page);
  EXPECT_FALSE(CloseOutputFile(page));

  PosixCalls = DefaultPosixCalls();
  PosixCalls.close = FailingClose;
  page = CreateOutputFile("close.htm", kOwnPageMarker);
  ASSERT_NE(page, nullptr);
  std::fputs("stored, but the close failed", page);
  EXPECT_FALSE(CloseOutputFile(page));
}

TEST_F(HeldFiles, ShortWritesAreContinuedUntilAllIsWritten) {
  PosixCalls.write = HalfWrite;
  std::FILE* page = CreateOutputFile("half.htm", kOwnPageMarker);
  ASSERT_NE(page, nullptr);
  const std::string text(5000, 'x');
  std::fputs(text.c_str(), page);
  EXPECT_TRUE(CloseOutputFile(page));
  EXPECT_EQ(folder_.Read("half.htm"), text);
}

TEST_F(HeldFiles, EmptyFilesCannotBeMapped) {
  folder_.Write("empty.html", "");
  sheet_ = OpenFileReadOnly(folder_ / "empty.html");
  ASSERT_NE(sheet_, nullptr);
  EXPECT_EQ(OpenWholeText(sheet_), nullptr);
}

}  // namespace

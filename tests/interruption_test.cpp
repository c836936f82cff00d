// Runs that end early: a signal from the command line, a kill, and a disk that fills up. Either
// way the slide show that stands is valid, and nothing empty, partial or temporary is left.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "cli_support.h"

namespace {

const std::string kTrailer = "</h3></center></BODY></HTML>\r\n";

// A sheet of `count` images p0.jpg, p1.jpg, ... and its name.
std::string BigSheet(int count) {
  std::string sheet = "<html><head><title>Big</title></head><body>\n";
  for (int i = 0; i < count; ++i) {
    const std::string image = "p" + std::to_string(i) + ".jpg";
    sheet += "<a href=\"" + image + "\">Picture " + std::to_string(i) + "</a>\n";
  }
  return sheet + "</body></html>\n";
}

// Waits until `path` exists (the run has come that far), for at most two minutes.
bool AwaitFile(const std::string& path) {
  for (int i = 0; i < 12000; ++i) {
    if (PathExists(path)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// What the folder holds after a run that stopped early: the images the combined page lists,
// each with both of its pages complete, and no other page, no empty file and no temporary file.
// Returns how many images the combined page lists.
std::size_t ExpectValidShow(const std::string& folder) {
  const std::string combined = ReadWholeFile(folder + "/allin1.html");
  EXPECT_TRUE(EndsWith(combined, kTrailer));
  std::size_t listed = 0;
  for (std::size_t at = combined.find("<img src=\""); at != std::string::npos;
       at = combined.find("<img src=\"", at + 1)) {
    ++listed;
  }
  std::size_t pages = 0;
  for (const std::string& name : ListFiles(folder)) {
    EXPECT_FALSE(EndsWith(name, ".tmp")) << name;
    if (!EndsWith(name, ".htm") &&
        !(EndsWith(name, ".html") && name != "index.html" && name != "allin1.html"))
      continue;
    ++pages;
    const std::string image = name.substr(0, name.rfind('.')) + ".jpg";
    EXPECT_TRUE(Contains(combined, "<img src=\"" + image + "\">")) << name << " is not listed";
    EXPECT_TRUE(EndsWith(ReadWholeFile(folder + "/" + name), "</center></BODY></HTML>\r\n"))
        << name << " is not complete";
  }
  EXPECT_EQ(pages, 2 * listed);
  return listed;
}

struct SignalCase {
  int signal;
  int stopAfter;  // the image whose automatic page must exist before the signal is sent
};

class Interruption : public testing::TestWithParam<SignalCase> {};

TEST_P(Interruption, EndsBetweenTwoStepsWithAValidSlideShow) {
  ScratchFolder folder;
  const int images = 100000;
  folder.Write("index.html", BigSheet(images));
  const SignalCase c = GetParam();
  const ProgramResult result = RunKestrune({"index.html"}, folder.path(), 0, [&](int pid) {
    ASSERT_TRUE(AwaitFile(folder / ("p" + std::to_string(c.stopAfter) + ".html")));
    ::kill(pid, c.signal);
  });
  EXPECT_EQ(result.status, 128 + c.signal);
  const std::size_t listed = ExpectValidShow(folder.path());
  EXPECT_GT(listed, static_cast<std::size_t>(c.stopAfter));
  EXPECT_LT(listed, static_cast<std::size_t>(images));
  EXPECT_EQ(result.err, "Kestrune: stopped by signal " + std::to_string(c.signal) +
                            "; the slide show holds " + std::to_string(listed) +
                            " images, all listed in allin1.html\n");
}

INSTANTIATE_TEST_SUITE_P(Signals, Interruption,
                         testing::Values(SignalCase{SIGINT, 0}, SignalCase{SIGTERM, 2000},
                                         SignalCase{SIGHUP, 20}),
                         [](const testing::TestParamInfo<SignalCase>& info) {
                           return std::string(sigabbrev_np(info.param.signal)) + "After" +
                                  std::to_string(info.param.stopAfter);
                         });

// Two signals at once: the second ends the program at once, by that signal (which of the two
// is handled second is the kernel's choice), and takes the
// combined page's temporary file and the empty file that reserved its name with it.
TEST(InterruptionTwice, EndsAtOnceAndLeavesNoTemporaryFile) {
  ScratchFolder folder;
  folder.Write("index.html", BigSheet(100000));
  const ProgramResult result = RunKestrune({"index.html"}, folder.path(), 0, [&](int pid) {
    ASSERT_TRUE(AwaitFile(folder / "p10.html"));
    // Both arrive while the program is stopped, so neither is handled before the other is there.
    ::kill(pid, SIGSTOP);
    ::kill(pid, SIGINT);
    ::kill(pid, SIGTERM);
    ::kill(pid, SIGCONT);
  });
  EXPECT_TRUE(result.signal == SIGINT || result.signal == SIGTERM) << result.signal;
  EXPECT_FALSE(folder.Exists("allin1.html"));
  for (const std::string& name : ListFiles(folder.path())) EXPECT_FALSE(EndsWith(name, ".tmp"));
}

// A run killed outright (SIGKILL) never reaches its finish: its combined page was written into
// a file without a name, so no allin1.html, empty or cut short, and no temporary file is left;
// one that was there before stays as it was.
struct KillCase {
  int killAfter;  // the image whose automatic page must exist before the kill
  bool earlierCombinedPage;
};

class Killed : public testing::TestWithParam<KillCase> {};

TEST_P(Killed, LeavesNoCombinedPageOfItsOwnAndNoTemporaryFile) {
  const KillCase c = GetParam();
  ScratchFolder folder;
  folder.Write("index.html", BigSheet(100000));
  const std::string earlier = std::string("<p>An earlier show</p>\r\n") + kMarkerLine;
  if (c.earlierCombinedPage) folder.Write("allin1.html", earlier);
  const ProgramResult result = RunKestrune({"index.html"}, folder.path(), 0, [&](int pid) {
    ASSERT_TRUE(AwaitFile(folder / ("p" + std::to_string(c.killAfter) + ".html")));
    ::kill(pid, SIGKILL);
  });
  EXPECT_EQ(result.signal, SIGKILL);
  if (c.earlierCombinedPage) {
    EXPECT_EQ(folder.Read("allin1.html"), earlier);
  } else {
    EXPECT_FALSE(folder.Exists("allin1.html"));
  }
  for (const std::string& name : ListFiles(folder.path())) EXPECT_FALSE(EndsWith(name, ".tmp"));
}

INSTANTIATE_TEST_SUITE_P(Points, Killed,
                         testing::Values(KillCase{0, false}, KillCase{3000, false},
                                         KillCase{0, true}, KillCase{3000, true}),
                         [](const testing::TestParamInfo<KillCase>& info) {
                           return "After" + std::to_string(info.param.killAfter) +
                                  (info.param.earlierCombinedPage ? "OverAnEarlierShow" : "");
                         });

// Where a run killed outright did leave a hidden file beside the combined page (where the system
// makes no unnamed file, or in the instant of the exchange), the next run removes it: a file
// named for a process that no longer runs that carries the marker. A file without the marker,
// and one of a run still going, stay.
TEST(KilledRunsLeftovers, AreRemovedByTheNextRunAndNothingElse) {
  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ASSERT_GT(gone, 0);
  ASSERT_EQ(::waitpid(gone, nullptr, 0), gone);
  const std::string dead = ".allin1.html." + std::to_string(gone);
  const std::string running = ".allin1.html." + std::to_string(::getpid()) + ".tmp";
  const std::string page = std::string("<p>left over</p>\r\n") + kMarkerLine;
  ScratchFolder folder;
  folder.Write("index.html", SheetLinking({"a.jpg"}));
  folder.Write(dead + ".tmp", page);
  folder.Write(dead + "-2.tmp", page);
  folder.Write(dead + "-3.tmp", "<p>my notes</p>\n");
  folder.Write(running, page);
  folder.Write("sub/" + dead + ".tmp", page);  // only the combined page's folder is looked at

  const ProgramResult result = RunKestrune({"index.html"}, folder.path());
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(ListFiles(folder.path()),
            Sorted({dead + "-3.tmp", running, "a.htm", "a.html", "allin1.html", "index.html",
                    "sub/" + dead + ".tmp"}));
  EXPECT_EQ(folder.Read(running), page);
}

// A file system that fills up: every page that did not fit is reported and none is left empty
// or partial; the combined page did not fit either and is not left cut short.
TEST(FullDisk, EveryFailureReportedAndNothingEmptyOrPartialLeft) {
  ScratchFolder folder;
  const std::string disk = folder / "disk";
  fs::create_directory(disk);
  if (::geteuid() != 0 || ::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=600k") != 0)
    GTEST_SKIP() << "mounting a small file system needs root (this run: uid " << ::geteuid() << ", "
                 << std::strerror(errno) << ")";
  struct Unmount {
    std::string path;
    ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
  } unmount{disk};
  WriteWholeFile(disk + "/index.html", BigSheet(2000));

  const ProgramResult result = RunKestrune({"index.html"}, disk);
  EXPECT_EQ(result.status, 1);
  std::size_t written = 0, reported = 0;
  for (int i = 0; i < 2000; ++i) {
    for (const char* kind : {".htm", ".html"}) {
      const std::string page = "p" + std::to_string(i) + kind;
      const bool reportedHere =
          Contains(result.err, "\n" + page + ": Unable to create SlideShow") ||
          result.err.compare(0, page.size() + 2, page + ": ") == 0;
      if (PathExists(disk + "/" + page)) {
        ++written;
        EXPECT_TRUE(EndsWith(ReadWholeFile(disk + "/" + page), "</center></BODY></HTML>\r\n"))
            << page;
        EXPECT_FALSE(reportedHere) << page;
      } else {
        ++reported;
        EXPECT_TRUE(reportedHere) << page;
      }
    }
  }
  EXPECT_GT(written, 0u);
  EXPECT_GT(reported, 0u);
  EXPECT_TRUE(Contains(result.err, "Kestrune Err: Unable to complete AllIn1 file"));
  EXPECT_FALSE(PathExists(disk + "/allin1.html"));
  for (const std::string& name : ListFiles(disk)) EXPECT_FALSE(EndsWith(name, ".tmp")) << name;
}

}  // namespace

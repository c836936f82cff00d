// Runs that end early: a signal from the command line, and a disk that fills up. Either way the
// slide show that stands is valid, and nothing empty, partial or temporary is left.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
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

// Failing system calls at every point of a whole run: each open, status, read, write and close
// that the file layer makes is failed in turn, and the run must still end with the right message,
// the right exit status, an intact contact sheet and every other page exactly as a clean run
// writes it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <string>

#include "generation/generation_state.h"
#include "app/main_window.h"
#include "platform/platform.h"
#include "platform/posix_calls.h"
#include "test_support.h"

namespace {

enum Call { kOpen, kOpenBeneath, kFstat, kRead, kWrite, kClose, kCallKinds };
const char* const kCallNames[] = {"open", "openBeneath", "fstat", "read", "write", "close"};

// Counts the calls of each kind; fails the one chosen, and remembers which file it was about.
struct Faults {
  int counts[kCallKinds] = {};
  Call failKind = kCallKinds;
  int failAt = 0;
  std::map<int, std::string> fileOf;  // open descriptors and the names they were opened under
  std::string hitFile;                // the file of the failed call, once it happened

  bool Fails(Call kind, int fd) {
    if (++counts[kind] != failAt || kind != failKind) return false;
    hitFile = fd >= 0 && fileOf.count(fd) ? fileOf[fd] : "";
    return true;
  }
};
Faults Plan;

int Open(const char* path, int flags, mode_t mode) {
  if (Plan.Fails(kOpen, -1)) {
    Plan.hitFile = path;
    return errno = EACCES, -1;
  }
  const int fd = ::open(path, flags, mode);
  if (fd >= 0) Plan.fileOf[fd] = path;
  return fd;
}

int OpenBeneath(const char* path, int flags, mode_t mode) {
  if (Plan.Fails(kOpenBeneath, -1)) {
    Plan.hitFile = path;
    return errno = EACCES, -1;
  }
  const int fd = DefaultPosixCalls().openBeneath(path, flags, mode);
  if (fd >= 0) Plan.fileOf[fd] = path;
  return fd;
}

int Fstat(int fd, struct stat* info) {
  return Plan.Fails(kFstat, fd) ? (errno = EIO, -1) : ::fstat(fd, info);
}

ssize_t Read(int fd, void* buffer, size_t count) {
  return Plan.Fails(kRead, fd) ? (errno = EIO, -1) : ::read(fd, buffer, count);
}

// The look at an existing page before it is replaced counts as a read.
ssize_t Pread(int fd, void* buffer, size_t count, off_t offset) {
  return Plan.Fails(kRead, fd) ? (errno = EIO, -1) : ::pread(fd, buffer, count, offset);
}

ssize_t Write(int fd, const void* buffer, size_t count) {
  return Plan.Fails(kWrite, fd) ? (errno = ENOSPC, -1) : ::write(fd, buffer, count);
}

int Close(int fd) {
  const bool fails = Plan.Fails(kClose, fd);
  Plan.fileOf.erase(fd);
  ::close(fd);  // the descriptor is gone either way, as after a real failed close
  return fails ? (errno = EIO, -1) : 0;
}

// A sheet whose combined page outgrows its stream buffer, so it is written in several parts.
const char kSheet[] =
    "<html><head><title>Fault sweep: a title long enough to fill the combined page's buffer "
    "before the end of the run, xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"
    "</title></head><body>\n"
    "<a href=\"a.jpg\"><img src=\"a_t.jpg\"></a> <a href=\"a.jpg\">First</a>\n"
    "<a href=\"sub/b.png\">Second</a>\n"
    "<a href=\"c.gif\">Third</a>\n"
    "</body></html>\n";

struct Outcome {
  int status = -1;
  std::string messages;
  std::map<std::string, std::string> files;  // every file of the folder with its bytes
};

const char* const kPageNames[] = {"a.htm", "a.html", "sub/b.htm",  "sub/b.html",
                                  "c.htm", "c.html", "allin1.html"};

// A page as an older run left it, hand-edited since: it still carries the marker.
std::string OlderPage(const std::string& name) {
  return "older " + name + "\r\n" + kOwnPageMarker + "\r\n";
}

// Runs the sweep into an empty folder, and into one where every page exists from an older run.
class FaultSweep : public testing::TestWithParam<bool> {
 protected:
  void TearDown() override { PosixCalls = DefaultPosixCalls(); }

  static bool PagesExist() { return GetParam(); }

  // One whole run through the window procedure and message loop, as the program does it.
  static Outcome Run(Call failKind, int failAt) {
    ScratchFolder folder;
    folder.Write("index.html", kSheet);
    folder.Write("a_t.jpg", "thumbnail");
    folder.Write("sub/keep.txt", "");
    if (PagesExist()) {
      for (const char* page : kPageNames) folder.Write(page, OlderPage(page));
    }
    const std::string startFolder = GetWorkingFolder();

    Plan = Faults{};
    Plan.failKind = failKind;
    Plan.failAt = failAt;
    PosixCalls = DefaultPosixCalls();
    PosixCalls.open = Open;
    PosixCalls.fstat = Fstat;
    PosixCalls.read = Read;
    PosixCalls.close = Close;
    PosixCalls.openBeneath = OpenBeneath;
    PosixCalls.write = Write;
    PosixCalls.pread = Pread;
    State = GenerationState{};
    testing::internal::CaptureStderr();
    Outcome outcome;
    outcome.status = RunKestrune(folder / "index.html");
    outcome.messages = testing::internal::GetCapturedStderr();
    PosixCalls = DefaultPosixCalls();
    SetWorkingFolder(startFolder);
    for (const std::string& name : ListFiles(folder.path())) {
      outcome.files[name] = folder.Read(name);
    }
    return outcome;
  }

  // After a failed start: the folder exactly as it was before the run.
  static void ExpectUnchangedSinceBefore(const Outcome& run) {
    std::map<std::string, std::string> before = {
        {"index.html", kSheet}, {"a_t.jpg", "thumbnail"}, {"sub/keep.txt", ""}};
    if (PagesExist()) {
      for (const char* page : kPageNames) before[page] = OlderPage(page);
    }
    EXPECT_EQ(run.files, before);
  }

  static std::string Record(const std::string& title, const std::string& text) {
    return title + ": " + text + "\n";
  }
};

TEST_P(FaultSweep, EveryFailedCallEndsCleanlyAndLosesNothingElse) {
  const Outcome clean = Run(kCallKinds, 0);
  ASSERT_EQ(clean.status, 0);
  ASSERT_EQ(clean.messages, "");
  const Faults cleanCounts = Plan;
  ASSERT_EQ(clean.files.size(), 10u);  // sheet, thumbnail, keep.txt, 3 x 2 pages, combined page

  int failures = 0;
  for (int kind = 0; kind < kCallKinds; ++kind) {
    ASSERT_GT(cleanCounts.counts[kind], 0) << kCallNames[kind];
    for (int n = 1; n <= cleanCounts.counts[kind]; ++n) {
      SCOPED_TRACE(std::string(kCallNames[kind]) + " #" + std::to_string(n));
      const Outcome run = Run(static_cast<Call>(kind), n);
      const std::string hit = Plan.hitFile;
      SCOPED_TRACE("on " + hit);
      EXPECT_EQ(run.files.at("index.html"), kSheet);

      const bool onSheet = hit.size() >= 10 && hit.compare(hit.size() - 10, 10, "index.html") == 0;
      if (onSheet && kind == kClose) {
        // Closing the read-only contact sheet at the finish: nothing can be lost.
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.messages, "");
        EXPECT_EQ(run.files, clean.files);
        continue;
      }
      ++failures;
      EXPECT_EQ(run.status, 1);
      // On a page, a read is the look at the existing file before it is replaced.
      const bool atCreation =
          kind == kOpen || kind == kOpenBeneath || kind == kFstat || (kind == kRead && !onSheet);
      if (onSheet) {
        // The contact sheet could not be loaded: one start failure and nothing written.
        EXPECT_EQ(std::count(run.messages.begin(), run.messages.end(), '\n'), 1) << run.messages;
        EXPECT_TRUE(Contains(run.messages, " for ")) << run.messages;
        ExpectUnchangedSinceBefore(run);
      } else if (hit == "allin1.html" && atCreation) {
        EXPECT_EQ(run.messages,
                  Record(GetWorkingFolder(), "Kestrune Err: Unable to create AllIn1 file"));
        ExpectUnchangedSinceBefore(run);
      } else if (hit == "allin1.html") {
        // Created but cut short: every page still written, the failure told at the finish.
        EXPECT_EQ(run.messages,
                  Record(GetWorkingFolder(), "Kestrune Err: Unable to complete AllIn1 file"));
        std::map<std::string, std::string> others = run.files;
        others.erase("allin1.html");
        std::map<std::string, std::string> expected = clean.files;
        expected.erase("allin1.html");
        EXPECT_EQ(others, expected);
      } else {
        // One page lost: it is named in its box, and everything else is exactly as usual.
        ASSERT_TRUE(clean.files.count(hit)) << "a call on an unknown file";
        EXPECT_EQ(run.messages, Record(hit, "Unable to create SlideShow file"));
        std::map<std::string, std::string> others = run.files;
        others.erase(hit);
        std::map<std::string, std::string> expected = clean.files;
        expected.erase(hit);
        EXPECT_EQ(others, expected);
        if (atCreation && PagesExist()) {
          EXPECT_EQ(run.files.at(hit), OlderPage(hit));  // refused before it was truncated
        } else if (atCreation) {
          EXPECT_FALSE(run.files.count(hit));  // a page made and then refused is removed
        }
      }
    }
  }
  EXPECT_GT(failures, 20);  // the sweep really covered the run
}

INSTANTIATE_TEST_SUITE_P(Pages, FaultSweep, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                           return info.param ? "AlreadyThere" : "New";
                         });

}  // namespace

// Failing system calls at every point of a whole run: every call that the file layer makes
// (opens, status, reads, writes, closes, renames, removals, the folder and name look-ups) is
// failed in turn, with and without openat2 in the kernel, and the run must still end with the
// right message, the right exit status, an intact contact sheet, every other page exactly as a
// clean run writes it, no empty or partial page of the run, no temporary file, and allin1.html
// either complete or as it was before. The same for a clean, and for a run on a folder of
// photos, whose codec reads the photos through the same calls on threads of its own.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/main_window.h"
#include "generation/generation_state.h"
#include "names/file_names.h"
#include "pages/page_marker.h"
#include "photos/photos.h"
#include "platform/platform.h"
#include "platform/posix_calls.h"
#include "test_support.h"

namespace {

// clang-format off
enum Call {
  kOpen, kOpenBeneath, kOpenAt, kFstat, kRead, kWrite, kClose, kFtruncate, kStat, kGetcwd,
  kChdir, kAccess, kGetdents, kLinkAt, kRename, kUnlink, kRenameAt, kUnlinkAt, kFstatAt,
  kMkdirAt, kCallKinds
};
const char* const kCallNames[] = {
  "open", "openBeneath", "openat", "fstat", "read", "write", "close", "ftruncate", "stat",
  "getcwd", "chdir", "access", "getdents64", "linkAt", "rename", "unlink", "renameAt",
  "unlinkAt", "fstatat", "mkdirat"};
// clang-format on

// Counts the calls of each kind; fails the one chosen, and remembers which file it was about.
// The photo codec's threads make calls too: theirs are counted per photo, so that the Nth call
// on a photo is the same one however the threads interleave.
struct Faults {
  std::thread::id mainThread = std::this_thread::get_id();
  int counts[kCallKinds] = {};
  std::map<std::pair<Call, std::string>, int> photoCounts;  // the codec's, by kind and photo
  Call failKind = kCallKinds;
  int failAt = 0;
  std::string failPhoto;  // set: the failed call is the codec's failAt-th of failKind on it
  bool walk = false;      // the kernel has no openat2: names are walked with openat
  std::string page;       // the output name being opened, while it is walked
  std::map<int, std::string> fileOf;  // open descriptors and the names they were opened under
  std::set<int> folders;   // descriptors of folders opened on a walk or to read their names
  std::string hitFile;     // the file of the failed call, once it happened
  bool hitFolder = false;  // the failed call was on such a folder, or its opening for a read

  bool Fails(Call kind, int fd, std::string file = std::string()) {
    if (fd >= 0 && fileOf.count(fd)) file = fileOf[fd];
    const bool hit = std::this_thread::get_id() == mainThread
                         ? ++counts[kind] == failAt && failPhoto.empty()
                         : ++photoCounts[{kind, file}] == failAt && file == failPhoto;
    if (!hit || kind != failKind) return false;
    hitFile = file;
    hitFolder = fd >= 0 && folders.count(fd) > 0;
    return true;
  }
  bool Fails(Call kind, const std::string& file) { return Fails(kind, -1, file); }
};
Faults Plan;
// Held by every call below: the codec's threads share the plan with the program's.
std::mutex PlanLock;

int Open(const char* path, int flags, mode_t mode) {
  const std::lock_guard<std::mutex> hold(PlanLock);
  if (Plan.Fails(kOpen, path)) return errno = EACCES, -1;
  const int fd = ::open(path, flags, mode);
  if (fd >= 0) Plan.fileOf[fd] = path;
  return fd;
}

int OpenBeneath(const char* path, int flags, mode_t mode) {
  const std::lock_guard<std::mutex> hold(PlanLock);
  // A folder that pages are created in is named with its separator.
  const std::string name = std::string(path) + ((flags & O_DIRECTORY) != 0 ? "/" : "");
  if (Plan.walk) {  // as a kernel without openat2 answers: the name is then walked with openat
    Plan.page = name;
    return errno = ENOSYS, -1;
  }
  if (Plan.Fails(kOpenBeneath, name)) return errno = EACCES, -1;
  const int fd = DefaultPosixCalls().openBeneath(path, flags, mode);
  if (fd >= 0) Plan.fileOf[fd] = name;
  return fd;
}

// The combined page is the one file written unnamed (O_TMPFILE) and opened again by its /proc
// name: both count as calls on it.
const char kUnnamedCombinedPage[] = ".allin1.html.(unnamed)";

int OpenAt(int folder, const char* name, int flags, mode_t mode) {
  const std::lock_guard<std::mutex> hold(PlanLock);
  // A file opened from the working folder is a page of its own, and so is one opened in a page
  // folder; on a walk, the page is the name handed to openBeneath.
  const bool unnamed =
      (flags & O_TMPFILE) == O_TMPFILE || std::string(name).compare(0, 14, "/proc/self/fd/") == 0;
  if (folder == AT_FDCWD && (flags & O_DIRECTORY) == 0) Plan.page = name;
  const std::string folderName = folder != AT_FDCWD ? Plan.fileOf[folder] : "";
  if (!folderName.empty() && folderName.back() == '/' && (flags & O_DIRECTORY) == 0)
    Plan.page = folderName + name;
  if (unnamed) Plan.page = kUnnamedCombinedPage;
  // To read its names.
  const bool listing = (flags & O_DIRECTORY) != 0 && (flags & O_PATH) == 0 && !unnamed;
  if (Plan.Fails(kOpenAt, Plan.page)) {
    Plan.hitFolder = listing;
    return errno = EACCES, -1;
  }
  const int fd = ::openat(folder, name, flags, mode);
  if (fd >= 0) Plan.fileOf[fd] = Plan.page;
  if (fd >= 0 && (flags & O_DIRECTORY) != 0 && !unnamed) Plan.folders.insert(fd);  // walked, read
  return fd;
}

int Fstat(int fd, struct stat* info) {
  const std::lock_guard<std::mutex> hold(PlanLock);
  return Plan.Fails(kFstat, fd) ? (errno = EIO, -1) : ::fstat(fd, info);
}

ssize_t Read(int fd, void* buffer, size_t count) {
  const std::lock_guard<std::mutex> hold(PlanLock);
  return Plan.Fails(kRead, fd) ? (errno = EIO, -1) : ::read(fd, buffer, count);
}

// The look at an existing page before it is replaced counts as a read.
ssize_t Pread(int fd, void* buffer, size_t count, off_t offset) {
  const std::lock_guard<std::mutex> hold(PlanLock);
  return Plan.Fails(kRead, fd) ? (errno = EIO, -1) : ::pread(fd, buffer, count, offset);
}

ssize_t Write(int fd, const void* buffer, size_t count) {
  const std::lock_guard<std::mutex> hold(PlanLock);
  return Plan.Fails(kWrite, fd) ? (errno = ENOSPC, -1) : ::write(fd, buffer, count);
}

int Close(int fd) {
  const std::lock_guard<std::mutex> hold(PlanLock);
  const bool fails = Plan.Fails(kClose, fd);
  Plan.fileOf.erase(fd);
  Plan.folders.erase(fd);
  ::close(fd);  // the descriptor is gone either way, as after a real failed close
  return fails ? (errno = EIO, -1) : 0;
}

int Ftruncate(int fd, off_t length) {
  const std::lock_guard<std::mutex> hold(PlanLock);
  return Plan.Fails(kFtruncate, fd) ? (errno = EIO, -1) : ::ftruncate(fd, length);
}

int Stat(const char* path, struct stat* info) {
  const std::lock_guard<std::mutex> hold(PlanLock);
  return Plan.Fails(kStat, path) ? (errno = EIO, -1) : ::stat(path, info);
}

char* Getcwd(char* buffer, size_t size) {
  const std::lock_guard<std::mutex> hold(PlanLock);
  return Plan.Fails(kGetcwd, -1) ? (errno = EACCES, nullptr) : ::getcwd(buffer, size);
}

int Chdir(const char* path) {
  const std::lock_guard<std::mutex> hold(PlanLock);
  return Plan.Fails(kChdir, path) ? (errno = ENOENT, -1) : ::chdir(path);
}

int Access(const char* path, int mode) {
  const std::lock_guard<std::mutex> hold(PlanLock);
  return Plan.Fails(kAccess, path) ? (errno = EACCES, -1) : ::access(path, mode);
}

ssize_t Getdents(int fd, void* buffer, size_t size) {
  const std::lock_guard<std::mutex> hold(PlanLock);
  return Plan.Fails(kGetdents, fd) ? (errno = EIO, -1) : ::getdents64(fd, buffer, size);
}

// A folder of photos: its entries described where they stand.
int FstatAt(int folder, const char* name, struct stat* info, int flags) {
  const std::lock_guard<std::mutex> hold(PlanLock);
  return Plan.Fails(kFstatAt, name) ? (errno = EIO, -1) : ::fstatat(folder, name, info, flags);
}

// The folder of copies, made when the first copy is written.
int MkdirAt(int folder, const char* name, mode_t mode) {
  const std::lock_guard<std::mutex> hold(PlanLock);
  return Plan.Fails(kMkdirAt, name) ? (errno = EACCES, -1) : ::mkdirat(folder, name, mode);
}

// The combined page, once complete, is linked under its own name or a hidden one.
int LinkAt(int fromFolder, const char* from, int toFolder, const char* to, int flags) {
  const std::lock_guard<std::mutex> hold(PlanLock);
  const std::string name = (toFolder == AT_FDCWD ? "" : Plan.fileOf[toFolder]) + to;
  if (Plan.Fails(kLinkAt, name)) return errno = EIO, -1;
  return ::linkat(fromFolder, from, toFolder, to, flags);
}

int Rename(const char* from, const char* to, unsigned flags) {
  const std::lock_guard<std::mutex> hold(PlanLock);
  return Plan.Fails(kRename, to) ? (errno = EIO, -1) : DefaultPosixCalls().rename(from, to, flags);
}

int Unlink(const char* path) {
  const std::lock_guard<std::mutex> hold(PlanLock);
  return Plan.Fails(kUnlink, path) ? (errno = EIO, -1) : ::unlink(path);
}

// A clean moves a page aside in its folder, then removes it or moves it back.
int RenameAt(int fromFolder, const char* from, int toFolder, const char* to, unsigned flags) {
  const std::lock_guard<std::mutex> hold(PlanLock);
  const std::string name = (fromFolder == AT_FDCWD ? "" : Plan.fileOf[fromFolder]) + from;
  if (Plan.Fails(kRenameAt, name)) return errno = EIO, -1;
  return DefaultPosixCalls().renameAt(fromFolder, from, toFolder, to, flags);
}

int UnlinkAt(int folder, const char* name, int flags) {
  const std::lock_guard<std::mutex> hold(PlanLock);
  const std::string file = (folder == AT_FDCWD ? "" : Plan.fileOf[folder]) + name;
  return Plan.Fails(kUnlinkAt, file) ? (errno = EIO, -1) : ::unlinkat(folder, name, flags);
}

// Every call of the file layer goes through the wrappers above, which count and fail them.
void FailCallsAsPlanned() {
  PosixCalls = DefaultPosixCalls();
  PosixCalls.open = Open;
  PosixCalls.fstat = Fstat;
  PosixCalls.read = Read;
  PosixCalls.close = Close;
  PosixCalls.openBeneath = OpenBeneath;
  PosixCalls.openat = OpenAt;
  PosixCalls.write = Write;
  PosixCalls.pread = Pread;
  PosixCalls.ftruncate = Ftruncate;
  PosixCalls.stat = Stat;
  PosixCalls.getcwd = Getcwd;
  PosixCalls.chdir = Chdir;
  PosixCalls.access = Access;
  PosixCalls.getdents64 = Getdents;
  PosixCalls.linkAt = LinkAt;
  PosixCalls.rename = Rename;
  PosixCalls.unlink = Unlink;
  PosixCalls.renameAt = RenameAt;
  PosixCalls.unlinkAt = UnlinkAt;
  PosixCalls.fstatat = FstatAt;
  PosixCalls.mkdirat = MkdirAt;
}

// The combined page is written unnamed or under a temporary name: calls on it are calls on
// allin1.html.
std::string PageOf(const std::string& file) {
  const std::string temporary = ".allin1.html.";
  const std::size_t slash = file.rfind('/');
  const std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
  return name.compare(0, temporary.size(), temporary) == 0 ? "allin1.html" : file;
}

bool IsTemporary(const std::string& name) {
  return name.size() > 4 && name.compare(name.size() - 4, 4, ".tmp") == 0;
}

// The lines of `a` and `b` that differ; both must have as many lines.
std::vector<std::string> DifferingLines(const std::string& a, const std::string& b) {
  std::istringstream left(a), right(b);
  std::vector<std::string> differ;
  std::string x, y;
  while (std::getline(left, x)) {
    if (!std::getline(right, y)) return {"(more lines)"};
    if (x != y) differ.push_back(x);
  }
  if (std::getline(right, y)) differ.push_back("(fewer lines)");
  return differ;
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

// A page as an older run left it, hand-edited since and longer than the new one: it still
// carries the marker.
std::string OlderPage(const std::string& name) {
  return "older " + name + "\r\n" + kOwnPageMarker + "\r\n" + std::string(4000, '-') + "\r\n";
}

struct Setting {
  bool pagesExist;  // every page exists from an older run
  bool walk;        // the kernel has no openat2
};

void PrintTo(const Setting& setting, std::ostream* out) {
  *out << (setting.pagesExist ? "pages exist" : "no pages") << (setting.walk ? ", walked" : "");
}

// Runs the sweep into an empty folder and into one where every page exists from an older run,
// each with openat2 and with the walk that stands in for it.
class FaultSweep : public testing::TestWithParam<Setting> {
 protected:
  void TearDown() override {
    PosixCalls = DefaultPosixCalls();
    PosixLookupsBeforeListing = kLookupsBeforeListing;
  }
  static const int kLookupsBeforeListing;

  static bool PagesExist() { return GetParam().pagesExist; }

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
    Plan.walk = GetParam().walk;
    FailCallsAsPlanned();
    // The first image's look-ups go to the file system, the later ones to the folder's listing.
    PosixLookupsBeforeListing = 1;
    State = GenerationState{};
    testing::internal::CaptureStderr();
    Outcome outcome;
    const std::string line = folder / "index.html";
    outcome.status = RunKestrune(line, ReadCommandOptions(line));
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

  // The calls a clean run makes in this setting, of the kinds the sweep fails.
  static bool Expected(Call kind) {
    switch (kind) {
      case kOpenBeneath:
        return !GetParam().walk;
      case kOpenAt:
        return true;  // a new page without a folder is created with openat
      case kFtruncate:
        return GetParam().pagesExist;  // only a longer earlier page is cut to the new length
      case kRename:
      case kUnlink:
        return GetParam().pagesExist;  // a new combined page is linked in place, not exchanged
      case kRenameAt:
      case kUnlinkAt:
        return false;  // a clean's
      case kFstatAt:
      case kMkdirAt:
        return false;  // a folder of photos
      default:
        return true;
    }
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
    EXPECT_EQ(cleanCounts.counts[kind] > 0, Expected(static_cast<Call>(kind))) << kCallNames[kind];
    for (int n = 1; n <= cleanCounts.counts[kind]; ++n) {
      SCOPED_TRACE(std::string(kCallNames[kind]) + " #" + std::to_string(n));
      const Outcome run = Run(static_cast<Call>(kind), n);
      std::string hit = PageOf(Plan.hitFile);
      // A page folder that could not be opened: the page being made in it is lost.
      if (!hit.empty() && hit.back() == '/' && run.messages.compare(0, hit.size(), hit) == 0)
        hit = run.messages.substr(0, run.messages.find(':'));
      SCOPED_TRACE("on " + Plan.hitFile);
      EXPECT_EQ(run.files.at("index.html"), kSheet);
      // The old combined page taken out of its place could not be removed: the one file that
      // stays behind, under its temporary name, with the new combined page complete.
      if (kind == kUnlink && hit == "allin1.html" && run.status == 0) {
        std::map<std::string, std::string> others = run.files;
        others.erase(Plan.hitFile.substr(Plan.hitFile.rfind('/') + 1));
        EXPECT_EQ(others, clean.files);
        continue;
      }
      for (const auto& [name, bytes] : run.files) EXPECT_FALSE(IsTemporary(name)) << name;

      const bool onSheet = hit.size() >= 10 && hit.compare(hit.size() - 10, 10, "index.html") == 0;
      // Failures that lose nothing: closing the read-only contact sheet at the finish or a folder
      // left behind on a walk; whether the sheet is a folder of photos (the first look at its
      // name; not known, it is read as the sheet it is); the working folder unknown (it only titles
      // failure boxes); the access time of an earlier page that is replaced anyway; a folder's
      // names that cannot be read (its images are then looked up one by one).
      if ((onSheet && (kind == kClose || (kind == kStat && n == 1))) || Plan.hitFolder ||
          kind == kGetcwd || kind == kAccess || kind == kGetdents) {
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.messages, "");
        EXPECT_EQ(run.files, clean.files);
        continue;
      }
      if (kind == kStat && !onSheet) {
        // A thumbnail looked for in vain: the PREVIOUS icon falls back, and only that line of
        // the pages that show it differs.
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.messages, "");
        ASSERT_EQ(run.files.size(), clean.files.size());
        for (const auto& [name, bytes] : run.files) {
          if (bytes == clean.files.at(name)) continue;
          const std::vector<std::string> differ = DifferingLines(bytes, clean.files.at(name));
          ASSERT_EQ(differ.size(), 1u) << name;
          EXPECT_TRUE(Contains(differ[0], "PREVIOUS")) << name << ": " << differ[0];
        }
        continue;
      }
      ++failures;
      if (hit != "allin1.html") {
        EXPECT_EQ(run.status, 1);
      }
      // On a page, a read is the look at the existing file before it is replaced.
      const bool atCreation = kind == kOpen || kind == kOpenBeneath || kind == kOpenAt ||
                              kind == kFstat || (kind == kRead && !onSheet);
      if (onSheet || kind == kChdir) {
        // The contact sheet could not be loaded, or its folder not entered (pages would land
        // in the start folder): one start failure and nothing written.
        EXPECT_EQ(std::count(run.messages.begin(), run.messages.end(), '\n'), 1) << run.messages;
        EXPECT_TRUE(Contains(run.messages, "index.html\n")) << run.messages;
        ExpectUnchangedSinceBefore(run);
      } else if (hit == "allin1.html" && run.status == 0) {
        // A call whose failure loses nothing: closing a file only read, or the look after the
        // new page was put in place.
        --failures;
        EXPECT_EQ(run.messages, "");
        EXPECT_EQ(run.files, clean.files);
      } else if (hit == "allin1.html" && !Contains(run.messages, "complete")) {
        EXPECT_TRUE(atCreation || kind == kClose) << kCallNames[kind];
        EXPECT_EQ(run.messages,
                  Record(GetWorkingFolder(), "Kestrune Err: Unable to create AllIn1 file"));
        ExpectUnchangedSinceBefore(run);
      } else if (hit == "allin1.html") {
        // Cut short or not put in place: every page still written, the failure told at the
        // finish, and allin1.html as it was before the run (none when there was none).
        EXPECT_EQ(run.messages,
                  Record(GetWorkingFolder(), "Kestrune Err: Unable to complete AllIn1 file"));
        std::map<std::string, std::string> expected = clean.files;
        expected.erase("allin1.html");
        if (PagesExist()) expected["allin1.html"] = OlderPage("allin1.html");
        EXPECT_EQ(run.files, expected);
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
        } else if (!PagesExist() && kind != kUnlink) {
          EXPECT_FALSE(run.files.count(hit));  // made by the run and not complete: removed
        }
      }
    }
  }
  EXPECT_GT(failures, 20);  // the sweep really covered the run
}

const int FaultSweep::kLookupsBeforeListing = PosixLookupsBeforeListing;

INSTANTIATE_TEST_SUITE_P(Pages, FaultSweep,
                         testing::Values(Setting{false, false}, Setting{true, false},
                                         Setting{false, true}, Setting{true, true}),
                         [](const testing::TestParamInfo<Setting>& info) {
                           return std::string(info.param.pagesExist ? "AlreadyThere" : "New") +
                                  (info.param.walk ? "Walked" : "");
                         });

// ---- The clean ------------------------------------------------------------------------------

// A clean of a folder that holds a slide show and, under one page's name, a page of the user's:
// every call that the file layer makes is failed in turn, with openat2 and with the walk that
// stands in for it. Nothing but pages of ours is ever
// removed, no page is left under a temporary name, and every page of ours that stays is named in
// a line that says why, unless the start failed with its message; the status is 1.
class CleanFaultSweep : public testing::TestWithParam<bool> {};

TEST_P(CleanFaultSweep, EveryFailedCallKeepsTheUsersFilesAndSaysWhatStayed) {
  const std::string usersPage = "<html><body>My own page</body></html>\n";
  const std::string kept = "c.html";
  const auto run = [&](Call failKind, int failAt) {
    ScratchFolder folder;
    folder.Write("index.html", kSheet);
    folder.Write("a_t.jpg", "thumbnail");
    folder.Write("sub/keep.txt", "");
    for (const char* page : kPageNames) folder.Write(page, OlderPage(page));
    folder.Write(kept, usersPage);
    const std::string startFolder = GetWorkingFolder();
    Plan = Faults{};
    Plan.failKind = failKind;
    Plan.failAt = failAt;
    Plan.walk = GetParam();
    FailCallsAsPlanned();
    State = GenerationState{};
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    Outcome outcome;
    const std::string line = "--clean " + folder / "index.html";
    outcome.status = RunKestrune(line, ReadCommandOptions(line));
    const std::string out = testing::internal::GetCapturedStdout();
    outcome.messages = testing::internal::GetCapturedStderr();
    PosixCalls = DefaultPosixCalls();
    SetWorkingFolder(startFolder);
    for (const std::string& name : ListFiles(folder.path()))
      outcome.files[name] = folder.Read(name);
    outcome.files["(out)"] = out;
    return outcome;
  };

  const Outcome clean = run(kCallKinds, 0);
  ASSERT_EQ(clean.status, 1);
  ASSERT_EQ(clean.messages, "");
  ASSERT_TRUE(Contains(clean.files.at("(out)"),
                       "3 images: 6 pages removed, 1 kept, 0 refused, 0 not removed\n"))
      << clean.files.at("(out)");
  const Faults cleanCounts = Plan;
  int pagesKept = 0;
  for (int kind = 0; kind < kCallKinds; ++kind) {
    for (int n = 1; n <= cleanCounts.counts[kind]; ++n) {
      SCOPED_TRACE(std::string(kCallNames[kind]) + " #" + std::to_string(n));
      const Outcome outcome = run(static_cast<Call>(kind), n);
      SCOPED_TRACE("on " + Plan.hitFile);
      const std::string& out = outcome.files.at("(out)");
      EXPECT_EQ(outcome.status, 1);
      EXPECT_EQ(outcome.files.at("index.html"), kSheet);
      EXPECT_EQ(outcome.files.at("a_t.jpg"), "thumbnail");
      EXPECT_EQ(outcome.files.at("sub/keep.txt"), "");
      EXPECT_EQ(outcome.files.at(kept), usersPage);
      for (const auto& [name, bytes] : outcome.files) EXPECT_FALSE(IsTemporary(name)) << name;
      // A start that failed said so, and touched nothing.
      const bool started = outcome.messages.empty();
      if (started) {
        EXPECT_TRUE(Contains(out, kept + " (")) << out;
        EXPECT_TRUE(Contains(out, "3 images: ")) << out;
      }
      for (const char* page : kPageNames) {
        if (page == kept) continue;
        if (outcome.files.count(page) == 0) {
          EXPECT_TRUE(Contains(out, "removed " + std::string(page) + "\n")) << page << ": " << out;
          continue;
        }
        ++pagesKept;
        EXPECT_EQ(outcome.files.at(page), OlderPage(page));
        const std::string said = std::string(page) + " (";
        EXPECT_TRUE(!started || Contains(out, "kept " + said) ||
                    Contains(out, "not removed " + said))
            << page << ": " << out;
      }
    }
  }
  EXPECT_GT(cleanCounts.counts[kRenameAt], 0);
  EXPECT_GT(cleanCounts.counts[kUnlinkAt], 0);
  EXPECT_GT(pagesKept, 20);  // the sweep really failed removals
}

INSTANTIATE_TEST_SUITE_P(Clean, CleanFaultSweep, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "Walked" : "Beneath");
                         });

// ---- A folder of photos ------------------------------------------------------------------------

// A run on a folder of photos with every file call failed in turn: the listing, the reads of
// thumbnails' marks and of the earlier sheet, the codec's reads of each photo (on its threads),
// the thumbnails' and the sheet's writes, the removal of what a photo gone left, and the slide
// show after. A call either loses nothing (status 0, no message, the folder exactly as a run
// without failure leaves it) or the run ends with status 1 and messages that each name a file or
// the folder. Either way the photos and everything outside the folder stay as they were, each
// thumbnail is the one a run without failure makes or the one that was there, index.html and
// each page are that too or complete, and no other file is left.

const std::string kExamples = KESTRUNE_EXAMPLES;

// The photos, and the examples they are copies of: a JPEG, a PNG and a JPEG.
const std::pair<const char*, const char*> kPhotos[] = {
    {"a.jpg", "boats.jpg"}, {"b.png", "dunes.png"}, {"c.jpg", "harbour.jpg"}};

// A folder's files and their modification times: a thumbnail's mark holds its photo's time, so
// each run's folder is made with the very times of the folder it copies.
struct FolderFiles {
  std::map<std::string, std::string> bytes;
  std::map<std::string, struct timespec> modified;
};

FolderFiles ReadFolder(const std::string& folder) {
  FolderFiles files;
  for (const std::string& name : ListFiles(folder)) {
    files.bytes[name] = ReadWholeFile(folder + "/" + name);
    struct stat info {};
    ::stat((folder + "/" + name).c_str(), &info);
    files.modified[name] = info.st_mtim;
  }
  return files;
}

struct FolderOutcome {
  int status = -1;
  std::string messages;
  std::map<std::string, std::string> files;    // the folder's
  std::map<std::string, std::string> outside;  // the files beside it
};

class FolderFaultSweep : public testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    // Loaded once, before any run counts calls.
    std::string why;
    if (!OpenPhotoCodec(&why)) GTEST_SKIP() << "no photo module: " << why;
  }
  void TearDown() override { PosixCalls = DefaultPosixCalls(); }

  static bool ReRun() { return GetParam(); }

  // The folder before the run: the photos, and on a re-run what an earlier run made of them and
  // of a photo gone since, with one photo changed since.
  static FolderFiles Before() {
    ScratchFolder folder;
    for (const auto& [name, example] : kPhotos)
      folder.Write(name, ReadWholeFile(kExamples + "/" + example));
    if (ReRun()) {
      folder.Write("gone.jpg", ReadWholeFile(kExamples + "/lighthouse.jpg"));
      const FolderOutcome earlier = RunOn(folder.path(), kCallKinds, 0, "");
      EXPECT_EQ(earlier.status, 0) << earlier.messages;
      ::unlink((folder / "gone.jpg").c_str());
      folder.Write("b.png", ReadWholeFile(kExamples + "/shells.png"));
    }
    return ReadFolder(folder.path());
  }

  // A run on `folder` as the program makes it, the chosen call failed.
  static FolderOutcome RunOn(const std::string& folder, Call failKind, int failAt,
                             const std::string& failPhoto) {
    const std::string startFolder = GetWorkingFolder();
    Plan = Faults{};
    Plan.failKind = failKind;
    Plan.failAt = failAt;
    Plan.failPhoto = failPhoto;
    FailCallsAsPlanned();
    State = GenerationState{};
    testing::internal::CaptureStderr();
    FolderOutcome outcome;
    outcome.status = RunKestrune(folder, ReadCommandOptions(folder));
    outcome.messages = testing::internal::GetCapturedStderr();
    PosixCalls = DefaultPosixCalls();
    SetWorkingFolder(startFolder);
    return outcome;
  }

  // The folder `before` made afresh beside a file of the user's, and run on.
  static FolderOutcome Run(const FolderFiles& before, Call failKind, int failAt,
                           const std::string& failPhoto = std::string()) {
    ScratchFolder place;
    place.Write("outside.txt", "the user's");
    for (const auto& [name, bytes] : before.bytes) {
      place.Write("photos/" + name, bytes);
      const struct timespec times[2] = {{0, UTIME_OMIT}, before.modified.at(name)};
      ::utimensat(AT_FDCWD, (place / "photos/" + name).c_str(), times, 0);
    }
    FolderOutcome outcome = RunOn(place / "photos", failKind, failAt, failPhoto);
    for (const std::string& name : ListFiles(place.path())) {
      if (name.compare(0, 7, "photos/") == 0)
        outcome.files[name.substr(7)] = place.Read(name);
      else
        outcome.outside[name] = place.Read(name);
    }
    return outcome;
  }
};

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A thumbnail, sheet or page written to its end, never a temporary file.
bool IsComplete(const std::string& name, const std::string& bytes) {
  if (name.compare(0, 1, ".") == 0) return false;
  if (EndsWith(name, ".jpg"))
    return bytes.compare(0, 2, "\xFF\xD8") == 0 && EndsWith(bytes, "\xFF\xD9") &&
           Contains(bytes, "Kestrune thumbnail 1;");
  if (name != "index.html") return EndsWith(bytes, "</HTML>\r\n");
  return EndsWith(bytes, "</html>\r\n") &&
         std::all_of(std::begin(kPhotos), std::end(kPhotos), [&bytes](const auto& photo) {
           return Contains(bytes, std::string("\"") + photo.first + "\"");
         });
}

TEST_P(FolderFaultSweep, EveryFailedCallEndsCleanlyAndKeepsThePhotos) {
  const FolderFiles before = Before();
  const FolderOutcome clean = Run(before, kCallKinds, 0);
  ASSERT_EQ(clean.status, 0) << clean.messages;
  ASSERT_EQ(clean.messages, "");
  const Faults cleanCounts = Plan;
  // The run read its folder, and the codec read (only) the photos to make.
  EXPECT_GT(cleanCounts.counts[kGetdents], 0);
  EXPECT_GT(cleanCounts.counts[kFstatAt], 0);
  std::set<std::string> decoded;
  for (const auto& [call, count] : cleanCounts.photoCounts) decoded.insert(call.second);
  const std::set<std::string> toMake =
      ReRun() ? std::set<std::string>{"b.png"} : std::set<std::string>{"a.jpg", "b.png", "c.jpg"};
  EXPECT_EQ(decoded, toMake);
  if (ReRun()) {
    for (const char* gone : {"gone_t.jpg", "gone.htm", "gone.html"})
      EXPECT_TRUE(before.bytes.count(gone) && !clean.files.count(gone)) << gone;
  }

  // Every failure point: the program's calls by kind, the codec's by kind and photo.
  struct Point {
    Call kind;
    int at;
    std::string photo;
  };
  std::vector<Point> points;
  for (int kind = 0; kind < kCallKinds; ++kind)
    for (int n = 1; n <= cleanCounts.counts[kind]; ++n) points.push_back({Call(kind), n, ""});
  for (const auto& [call, count] : cleanCounts.photoCounts)
    for (int n = 1; n <= count; ++n) points.push_back({call.first, n, call.second});

  int failures = 0;
  for (const Point& point : points) {
    SCOPED_TRACE(std::string(kCallNames[point.kind]) + " #" + std::to_string(point.at) +
                 (point.photo.empty() ? "" : " in the codec on " + point.photo));
    const FolderOutcome run = Run(before, point.kind, point.at, point.photo);
    SCOPED_TRACE("on " + Plan.hitFile + "\n" + run.messages);
    for (const auto& [photo, example] : kPhotos)
      EXPECT_EQ(run.files.at(photo), before.bytes.at(photo));
    EXPECT_EQ(run.outside, (std::map<std::string, std::string>{{"outside.txt", "the user's"}}));
    if (run.status == 0) {
      // Lost nothing; a thumbnail looked for in vain only shows the PREVIOUS icon's fallback.
      // The file a new one replaced, when it could not be removed, stays under its hidden
      // temporary name (".NAME.PID.tmp"), as it was.
      EXPECT_EQ(run.messages, "");
      const std::size_t leaf = Plan.hitFile.rfind('/') + 1;  // npos + 1: the whole name
      if (point.kind == kUnlink && Plan.hitFile.compare(leaf, 1, ".") == 0) {
        const std::string file =
            Plan.hitFile.substr(0, leaf) +
            Plan.hitFile.substr(leaf + 1,
                                Plan.hitFile.rfind('.', Plan.hitFile.size() - 5) - leaf - 1);
        SCOPED_TRACE(file);
        ASSERT_TRUE(before.bytes.count(file));
        EXPECT_EQ(run.files.at(Plan.hitFile), before.bytes.at(file));
        std::map<std::string, std::string> others = run.files;
        others.erase(Plan.hitFile);
        EXPECT_EQ(others, clean.files);
        continue;
      }
      EXPECT_EQ(run.files.size(), clean.files.size());
      for (const auto& [name, bytes] : run.files) {
        const auto made = clean.files.find(name);
        ASSERT_NE(made, clean.files.end()) << name;
        if (made->second == bytes) continue;
        const std::vector<std::string> differ = DifferingLines(bytes, made->second);
        EXPECT_TRUE(point.kind == kStat && differ.size() == 1 && Contains(differ[0], "PREVIOUS"))
            << name;
      }
      continue;
    }
    ++failures;
    EXPECT_EQ(run.status, 1);
    // Each message names what it is about: a file of the folder, or the folder.
    std::istringstream lines(run.messages);
    std::set<std::string> named;
    for (std::string line; std::getline(lines, line);) {
      const std::string title = line.substr(0, line.find(": "));
      named.insert(title);
      EXPECT_TRUE(before.bytes.count(title) || clean.files.count(title) || title == "photos" ||
                  title == kCopiesFolder || title.compare(0, 1, "/") == 0)
          << line;
    }
    EXPECT_FALSE(named.empty());
    // The folder holds photos: a listing that failed is not told as a folder without any.
    EXPECT_FALSE(Contains(run.messages, "No photos"));
    for (const auto& [name, bytes] : run.files) {
      const auto was = before.bytes.find(name);
      const auto made = clean.files.find(name);
      if ((was != before.bytes.end() && was->second == bytes) ||
          (made != clean.files.end() && made->second == bytes))
        continue;
      // Otherwise an earlier page named in a message, cut short as far as its write came, or a
      // file written whole (with what this run could make of the photos).
      if (named.count(name) && was != before.bytes.end() && made != clean.files.end()) {
        EXPECT_EQ(made->second.compare(0, bytes.size(), bytes), 0) << name;
        continue;
      }
      EXPECT_TRUE(IsComplete(name, bytes)) << name;
    }
  }
  EXPECT_GT(failures, 40);  // the sweep really covered the run
}

// The hidden files of runs killed outright are looked for once a folder, not after each
// thumbnail put in place (which made a folder of 20,000 photos cost the square of its size): a
// run reads its folders as often for six photos as for two, on a first run and a re-run.
TEST_P(FolderFaultSweep, FoldersAreReadAsOftenForSixPhotosAsForTwo) {
  const auto reads = [](int photos) {
    ScratchFolder folder;
    for (int i = 0; i < photos; ++i)
      folder.Write("p" + std::to_string(i) + ".jpg", ReadWholeFile(kExamples + "/boats.jpg"));
    if (ReRun()) {
      EXPECT_EQ(RunOn(folder.path(), kCallKinds, 0, "").status, 0);
    }
    const FolderOutcome run = RunOn(folder.path(), kCallKinds, 0, "");
    EXPECT_EQ(run.status, 0) << run.messages;
    return Plan.counts[kGetdents];
  };
  EXPECT_EQ(reads(6), reads(2));
}

INSTANTIATE_TEST_SUITE_P(Folder, FolderFaultSweep, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "ReRun" : "FirstRun");
                         });

}  // namespace

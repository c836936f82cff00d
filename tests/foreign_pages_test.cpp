// Files kestrune did not write, under the names of its pages: the built program refuses to replace
// them, reports each one, and leaves it exactly as it was, while pages of an earlier run are
// replaced as before.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <string>
#include <vector>

#include "cli_support.h"

namespace {

const std::string kSheet = SheetLinking({"a.jpg", "b.jpg"});
const std::string kUsersPage = "<html><body><h1>Harbour, 1998</h1>My own words.</body></html>\n";
const std::vector<std::string> kPages = {"a.htm", "a.html", "allin1.html", "b.htm", "b.html"};

// The pages a run on kSheet writes into an empty folder.
std::map<std::string, std::string> CleanPages() {
  ScratchFolder clean;
  clean.Write("index.html", kSheet);
  EXPECT_EQ(RunKestrune({"index.html"}, clean.path()).status, 0);
  std::map<std::string, std::string> pages;
  for (const std::string& page : kPages) pages[page] = clean.Read(page);
  return pages;
}

// A file placed before the run and what must be true of it afterwards.
struct Existing {
  std::string name;
  std::string bytes;
  bool replaced;
};

// Runs kestrune on kSheet in a folder that already holds `existing` (dated back, so that a read
// would move their access times). Expects each file either replaced by its clean page or left
// with its bytes, size and times, and every other page written as in a clean run.
ProgramResult RunOver(const std::vector<Existing>& existing, unsigned user = 0,
                      mode_t mode = 0644) {
  const std::map<std::string, std::string> clean = CleanPages();
  ScratchFolder folder;
  folder.Write("index.html", kSheet);
  for (const Existing& file : existing) {
    folder.Write(file.name, file.bytes);
    ::chmod((folder / file.name).c_str(), mode);
  }
  if (user != 0) HandOver(folder.path(), user);
  std::map<std::string, std::string> statusBefore;
  for (const Existing& file : existing) {
    DateBack(folder / file.name);
    statusBefore[file.name] = StatusOf(folder / file.name);
  }

  const ProgramResult result = RunKestrune({"index.html"}, folder.path(), user);
  std::map<std::string, std::string> expected = clean;
  for (const Existing& file : existing) {
    if (file.replaced) continue;
    EXPECT_EQ(StatusOf(folder / file.name), statusBefore[file.name]) << file.name;
    ::chmod((folder / file.name).c_str(), 0644);  // to read it back without privilege
    expected[file.name] = file.bytes;
  }
  for (const std::string& page : kPages) EXPECT_EQ(folder.Read(page), expected[page]) << page;
  EXPECT_EQ(folder.Read("index.html"), kSheet);
  return result;
}

TEST(ForeignPages, AUsersSlidePageIsKeptAndTheRestIsWritten) {
  const ProgramResult result = RunOver({{"a.htm", kUsersPage, false}});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, PageFailure("a.htm"));
}

TEST(ForeignPages, PagesOfAnEarlierRunAndEmptyFilesAreReplaced) {
  const std::map<std::string, std::string> earlier = CleanPages();
  const std::string edited = "<p>Added by hand</p>\r\n" + earlier.at("a.htm");
  const ProgramResult result = RunOver({{"a.htm", edited, true},
                                        {"a.html", earlier.at("b.html"), true},
                                        {"b.htm", "", true},
                                        {"allin1.html", earlier.at("allin1.html"), true}});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
}

TEST(ForeignPages, AnExistingPageThatCannotBeReadIsRefused) {
  // A page of an earlier run, but write-only: the look cannot read it.
  const std::string earlier = std::string("<TITLE>b.jpg</TITLE>\r\n") + kMarkerLine;
  const ProgramResult result = RunOver({{"b.html", earlier, false}}, kUnprivilegedUser, 0200);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, PageFailure("b.html"));
}

TEST(ForeignPages, AUsersCombinedPageStopsTheRunWithNothingWritten) {
  ScratchFolder folder;
  folder.Write("index.html", kSheet);
  folder.Write("allin1.html", kUsersPage);
  DateBack(folder / "allin1.html");
  const std::string status = StatusOf(folder / "allin1.html");

  const ProgramResult result = RunKestrune({"index.html"}, folder.path());
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, Record(RealPath(folder.path()), kAllIn1Failure));
  EXPECT_EQ(StatusOf(folder / "allin1.html"), status);
  EXPECT_EQ(Snapshot(folder.path()), (std::map<std::string, std::string>{
                                         {"allin1.html", kUsersPage}, {"index.html", kSheet}}));
}

}  // namespace

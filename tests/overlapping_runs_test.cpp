// Two runs of one contact sheet at the same time (a double click twice, two people on a shared
// folder, a script that overlaps itself): each ends as a single run would.
#include <gtest/gtest.h>
#include <unistd.h>

#include <map>
#include <string>

#include "cli_support.h"

namespace {

constexpr int kImages = 3000;

// A sheet beside a folder img/ that all its images, and so all their pages, lie in.
std::string FolderSheet() {
  std::string sheet = "<html><head><title>Shared</title></head><body>\n";
  for (int i = 0; i < kImages; ++i) {
    const std::string image = "img/p" + std::to_string(10000 + i) + ".jpg";
    sheet += "<a href=\"" + image + "\">Picture " + std::to_string(i) + "</a>\n";
  }
  return sheet + "</body></html>\n";
}

const std::string kUsersPage = "<html><body>My own page</body></html>\n";
const std::string kUsersPageName = "img/p11500.htm";

// Where the folders lie: in memory, where the runs are fastest and meet most often, and on the
// working disk (the system's temporary folder).
class OverlappingRuns : public testing::TestWithParam<const char*> {};

TEST_P(OverlappingRuns, EachEndsAsASingleRunWouldAndOnlyTheUsersPageIsReported) {
  const std::string under = GetParam();
  if (!under.empty() && ::access(under.c_str(), W_OK) != 0)
    GTEST_SKIP() << under << " cannot be written here";
  const std::string sheet = FolderSheet();
  // A folder with the sheet, its empty folder img/ and, when asked, a page of the user's there.
  const auto prepare = [&](const ScratchFolder& folder, bool usersPage) {
    folder.Write("index.html", sheet);
    fs::create_directory(folder / "img");
    if (usersPage) folder.Write(kUsersPageName, kUsersPage);
  };
  std::map<std::string, std::string> single[2];  // without and with the user's page
  for (bool usersPage : {false, true}) {
    ScratchFolder folder(under);
    prepare(folder, usersPage);
    const ProgramResult alone = RunKestrune({"index.html"}, folder.path());
    ASSERT_EQ(alone.status, usersPage ? 1 : 0) << alone.err;
    single[usersPage] = Snapshot(folder.path());
  }

  for (bool usersPage : {false, false, true}) {
    SCOPED_TRACE(usersPage ? "with a page of the user's" : "without a page of the user's");
    ScratchFolder folder(under);
    prepare(folder, usersPage);
    // The second run starts as soon as the first has.
    ProgramResult second;
    const ProgramResult first = RunKestrune({"index.html"}, folder.path(), 0, [&](int) {
      second = RunKestrune({"index.html"}, folder.path());
    });
    for (const ProgramResult* run : {&first, static_cast<const ProgramResult*>(&second)}) {
      EXPECT_EQ(run->status, usersPage ? 1 : 0);
      EXPECT_EQ(run->err, usersPage ? PageFailure(kUsersPageName) : "");
    }
    EXPECT_TRUE(Snapshot(folder.path()) == single[usersPage])
        << "the folder differs from a single run's";
  }
}

INSTANTIATE_TEST_SUITE_P(Places, OverlappingRuns, testing::Values("/dev/shm", ""),
                         [](const testing::TestParamInfo<const char*>& info) {
                           return std::string(*info.param != '\0' ? "InMemory" : "OnTheDisk");
                         });

}  // namespace

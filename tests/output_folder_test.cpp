// Output files stay beneath the working folder: no "..", absolute name or symbolic link leads a
// page out of it, whether the kernel resolves the name (openat2) or the file layer walks it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "pages/page_marker.h"
#include "platform/platform.h"
#include "platform/posix_calls.h"
#include "test_support.h"

namespace {

int KernelWithoutOpenat2(const char*, int, mode_t) {
  errno = ENOSYS;
  return -1;
}

// Runs every case twice: with openat2, and with the fallback for kernels that lack it.
class OutputFolder : public testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (!GetParam()) PosixCalls.openBeneath = KernelWithoutOpenat2;
    outside_.Write("target.txt", "outside");
    ASSERT_TRUE(SetWorkingFolder(folder_.path()));
  }
  void TearDown() override {
    PosixCalls = DefaultPosixCalls();
    SetWorkingFolder(startFolder_);
  }

  void Link(const std::string& target, const std::string& name) {
    ASSERT_EQ(::symlink(target.c_str(), (folder_ / name).c_str()), 0) << name;
  }

  // True when `name` could be created and written.
  static bool Writes(const std::string& name) {
    std::FILE* page = CreateOutputFile(name, kOwnPageMarker);
    if (page == nullptr) return false;
    std::fputs("page", page);
    return CloseOutputFile(page);
  }

  const std::string startFolder_ = GetWorkingFolder();
  ScratchFolder outside_;
  ScratchFolder folder_;
};

TEST_P(OutputFolder, NamesThatClimbOutOrAreAbsoluteAreRefused) {
  folder_.Write("sub/keep.txt", "");
  for (const std::string& name :
       {std::string("../escaped.htm"), std::string("sub/../../e.htm"), outside_ / "absolute.htm"}) {
    EXPECT_FALSE(Writes(name)) << name;
  }
  EXPECT_EQ(ListFiles(outside_.path()), std::vector<std::string>{"target.txt"});
  EXPECT_TRUE(Writes("sub/../inside.htm"));  // a ".." that stays inside is harmless
  EXPECT_EQ(folder_.Read("inside.htm"), "page");
}

TEST_P(OutputFolder, PageNamesLinkedOutsideAreRefusedAndLeftAsTheyWere) {
  Link(outside_ / "target.txt", "absolute.htm");
  Link("../" + outside_.path().substr(outside_.path().rfind('/') + 1) + "/target.txt",
       "relative.htm");
  Link(outside_ / "new.txt", "dangling.htm");  // would create a file outside
  for (const char* name : {"absolute.htm", "relative.htm", "dangling.htm"}) {
    EXPECT_FALSE(Writes(name)) << name;
  }
  EXPECT_EQ(outside_.Read("target.txt"), "outside");
  EXPECT_FALSE(outside_.Exists("new.txt"));
  char target[4096] = {};
  ASSERT_GT(::readlink((folder_ / "absolute.htm").c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(std::string(target), outside_ / "target.txt");
}

TEST_P(OutputFolder, LinkedFoldersLeadingOutsideAreNotEntered) {
  Link(outside_.path(), "photos");
  EXPECT_FALSE(Writes("photos/a.htm"));
  EXPECT_FALSE(Writes("photos/../b.htm"));
  EXPECT_FALSE(Writes("photos/target.txt"));
  EXPECT_EQ(ListFiles(outside_.path()), std::vector<std::string>{"target.txt"});
  EXPECT_EQ(outside_.Read("target.txt"), "outside");
}

TEST_P(OutputFolder, LinksThatStayInsideAreFollowedOnlyWhereTheKernelChecksThem) {
  folder_.Write("real/keep.txt", "");
  Link("real", "alias");
  // openat2 proves the link stays inside; the walking fallback cannot and refuses every link.
  EXPECT_EQ(Writes("alias/a.htm"), GetParam());
  EXPECT_EQ(folder_.Exists("real/a.htm"), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Kernel, OutputFolder, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                           return info.param ? "WithOpenat2" : "WalkingFallback";
                         });

}  // namespace

// Images looked up from a folder's listing give exactly the answers of a real look-up, read each
// folder once, and fall back to real look-ups wherever a listing could answer differently.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix_calls.h"
#include "test_support.h"

namespace {

int Stats = 0;
int Listings = 0;
bool FolderReadFails = false;

int CountedStat(const char* path, struct stat* info) {
  ++Stats;
  return ::stat(path, info);
}

ssize_t CountedRead(int fd, void* buffer, size_t size) {
  ++Listings;
  return FolderReadFails ? (errno = EIO, -1) : ::getdents64(fd, buffer, size);
}

class ImageLookup : public testing::Test {
 protected:
  void SetUp() override {
    Stats = Listings = 0;
    FolderReadFails = false;
    PosixCalls.stat = CountedStat;
    PosixCalls.getdents64 = CountedRead;
    ASSERT_TRUE(SetWorkingFolder(folder_.path()));
  }
  void TearDown() override {
    PosixCalls = DefaultPosixCalls();
    PosixLookupsBeforeListing = kDefaultLookups;
    SetWorkingFolder(startFolder_);
  }

  // Every kind of entry a gallery folder may hold under an image's name.
  void MakeGallery() {
    folder_.Write("a_t.jpg", "thumbnail");
    folder_.Write("b.jpg", "image");
    folder_.Write("A_T.JPG", "another case");
    folder_.Write("page.htm", "");
    folder_.Write("sub/c_t.jpg", "thumbnail");
    folder_.Write("tn_sub/c_png.jpg", "thumbnail");
    ASSERT_EQ(::mkdir((folder_ / "folder.jpg").c_str(), 0755), 0);
    ASSERT_EQ(::mkfifo((folder_ / "fifo.jpg").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("b.jpg", (folder_ / "link_t.jpg").c_str()), 0);
    ASSERT_EQ(::symlink("missing.jpg", (folder_ / "dangling_t.jpg").c_str()), 0);
    ASSERT_EQ(::symlink("sub", (folder_ / "linked").c_str()), 0);
  }

  static const int kDefaultLookups;
  const std::string startFolder_ = GetWorkingFolder();
  ScratchFolder folder_;
};
const int ImageLookup::kDefaultLookups = PosixLookupsBeforeListing;

// Names present, absent, of other kinds and shapes; each asked in turn.
const std::vector<std::string> kNames = {
    "a_t.jpg",          "b.jpg",          "missing_t.jpg",  "A_T.JPG",
    "a_t.JPG",          "page.htm",       "folder.jpg",     "fifo.jpg",
    "link_t.jpg",       "dangling_t.jpg", "sub/c_t.jpg",    "sub/none_t.jpg",
    "tn_sub/c_png.jpg", "linked/c_t.jpg", "nosuch/x_t.jpg", "./a_t.jpg",
    "sub/../b.jpg",     "sub//c_t.jpg",   "../b.jpg",       "a_t.jpg/x.jpg",
    "bad\nname.jpg",    ".jpg",           "sub/",           ""};

TEST_F(ImageLookup, ListedAnswersAreThoseOfARealLookUp) {
  MakeGallery();
  for (int threshold : {0, 3, 100}) {
    PosixLookupsBeforeListing = threshold;
    SetWorkingFolder(folder_.path());          // a new working folder starts without listings
    for (int round = 0; round < 2; ++round) {  // before and after each folder is read
      for (const std::string& name : kNames) {
        EXPECT_EQ(ImageFileExists(name), FileExists(name))
            << "\"" << name << "\" after " << threshold << " look-ups";
      }
    }
  }
}

TEST_F(ImageLookup, AFolderIsReadOnceWhenItIsAskedOften) {
  folder_.Write("a_t.jpg", "thumbnail");
  PosixLookupsBeforeListing = 4;
  for (int i = 0; i < 50; ++i) {
    EXPECT_FALSE(ImageFileExists("missing" + std::to_string(i) + "_t.jpg"));
    EXPECT_TRUE(ImageFileExists("a_t.jpg"));
  }
  EXPECT_EQ(Stats, 4);     // the look-ups before the folder was read
  EXPECT_EQ(Listings, 2);  // one read of its names, and the read that finds no more
}

// The second thumbnail candidate of every image in a subfolder lies in a folder that does not
// exist (tn_img/): once that is known, its names are answered without a call each.
TEST_F(ImageLookup, AMissingFolderIsLookedForOnce) {
  folder_.Write("img/a.jpg", "image");
  folder_.Write("file", "not a folder");
  PosixLookupsBeforeListing = 4;
  for (int i = 0; i < 50; ++i) {
    EXPECT_FALSE(ImageFileExists("tn_img/p" + std::to_string(i) + "_jpg.jpg"));
    EXPECT_FALSE(ImageFileExists("file/p" + std::to_string(i) + ".jpg"));
  }
  EXPECT_EQ(Stats, 9);  // the look-ups before each folder was looked for, and "file" itself
  EXPECT_EQ(Listings, 0);
}

TEST_F(ImageLookup, AFolderAskedRarelyIsNeverRead) {
  MakeGallery();
  for (const char* name : {"a_t.jpg", "missing_t.jpg", "tn_a_jpg.jpg"}) ImageFileExists(name);
  EXPECT_EQ(Listings, 0);  // a few images beside a sheet cost their look-ups and nothing more
  EXPECT_EQ(Stats, 3);
}

TEST_F(ImageLookup, WhereAFolderCannotBeReadEveryNameIsLookedUp) {
  MakeGallery();
  PosixLookupsBeforeListing = 0;
  FolderReadFails = true;
  for (const std::string& name : kNames) EXPECT_EQ(ImageFileExists(name), FileExists(name)) << name;
  EXPECT_GT(Listings, 0);
}

// A folder whose names can be read but whose files cannot be looked at (no search permission):
// a listing would find names that a real look-up cannot see.
int CannotSearchLocked(const char* path, int mode) {
  return std::string(path) == "locked" ? (errno = EACCES, -1) : ::access(path, mode);
}

TEST_F(ImageLookup, AFolderThatCannotBeSearchedIsNeverRead) {
  folder_.Write("locked/x_t.jpg", "");
  PosixCalls.access = CannotSearchLocked;
  PosixLookupsBeforeListing = 0;
  EXPECT_EQ(ImageFileExists("locked/x_t.jpg"), FileExists("locked/x_t.jpg"));
  EXPECT_EQ(ImageFileExists("locked/y_t.jpg"), FileExists("locked/y_t.jpg"));
  EXPECT_EQ(Listings, 0);
  EXPECT_EQ(Stats, 5);  // every name looked up for real, and the folder once to see it is one
}

TEST_F(ImageLookup, ANewContactSheetReadsTheFolderAfresh) {
  PosixLookupsBeforeListing = 0;
  folder_.Write("index.html", "<a href=\"a.jpg\">A</a>");
  EXPECT_FALSE(ImageFileExists("a_t.jpg"));
  folder_.Write("a_t.jpg", "made between two runs");
  PlatformFile* sheet = OpenFileReadOnly("index.html");
  ASSERT_NE(sheet, nullptr);
  EXPECT_TRUE(ImageFileExists("a_t.jpg"));
  CloseFile(sheet);
}

}  // namespace

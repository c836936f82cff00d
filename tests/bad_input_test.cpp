// Hostile and broken input given to the built program: whatever the contact sheet holds or is,
// the run ends with a clear message and the right status, and changes nothing it must not.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "cli_support.h"
#include "expected_pages.h"

namespace {

// Every written file is a page of the slide show, and the sheet and the untouchable files are
// as they were.
void ExpectOnlyPagesAdded(const std::map<std::string, std::string>& before,
                          const std::map<std::string, std::string>& after) {
  for (const auto& [name, bytes] : before) {
    if (name == "allin1.html") continue;
    ASSERT_TRUE(after.count(name)) << name << " disappeared";
    EXPECT_EQ(after.at(name), bytes) << name << " changed";
  }
  for (const auto& [name, bytes] : after) {
    if (before.count(name)) continue;
    const bool page = (name.size() >= 4 && name.compare(name.size() - 4, 4, ".htm") == 0) ||
                      (name.size() >= 5 && name.compare(name.size() - 5, 5, ".html") == 0);
    EXPECT_TRUE(page) << "unexpected file " << name;
  }
}

// ---- Garbage and sheer size ---------------------------------------------------------------------

TEST(BadInput, BinaryGarbageNeverCrashesOrWritesElsewhere) {
  std::mt19937 random(20261207);
  const std::vector<std::string> splices = {"<a href=\"", "\">",  "</a>", ".jpg", ".GIF\"",
                                            "<A HREF=",   "<br>", "\"",   "../",  "/"};
  for (int round = 0; round < 12; ++round) {
    SCOPED_TRACE(round);
    std::string sheet;
    while (sheet.size() < 20000) {
      if (random() % 4 == 0) {
        sheet += splices[random() % splices.size()];
      } else {
        // Zero bytes only in the later rounds: they end the text where they stand.
        char c = static_cast<char>(random() % 256);
        if (c == '\0' && round < 8) c = 'z';
        sheet += c;
      }
    }
    ScratchFolder outside;
    outside.Write("x.htm", "precious");
    ScratchFolder folder;
    folder.Write("index.html", sheet);
    const auto before = Snapshot(folder.path());

    const ProgramResult result = RunKestrune({"index.html"}, folder.path());
    EXPECT_TRUE(result.status == 0 || result.status == 1) << result.status;
    EXPECT_EQ(result.status == 0, result.err.empty()) << result.err;
    ExpectOnlyPagesAdded(before, Snapshot(folder.path()));
    EXPECT_EQ(Snapshot(outside.path()),
              (std::map<std::string, std::string>{{"x.htm", "precious"}}));
  }
}

TEST(BadInput, TwoHundredMegabytesWithoutAnAnchor) {
  ScratchFolder folder;
  {
    const std::string block = std::string(1 << 20, 'x') + "<p>text</p>\n";
    std::FILE* sheet = std::fopen((folder / "index.html").c_str(), "wb");
    ASSERT_NE(sheet, nullptr);
    for (int i = 0; i < 200; ++i) std::fwrite(block.data(), 1, block.size(), sheet);
    ASSERT_EQ(std::fclose(sheet), 0);
  }
  const ProgramResult result = RunKestrune({"index.html"}, folder.path());
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err,
            Record(RealPath(folder.path()), "Kestrune Err: No images found in input file"));
  EXPECT_EQ(ListFiles(folder.path()), std::vector<std::string>{"index.html"});
}

TEST(BadInput, AMillionAnchors) {
  ScratchFolder folder;
  std::string other;
  for (int i = 0; i < 1000000; ++i) other += "<a href=\"page.txt\">t</a>\n";
  // Anchors that are not images, then one image at the very end.
  folder.Write("images.html", other + "<a href=\"last.jpg\">Last</a>");
  ProgramResult result = RunKestrune({"images.html"}, folder.path());
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(ListFiles(folder.path()),
            (std::vector<std::string>{"allin1.html", "images.html", "last.htm", "last.html"}));
  EXPECT_TRUE(Contains(folder.Read("last.htm"), ">Last</font>"));

  // Anchors without an href of their own: each one's href search runs to the image at the end.
  std::string bare;
  for (int i = 0; i < 1000000; ++i) bare += "<a name=\"n\">t</a>";
  folder.Write("bare.html", bare + "<a href=\"late.jpg\">Late</a>");
  result = RunKestrune({"bare.html"}, folder.path());
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(folder.Exists("late.htm"));
}

TEST(BadInput, TenThousandCharacterNamesAndCaptions) {
  ScratchFolder folder;
  const std::string longName(10000, 'n');
  const std::string caption(10000, 'c');
  // One name far beyond what a file system takes, and one long path of short folders.
  std::string deep;
  for (int i = 0; i < 600; ++i) deep += "f" + std::to_string(i % 10) + "/../";
  deep += "deep.jpg";
  folder.Write("index.html", "<a href=\"" + longName + ".jpg\">Long</a>\n" + "<a href=\"" + deep +
                                 "\">" + caption + "</a>\n<a href=\"ok.jpg\">OK</a>");
  for (int i = 0; i < 10; ++i) fs::create_directories(folder / ("f" + std::to_string(i)));

  const ProgramResult result = RunKestrune({"index.html"}, folder.path());
  EXPECT_EQ(result.status, 1);
  // The long name is refused with the page named whole; the long path still resolves.
  EXPECT_EQ(result.err, PageFailure(longName + ".htm") + PageFailure(longName + ".html"));
  EXPECT_TRUE(folder.Exists("deep.htm"));
  EXPECT_TRUE(Contains(folder.Read("deep.htm"), "<a href=\"" + longName + ".htm\">"));
  EXPECT_TRUE(Contains(folder.Read("deep.htm"), ">" + caption + "</font>"));
  EXPECT_TRUE(Contains(folder.Read("allin1.html"), "<img src=\"" + longName + ".jpg\">"));
  EXPECT_TRUE(folder.Exists("ok.html"));
}

// ---- What the sheet path names ------------------------------------------------------------------

struct SheetKindCase {
  const char* name;
  std::string argument;  // "@" stands for the scratch folder
  std::function<void(const ScratchFolder&)> setup;
  std::string text;
};

void PrintTo(const SheetKindCase& c, std::ostream* out) {
  *out << c.name;
}

class SheetKindTest : public testing::TestWithParam<SheetKindCase> {};

TEST_P(SheetKindTest, RefusedWithItsMessageAndNothingWritten) {
  const SheetKindCase& c = GetParam();
  ScratchFolder folder;
  c.setup(folder);
  if (HasFatalFailure()) return;
  HandOver(folder.path(), kUnprivilegedUser);
  const auto before = Snapshot(folder.path());

  const ProgramResult result = RunKestrune({c.argument}, folder.path(), kUnprivilegedUser);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, Record(RealPath(folder.path()), c.text));
  EXPECT_EQ(Snapshot(folder.path()), before);
}

INSTANTIATE_TEST_SUITE_P(
    BadInput, SheetKindTest,
    testing::Values(SheetKindCase{"CharacterDevice", "/dev/null", [](const ScratchFolder&) {},
                                  "Could not create mapping file for /dev/null"},
                    SheetKindCase{"EndlessDevice", "/dev/zero", [](const ScratchFolder&) {},
                                  "Could not create mapping file for /dev/zero"},
                    SheetKindCase{"DanglingSymlink", "gone.html",
                                  [](const ScratchFolder& f) {
                                    MakeSymlink("missing.html", f / "gone.html");
                                  },
                                  "File not found: gone.html"},
                    SheetKindCase{"SymlinkToFolder", "dir.html",
                                  [](const ScratchFolder& f) {
                                    fs::create_directories(f / "real");
                                    MakeSymlink("real", f / "dir.html");
                                  },
                                  "No photos in dir.html (JPEG, PNG, GIF, HEIC, AVIF, WebP or TIFF files, in it or its folders)"},
                    SheetKindCase{"Unreadable", "secret.html",
                                  [](const ScratchFolder& f) {
                                    f.Write("secret.html", SheetLinking({"a.jpg"}));
                                    ::chmod((f / "secret.html").c_str(), 0200);
                                  },
                                  "Could not create mapping file for secret.html"},
                    SheetKindCase{"ReadOnlyFolder", "index.html",
                                  [](const ScratchFolder& f) {
                                    f.Write("index.html", SheetLinking({"a.jpg"}));
                                    ::chmod(f.path().c_str(), 0555);
                                  },
                                  kAllIn1Failure}),
    [](const testing::TestParamInfo<SheetKindCase>& info) { return std::string(info.param.name); });

TEST(BadInput, ReadOnlyPagesAreReportedAndKept) {
  ScratchFolder folder;
  folder.Write("index.html", SheetLinking({"a.jpg", "b.jpg"}));
  const std::string earlier = std::string("kept\r\n") + kMarkerLine;  // a page of an earlier run
  folder.Write("a.htm", earlier);
  ::chmod((folder / "a.htm").c_str(), 0444);
  HandOver(folder.path(), kUnprivilegedUser);

  ScratchFolder clean;
  clean.Write("index.html", SheetLinking({"a.jpg", "b.jpg"}));
  ASSERT_EQ(RunKestrune({"index.html"}, clean.path()).status, 0);

  const ProgramResult result = RunKestrune({"index.html"}, folder.path(), kUnprivilegedUser);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, PageFailure("a.htm"));
  EXPECT_EQ(folder.Read("a.htm"), earlier);
  for (const char* page : {"a.html", "b.htm", "b.html", "allin1.html"}) {
    EXPECT_EQ(folder.Read(page), clean.Read(page)) << page;
  }
}

// ---- Names that reach the sheet or leave the folder
// ----------------------------------------------

TEST(BadInput, SheetReachedThroughALinkIsNeverAPage) {
  ScratchFolder folder;
  // Pages of real.jpg and link.jpg would be the sheet itself and the link used to reach it.
  const std::string sheet = SheetLinking({"real.jpg", "link.jpg", "other.jpg"});
  folder.Write("real.html", sheet);
  MakeSymlink("real.html", folder / "link.html");

  const ProgramResult result = RunKestrune({"link.html"}, folder.path());
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, PageFailure("real.html") + PageFailure("link.html"));
  EXPECT_EQ(folder.Read("real.html"), sheet);
  EXPECT_TRUE(fs::is_symlink(folder / "link.html"));
  EXPECT_TRUE(folder.Exists("other.html"));
}

TEST(BadInput, LinkedFolderLeadingOutsideIsNotWrittenThrough) {
  ScratchFolder outside;
  outside.Write("x.htm", "precious");
  ScratchFolder folder;
  folder.Write("index.html", SheetLinking({"photos/x.jpg", "y.jpg"}));
  MakeSymlink(outside.path(), folder / "photos");

  const ProgramResult result = RunKestrune({"index.html"}, folder.path());
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, PageFailure("photos/x.htm") + PageFailure("photos/x.html"));
  EXPECT_EQ(Snapshot(outside.path()), (std::map<std::string, std::string>{{"x.htm", "precious"}}));
  EXPECT_TRUE(folder.Exists("y.htm"));
}

TEST(BadInput, BlanksQuotesAndHighBytesInPathsAreKeptExactly) {
  ScratchFolder folder;
  const std::string sub = "f \xe9\xff 'q'";
  const std::string image = "p \x80\xa0 \xc3\xa9.jpg";
  const std::string sheetName = "sh\"eet \xfe.html";
  folder.Write(sub + "/" + sheetName, SheetLinking({image}));

  // Unquoted: a leading double quote would end the path at the quote inside the name.
  const ProgramResult result = RunKestrune({sub + "/" + sheetName + "  "}, folder.path());
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(folder.Read(sub + "/p \x80\xa0 \xc3\xa9.htm"),
            ManualText(OnlyManualPage(image, "Caption of " + image, sheetName)));
  EXPECT_EQ(folder.Read(sub + "/allin1.html"), CombinedText("Index", sheetName, {image}));
}

// The sheet is read whole at the start: another program rewriting it meanwhile changes nothing.
TEST(BadInput, SheetChangedWhileTheRunGoesOn) {
  ScratchFolder folder;
  std::vector<std::string> images;
  for (int i = 0; i < 400; ++i) images.push_back("i" + std::to_string(i) + ".jpg");
  const std::string sheet = SheetLinking(images);
  folder.Write("index.html", sheet);

  std::atomic<bool> done{false};
  std::thread meddler([&] {
    for (int round = 0; !done; ++round) {
      const int fd = ::open((folder / "index.html").c_str(), O_WRONLY | O_TRUNC);
      if (fd < 0) continue;
      const std::string text = round % 2 ? sheet.substr(0, 100) : "<a href=\"../evil.jpg\">";
      if (::write(fd, text.data(), text.size()) < 0) done = true;
      ::close(fd);
    }
  });
  const ProgramResult result = RunKestrune({"index.html"}, folder.path());
  done = true;
  meddler.join();

  EXPECT_NE(result.status, -1);  // ended normally, whatever it read
  for (const std::string& name : ListFiles(folder.path())) {
    EXPECT_TRUE(name == "index.html" || name == "allin1.html" || name[0] == 'i') << name;
  }
}

}  // namespace

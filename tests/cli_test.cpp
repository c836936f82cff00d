// The built program run as a user runs it: arguments, exit status, standard error records and the
// files it leaves behind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "cli_support.h"
#include "expected_pages.h"
#include "kestrune_version.h"

namespace fs = std::filesystem;

namespace {

// True when the text ends with a line end and every line ends with CR LF.
bool HasOnlyCrLfLineEnds(const std::string& text) {
  if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) return false;
    if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) return false;
  }
  return true;
}

// ---- Start-up: options, usage and the path of the sheet ---------------------------------------

TEST(StartUp, HelpAndVersionPrintToStandardOutputAndWriteNothing) {
  ScratchFolder folder;
  // Sheets named like the options, which the options must not open.
  for (const char* name : {"index.html", "--help", "--version"}) {
    folder.Write(name, SheetLinking({"a.jpg"}));
  }
  const auto before = Snapshot(folder.path());
  struct Case {
    std::string option;
    std::string outputStart;
  };
  // --version prints the release number and nothing else.
  for (const Case& c :
       {Case{"--help", "Usage: kestrune"}, Case{"--version", "kestrune " KESTRUNE_VERSION "\n"}}) {
    SCOPED_TRACE(c.option);
    const ProgramResult result = RunKestrune({c.option}, folder.path());
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out.compare(0, c.outputStart.size(), c.outputStart), 0) << result.out;
    if (c.option == "--version") {
      EXPECT_EQ(result.out, c.outputStart);
    }
    EXPECT_TRUE(!result.out.empty() && result.out.back() == '\n');
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(Snapshot(folder.path()), before);
  }
}

TEST(StartUp, NoSheetGivenPrintsUsageAndExitsWithTwo) {
  ScratchFolder folder;
  folder.Write("index.html", SheetLinking({"a.jpg"}));
  folder.Write("?x", SheetLinking({"b.jpg"}));
  const auto before = Snapshot(folder.path());
  // No argument, one empty argument, and tails beginning with "?" (which count as empty even
  // when a file of that name exists, or a sheet follows).
  const std::vector<std::vector<std::string>> cases = {
      {}, {""}, {"?"}, {"?x"}, {"?", "index.html"}, {"?index.html"}};
  for (const auto& arguments : cases) {
    SCOPED_TRACE(::testing::PrintToString(arguments));
    const ProgramResult result = RunKestrune(arguments, folder.path());
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.compare(0, 16, "Usage: kestrune "), 0) << result.err;
    EXPECT_EQ(Snapshot(folder.path()), before);
  }
}

// How the arguments become the sheet's path, and where that puts the pages.
struct PathCase {
  const char* name;
  std::string sheetFile;  // below the scratch folder
  std::vector<std::string> arguments;
  std::string pageFolder;  // where a.htm must appear, relative to the scratch folder
  std::string sheetName;   // the sheet's name as every page links to it
};

void PrintTo(const PathCase& c, std::ostream* out) {
  *out << c.name;
}

class SheetPathTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(SheetPathTest, OpensTheNamedSheetAndWritesBesideIt) {
  const PathCase& c = GetParam();
  ScratchFolder folder;
  folder.Write(c.sheetFile, SheetLinking({"a.jpg"}));
  fs::create_directories(folder / "cwd");
  const ProgramResult result = RunKestrune(c.arguments, folder.path());
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out, "");

  const std::string pages = c.pageFolder.empty() ? "" : c.pageFolder + "/";
  std::vector<std::string> expected = {c.sheetFile, pages + "a.htm", pages + "a.html",
                                       pages + "allin1.html"};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(ListFiles(folder.path()), expected);
  if (!folder.Exists(pages + "a.htm")) return;
  EXPECT_EQ(folder.Read(pages + "a.htm"),
            ManualText(OnlyManualPage("a.jpg", "Caption of a.jpg", c.sheetName)));
  EXPECT_EQ(folder.Read(pages + "a.html"),
            AutomaticText(OnlyAutomaticPage("a.jpg", "Caption of a.jpg", c.sheetName)));
  EXPECT_EQ(folder.Read(pages + "allin1.html"), CombinedText("Index", c.sheetName, {"a.jpg"}));
}

INSTANTIATE_TEST_SUITE_P(
    StartUp, SheetPathTest,
    ::testing::Values(
        PathCase{"SheetNamedLikeHelpOption", "--help", {"./--help"}, "", "--help"},
        PathCase{"ArgumentsJoinedByOneBlank",
                 "my sheet.html",
                 {"my", "sheet.html"},
                 "",
                 "my sheet.html"},
        PathCase{
            "QuotedPathThenBlanksAndWords", "a b.html", {"\"a b.html\"  extra"}, "", "a b.html"},
        PathCase{"SheetInSubfolder", "sub/index.html", {"sub/index.html"}, "sub", "index.html"},
        PathCase{"BackslashIsPartOfTheName",
                 "sub\\index.html",
                 {"sub\\index.html"},
                 "",
                 "sub\\index.html"}),
    [](const ::testing::TestParamInfo<PathCase>& info) { return std::string(info.param.name); });

// ---- Failures of the start ---------------------------------------------------------------------

struct StartFailureCase {
  const char* name;
  std::function<void(const ScratchFolder&)> setup;
  std::vector<std::string> arguments;
  std::string text;  // the record's text; its title is the start folder
};

void PrintTo(const StartFailureCase& c, std::ostream* out) {
  *out << c.name;
}

class StartFailureTest : public ::testing::TestWithParam<StartFailureCase> {};

TEST_P(StartFailureTest, ReportsOneRecordTitledWithStartFolderAndWritesNothing) {
  const StartFailureCase& c = GetParam();
  ScratchFolder folder;
  c.setup(folder);
  if (HasFatalFailure()) return;
  const auto before = Snapshot(folder.path());

  const ProgramResult result = RunKestrune(c.arguments, folder.path());
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, Record(RealPath(folder.path()), c.text));
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(Snapshot(folder.path()), before);
}

const std::string kOneImageSheet = SheetLinking({"a.jpg"});

INSTANTIATE_TEST_SUITE_P(
    StartFailure, StartFailureTest,
    ::testing::Values(
        StartFailureCase{"MissingFile",
                         [](const ScratchFolder&) {},
                         {"missing.html"},
                         "File not found: missing.html"},
        StartFailureCase{
            "TwoDoubleQuotes", [](const ScratchFolder&) {}, {"\"\""}, "File not found: "},
        StartFailureCase{
            "LoneDoubleQuote", [](const ScratchFolder&) {}, {"\""}, "File not found: "},
        // Trailing blanks are stripped, but never the first character. A folder is a folder run,
        // which needs photos.
        StartFailureCase{"Folder",
                         [](const ScratchFolder& f) { fs::create_directories(f / "folder.html"); },
                         {"folder.html"},
                         "No photos in folder.html (JPEG, PNG, GIF, HEIC, AVIF, WebP or TIFF files, in it or its folders)"},
        StartFailureCase{"Fifo",
                         [](const ScratchFolder& f) { MakeFifo(f / "pipe.html"); },
                         {"pipe.html"},
                         "Could not create mapping file for pipe.html"},
        StartFailureCase{"ZeroBytes",
                         [](const ScratchFolder& f) { f.Write("empty.html", ""); },
                         {"empty.html"},
                         "File map could not be opened for empty.html"},
        StartFailureCase{"NoImageLinks",
                         [](const ScratchFolder& f) {
                           f.Write("index.html",
                                   "<title>T</title><a href=\"about.html\">About</a>\n"
                                   "<a href=\"p.bmp\">B</a><a href=\"p.jpg?x=1\">Q</a>\n"
                                   "<a href=\"noextension\">N</a><img src=\"a.jpg\">\n"
                                   "<a href=\"mailto:someone@example.org\">Mail</a>\n");
                         },
                         {"index.html"},
                         "Kestrune Err: No images found in input file"},
        StartFailureCase{"CombinedPageIsFolder",
                         [](const ScratchFolder& f) {
                           f.Write("index.html", kOneImageSheet);
                           fs::create_directories(f / "allin1.html");
                         },
                         {"index.html"},
                         kAllIn1Failure}),
    [](const ::testing::TestParamInfo<StartFailureCase>& info) {
      return std::string(info.param.name);
    });

// The sheet itself under the combined page's name: refused, so the sheet stays intact.
INSTANTIATE_TEST_SUITE_P(
    SheetProtection, StartFailureTest,
    ::testing::Values(StartFailureCase{"SheetNamedAllin1",
                                       [](const ScratchFolder& f) {
                                         f.Write("allin1.html", kOneImageSheet);
                                       },
                                       {"allin1.html"},
                                       kAllIn1Failure},
                      StartFailureCase{"CombinedPageSymlinkToSheet",
                                       [](const ScratchFolder& f) {
                                         f.Write("index.html", kOneImageSheet);
                                         MakeSymlink("index.html", f / "allin1.html");
                                       },
                                       {"index.html"},
                                       kAllIn1Failure},
                      StartFailureCase{"CombinedPageHardLinkToSheet",
                                       [](const ScratchFolder& f) {
                                         f.Write("index.html", kOneImageSheet);
                                         MakeHardLink(f / "index.html", f / "allin1.html");
                                       },
                                       {"index.html"},
                                       kAllIn1Failure}),
    [](const ::testing::TestParamInfo<StartFailureCase>& info) {
      return std::string(info.param.name);
    });

// ---- A whole slide show ------------------------------------------------------------------------

TEST(EndToEnd, ThreeImagesWriteExactPages) {
  ScratchFolder folder;
  const std::string sheet =
      "<html><head><title>Fruit Bowl</title></head><body>\n"
      "<a href=\"a.jpg\">Apple</a>\n"
      "<a href=\"b.jpg\">Banana</a>\n"
      "<a href=\"c.jpg\">Cherry</a>\n"
      "</body></html>\n";
  folder.Write("index.html", sheet);

  const ProgramResult result = RunKestrune({"index.html"}, folder.path());
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out, "");
  ASSERT_EQ(ListFiles(folder.path()),
            (std::vector<std::string>{"a.htm", "a.html", "allin1.html", "b.htm", "b.html", "c.htm",
                                      "c.html", "index.html"}));
  EXPECT_EQ(folder.Read("index.html"), sheet);
  for (const char* page :
       {"a.htm", "a.html", "allin1.html", "b.htm", "b.html", "c.htm", "c.html"}) {
    EXPECT_TRUE(HasOnlyCrLfLineEnds(folder.Read(page))) << page;
  }

  EXPECT_EQ(folder.Read("allin1.html"),
            CombinedText("Fruit Bowl", "index.html", {"a.jpg", "b.jpg", "c.jpg"}));

  // The middle image: PREVIOUS a.htm, NEXT c.htm, Play c.html; the automatic page refreshes
  // to c.html, PREVIOUS a.html, NEXT c.html, Pause b.htm.
  EXPECT_EQ(folder.Read("b.htm"), ManualText({"b.jpg", "Banana", "a.htm", "b.jpg", "index.html",
                                              "c.html", "c.htm", "c.jpg"}));
  EXPECT_EQ(folder.Read("b.html"), AutomaticText({"b.jpg", "Banana", "c.html", "a.html", "b.jpg",
                                                  "index.html", "b.htm", "c.html", "c.jpg"}));
  // The first slide leads back to the sheet; the last one on to the sheet's end.
  EXPECT_EQ(folder.Read("a.htm"), ManualText({"a.jpg", "Apple", "index.html", "index.html",
                                              "index.html", "b.html", "b.htm", "b.jpg"}));
  EXPECT_EQ(folder.Read("a.html"),
            AutomaticText({"a.jpg", "Apple", "b.html", "index.html", "index.html", "index.html",
                           "a.htm", "b.html", "b.jpg"}));
  EXPECT_EQ(folder.Read("c.htm"), ManualText({"c.jpg", "Cherry", "b.htm", "c.jpg", "index.html",
                                              "index.html", "index.html#end", "index.html"}));
  EXPECT_EQ(folder.Read("c.html"),
            AutomaticText({"c.jpg", "Cherry", "index.html#end", "b.html", "c.jpg", "index.html",
                           "index.html", "index.html#end", "index.html"}));
}

TEST(EndToEnd, BundledSample) {
  ScratchFolder folder;
  const std::string sample = folder / "sample";
  fs::copy(KESTRUNE_EXAMPLES, sample, fs::copy_options::recursive);
  const auto original = Snapshot(sample);
  ASSERT_TRUE(original.count("index.html"));

  const ProgramResult result = RunKestrune({"index.html"}, sample);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");

  const std::vector<std::string> images = {
      "harbour.jpg",  "lighthouse.jpg",    "pier.jpg",         "SUNSET.JPG", "boats.jpg",
      "rockpool.jpg", "beach%20hut.jpg",   "dunes.png",        "shells.png", "kite.gif",
      "gulls.gif",    "photos/forest.jpg", "photos/cliffs.jpg"};
  // Each page is the file its link leads to: "beach%20hut.htm" is opened as "beach hut.htm".
  std::vector<std::string> expected = {"allin1.html"};
  for (const std::string base :
       {"harbour", "lighthouse", "pier", "SUNSET", "boats", "rockpool", "beach hut", "dunes",
        "shells", "kite", "gulls", "photos/forest", "photos/cliffs"}) {
    expected.push_back(base + ".htm");
    expected.push_back(base + ".html");
  }
  for (const auto& entry : original) expected.push_back(entry.first);
  EXPECT_EQ(ListFiles(sample), Sorted(expected));

  EXPECT_EQ(ReadWholeFile(sample + "/allin1.html"),
            CombinedText("Summer by the Sea", "index.html", images));

  // The sample's own files are left as they were.
  auto after = Snapshot(sample);
  for (const auto& entry : original) {
    EXPECT_EQ(after[entry.first], entry.second) << entry.first;
  }

  // Pages of images in a subfolder go into it, and every link leads from there; the title and
  // caption stay as read.
  EXPECT_EQ(ReadWholeFile(sample + "/photos/forest.htm"),
            ManualText({"../photos/forest.jpg", "The wood above the bay", "../gulls.htm",
                        "../photos/forest.jpg", "../index.html", "../photos/cliffs.html",
                        "../photos/cliffs.htm", "../photos/cliffs.jpg"},
                       "photos/forest.jpg"));
  // The last image is linked twice, first around its thumbnail only: captioned with its name,
  // and the previous image's thumbnail is the PREVIOUS icon.
  EXPECT_EQ(ReadWholeFile(sample + "/photos/cliffs.htm"),
            ManualText({"../photos/cliffs.jpg", "photos/cliffs.jpg", "../photos/forest.htm",
                        "../photos/forest_t.jpg", "../index.html", "../index.html",
                        "../index.html#end", "../index.html"},
                       "photos/cliffs.jpg"));
  EXPECT_EQ(ReadWholeFile(sample + "/photos/cliffs.html"),
            AutomaticText({"../photos/cliffs.jpg", "photos/cliffs.jpg", "../index.html#end",
                           "../photos/forest.html", "../photos/forest_t.jpg", "../index.html",
                           "../index.html", "../index.html#end", "../index.html"},
                          "photos/cliffs.jpg"));

  // A name with an escaped blank: its links are written as read, its pages and its thumbnail
  // are found under the decoded name.
  EXPECT_EQ(ReadWholeFile(sample + "/beach hut.htm"),
            ManualText({"beach%20hut.jpg", "Beach huts in a row", "rockpool.htm", "beach%20hut.jpg",
                        "index.html", "dunes.html", "dunes.htm", "dunes.png"}));
  EXPECT_EQ(ReadWholeFile(sample + "/rockpool.html"),
            AutomaticText({"rockpool.jpg", "rockpool.jpg", "beach%20hut.html", "boats.html",
                           "boats_t.jpg", "index.html", "rockpool.htm", "beach%20hut.html",
                           "beach%20hut.jpg"}));
  EXPECT_TRUE(Contains(ReadWholeFile(sample + "/dunes.htm"),
                       "<a href=\"beach%20hut.htm\"><img src=\"beach%20hut_t.jpg\""));

  const std::string lighthouse = ReadWholeFile(sample + "/lighthouse.htm");
  EXPECT_NE(lighthouse.find("<font color=\"0000FF\">Lighthouse &amp; keeper's cottage</font>"),
            std::string::npos);
  EXPECT_NE(lighthouse.find("<a href=\"harbour.htm\"><img src=\"harbour_t.jpg\""),
            std::string::npos);
  EXPECT_NE(ReadWholeFile(sample + "/dunes.html")
                .find("<font color=\"0000FF\">Dunes - late afternoon</font>"),
            std::string::npos);
}

// ---- Names, captions and titles of any length -------------------------------------------------

TEST(LongText, NamesKeptWholeAndRefusedOnlyWhereTheSystemRefuses) {
  ScratchFolder folder;
  const long nameMax = ::pathconf(folder.path().c_str(), _PC_NAME_MAX);
  ASSERT_GT(nameMax, 8);
  // Three folders of 100 characters: a long path made of valid names.
  const std::string deep =
      std::string(100, 'd') + "/" + std::string(100, 'e') + "/" + std::string(100, 'f');
  fs::create_directories(folder / deep);
  const std::string deepImage = deep + "/deep.jpg";
  // "BASE.htm" just fits the longest file name; "BASE.html" is one byte too long.
  const std::string edgeBase(static_cast<std::size_t>(nameMax) - 4, 'y');
  // Both page names too long.
  const std::string longBase(static_cast<std::size_t>(nameMax) < 300 ? 300 : nameMax, 'x');
  const std::vector<std::string> images = {deepImage, edgeBase + ".jpg", longBase + ".jpg"};
  folder.Write("index.html", SheetLinking(images));

  const ProgramResult result = RunKestrune({"index.html"}, folder.path());
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, PageFailure(edgeBase + ".html") + PageFailure(longBase + ".htm") +
                            PageFailure(longBase + ".html"));
  EXPECT_EQ(ListFiles(folder.path()), Sorted({deep + "/deep.htm", deep + "/deep.html",
                                              "allin1.html", "index.html", edgeBase + ".htm"}));
  EXPECT_EQ(folder.Read("allin1.html"), CombinedText("Index", "index.html", images));
  // Three folders down, every link climbs three folders up; the title and caption stay.
  const std::string up = "../../../";
  EXPECT_EQ(folder.Read(deep + "/deep.htm"),
            ManualText({up + deepImage, "Caption of " + deepImage, up + "index.html",
                        up + "index.html", up + "index.html", up + edgeBase + ".html",
                        up + edgeBase + ".htm", up + edgeBase + ".jpg"},
                       deepImage));
  EXPECT_EQ(folder.Read(edgeBase + ".htm"),
            ManualText({edgeBase + ".jpg", "Caption of " + edgeBase + ".jpg", deep + "/deep.htm",
                        edgeBase + ".jpg", "index.html", longBase + ".html", longBase + ".htm",
                        longBase + ".jpg"}));
}

TEST(LongText, CaptionAndTitleOfFiveThousandCharactersKeptWhole) {
  ScratchFolder folder;
  std::string title;
  for (int i = 0; title.size() < 5000; ++i) title += "Title" + std::to_string(i) + " ";
  title.resize(5000);
  title.back() = 'T';
  std::string caption;
  for (int i = 0; caption.size() < 5000; ++i) caption += "caption-" + std::to_string(i) + " ";
  caption.resize(5000);
  caption.back() = 'C';
  folder.Write("index.html", "<title>" + title + "</title>\n<a href=\"a.jpg\">" + caption +
                                 "</a>\n<a href=\"b.jpg\">B</a>\n");

  const ProgramResult result = RunKestrune({"index.html"}, folder.path());
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(folder.Read("allin1.html"), CombinedText(title, "index.html", {"a.jpg", "b.jpg"}));
  EXPECT_EQ(folder.Read("a.htm"), ManualText({"a.jpg", caption, "index.html", "index.html",
                                              "index.html", "b.html", "b.htm", "b.jpg"}));
  EXPECT_EQ(folder.Read("a.html"),
            AutomaticText({"a.jpg", caption, "b.html", "index.html", "index.html", "index.html",
                           "a.htm", "b.html", "b.jpg"}));
}

// ---- The sheet and the open combined page are never overwritten --------------------------------

TEST(SheetProtection, SheetNamedLikeAPageIsRefusedAndTheOtherPageWritten) {
  struct Case {
    std::string sheet;
    std::string refused;
    std::string written;
  };
  for (const Case& c :
       {Case{"pic.htm", "pic.htm", "pic.html"}, Case{"pic.html", "pic.html", "pic.htm"}}) {
    SCOPED_TRACE(c.sheet);
    ScratchFolder folder;
    const std::string sheet = "<a href=\"pic.jpg\">Picture</a>\n";
    folder.Write(c.sheet, sheet);

    const ProgramResult result = RunKestrune({c.sheet}, folder.path());
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, PageFailure(c.refused));
    EXPECT_EQ(folder.Read(c.sheet), sheet);
    EXPECT_EQ(ListFiles(folder.path()),
              (std::vector<std::string>{"allin1.html", "pic.htm", "pic.html"}));
    EXPECT_EQ(folder.Read("allin1.html"), CombinedText("Index", c.sheet, {"pic.jpg"}));
    const std::string written = folder.Read(c.written);
    EXPECT_EQ(written, c.written == "pic.htm"
                           ? ManualText(OnlyManualPage("pic.jpg", "Picture", c.sheet))
                           : AutomaticText(OnlyAutomaticPage("pic.jpg", "Picture", c.sheet)));
  }
}

TEST(SheetProtection, LinksToTheSheetOrCombinedPageUnderAPageNameAreRefused) {
  struct Case {
    const char* name;
    bool symbolic;
    std::string link;    // a page name of image b.jpg
    std::string target;  // the file it leads to
  };
  const std::vector<Case> cases = {
      {"symlink to sheet", true, "b.htm", "index.html"},
      {"hard link to sheet", false, "b.htm", "index.html"},
      {"symlink to sheet as automatic page", true, "b.html", "index.html"},
      {"symlink to combined page", true, "b.html", "allin1.html"},
      {"symlink to a file outside the folder", true, "b.htm", "OUTSIDE/victim.txt"},
      {"symlink to a folder outside", true, "b.html", "OUTSIDE"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchFolder outside;
    outside.Write("victim.txt", "not ours");
    ScratchFolder folder;
    const std::string sheet = SheetLinking({"a.jpg", "b.jpg"});
    folder.Write("index.html", sheet);
    // The combined page exists beforehand so that a hard link could be made to it too.
    folder.Write("allin1.html", std::string("old combined page\r\n") + kMarkerLine);
    if (c.symbolic) {
      MakeSymlink(
          c.target.rfind("OUTSIDE", 0) == 0 ? outside.path() + c.target.substr(7) : c.target,
          folder / c.link);
    } else {
      MakeHardLink(folder / c.target, folder / c.link);
    }
    if (HasFatalFailure()) return;

    const ProgramResult result = RunKestrune({"index.html"}, folder.path());
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, PageFailure(c.link));
    EXPECT_EQ(folder.Read("index.html"), sheet);
    EXPECT_EQ(Snapshot(outside.path()),
              (std::map<std::string, std::string>{{"victim.txt", "not ours"}}));
    EXPECT_EQ(folder.Read("allin1.html"), CombinedText("Index", "index.html", {"a.jpg", "b.jpg"}));
    EXPECT_EQ(ListFiles(folder.path()),
              (std::vector<std::string>{"a.htm", "a.html", "allin1.html", "b.htm", "b.html",
                                        "index.html"}));
    EXPECT_EQ(folder.Read("a.htm"),
              ManualText({"a.jpg", "Caption of a.jpg", "index.html", "index.html", "index.html",
                          "b.html", "b.htm", "b.jpg"}));
  }
}

TEST(SheetProtection, ImageNamedAllin1CannotReplaceTheOpenCombinedPage) {
  ScratchFolder folder;
  const std::string sheet = SheetLinking({"allin1.jpg", "z.jpg"});
  folder.Write("index.html", sheet);

  const ProgramResult result = RunKestrune({"index.html"}, folder.path());
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, PageFailure("allin1.html"));
  EXPECT_EQ(folder.Read("index.html"), sheet);
  EXPECT_EQ(ListFiles(folder.path()), (std::vector<std::string>{"allin1.htm", "allin1.html",
                                                                "index.html", "z.htm", "z.html"}));
  EXPECT_EQ(folder.Read("allin1.html"),
            CombinedText("Index", "index.html", {"allin1.jpg", "z.jpg"}));
  EXPECT_EQ(folder.Read("allin1.htm"),
            ManualText({"allin1.jpg", "Caption of allin1.jpg", "index.html", "index.html",
                        "index.html", "z.html", "z.htm", "z.jpg"}));
  // The next image's pages still link to the refused page by name.
  EXPECT_EQ(folder.Read("z.html"),
            AutomaticText({"z.jpg", "Caption of z.jpg", "index.html#end", "allin1.html", "z.jpg",
                           "index.html", "index.html", "index.html#end", "index.html"}));
}

// ---- Nothing is written outside the sheet's folder ---------------------------------------------

struct OutsideCase {
  const char* name;
  std::string image;  // "@" stands for a folder outside the sheet's tree
};

void PrintTo(const OutsideCase& c, std::ostream* out) {
  *out << c.name;
}

class OutsideFolderTest : public ::testing::TestWithParam<OutsideCase> {};

TEST_P(OutsideFolderTest, PagesRefusedAndLinkedAsRead) {
  ScratchFolder root;
  ScratchFolder other;
  std::string image = GetParam().image;
  if (image.front() == '@') image = other.path() + image.substr(1);
  const std::string base = image.substr(0, image.rfind('.'));

  fs::create_directories(root / "sheet/sub");
  const std::string sheet = SheetLinking({"a.jpg", image, "b.jpg"});
  root.Write("sheet/index.html", sheet);
  // Files a hostile sheet would like to replace.
  for (const ScratchFolder* f : {&root, &other}) {
    f->Write("x.htm", "precious\n");
    f->Write("x.html", "precious\n");
  }

  const ProgramResult result = RunKestrune({"sheet/index.html"}, root.path());
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, PageFailure(base + ".htm") + PageFailure(base + ".html"));
  EXPECT_EQ(
      ListFiles(root.path()),
      (std::vector<std::string>{"sheet/a.htm", "sheet/a.html", "sheet/allin1.html", "sheet/b.htm",
                                "sheet/b.html", "sheet/index.html", "x.htm", "x.html"}));
  EXPECT_EQ(ListFiles(other.path()), (std::vector<std::string>{"x.htm", "x.html"}));
  for (const ScratchFolder* f : {&root, &other}) {
    EXPECT_EQ(f->Read("x.htm"), "precious\n");
    EXPECT_EQ(f->Read("x.html"), "precious\n");
  }

  EXPECT_EQ(root.Read("sheet/allin1.html"),
            CombinedText("Index", "index.html", {"a.jpg", image, "b.jpg"}));
  EXPECT_EQ(root.Read("sheet/a.htm"),
            ManualText({"a.jpg", "Caption of a.jpg", "index.html", "index.html", "index.html",
                        base + ".html", base + ".htm", image}));
  EXPECT_EQ(root.Read("sheet/b.html"),
            AutomaticText({"b.jpg", "Caption of b.jpg", "index.html#end", base + ".html", "b.jpg",
                           "index.html", "index.html", "index.html#end", "index.html"}));
}

INSTANTIATE_TEST_SUITE_P(
    OutsideFolder, OutsideFolderTest,
    ::testing::Values(OutsideCase{"ParentFolder", "../x.jpg"},
                      OutsideCase{"AbsolutePath", "@/x.jpg"},
                      OutsideCase{"ClimbsThroughSubfolder", "sub/../../x.jpg"},
                      OutsideCase{"ClimbsPastDotSegments", "./sub/./../.././x.jpg"},
                      OutsideCase{"DriveLetter", "C:x.jpg"},
                      OutsideCase{"BackslashParent", "..\\x.jpg"},
                      OutsideCase{"BackslashRoot", "\\x.jpg"},
                      OutsideCase{"WebAddress", "http://example.org/x.jpg"},
                      OutsideCase{"FileAddress", "file:///x.jpg"}),
    [](const ::testing::TestParamInfo<OutsideCase>& info) { return std::string(info.param.name); });

TEST(OutsideFolder, NamesThatStayInsideAreWritten) {
  ScratchFolder root;
  fs::create_directories(root / "sheet/sub");
  root.Write("sheet/index.html", SheetLinking({"sub/../y.jpg", "./sub/z.jpg", "sub//w.jpg"}));

  const ProgramResult result = RunKestrune({"sheet/index.html"}, root.path());
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(ListFiles(root.path()),
            (std::vector<std::string>{"sheet/allin1.html", "sheet/index.html", "sheet/sub/w.htm",
                                      "sheet/sub/w.html", "sheet/sub/z.htm", "sheet/sub/z.html",
                                      "sheet/y.htm", "sheet/y.html"}));
  // "./sub/z.htm" lies one folder down, "sub//w.htm" two ("//" is an empty folder in an address),
  // "sub/../y.htm" none.
  EXPECT_EQ(
      root.Read("sheet/sub/z.htm"),
      ManualText({".././sub/z.jpg", "Caption of ./sub/z.jpg", "../sub/../y.htm", ".././sub/z.jpg",
                  "../index.html", "../sub//w.html", "../sub//w.htm", "../sub//w.jpg"},
                 "./sub/z.jpg"));
  EXPECT_EQ(root.Read("sheet/sub/w.html"),
            AutomaticText({"../../sub//w.jpg", "Caption of sub//w.jpg", "../../index.html#end",
                           "../.././sub/z.html", "../../sub//w.jpg", "../../index.html",
                           "../../index.html", "../../index.html#end", "../../index.html"},
                          "sub//w.jpg"));
  EXPECT_EQ(root.Read("sheet/y.htm"),
            ManualText({"sub/../y.jpg", "Caption of sub/../y.jpg", "index.html", "index.html",
                        "index.html", "./sub/z.html", "./sub/z.htm", "./sub/z.jpg"}));
}

// ---- Names with escapes: the file behind a link, and links from a subfolder -------------------

TEST(EscapedNames, PagesAreTheFilesTheLinksLeadToAndLinksStayAsRead) {
  ScratchFolder root;
  fs::create_directories(root / "sheet/my photos");
  const std::vector<std::string> images = {"beach%20hut.jpg",    "a&amp;b.jpg",    "100%.jpg",
                                           "%2e%2e%2fx.jpg",     "nul%00byte.jpg", "sub\\y.jpg",
                                           "my%20photos/sea.jpg"};
  const std::string sheet = SheetLinking(images);
  root.Write("sheet/index.html", sheet);
  // Thumbnails under their decoded names; files that an escaped "../" would aim at.
  root.Write("sheet/beach hut_t.jpg", "thumbnail");
  root.Write("sheet/tn_a&b_jpg.jpg", "thumbnail");
  root.Write("x.htm", "precious\n");
  root.Write("x.html", "precious\n");

  const ProgramResult result = RunKestrune({"sheet/index.html"}, root.path());
  EXPECT_EQ(result.status, 1);
  // Refused pages are titled with their names as linked.
  EXPECT_EQ(result.err, PageFailure("%2e%2e%2fx.htm") + PageFailure("%2e%2e%2fx.html") +
                            PageFailure("nul%00byte.htm") + PageFailure("nul%00byte.html"));
  EXPECT_EQ(root.Read("x.htm"), "precious\n");
  EXPECT_EQ(root.Read("x.html"), "precious\n");
  EXPECT_EQ(ListFiles(root.path()),
            Sorted({"sheet/100%.htm", "sheet/100%.html", "sheet/a&b.htm", "sheet/a&b.html",
                    "sheet/allin1.html", "sheet/beach hut.htm", "sheet/beach hut.html",
                    "sheet/beach hut_t.jpg", "sheet/index.html", "sheet/my photos/sea.htm",
                    "sheet/my photos/sea.html", "sheet/sub\\y.htm", "sheet/sub\\y.html",
                    "sheet/tn_a&b_jpg.jpg", "x.htm", "x.html"}));
  EXPECT_EQ(root.Read("sheet/index.html"), sheet);
  EXPECT_EQ(root.Read("sheet/allin1.html"), CombinedText("Index", "index.html", images));

  EXPECT_EQ(root.Read("sheet/beach hut.html"),
            AutomaticText({"beach%20hut.jpg", "Caption of beach%20hut.jpg", "a&amp;b.html",
                           "index.html", "index.html", "index.html", "beach%20hut.htm",
                           "a&amp;b.html", "a&amp;b.jpg"}));
  // The thumbnail of "beach%20hut.jpg" is found as "beach hut_t.jpg"; "tn_a&amp;b_jpg.jpg" as
  // "tn_a&b_jpg.jpg".
  EXPECT_EQ(root.Read("sheet/a&b.htm"),
            ManualText({"a&amp;b.jpg", "Caption of a&amp;b.jpg", "beach%20hut.htm",
                        "beach%20hut_t.jpg", "index.html", "100%.html", "100%.htm", "100%.jpg"}));
  EXPECT_EQ(root.Read("sheet/100%.html"),
            AutomaticText({"100%.jpg", "Caption of 100%.jpg", "%2e%2e%2fx.html", "a&amp;b.html",
                           "tn_a&amp;b_jpg.jpg", "index.html", "100%.htm", "%2e%2e%2fx.html",
                           "%2e%2e%2fx.jpg"}));
  // On POSIX "\\" is part of a name: the page lies beside the sheet and its links stay.
  EXPECT_EQ(root.Read("sheet/sub\\y.htm"),
            ManualText({"sub\\y.jpg", "Caption of sub\\y.jpg", "nul%00byte.htm", "sub\\y.jpg",
                        "index.html", "my%20photos/sea.html", "my%20photos/sea.htm",
                        "my%20photos/sea.jpg"}));
  EXPECT_EQ(root.Read("sheet/my photos/sea.htm"),
            ManualText({"../my%20photos/sea.jpg", "Caption of my%20photos/sea.jpg", "../sub\\y.htm",
                        "../my%20photos/sea.jpg", "../index.html", "../index.html",
                        "../index.html#end", "../index.html"},
                       "my%20photos/sea.jpg"));
  EXPECT_EQ(root.Read("sheet/my photos/sea.html"),
            AutomaticText({"../my%20photos/sea.jpg", "Caption of my%20photos/sea.jpg",
                           "../index.html#end", "../sub\\y.html", "../my%20photos/sea.jpg",
                           "../index.html", "../index.html", "../index.html#end", "../index.html"},
                          "my%20photos/sea.jpg"));
}

// A page whose decoded name is the contact sheet's own is refused like one spelled plainly.
TEST(EscapedNames, EscapedSheetNameIsStillTheSheet) {
  ScratchFolder folder;
  const std::string sheet = SheetLinking({"%70ic.jpg", "other.jpg"});
  folder.Write("pic.htm", sheet);

  const ProgramResult result = RunKestrune({"pic.htm"}, folder.path());
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, PageFailure("%70ic.htm"));
  EXPECT_EQ(folder.Read("pic.htm"), sheet);
  EXPECT_EQ(
      ListFiles(folder.path()),
      (std::vector<std::string>{"allin1.html", "other.htm", "other.html", "pic.htm", "pic.html"}));
  EXPECT_EQ(folder.Read("pic.html"),
            AutomaticText({"%70ic.jpg", "Caption of %70ic.jpg", "other.html", "pic.htm", "pic.htm",
                           "pic.htm", "%70ic.htm", "other.html", "other.jpg"}));
}

// ---- Contact sheets written by real tools ------------------------------------------------------

// A sheet from tests/browser/fixtures/TOOL: its images as the tool linked them, the pages they
// get on disk, and a few pages spelled out whole.
struct ToolSheetCase {
  const char* tool;
  std::string title;
  std::vector<std::string> images;  // as read, in order
  std::vector<std::string> bases;   // page names on disk without ".htm" / ".html"
  std::map<std::string, std::string> pages;
};

void PrintTo(const ToolSheetCase& c, std::ostream* out) {
  *out << c.tool;
}

class ToolSheetTest : public ::testing::TestWithParam<ToolSheetCase> {};

TEST_P(ToolSheetTest, WritesExactPagesBesideTheImages) {
  const ToolSheetCase& c = GetParam();
  ScratchFolder folder;
  const std::string gallery = folder / c.tool;
  fs::copy(std::string(KESTRUNE_TOOL_SHEETS) + "/" + c.tool, gallery, fs::copy_options::recursive);
  const auto original = Snapshot(gallery);

  const ProgramResult result = RunKestrune({"index.html"}, gallery);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  std::vector<std::string> expected = {"allin1.html"};
  for (const std::string& base : c.bases) {
    expected.push_back(base + ".htm");
    expected.push_back(base + ".html");
  }
  for (const auto& entry : original) expected.push_back(entry.first);
  EXPECT_EQ(ListFiles(gallery), Sorted(expected));
  for (const auto& entry : original) {
    EXPECT_EQ(ReadWholeFile(gallery + "/" + entry.first), entry.second) << entry.first;
  }
  EXPECT_EQ(ReadWholeFile(gallery + "/allin1.html"), CombinedText(c.title, "index.html", c.images));
  for (const auto& [page, text] : c.pages) {
    EXPECT_EQ(ReadWholeFile(gallery + "/" + page), text) << page;
  }
}

const std::vector<std::string> kToolImageBases = {"beach hut", "fish&chips", "gulls", "harbour",
                                                  "kite"};

std::vector<std::string> WithSubfolder(std::vector<std::string> bases) {
  bases.push_back("photos/cliff top");
  bases.push_back("photos/forest");
  return bases;
}

INSTANTIATE_TEST_SUITE_P(
    ToolSheets, ToolSheetTest,
    ::testing::Values(
        // A Markdown list: blanks as %20, "&" as &amp;, a thumbnail beside one image.
        ToolSheetCase{
            "pandoc",
            "Harbour Days",
            {"harbour.jpg", "beach%20hut.jpg", "fish&amp;chips.jpg", "kite.png", "gulls.gif",
             "photos/forest.jpg", "photos/cliff%20top.jpg"},
            WithSubfolder(kToolImageBases),
            {{"fish&chips.htm",
              ManualText({"fish&amp;chips.jpg", "Fish &amp; chips on the wall", "beach%20hut.htm",
                          "beach%20hut_t.jpg", "index.html", "kite.html", "kite.htm", "kite.png"})},
             {"photos/cliff top.html",
              AutomaticText({"../photos/cliff%20top.jpg", "From the cliff top", "../index.html#end",
                             "../photos/forest.html", "../photos/cliff%20top.jpg", "../index.html",
                             "../index.html", "../index.html#end", "../index.html"},
                            "photos/cliff%20top.jpg")}}},
        // Links from "./", the subfolder's images after its own link.
        ToolSheetCase{
            "tree",
            "Harbour Days",
            {"./beach%20hut.jpg", "./fish&amp;chips.jpg", "./gulls.gif", "./harbour.jpg",
             "./kite.png", "./photos/cliff%20top.jpg", "./photos/forest.jpg"},
            WithSubfolder(kToolImageBases),
            {{"beach hut.html",
              AutomaticText({"./beach%20hut.jpg", "beach hut.jpg", "./fish&amp;chips.html",
                             "index.html", "index.html", "index.html", "./beach%20hut.htm",
                             "./fish&amp;chips.html", "./fish&amp;chips.jpg"})},
             {"photos/cliff top.htm",
              ManualText({".././photos/cliff%20top.jpg", "cliff top.jpg", ".././kite.htm",
                          ".././photos/cliff%20top.jpg", "../index.html", ".././photos/forest.html",
                          ".././photos/forest.htm", ".././photos/forest.jpg"},
                         "./photos/cliff%20top.jpg")}}},
        // Every name escaped for an address: "&" as %26.
        ToolSheetCase{
            "httpserver",
            "Directory listing for /",
            {"beach%20hut.jpg", "fish%26chips.jpg", "gulls.gif", "harbour.jpg", "kite.png"},
            kToolImageBases,
            {{"fish&chips.htm", ManualText({"fish%26chips.jpg", "fish&amp;chips.jpg",
                                            "beach%20hut.htm", "fish%26chips.jpg", "index.html",
                                            "gulls.html", "gulls.htm", "gulls.gif"})}}},
        // Thumbnails only: every slide is captioned with its image's name.
        ToolSheetCase{
            "igal2",
            "Index of Pictures",
            {"beach%20hut.jpg", "fish%26chips.jpg", "gulls.gif", "harbour.jpg", "kite.png"},
            kToolImageBases,
            {{"beach hut.htm", ManualText({"beach%20hut.jpg", "beach%20hut.jpg", "index.html",
                                           "index.html", "index.html", "fish%26chips.html",
                                           "fish%26chips.htm", "fish%26chips.jpg"})}}},
        ToolSheetCase{
            "llgal",
            "Index of pictures",
            {"beach%20hut.jpg", "fish%26chips.jpg", "gulls.gif", "harbour.jpg", "kite.png",
             "photos/cliff%20top.jpg", "photos/forest.jpg"},
            WithSubfolder(kToolImageBases),
            {{"photos/forest.htm",
              ManualText({"../photos/forest.jpg", "photos/forest.jpg", "../photos/cliff%20top.htm",
                          "../photos/forest.jpg", "../index.html", "../index.html",
                          "../index.html#end", "../index.html"},
                         "photos/forest.jpg")}}}),
    [](const ::testing::TestParamInfo<ToolSheetCase>& info) {
      return std::string(info.param.tool);
    });

// ---- Exit statuses -----------------------------------------------------------------------------

TEST(ExitStatus, CombinedPageLinkedOutsideTheFolderIsRefusedAtTheStart) {
  ScratchFolder outside;
  outside.Write("victim.txt", "not ours");
  ScratchFolder folder;
  folder.Write("index.html", SheetLinking({"a.jpg", "b.jpg"}));
  MakeSymlink(outside / "victim.txt", folder / "allin1.html");

  const ProgramResult result = RunKestrune({"index.html"}, folder.path());
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, Record(RealPath(folder.path()), kAllIn1Failure));
  EXPECT_EQ(ListFiles(folder.path()), (std::vector<std::string>{"allin1.html", "index.html"}));
  EXPECT_TRUE(fs::is_symlink(folder / "allin1.html"));
  EXPECT_EQ(outside.Read("victim.txt"), "not ours");
}

TEST(ExitStatus, PagesThatCannotBeCreatedAreFailuresButTheRunGoesOn) {
  ScratchFolder folder;
  folder.Write("index.html", SheetLinking({"a.jpg", "b.jpg", "c.jpg"}));
  fs::create_directories(folder / "b.htm");
  MakeFifo(folder / "b.html");  // never waited on

  const ProgramResult result = RunKestrune({"index.html"}, folder.path());
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, PageFailure("b.htm") + PageFailure("b.html"));
  EXPECT_EQ(folder.Read("allin1.html"),
            CombinedText("Index", "index.html", {"a.jpg", "b.jpg", "c.jpg"}));
  EXPECT_TRUE(folder.Exists("c.htm"));
  EXPECT_TRUE(folder.Exists("c.html"));
}

// ---- The scanner seen from outside -------------------------------------------------------------

TEST(Scanner, UpperCaseExtensionKeptInLinksAndCutFromPageNames) {
  ScratchFolder folder;
  folder.Write("index.html", "<a href=\"p.JPG\">Pier</a>\n");

  const ProgramResult result = RunKestrune({"index.html"}, folder.path());
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(ListFiles(folder.path()),
            (std::vector<std::string>{"allin1.html", "index.html", "p.htm", "p.html"}));
  EXPECT_EQ(folder.Read("p.htm"), ManualText(OnlyManualPage("p.JPG", "Pier", "index.html")));
  EXPECT_EQ(folder.Read("allin1.html"), CombinedText("Index", "index.html", {"p.JPG"}));
}

TEST(Scanner, SameBaseNameLaterImageReplacesThePages) {
  ScratchFolder folder;
  folder.Write("index.html", "<a href=\"a.jpg\">Photo</a>\n<a href=\"a.png\">Drawing</a>\n");

  const ProgramResult result = RunKestrune({"index.html"}, folder.path());
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(ListFiles(folder.path()),
            (std::vector<std::string>{"a.htm", "a.html", "allin1.html", "index.html"}));
  EXPECT_EQ(folder.Read("allin1.html"), CombinedText("Index", "index.html", {"a.jpg", "a.png"}));
  EXPECT_EQ(folder.Read("a.htm"), ManualText({"a.png", "Drawing", "a.htm", "a.png", "index.html",
                                              "index.html", "index.html#end", "index.html"}));
}

TEST(Scanner, ExistingCombinedPageIsReplacedWhole) {
  ScratchFolder folder;
  folder.Write("index.html", "<TITLE>Old and New</TITLE><a href=\"a.gif\">A</a>\n");
  folder.Write("allin1.html", kMarkerLine + std::string(20000, 'o'));  // an earlier run's

  const ProgramResult result = RunKestrune({"index.html"}, folder.path());
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(folder.Read("allin1.html"), CombinedText("Old and New", "index.html", {"a.gif"}));
}

}  // namespace

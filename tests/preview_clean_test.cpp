// The built program's dry run against what the run then does, file by file, and the clean that
// removes exactly what a run wrote.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "cli_support.h"

namespace {

// One line of a result: "VERB NAME (REASON)", the name unescaped.
struct ResultLine {
  std::string verb, name, reason;
};

std::string Unescaped(const std::string& shown) {
  std::string name;
  for (std::size_t i = 0; i < shown.size(); ++i) {
    if (shown.compare(i, 2, "\\x") == 0 && i + 4 <= shown.size()) {
      name += static_cast<char>(std::stoi(shown.substr(i + 2, 2), nullptr, 16));
      i += 3;
    } else {
      name += shown[i];
    }
  }
  return name;
}

// The lines of `out` before its summary, which goes to *summary.
std::vector<ResultLine> ResultLines(const std::string& out, std::string* summary) {
  std::vector<ResultLine> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string line = out.substr(start, end - start);
    if (end + 1 == out.size()) {
      *summary = line;
      break;
    }
    const std::size_t reason = line.back() == ')' ? line.rfind(" (") : std::string::npos;
    const std::size_t verbEnd = line.compare(0, 12, "not removed ") == 0 ? 11 : line.find(' ');
    ResultLine parsed{line.substr(0, verbEnd),
                      Unescaped(line.substr(verbEnd + 1, reason - verbEnd - 1)), ""};
    if (reason != std::string::npos)
      parsed.reason = line.substr(reason + 2, line.size() - reason - 3);
    lines.push_back(parsed);
  }
  return lines;
}

// A name as the result shows it again, for the comparison with the expected lines.
std::string ShownForm(const std::string& name) {
  std::string shown;
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20) {
      char escape[5];
      std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(c));
      shown += escape;
    } else {
      shown += c;
    }
  }
  return shown;
}

bool CarriesMarker(const std::string& bytes) {
  return Contains(bytes, kMarkerLine);
}

// Each case is a folder "show" holding the contact sheet index.html, beside what lies outside it.
struct DryRunCase {
  const char* name;
  std::function<void(const ScratchFolder&)> make;
  std::vector<std::string> notable;  // the keep and refuse lines the dry run must say, in order
};

void PrintTo(const DryRunCase& c, std::ostream* out) {
  *out << c.name;
}

class DryRunTest : public testing::TestWithParam<DryRunCase> {};

// The dry run changes nothing, not even a time; its status is the run's; the files of its create
// and replace lines are exactly those the run then writes, each as said, and its keep and
// refuse lines name files the run leaves as they were, one failure record each.
TEST_P(DryRunTest, SaysWhatTheRunThenDoes) {
  const DryRunCase& c = GetParam();
  ScratchFolder folder;
  c.make(folder);
  const std::string show = folder / "show";
  for (const std::string& name : ListFiles(folder.path())) {
    if (fs::is_regular_file(fs::symlink_status(folder / name))) DateBack(folder / name);
  }
  const std::map<std::string, std::string> before = Snapshot(folder.path());
  std::map<std::string, std::string> statusBefore;
  // The contact sheet is read, which may move its access time.
  for (const auto& [name, bytes] : before) {
    if (name != "show/index.html") statusBefore[name] = StatusOf(folder / name);
  }

  const ProgramResult dry = RunKestrune({"--dry-run", "index.html"}, show);
  for (const auto& [name, status] : statusBefore)
    EXPECT_EQ(StatusOf(folder / name), status) << name;
  EXPECT_EQ(Snapshot(folder.path()), before);
  EXPECT_EQ(dry.err, "");
  const ProgramResult run = RunKestrune({"index.html"}, show);
  const std::map<std::string, std::string> after = Snapshot(folder.path());
  EXPECT_EQ(dry.status, run.status);

  std::string summary;
  const std::vector<ResultLine> lines = ResultLines(dry.out, &summary);
  std::map<std::string, std::size_t> counts;
  std::vector<std::string> notable;
  std::set<std::string> written;
  for (const ResultLine& line : lines) {
    ++counts[line.verb];
    const std::string file = fs::path("show/" + line.name).lexically_normal().string();
    SCOPED_TRACE(line.verb + " " + file);
    const bool was = before.count(file) > 0, is = after.count(file) > 0;
    if (line.verb == "create" || line.verb == "replace") {
      // A page that this run writes a second time is replaced.
      EXPECT_EQ(was || written.count(file) > 0, line.verb == "replace");
      EXPECT_TRUE(is && CarriesMarker(after.at(file)));
      written.insert(file);
      continue;
    }
    ASSERT_TRUE(line.verb == "keep" || line.verb == "refuse");
    notable.push_back(line.verb + " " + ShownForm(line.name) + " (" + line.reason + ")");
    if (written.count(file) > 0) continue;  // refused over a file of this run
    EXPECT_EQ(was, is);
    if (was && is) {
      EXPECT_EQ(after.at(file), before.at(file));
    }
  }
  // Whatever the run changed or made was said.
  for (const auto& [name, bytes] : after) {
    if (before.count(name) == 0 || before.at(name) != bytes) {
      EXPECT_TRUE(written.count(name)) << name;
    }
  }
  EXPECT_EQ(notable, c.notable);
  // One failure record for each file kept or refused.
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'),
            static_cast<long>(counts["keep"] + counts["refuse"]))
      << run.err;
  const std::string counted = std::to_string(counts["create"]) + " pages to create, " +
                              std::to_string(counts["replace"]) + " to replace, " +
                              std::to_string(counts["keep"]) + " kept, " +
                              std::to_string(counts["refuse"]) + " refused";
  EXPECT_TRUE(Contains(summary, counted)) << summary;
  EXPECT_TRUE(Contains(summary, "(dry run: nothing written)")) << summary;
}

void Sheet(const ScratchFolder& folder, const std::vector<std::string>& images) {
  folder.Write("show/index.html", SheetLinking(images));
}

const std::string kUsersPage = "<html><body>My own page</body></html>\n";
const std::string kOlderPage = std::string("older page\r\n") + kMarkerLine;

INSTANTIATE_TEST_SUITE_P(
    Folders, DryRunTest,
    testing::Values(
        // Earlier pages and an empty file replaced; two images of one base name, whose second
        // pages replace the first ones; a page in a subfolder.
        DryRunCase{"EarlierPages",
                   [](const ScratchFolder& f) {
                     Sheet(f, {"a.jpg", "sub/b.jpg", "c.gif", "d.jpg", "d.png"});
                     f.Write("show/a.htm", kOlderPage);
                     f.Write("show/a.html", kOlderPage);
                     f.Write("show/c.htm", "");
                     f.Write("show/allin1.html", kOlderPage);
                     f.Write("show/sub/keep.txt", "");
                   },
                   {}},
        DryRunCase{"ForeignPage",
                   [](const ScratchFolder& f) {
                     Sheet(f, {"a.jpg", "b.jpg"});
                     f.Write("show/b.html", kUsersPage);
                   },
                   {"keep b.html (not written by kestrune)"}},
        // The contact sheet is named like a page, and a page of the run like the combined page.
        DryRunCase{"HeldFiles",
                   [](const ScratchFolder& f) {
                     f.Write("show/index.html", SheetLinking({"index.jpg", "allin1.gif", "b.jpg"}));
                   },
                   {"refuse index.html (the contact sheet)",
                    "refuse allin1.html (in use: the allin1.html of this run)"}},
        DryRunCase{"LinksLeadingOut",
                   [](const ScratchFolder& f) {
                     Sheet(f, {"a.jpg", "linked/b.jpg", "c.jpg"});
                     f.Write("victim.htm", kOlderPage);
                     f.Write("elsewhere/b.htm", kOlderPage);
                     f.Write("show/c.htm", kOlderPage);
                     MakeSymlink("../victim.htm", f / "show/a.htm");
                     MakeSymlink("../elsewhere", f / "show/linked");
                     MakeSymlink("c.htm", f / "show/c.html");  // stays inside: followed
                   },
                   {"refuse a.htm (a link leads out of the folder)",
                    "refuse linked/b.htm (a link leads out of the folder)",
                    "refuse linked/b.html (a link leads out of the folder)"}},
        DryRunCase{
            "EscapedNames",
            [](const ScratchFolder& f) {
              Sheet(f, {"beach%20hut.jpg", "a%0Ab.jpg", "..%2Fx.jpg", "z%00.jpg", "gone/y.jpg"});
            },
            {"refuse ../x.htm (outside the contact sheet's folder)",
             "refuse ../x.html (outside the contact sheet's folder)",
             "refuse z\\x00.htm (a zero byte in its name)",
             "refuse z\\x00.html (a zero byte in its name)",
             "refuse gone/y.htm (its folder is missing)",
             "refuse gone/y.html (its folder is missing)"}},
        DryRunCase{"UsersCombinedPageStopsTheRun",
                   [](const ScratchFolder& f) {
                     Sheet(f, {"a.jpg", "b.jpg"});
                     f.Write("show/allin1.html", kUsersPage);
                   },
                   {"keep allin1.html (not written by kestrune)"}}),
    [](const testing::TestParamInfo<DryRunCase>& info) { return std::string(info.param.name); });

TEST(DryRun, EscapesControlBytesAndStopsWhereTheRunWould) {
  ScratchFolder folder;
  Sheet(folder, {"a%0Ab.jpg", "c.jpg"});
  folder.Write("show/allin1.html", kUsersPage);
  const ProgramResult result =
      RunKestrune({"--modern", "--dry-run", "index.html"}, folder / "show");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out,
            "keep allin1.html (not written by kestrune)\n"
            "2 images: 0 pages to create, 0 to replace, 1 kept, 0 refused; the run would stop "
            "at allin1.html and write nothing (dry run: nothing written)\n");
  std::remove((folder / "show/allin1.html").c_str());
  const ProgramResult fresh = RunKestrune({"--dry-run", "--modern", "index.html"}, folder / "show");
  EXPECT_EQ(fresh.status, 0);
  EXPECT_TRUE(Contains(fresh.out, "\ncreate a\\x0Ab.htm\ncreate a\\x0Ab.html\n")) << fresh.out;
}

// A result that cannot be written is no success.
TEST(DryRun, AResultThatCannotBeWrittenIsAFailure) {
  ScratchFolder folder;
  Sheet(folder, {"a.jpg"});
  for (const char* option : {"--dry-run", "--clean"}) {
    const ProgramResult result = RunProgram(
        "/bin/sh", {"-c", "exec \"$0\" \"$1\" index.html >/dev/full", KESTRUNE_PROGRAM, option},
        folder / "show");
    EXPECT_EQ(result.status, 1) << option;
    EXPECT_EQ(result.err, "Kestrune: the result could not be written to standard output\n");
  }
}

// ---- Clean ------------------------------------------------------------------------------------

const char kNothingToClean[] = "13 images: 0 pages removed, 0 kept, 0 refused, 0 not removed\n";

TEST(Clean, AfterAClassicOrModernRunTheFolderIsAsBefore) {
  for (const std::vector<std::string>& style :
       {std::vector<std::string>{}, std::vector<std::string>{"--modern"}}) {
    SCOPED_TRACE(style.empty() ? "classic" : "modern");
    ScratchFolder folder;
    fs::copy(KESTRUNE_EXAMPLES, folder.path(), fs::copy_options::recursive);
    const std::map<std::string, std::string> before = Snapshot(folder.path());
    std::vector<std::string> run = style;
    run.push_back("index.html");
    ASSERT_EQ(RunKestrune(run, folder.path()).status, 0);
    const std::size_t written = Snapshot(folder.path()).size() - before.size();
    ASSERT_EQ(written, 27u);

    const ProgramResult clean = RunKestrune({"--clean", "index.html"}, folder.path());
    EXPECT_EQ(clean.status, 0);
    EXPECT_EQ(clean.err, "");
    std::string summary;
    const std::vector<ResultLine> lines = ResultLines(clean.out, &summary);
    EXPECT_EQ(lines.size(), written);
    for (const ResultLine& line : lines) EXPECT_EQ(line.verb, "removed") << line.name;
    EXPECT_EQ(summary, "13 images: 27 pages removed, 0 kept, 0 refused, 0 not removed");
    EXPECT_EQ(Snapshot(folder.path()), before);

    const ProgramResult again = RunKestrune({"--clean", "index.html"}, folder.path());
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.out, kNothingToClean);
  }
}

TEST(Clean, KeepsAUsersPageAndCombinedPageWithTheirTimes) {
  ScratchFolder folder;
  folder.Write("index.html", SheetLinking({"a.jpg", "b.jpg"}));
  ASSERT_EQ(RunKestrune({"index.html"}, folder.path()).status, 0);
  folder.Write("a.htm", kUsersPage);
  folder.Write("allin1.html", kUsersPage);
  folder.Write("b.html", "");  // empty: no page of ours either
  std::map<std::string, std::string> status;
  for (const char* kept : {"a.htm", "allin1.html", "b.html"}) {
    DateBack(folder / kept);
    status[kept] = StatusOf(folder / kept);
  }
  const ProgramResult clean = RunKestrune({"--clean", "index.html"}, folder.path());
  EXPECT_EQ(clean.status, 1);
  EXPECT_EQ(clean.out,
            "kept a.htm (not written by kestrune)\n"
            "removed a.html\n"
            "removed b.htm\n"
            "kept b.html (not written by kestrune)\n"
            "kept allin1.html (not written by kestrune)\n"
            "2 images: 2 pages removed, 3 kept, 0 refused, 0 not removed\n");
  for (const auto& [name, before] : status) EXPECT_EQ(StatusOf(folder / name), before) << name;
  EXPECT_EQ(Snapshot(folder.path()),
            (std::map<std::string, std::string>{{"a.htm", kUsersPage},
                                                {"allin1.html", kUsersPage},
                                                {"b.html", ""},
                                                {"index.html", SheetLinking({"a.jpg", "b.jpg"})}}));
}

// A link named like a page is neither followed nor removed, wherever it leads; a folder named
// like one stays; a page behind a linked folder is not reached; the contact sheet stays.
TEST(Clean, LinksFoldersAndTheSheetAreNotRemoved) {
  ScratchFolder folder;
  folder.Write("show/a.htm", SheetLinking({"a.jpg", "b.jpg", "c.jpg", "linked/d.jpg"}));
  folder.Write("outside.htm", kOlderPage);
  folder.Write("elsewhere/d.htm", kOlderPage);
  folder.Write("show/c.htm", kOlderPage);
  MakeSymlink("../outside.htm", folder / "show/a.html");
  folder.Write("show/notes.htm", kOlderPage);  // a page of ours that no image names
  MakeSymlink("notes.htm", folder / "show/b.htm");
  MakeSymlink("../elsewhere", folder / "show/linked");
  fs::create_directory(folder / "show/b.html");
  const std::map<std::string, std::string> before = Snapshot(folder.path());
  const ProgramResult clean = RunKestrune({"--clean", "a.htm"}, folder / "show");
  EXPECT_EQ(clean.status, 1);
  EXPECT_EQ(clean.out,
            "kept a.htm (the contact sheet)\n"
            "kept a.html (a link, not followed)\n"
            "kept b.htm (a link, not followed)\n"
            "kept b.html (not a regular file)\n"
            "removed c.htm\n"
            "refused linked/d.htm (a link leads out of the folder)\n"
            "refused linked/d.html (a link leads out of the folder)\n"
            "4 images: 1 page removed, 4 kept, 2 refused, 0 not removed\n");
  std::map<std::string, std::string> expected = before;
  expected.erase("show/c.htm");
  EXPECT_EQ(Snapshot(folder.path()), expected);
  EXPECT_TRUE(fs::is_symlink(folder / "show/a.html"));
  EXPECT_TRUE(fs::is_directory(fs::symlink_status(folder / "show/b.html")));
}

TEST(Clean, AReadOnlyFolderIsReportedAndLosesNothing) {
  ScratchFolder folder;
  folder.Write("show/index.html", SheetLinking({"a.jpg"}));
  ASSERT_EQ(RunKestrune({"index.html"}, folder / "show").status, 0);
  HandOver(folder.path(), kUnprivilegedUser);
  ASSERT_EQ(::chmod((folder / "show").c_str(), 0555), 0);
  const std::map<std::string, std::string> before = Snapshot(folder.path());
  const ProgramResult clean =
      RunKestrune({"--clean", "index.html"}, folder / "show", kUnprivilegedUser);
  ::chmod((folder / "show").c_str(), 0755);
  EXPECT_EQ(clean.status, 1);
  EXPECT_EQ(clean.out,
            "not removed a.htm (no permission)\n"
            "not removed a.html (no permission)\n"
            "not removed allin1.html (no permission)\n"
            "1 image: 0 pages removed, 0 kept, 0 refused, 3 not removed\n");
  EXPECT_EQ(Snapshot(folder.path()), before);
}

TEST(Clean, NeedsASheetAndCannotBeCombinedWithADryRun) {
  ScratchFolder folder;
  folder.Write("index.html", SheetLinking({"a.jpg"}));
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"--clean"}, {"--dry-run", "?"}, {"--modern", "--clean", ""}}) {
    const ProgramResult result = RunKestrune(arguments, folder.path());
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err.compare(0, 16, "Usage: kestrune "), 0) << result.err;
  }
  const ProgramResult both = RunKestrune({"--clean", "--dry-run", "index.html"}, folder.path());
  EXPECT_EQ(both.status, 2);
  EXPECT_TRUE(Contains(both.err, "--dry-run and --clean cannot be used together")) << both.err;
  EXPECT_EQ(ListFiles(folder.path()), std::vector<std::string>{"index.html"});
}

}  // namespace

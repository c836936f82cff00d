// What modern pages read from the contact sheet: captions for thumbnail anchors, the sheet's
// language and charset, and the option that chooses the style.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "generation/contact_sheet.h"
#include "generation_fixture.h"
#include "sheet/declarations.h"

namespace {

struct CaptionCase {
  const char* name;
  std::string sheet;
  std::vector<std::string> captions;  // of the images in order, in the modern style
};

void PrintTo(const CaptionCase& c, std::ostream* out) {
  *out << c.name;
}

class ModernCaption : public GenerationTest, public testing::WithParamInterface<CaptionCase> {};

TEST_P(ModernCaption, ComesFromWhatTheSheetSaysOfTheImage) {
  folder_.Write("index.html", GetParam().sheet);
  folder_.Write("photos/README", "");
  Prepare("index.html");
  State.Style = &ModernPages;
  testing::internal::CaptureStderr();
  std::vector<std::string> captions;
  if (BeginGeneration() == StartResult::Started) {
    do {
      State.ScanPosition = GenerateSlide(State.ScanPosition);
      captions.push_back(State.CurrentCaption);
    } while (State.ScanPosition != nullptr);
  }
  FinishGeneration();
  SetWorkingFolder(startFolder_);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(captions, GetParam().captions);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ModernCaption,
    testing::Values(
        CaptionCase{"TextOfTheAnchorThatRepeatsTheImage",
                    R"(<a href="a.jpg"><img src="a_t.jpg" alt="A"></a> <a href="A.JPG">Sunset</a>)"
                    R"(<a href="b.jpg">Bay</a>)",
                    {"Sunset", "Bay"}},
        CaptionCase{
            "FirstRepeatThatShowsText",
            R"(<a href="a.jpg"><img></a><a href="a.jpg"><img></a><a href="a.jpg">Third</a>)",
            {"Third"}},
        CaptionCase{"RepeatOnlyWhenDirectlyBehind",
                    R"(<a href="a.jpg"><img alt=" Alt text "></a><a href="b.jpg">B</a>)"
                    R"(<a href="a.jpg">Later</a>)",
                    {"Alt text", "B", "Later"}},
        CaptionCase{"AltThenTitleThenFileName",
                    R"(<a href="a.jpg" title="Title A"><IMG SRC="a.jpg" ALT='It''s "A"'></a>)"
                    R"(<a href="b.jpg" title='Title B'><img src="b.jpg" alt=""></a>)"
                    R"(<a href="photos/beach%20hut.jpeg"><img></a><a href="c&amp;d.gif"></a>)",
                    {"It", "Title B", "beach hut", "c&amp;d"}},
        CaptionCase{"TextCaptionsKeptAndNothingVisibleReplaced",
                    R"(<a href="a.jpg">A &amp; B<br>C</a><a href="b.png"> - - </a>)"
                    R"(<a href="c.png" title="Title">Own text</a><a href="d.png" data-alt="x">)"
                    R"(<img data-alt="no"></a>)",
                    {"A &amp; B - C", "b", "Own text", "d"}}),
    [](const testing::TestParamInfo<CaptionCase>& info) { return std::string(info.param.name); });

struct DeclarationCase {
  const char* name;
  std::string sheet;
  std::string language;
  std::string charset;
};

void PrintTo(const DeclarationCase& c, std::ostream* out) {
  *out << c.name;
}

class SheetDeclarations : public testing::TestWithParam<DeclarationCase> {};

TEST_P(SheetDeclarations, GiveTheLanguageAndCharsetOfModernPages) {
  const std::string& text = GetParam().sheet;
  State = GenerationState{};
  State.SheetView = text.data();
  State.SheetEnd = text.data() + text.size();
  ReadSheetDeclarations();
  EXPECT_EQ(State.SheetLanguage, GetParam().language);
  EXPECT_EQ(State.SheetCharset, GetParam().charset);
  State = GenerationState{};
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SheetDeclarations,
    testing::Values(
        DeclarationCase{"NothingDeclaredAscii", "<title>x</title>", "en", "utf-8"},
        DeclarationCase{"NothingDeclaredUtf8", "<html lang=de>caf\xC3\xA9", "de", "utf-8"},
        DeclarationCase{"NothingDeclaredLatin1", "<HTML LANG='fr-CA'>caf\xE9", "fr-CA",
                        "windows-1252"},
        DeclarationCase{"Overlong", "\xC0\xAF", "en", "windows-1252"},
        DeclarationCase{"Surrogate", "\xED\xA0\x80", "en", "windows-1252"},
        DeclarationCase{"CutShort", "ok \xE2\x82", "en", "windows-1252"},
        DeclarationCase{"MetaCharset", "<html><meta charset=\"Shift_JIS\">\xE9", "en", "Shift_JIS"},
        DeclarationCase{
            "HttpEquiv",
            "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=iso-8859-1\">", "en",
            "iso-8859-1"},
        DeclarationCase{"FirstMetaNamingOne",
                        "<meta name=x content=y><meta charset=koi8-r><meta charset=utf-8>", "en",
                        "koi8-r"},
        DeclarationCase{"ByteOrderMark", "\xEF\xBB\xBF<meta charset=latin1>", "en", "UTF-8"},
        DeclarationCase{"Utf16LabelReadsAsUtf8", "<meta charset=utf-16le>", "en", "UTF-8"},
        DeclarationCase{"ImplausibleValuesIgnored",
                        "<html lang=\"en\"><script>\"><meta charset=\"a b\">\xE9", "en",
                        "windows-1252"},
        DeclarationCase{"EmptyLanguage", "<html lang=\"\"><htmlx lang=de>", "en", "utf-8"},
        DeclarationCase{"LanguageOnlyFromTheHtmlTag", "<p lang=de><html>", "en", "utf-8"}),
    [](const testing::TestParamInfo<DeclarationCase>& info) {
      return std::string(info.param.name);
    });

TEST(CommandOptions, AreTheFirstWordsOfTheTailEachTakenOnce) {
  struct Case {
    std::string tail;
    std::size_t length;  // of the options and their blanks
    bool modern;
    RunMode mode;
    bool conflicting;
  };
  const RunMode kWrite = RunMode::Write, kDry = RunMode::DryRun, kClean = RunMode::Clean;
  const Case cases[] = {
      {"--modern x.html", 9, true, kWrite, false},
      {"--modern", 8, true, kWrite, false},
      {"--modern \t \"a b.html\"", 11, true, kWrite, false},
      {"--modernx.html", 0, false, kWrite, false},
      {"x --modern", 0, false, kWrite, false},
      {" --modern x", 0, false, kWrite, false},
      {"--MODERN x", 0, false, kWrite, false},
      {"--modern ?", 9, true, kWrite, false},
      {"", 0, false, kWrite, false},
      // Any order; a word given again, or longer, begins the sheet's path.
      {"--dry-run --modern x", 19, true, kDry, false},
      {"--clean\t--modern", 16, true, kClean, false},
      {"--modern --clean --modern x", 17, true, kClean, false},
      {"--clean.html", 0, false, kWrite, false},
      {"--dry-run --dry-runs", 10, false, kDry, false},
      {"--clean --dry-run x", 18, false, kDry, true},
  };
  for (const Case& c : cases) {
    const CommandOptions options = ReadCommandOptions(c.tail);
    EXPECT_EQ(options.length, c.length) << c.tail;
    EXPECT_EQ(options.modern, c.modern) << c.tail;
    EXPECT_EQ(options.mode, c.mode) << c.tail;
    EXPECT_EQ(options.conflicting, c.conflicting) << c.tail;
  }
}

}  // namespace

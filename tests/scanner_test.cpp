// The contact sheet scanner: which links count as images, their captions, and the title.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "sheet_reader.h"

namespace {

using Images = std::vector<std::pair<std::string, std::string>>;  // target, caption

SheetReader ReaderOf(const std::string& text, const std::string& startText = "/start/folder") {
  return SheetReader(text.data(), text.data() + text.size(), startText);
}

// Scans `text` as a generation does: the first image against `startText`, each further image
// against the one before it, a caption after every image found.
Images ScanAll(const std::string& text, const std::string& startText = "/start/folder") {
  SheetReader reader = ReaderOf(text, startText);
  Images images;
  const char* pos = reader.NextImage(reader.text);
  while (pos != nullptr) {
    pos = reader.Caption(pos);
    images.emplace_back(reader.last, reader.caption);
    pos = reader.NextImage(pos);
  }
  return images;
}

struct ScanCase {
  const char* name;
  std::string sheet;
  Images expected;
};

// The case's name, not its bytes, in test listings.
void PrintTo(const ScanCase& c, std::ostream* out) {
  *out << c.name;
}

class SheetScan : public testing::TestWithParam<ScanCase> {};

TEST_P(SheetScan, FindsImagesWithTheirCaptions) {
  EXPECT_EQ(ScanAll(GetParam().sheet), GetParam().expected);
}

const ScanCase kLinkCases[] = {
    {"UpperCaseExtensionKeepsItsCase", R"(<a href="p.JPG">P</a>)", {{"p.JPG", "P"}}},
    {"AllImageExtensions",
     R"(<a href="1.jpg">1</a><a href="2.GIF">2</a><a href="3.png">3</a><a href="4.jpe">4</a>)"
     R"(<a href="5.JpeG">5</a>)",
     {{"1.jpg", "1"}, {"2.GIF", "2"}, {"3.png", "3"}, {"4.jpe", "4"}, {"5.JpeG", "5"}}},
    {"OtherTargetsAreSkipped",
     R"(<a href="p.jpg?x=1">q</a><a href="p.bmp">b</a><a href="p.html">h</a><a href="noext">n</a>)"
     R"(<a href="p.jpg ">s</a><a href="ok.gif">ok</a>)",
     {{"ok.gif", "ok"}}},
    {"ExtensionIsTakenFromTheLastDot",
     R"(<a href="a.jpg.txt">t</a><a href="my.pics/b.png">b</a>)",
     {{"my.pics/b.png", "b"}}},
    {"ThumbnailThenTextLinkCountsOnceCaptionedWithTarget",
     "<a href=\"a.jpg\"><img src=\"a_t.jpg\"></a><br>\n<a href=\"a.jpg\">Sunset</a>",
     {{"a.jpg", "a.jpg"}}},
    {"RepeatIsComparedIgnoringCase",
     R"(<a href="a.jpg">x</a><a href="A.JPG">y</a>)",
     {{"a.jpg", "x"}}},
    {"OnlyTheImmediateRepeatIsDropped",
     R"(<a href="a.jpg">1</a><a href="b.jpg">2</a><a href="a.jpg">3</a>)",
     {{"a.jpg", "1"}, {"b.jpg", "2"}, {"a.jpg", "3"}}},
    {"AnchorWithoutHrefIsSkipped",
     R"(<a name="top">Top</a> <a href="b.jpg">B</a>)",
     {{"b.jpg", "B"}}},
    {"UpperCaseTagAndAttribute", R"(<A HREF="a.jpg">A</A>)", {{"a.jpg", "A"}}},
    {"MixedFormsOfTagAndAttribute", R"(<A href="a.jpg">A</a>)", {{"a.jpg", "A"}}},
    {"MixedCaseAttributeIsNotRecognised",
     R"(<a Href="a.jpg">A</a><a href="b.jpg">B</a>)",
     {{"b.jpg", "B"}}},
    {"AnchorOpenerNeedsABlank",
     "<a\nhref=\"a.jpg\">A</a><a\thref=\"b.jpg\">B</a><a href=\"c.jpg\">C</a>",
     {{"c.jpg", "C"}}},
    {"UnquotedHrefTakesALaterQuotedAttribute",
     R"(<a href=x.jpg title="t.gif">T</a>)",
     {{"t.gif", "T"}}},
    {"UnquotedHrefWithQuoteOnlyInALaterTagIsRejected",
     R"(<a href=x.jpg>X</a> <a href="y.jpg">Y</a>)",
     {{"y.jpg", "Y"}}},
    {"UnquotedHrefWithNoQuoteLaterEndsTheScan",
     R"(<a href="a.jpg">A</a> <a href=b.jpg>B</a> <a href=c.jpg>C</a>)",
     {{"a.jpg", "A"}}},
    {"ClosingQuoteIsFoundBeyondTheTag", R"(<a href="b>c.png">x</a>)", {{"b>c.png", "c.png\">x"}}},
    {"TagWithoutEndEndsTheScan", R"(<a href="a.jpg">A</a><a href="b.jpg")", {{"a.jpg", "A"}}},
    {"EmptySheet", "", {}},
    {"NoAnchors", "<html><body><img src=\"a.jpg\"></body></html>", {}},
};

INSTANTIATE_TEST_SUITE_P(ImageLinks, SheetScan, testing::ValuesIn(kLinkCases),
                         [](const auto& info) { return std::string(info.param.name); });

const ScanCase kCaptionCases[] = {
    {"LeadingWhitespaceIsDropped", "<a href=\"a.jpg\">  \r\n\tHello</a>", {{"a.jpg", "Hello"}}},
    {"FirstBreakAddsNothingLastIsTrimmed",
     R"(<a href="s.jpg"><img src="s.jpg"><br>Sunset<br></a>)",
     {{"s.jpg", "Sunset"}}},
    {"UpperCaseBreakSeparates",
     R"(<a href="s.jpg">Sunset<BR>Maui</a>)",
     {{"s.jpg", "Sunset - Maui"}}},
    {"SelfClosingBreakDoesNotSeparate",
     R"(<a href="s.jpg">Sunset<br/>Maui</a>)",
     {{"s.jpg", "SunsetMaui"}}},
    {"TwoBreaksGiveTwoSeparators", R"(<a href="s.jpg">A<br><br>B</a>)", {{"s.jpg", "A -  - B"}}},
    {"ParagraphSeparates", R"(<a href="s.jpg">A<P>B</a>)", {{"s.jpg", "A - B"}}},
    {"ParagraphWithAttributesDoesNotSeparate",
     R"(<a href="s.jpg">A<p class="x">B</a>)",
     {{"s.jpg", "AB"}}},
    {"NoVisibleTextGivesTheTarget", "<a href=\"s.jpg\"> \n </a>", {{"s.jpg", "s.jpg"}}},
    {"OnlyHyphensAndBlanksBecomeEmpty", R"(<a href="s.jpg"> - - </a>)", {{"s.jpg", ""}}},
    {"TrailingTrimStopsAtOtherWhitespace", "<a href=\"s.jpg\">A -\n - </a>", {{"s.jpg", "A -\n"}}},
    {"EntitiesAndInnerLineEndsStay",
     "<a href=\"s.jpg\">Fish &amp;\r\n  Chips</a>",
     {{"s.jpg", "Fish &amp;\r\n  Chips"}}},
    {"GreaterThanInsideATagIsItsEnd",
     R"(<a href="s.jpg"><img alt="a>b">C</a>)",
     {{"s.jpg", "b\">C"}}},
    {"UpperCaseClosingTagEnds", R"(<a href="s.jpg">S</A> tail)", {{"s.jpg", "S"}}},
    {"UnclosedLastAnchorLeavesTheLastThreeCharacters",
     R"(<a href="e.jpg">abcdefg)",
     {{"e.jpg", "abcd"}}},
    {"UnclosedAnchorSwallowsTheNext",
     R"(<a href="a.jpg">A <a href="b.jpg">B</a> <a href="c.jpg">C</a>)",
     {{"a.jpg", "A B"}, {"c.jpg", "C"}}},
    {"ClosingTagWithBlankDoesNotEnd",
     "<a href=\"a.jpg\">A</a >B</a\n>C</a>",
     {{"a.jpg",
       "AB"
       "C"}}},
    {"HighBytesPassThrough",
     "<a href=\"\xe9t\xe9.jpg\">\xc9t\xe9 \xa0</a>",
     {{"\xe9t\xe9.jpg", "\xc9t\xe9 \xa0"}}},
};

INSTANTIATE_TEST_SUITE_P(Captions, SheetScan, testing::ValuesIn(kCaptionCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ScannerStart, FirstLinkIsComparedWithTheStartText) {
  // Before the first image the repeat memory holds the start folder, as the status text does.
  EXPECT_EQ(ScanAll(R"(<a href="A.jpg">A</a><a href="b.jpg">B</a>)", "a.JPG"),
            (Images{{"b.jpg", "B"}}));
}

TEST(ScannerStart, CaptionStopsAtTheClosingTag) {
  const std::string text = R"(<a href="a.jpg">A</a><a href="b.jpg">B</a>)";
  SheetReader reader = ReaderOf(text);
  const char* tagEnd = reader.NextImage(reader.text);
  ASSERT_EQ(tagEnd, text.data() + text.find('>'));
  EXPECT_EQ(reader.Caption(tagEnd), text.data() + text.find("</a>"));
}

TEST(ScannerStart, LongTargetsAndCaptionsAreKeptWhole) {
  const std::string target = std::string(5000, 'x') + ".png";
  const std::string caption(7000, 'c');
  EXPECT_EQ(ScanAll("<a href=\"" + target + "\">" + caption + "</a>"), (Images{{target, caption}}));
}

TEST(ScannerStart, ScansStopAtTheEndOfTheText) {
  // The text ends before the closing quote and the closing tag that follow it in memory.
  const std::string buffer = "<a href=\"abc.jpg\">Cap</a>";
  SheetReader reader = ReaderOf(buffer);
  reader.end = buffer.data() + buffer.find("g\"") + 1;
  EXPECT_EQ(reader.NextImage(reader.text), nullptr);
  reader.end = buffer.data() + buffer.find("p<");
  const char* tagEnd = reader.NextImage(reader.text);
  ASSERT_NE(tagEnd, nullptr);
  reader.Caption(tagEnd);
  EXPECT_EQ(reader.caption, "abc.jpg");  // "Ca" lies within the last three characters
}

struct TitleCase {
  const char* name;
  std::string sheet;
  std::string expected;
};

void PrintTo(const TitleCase& c, std::ostream* out) {
  *out << c.name;
}

class Titles : public testing::TestWithParam<TitleCase> {};

TEST_P(Titles, AreReadFromTheFirstTitleTag) {
  const std::string& text = GetParam().sheet;
  std::string title = "Index";
  ReaderOf(text).Title(title);
  EXPECT_EQ(title, GetParam().expected);
}

const TitleCase kTitleCases[] = {
    {"LowerCase", "<head><title>My Photos</title></head>", "My Photos"},
    {"UpperCase", "<HEAD><TITLE>My Photos</TITLE></HEAD>", "My Photos"},
    {"MissingTitleLeavesIndex", "<head></head><a href=\"a.jpg\">a</a>", "Index"},
    {"MixedCaseTagIsNotRecognised", "<Title>Mixed</Title>", "Index"},
    {"BlanksAreKept", "<title>  Summer \t</title>", "  Summer \t"},
    {"MarkupEndsTheTitle", "<title>Sea <b>and</b> sky</title>", "Sea "},
    {"EarlierFormCounts", "<TITLE>First</TITLE><title>Second</title>", "First"},
    {"EarlierFormCountsLowerFirst", "<title>First</title><TITLE>Second</TITLE>", "First"},
    {"UnterminatedRunsToTheEnd", "<title>Open end", "Open end"},
    {"EmptyTitle", "<title></title>", ""},
};

INSTANTIATE_TEST_SUITE_P(Scanner, Titles, testing::ValuesIn(kTitleCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

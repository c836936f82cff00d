// The two slide page kinds, byte for byte, and the text output they are written through.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>

#include "expected_pages.h"
#include "pages/slide_templates.h"
#include "pages/text_output.h"

namespace {

// The bytes of one page, made in a buffer that held another page before.
std::string WrittenPage(void (*make)(const SlidePageValues&, std::string&),
                        const SlidePageValues& values) {
  std::string text =
      "an earlier page, longer than any page these tests make: " + std::string(4000, 'x');
  make(values, text);
  return text;
}

// Every placeholder gets a value of its own, so a swapped pair shows.
SlidePageValues DistinctValues() {
  SlidePageValues v;
  v.image = "TITLE";
  v.refreshTarget = "REFRESH";
  v.previousLink = "PREVLINK";
  v.previousIcon = "PREVICON";
  v.indexLink = "INDEX";
  v.photo = "PHOTO";
  v.shown = "SHOWN";
  v.caption = "CENTRETEXT";
  v.playLink = "PLAY";
  v.pauseLink = "PAUSE";
  v.nextLink = "NEXTLINK";
  v.nextIcon = "NEXTICON";
  return v;
}

// The same distinct values, as the expected pages name their places: the photo is the caption's
// link; the frame's source and the fallback image show it (the photo itself, or its copy where
// browsers cannot show it).
const std::map<std::string, std::string> kDistinctPlaces = {
    {"title", "TITLE"},           {"refresh", "REFRESH"},   {"previous", "PREVLINK"},
    {"previousIcon", "PREVICON"}, {"index", "INDEX"},       {"centre", "PHOTO"},
    {"caption", "CENTRETEXT"},    {"play", "PLAY"},         {"pause", "PAUSE"},
    {"next", "NEXTLINK"},         {"nextIcon", "NEXTICON"}, {"frame", "SHOWN"},
    {"fallback", "SHOWN"}};

TEST(SlidePages, ManualPageMatchesItsTemplate) {
  EXPECT_EQ(WrittenPage(ManualPageText, DistinctValues()), Fill(kManualPage, kDistinctPlaces));
}

TEST(SlidePages, AutomaticPageMatchesItsTemplate) {
  EXPECT_EQ(WrittenPage(AutomaticPageText, DistinctValues()),
            Fill(kAutomaticPage, kDistinctPlaces));
}

TEST(SlidePages, LineCountsAreTwentyAndTwentyOne) {
  const std::string manual = WrittenPage(ManualPageText, DistinctValues());
  const std::string automatic = WrittenPage(AutomaticPageText, DistinctValues());
  EXPECT_EQ(std::count(manual.begin(), manual.end(), '\n'), 20);
  EXPECT_EQ(std::count(automatic.begin(), automatic.end(), '\n'), 21);
}

TEST(SlidePages, ValuesAreWrittenUnescaped) {
  SlidePageValues values = DistinctValues();
  values.caption = "Fish &amp; Chips <i>\"100%\"</i> %s %%";
  values.photo = "a&b.jpg";
  const std::string page = WrittenPage(ManualPageText, values);
  EXPECT_NE(
      page.find(
          R"(<a href="a&b.jpg"><font color="0000FF">Fish &amp; Chips <i>"100%"</i> %s %%</font>)"),
      std::string::npos);
}

TEST(SlidePages, LineEndsInsideValuesGainACarriageReturn) {
  SlidePageValues values = DistinctValues();
  values.caption = "one\r\ntwo\nthree";
  const std::string page = WrittenPage(AutomaticPageText, values);
  EXPECT_NE(page.find("one\r\r\ntwo\r\nthree"), std::string::npos);
  EXPECT_EQ(std::count(page.begin(), page.end(), '\n'), 23);
}

TEST(TextOutput, FormatExpandsValuesAndPercentSigns) {
  EXPECT_EQ(FormatText("a%sb%%c%sd\n", {"X", "Y"}), "aXb%cYd\r\n");
  EXPECT_EQ(FormatText("%s", {std::string(100000, 'v')}), std::string(100000, 'v'));
  EXPECT_EQ(FormatText("100%", {}), "100%");  // a lone percent sign at the end stays
  EXPECT_EQ(FormatText("%s|%s", {"only"}), "only|");
}

TEST(TextOutput, FormatKeepsOtherPercentSignsAndConvertsEveryLineFeed) {
  EXPECT_EQ(FormatText("%d%%s%\n", {"unused"}), "%d%s%\r\n");
  EXPECT_EQ(FormatText("\n\n%s\n", {"\nv\n\nw\n"}), "\r\n\r\n\r\nv\r\n\r\nw\r\n\r\n");
  EXPECT_EQ(FormatText("", {"x"}), "");
}

TEST(TextOutput, WriteReportsAFailedWrite) {
  std::FILE* full = std::fopen("/dev/full", "wb");
  ASSERT_NE(full, nullptr);
  std::setvbuf(full, nullptr, _IONBF, 0);
  EXPECT_FALSE(WriteFormatted(full, "%s\n", {"lost"}));
  std::fclose(full);
}

}  // namespace

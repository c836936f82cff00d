// The scanner against the literal algorithm on thousands of generated contact sheets: the same
// images, captions, positions and title in every case.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "literal_scanner.h"
#include "scan_trace.h"

namespace {

// How much of the scanner's behaviour a batch of generated sheets reached.
struct Reach {
  unsigned withImage = 0, withTwoImages = 0, withTitle = 0, captionIsTarget = 0;
};

void ExpectSameScan(const std::string& sheet, const std::string& startText, std::uint32_t seed,
                    Reach& reach) {
  const ScanTrace scanned = ScanWithScanner(sheet, startText);
  const ScanTrace literal = ScanLiterally(sheet, startText);
  reach.withImage += !literal.images.empty();
  reach.withTwoImages += literal.images.size() >= 2;
  reach.withTitle += literal.titleEnd != kNoPosition;
  for (const ScanTrace::Image& image : literal.images) {
    reach.captionIsTarget += image.caption == image.target;
  }
  EXPECT_TRUE(scanned == literal) << "seed " << seed << "\nsheet " << Escaped(sheet)
                                  << "\nstart text " << Escaped(startText) << "\nscanner:\n"
                                  << Describe(scanned) << "literal:\n"
                                  << Describe(literal);
}

// Pieces of contact sheets: the tokens the scanner looks for in every form it must and must not
// recognise, near misses, targets with and without image extensions, and plain text.
// clang-format off
const char* const kFragments[] = {
    "<a ", "<A ", "<a\t", "<a\n", "<a", "href=", "HREF=", "Href=", "href", "name=x", "=",
    "\"", "\"", ">", ">", "<", "/", "</a>", "</A>", "</a >", "</a\n>", "</b>",
    "<br>", "<BR>", "<bR>", "<br/>", "<p>", "<P>", "<p id=1>", "<img src=\"t.jpg\">",
    "<title>", "<TITLE>", "<Title>", "</title>",
    "a.jpg", "A.JPG", "b.gif", "c.PNG", "d.jpe", "e.jpeg", "f.JpEg", "g.bmp", "h.html", "noext",
    "x.jpg?1", "d.d/i.png", ".jpg", ".",
    "Sunset", " ", "  ", "\t", "\r\n", "\n", "-", " - ", "&amp;",
    "\x80", "\xe9", "\xff", "\x01", "\x1f",
};
// clang-format on
const char* const kTargets[] = {"a.jpg",     "A.JPG",   "a.jpg",  "b.gif", "p.png",
                                "q.jpeg",    "r.Jpe",   "s.bmp",  "t",     "",
                                "u.jpg.txt", "v w.jpg", "x>y.png"};
const char* const kCaptions[] = {
    "",    "Sunset",    " Maui ",   "A<br>B",  "<br>C<br>",  "<img src=\"t.jpg\">",
    " - ", "D<BR><p>E", "F\r\n - ", "G<br/>H", "I <b>J</b>", "\xc9t\xe9"};

template <std::size_t N>
const char* Pick(std::mt19937& random, const char* const (&from)[N]) {
  return from[random() % N];  // mt19937 is the same everywhere, so a seed replays anywhere
}

// A well-formed anchor, in one of the forms a gallery writes, or with one of its parts missing.
std::string Anchor(std::mt19937& random) {
  const unsigned shape = random() % 8;
  const std::string target = Pick(random, kTargets);
  const std::string caption = Pick(random, kCaptions);
  switch (shape) {
    case 0:
      return "<A HREF=\"" + target + "\">" + caption + "</A>";
    case 1:
      return "<a name=\"n\" href=\"" + target + "\">" + caption + "</a>";
    case 2:
      return "<a href=" + target + ">" + caption + "</a>";  // unquoted
    case 3:
      return "<a href=\"" + target + "\">" + caption;  // not closed
    case 4:
      return "<a title=\"" + target + "\">" + caption + "</a>";  // no href
    case 5:
      return "<a href=\"" + target;  // cut off
    default:
      return "<a href=\"" + target + "\">" + caption + "</a>";
  }
}

// A sheet of random pieces: mostly fragments, some whole anchors, rarely a zero byte.
std::string RandomSheet(std::mt19937& random) {
  std::string sheet;
  const unsigned pieces = random() % 48;
  for (unsigned i = 0; i < pieces; ++i) {
    const unsigned kind = random() % 100;
    if (kind < 30) {
      sheet += Anchor(random);
    } else if (kind < 99) {
      sheet += Pick(random, kFragments);
    } else {
      sheet += '\0';
    }
  }
  return sheet;
}

// A small gallery with a few random edits: a byte dropped, doubled, case-flipped or replaced
// by a fragment. These stay close to the sheets users have.
std::string EditedGallery(std::mt19937& random) {
  std::string sheet = "<html><head><title>Trip</title></head><body>\n";
  const unsigned images = random() % 6;
  for (unsigned i = 0; i < images; ++i) {
    const std::string name = "img" + std::to_string(random() % 3) + ".jpg";
    sheet += "<a href=\"" + name + "\"><img src=\"tn/" + name + "\"></a><br>\n";
    sheet += "<a href=\"" + name + "\">Photo " + std::to_string(i) + "<br>day</a>\n";
  }
  sheet += "</body></html>\n";
  const unsigned edits = 1 + random() % 4;
  for (unsigned i = 0; i < edits; ++i) {
    const std::size_t at = random() % sheet.size();
    switch (random() % 4) {
      case 0:
        sheet.erase(at, 1);
        break;
      case 1:
        sheet.insert(at, 1, sheet[at]);
        break;
      case 2:
        sheet[at] = static_cast<char>(sheet[at] ^ 0x20);
        break;
      default:
        sheet.insert(at, Pick(random, kFragments));
        break;
    }
  }
  return sheet;
}

std::string RandomStartText(std::mt19937& random) {
  const char* const kStartTexts[] = {"/start/folder", "a.jpg", "A.JPG", ""};
  return Pick(random, kStartTexts);
}

constexpr std::uint32_t kSheets = 20000;

// Each batch must also reach the cases worth comparing, or agreement would prove little.
void ExpectReached(const Reach& reach, unsigned sheets) {
  std::printf("sheets %u: with an image %u, with two %u, with a title %u, target captions %u\n",
              sheets, reach.withImage, reach.withTwoImages, reach.withTitle, reach.captionIsTarget);
  EXPECT_GT(reach.withImage, sheets / 4);
  EXPECT_GT(reach.withTwoImages, sheets / 20);
  EXPECT_GT(reach.withTitle, sheets / 20);
  EXPECT_GT(reach.captionIsTarget, sheets / 20);
}

TEST(ScannerMatchesLiteralAlgorithm, OnRandomFragmentSheets) {
  Reach reach;
  for (std::uint32_t seed = 1; seed <= kSheets && !HasFailure(); ++seed) {
    std::mt19937 random(seed);
    const std::string sheet = RandomSheet(random);
    ExpectSameScan(sheet, RandomStartText(random), seed, reach);
  }
  ExpectReached(reach, kSheets);
}

TEST(ScannerMatchesLiteralAlgorithm, OnEditedGalleries) {
  Reach reach;
  for (std::uint32_t seed = 1; seed <= kSheets && !HasFailure(); ++seed) {
    std::mt19937 random(seed);
    const std::string sheet = EditedGallery(random);
    ExpectSameScan(sheet, RandomStartText(random), seed, reach);
  }
  ExpectReached(reach, kSheets);
}

// Runs of anchors that are rejected for every reason in turn, the case where a scanner that
// remembers what it found for one anchor could hand a stale find to the next.
TEST(ScannerMatchesLiteralAlgorithm, OnLongRunsOfRejectedAnchors) {
  const char* const kRejected[] = {
      "<a name=\"x\">",  "<a href=x.jpg>", "<a href=\"x.bmp\">", "<a href=\"a.jpg\">",
      "<A title=\"t\">", "<a >",           "<a href=\"no\">",    "text href=\"z.gif\" "};
  Reach reach;
  for (std::uint32_t seed = 1; seed <= kSheets / 4 && !HasFailure(); ++seed) {
    std::mt19937 random(seed);
    std::string sheet;
    const unsigned anchors = random() % 40;
    for (unsigned i = 0; i < anchors; ++i) sheet += Pick(random, kRejected);
    if (random() % 2) sheet += "<a href=\"end.png\">End</a>";
    ExpectSameScan(sheet, "a.jpg", seed, reach);
  }
  EXPECT_GT(reach.withImage, kSheets / 16);  // the last anchor is accepted in about half
}

// The oracle itself on the cases whose results are known, so both sides cannot drift together.
TEST(LiteralAlgorithm, ReadsTheKnownQuirks) {
  std::string last = "/start";
  const std::string swallow = R"(<a href="a.jpg">A <a href="b.jpg">B</a> <a href="c.jpg">C</a>)";
  std::size_t pos = LiteralFindNextImageLink(swallow, 0, last);
  std::string caption;
  pos = LiteralExtractCaption(swallow, pos, last, caption);
  EXPECT_EQ(caption, "A B");
  EXPECT_EQ(LiteralFindNextImageLink(swallow, pos, last), swallow.rfind('>', swallow.rfind('C')));
  EXPECT_EQ(last, "c.jpg");

  last = "/start";
  const std::string unquoted = R"(<a href="a.jpg">A</a> <a href=b.jpg>B</a> <a href=c.jpg>C</a>)";
  pos = LiteralFindNextImageLink(unquoted, 0, last);
  pos = LiteralExtractCaption(unquoted, pos, last, caption);
  EXPECT_EQ(LiteralFindNextImageLink(unquoted, pos, last), kNoPosition);

  last = "/start";
  const std::string thumb = "<a href=\"s.jpg\"><img src=\"t.jpg\"></a>";
  pos = LiteralFindNextImageLink(thumb, 0, last);
  LiteralExtractCaption(thumb, pos, last, caption);
  EXPECT_EQ(caption, "s.jpg");

  std::string title = "Index";
  EXPECT_EQ(LiteralExtractTitle("<title>Late</title><TITLE>Early", title), 11u);
  EXPECT_EQ(title, "Late");
  EXPECT_EQ(LiteralExtractTitle("<Title>none</Title>", title), kNoPosition);
  EXPECT_EQ(title, "Late");
}

}  // namespace

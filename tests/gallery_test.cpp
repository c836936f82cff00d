// A folder gallery's decisions without a folder: photo order, thumbnail names, link escapes,
// captions from metadata, the thumbnail's mark, and the sheet's text.
#include <gtest/gtest.h>

#include <algorithm>

#include "gallery/gallery_metadata.h"
#include "gallery/gallery_names.h"
#include "gallery/gallery_sheet.h"
#include "generation/link_targets.h"
#include "test_support.h"

namespace {

TEST(GalleryNames, NaturalOrderIgnoresCaseAndReadsDigitRunsAsNumbers) {
  std::vector<std::string> names = {"img_10.jpg", "IMG_9.jpg", "b.png", "IMG_009.jpg",
                                    "a2.gif",     "A10.gif",   "a.jpg", "IMG_9.JPG"};
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return NaturalLess(a, b); });
  EXPECT_EQ(names, (std::vector<std::string>{"a.jpg", "a2.gif", "A10.gif", "b.png", "IMG_009.jpg",
                                             "IMG_9.JPG", "IMG_9.jpg", "img_10.jpg"}));
}

TEST(GalleryNames, PhotosByExtensionInAnyCase) {
  for (const char* yes : {"a.jpg", "B.JPEG", "c.Png", "d.gif", "e.jpe", "x.y.jpg"})
    EXPECT_TRUE(IsPhotoName(yes)) << yes;
  for (const char* no : {".jpg", "a.bmp", "a.jpg.txt", "jpg", "a.html", "a.webp"})
    EXPECT_FALSE(IsPhotoName(no)) << no;
}

// Where the icon lookup looks: a shared base would find one thumbnail for both photos, so each of
// them gets the second choice; the thumbnails themselves are no photos.
TEST(GalleryNames, ThumbnailNamesAreWhereTheLookupFindsThemAndDistinct) {
  EXPECT_EQ(ThumbnailNames({"a.jpg", "a.png", "b.gif", "c.d.jpeg", "A.jpg"}),
            (std::vector<std::string>{"tn_a_jpg.jpg", "tn_a_png.jpg", "b_t.jpg", "c.d_t.jpg",
                                      "A_t.jpg"}));
  EXPECT_EQ(WithoutThumbnailsOfOthers(
                {"a.jpg", "a_t.jpg", "tn_b_png.jpg", "b.png", "c_t.jpg", "tn_x_jpg.jpg"}),
            (std::vector<std::string>{"a.jpg", "b.png", "c_t.jpg", "tn_x_jpg.jpg"}));
}

// A name escaped into a link comes back whole through the sheet run's own decoding, and nothing
// a browser reads otherwise stays bare.
TEST(GalleryNames, LinksDecodeBackToTheVeryName) {
  for (const std::string name :
       {"beach hut.jpg", "a#1.jpg", "100%.jpg", "R&D.jpg", "a<b>.jpg", "say \"hi\".jpg", "it's.jpg",
        "q?.jpg", "c:d.jpg", "back\\slash.jpg", "caf\xC3\xA9.jpg", "tab\t.jpg", "&amp;.jpg",
        "%41.jpg"}) {
    const std::string link = LinkToName(name);
    EXPECT_EQ(DecodeFileName(link), name) << link;
    EXPECT_EQ(DecodedLink(link), name) << link;
    EXPECT_EQ(link.find_first_of(" #&<>\"'?:\\\t\x80\xC3"), std::string::npos) << link;
  }
  EXPECT_EQ(LinkToName("beach hut.jpg"), "beach%20hut.jpg");
}

// EXIF with one entry: ImageDescription, its text at `offset` (or inline when short).
std::string Exif(bool bigEndian, const std::string& text) {
  const auto number = [bigEndian](unsigned value, int width) {
    std::string bytes;
    for (int i = 0; i < width; ++i) {
      const int shift = bigEndian ? 8 * (width - 1 - i) : 8 * i;
      bytes += static_cast<char>(value >> shift & 0xFF);
    }
    return bytes;
  };
  std::string exif = std::string("Exif\0\0", 6) + (bigEndian ? "MM" : "II") + number(42, 2) +
                     number(8, 4) + number(1, 2) + number(0x010E, 2) + number(2, 2) +
                     number(static_cast<unsigned>(text.size()) + 1, 4);
  if (text.size() + 1 <= 4) {
    exif += text + std::string(4 - text.size(), '\0');
  } else {
    exif += number(26, 4);
  }
  exif += number(0, 4);  // no next directory
  if (text.size() + 1 > 4) exif += text + '\0';
  return exif;
}

TEST(GalleryCaptions, DescriptionElseTitleElseFileName) {
  const std::string xmp =
      "<x:xmpmeta><rdf:Description><dc:description><rdf:Alt><rdf:li xml:lang=\"x-default\">"
      "Cliffs &amp; sea</rdf:li></rdf:Alt></dc:description><dc:title><rdf:Alt><rdf:li>Title"
      "</rdf:li></rdf:Alt></dc:title></rdf:Description></x:xmpmeta>";
  const std::string titleOnly = "<rdf:Description dc:title=\"Gulls &#233;\"/>";
  const struct {
    std::string exif, xmp, caption;
  } cases[] = {
      {Exif(false, "  Harbour at dawn \n"), xmp, "Harbour at dawn"},
      {Exif(true, "Big endian"), "", "Big endian"},
      {Exif(false, "Ok"), "", "Ok"},  // inline in its entry
      {Exif(false, "OLYMPUS DIGITAL CAMERA         "), xmp, "Cliffs & sea"},
      {Exif(false, "   "), titleOnly, "Gulls \xC3\xA9"},
      {Exif(false, "SONY DSC"), "", "IMG_0042.final"},
      {Exif(false, "Harbour").substr(0, 30), "", "IMG_0042.final"},  // cut short: not trusted
      {"", "<dc:description>unclosed", "IMG_0042.final"},
      {Exif(false, "Gulls\x7F"), "", "Gulls"},  // a control byte at the end goes with the blanks
  };
  for (const auto& c : cases)
    EXPECT_EQ(ChooseCaption(c.exif, c.xmp, "IMG_0042.final.jpg"), c.caption) << c.caption;
}

// What a re-run decides from: the mark read back from a thumbnail's first bytes, whole.
TEST(GalleryMark, ReadBackFromTheThumbnailAndRefusedFromOtherFiles) {
  ThumbnailMark mark;
  mark.photoSize = 4812345678ULL;
  mark.photoModified = 1700000000123456789LL;
  mark.edge = 240;
  mark.width = 240;
  mark.height = 180;
  mark.caption = "50% off; a=b \xC3\xA9 ";  // a blank at the end too
  const std::string jpeg = MarkedThumbnail(std::string("\xFF\xD8\xFF\xDB rest", 9), mark);
  ThumbnailMark read;
  ASSERT_TRUE(ReadThumbnailMark(jpeg, &read));
  EXPECT_EQ(read.photoSize, mark.photoSize);
  EXPECT_EQ(read.photoModified, mark.photoModified);
  EXPECT_EQ(read.edge, 240);
  EXPECT_EQ(read.width, 240);
  EXPECT_EQ(read.height, 180);
  EXPECT_EQ(read.caption, mark.caption);
  EXPECT_EQ(jpeg.substr(jpeg.size() - 7), std::string("\xFF\xDB rest", 7));
  EXPECT_NE(jpeg.find(kThumbnailMarker), std::string::npos);
  const auto handMade = [](const std::string& fields) {
    const std::string text = std::string(kThumbnailMarker) + fields;
    return std::string("\xFF\xD8\xFF\xFE", 4) + static_cast<char>((text.size() + 2) >> 8) +
           static_cast<char>((text.size() + 2) & 0xFF) + text;
  };
  EXPECT_TRUE(ReadThumbnailMark(
      handMade(" size=1; modified=-2; edge=240; width=1; height=1; caption=x"), &read));
  // Each field once, whole, its number within bounds: a mark that says otherwise is no mark.
  for (const std::string& other :
       {std::string("\xFF\xD8\xFF\xDB", 4), jpeg.substr(0, 40), std::string("GIF89a"),
        std::string(), handMade(" size=-1; modified=2; edge=240; width=1; height=1; caption=x"),
        handMade(" size=1; size=2; edge=240; width=1; height=1; caption=x"),
        handMade(" size=1; modified=2; edge=240; width=1; height=; caption=x"),
        handMade(" size=1; modified=2; edge=240; width=1; height=1")})
    EXPECT_FALSE(ReadThumbnailMark(other, &read));
  EXPECT_EQ(MarkedThumbnail("not a jpeg", mark), "");
}

// The sheet of a small folder in both styles, byte for byte.
TEST(GallerySheet, SmallFolderInBothStyles) {
  const std::vector<SheetEntry> entries = {
      {"beach hut.jpg", "beach hut_t.jpg", 240, 180, "Beach & hut"},
      {"broken.png", "", 0, 0, "broken"},
  };
  const std::string folder = KESTRUNE_GALLERY_EXPECTED;
  EXPECT_EQ(GallerySheetText(ClassicPages, "Trip <1>", entries), ReadWholeFile(folder + "/classic.html"));
  EXPECT_EQ(GallerySheetText(ModernPages, "Trip <1>", entries), ReadWholeFile(folder + "/modern.html"));
}

}  // namespace

// A folder gallery's decisions without a folder: photo order, thumbnail names, link escapes,
// captions from metadata, the thumbnail's mark, and the sheet's text.
#include <gtest/gtest.h>

#include <algorithm>

#include "gallery/folder_run.h"
#include "gallery/gallery_metadata.h"
#include "gallery/gallery_names.h"
#include "gallery/gallery_sheet.h"
#include "generation/generation.h"
#include "generation/generation_state.h"
#include "generation/link_targets.h"
#include "names/escapes.h"
#include "names/file_names.h"
#include "photos/photo_metadata.h"
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

// Photos of every kind kestrune reads, by extension in any case; a sheet's own image links are
// still only JPG, GIF and PNG, and browsers show all but HEIC, HEIF and TIFF themselves.
TEST(GalleryNames, PhotosByExtensionInAnyCase) {
  for (const char* yes : {"a.jpg", "B.JPEG", "c.Png", "d.gif", "e.jpe", "x.y.jpg", "IMG_1.HEIC",
                          "f.heif", "g.hif", "h.avif", "i.WebP", "j.tif", "k.TIFF"})
    EXPECT_TRUE(IsPhotoName(yes)) << yes;
  for (const char* no : {".jpg", "a.bmp", "a.jpg.txt", "jpg", "a.html", "a.cr2", "a.mov", ".heic"})
    EXPECT_FALSE(IsPhotoName(no)) << no;
  for (const char* sheet : {"a.jpg", "b.GIF", "c.png", "d.jpe", "e.jpeg"})
    EXPECT_TRUE(HasImageExtension(sheet) && BrowserShows(sheet)) << sheet;
  for (const char* photo : {"a.webp", "b.avif"})
    EXPECT_TRUE(!HasImageExtension(photo) && BrowserShows(photo)) << photo;
  for (const char* copied : {"a.heic", "b.HEIF", "c.hif", "d.tif", "e.tiff"})
    EXPECT_TRUE(!HasImageExtension(copied) && !BrowserShows(copied)) << copied;
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
    EXPECT_EQ(DecodePercentEscapes(link), name) << link;
    EXPECT_EQ(link.find_first_of(" #&<>\"'?:\\\t\x80\xC3"), std::string::npos) << link;
  }
  EXPECT_EQ(LinkToName("beach hut.jpg"), "beach%20hut.jpg");
}

// EXIF with its ImageDescription, and Make and Model when given: each text behind the directory
// (or inline in its entry when short).
std::string Exif(bool bigEndian, const std::string& text, const std::string& make = "",
                 const std::string& model = "") {
  const auto number = [bigEndian](unsigned value, int width) {
    std::string bytes;
    for (int i = 0; i < width; ++i) {
      const int shift = bigEndian ? 8 * (width - 1 - i) : 8 * i;
      bytes += static_cast<char>(value >> shift & 0xFF);
    }
    return bytes;
  };
  std::vector<std::pair<unsigned, std::string>> fields = {{0x010E, text}};
  if (!make.empty()) fields.push_back({0x010F, make});
  if (!model.empty()) fields.push_back({0x0110, model});
  const auto count = static_cast<unsigned>(fields.size());
  std::string entries, data;
  for (const auto& [tag, value] : fields) {
    const auto size = static_cast<unsigned>(value.size()) + 1;
    entries += number(tag, 2) + number(2, 2) + number(size, 4);
    if (size <= 4) {
      entries += value + std::string(4 - value.size(), '\0');
    } else {
      entries += number(8 + 2 + 12 * count + 4 + static_cast<unsigned>(data.size()), 4);
      data += value + '\0';
    }
  }
  return std::string("Exif\0\0", 6) + (bigEndian ? "MM" : "II") + number(42, 2) + number(8, 4) +
         number(count, 2) + entries + number(0, 4) + data;  // no next directory
}

// A JPEG segment: marker and payload behind its length.
std::string Segment(unsigned char marker, const std::string& payload) {
  const std::size_t length = payload.size() + 2;
  return std::string{'\xFF', static_cast<char>(marker), static_cast<char>(length >> 8),
                     static_cast<char>(length & 0xFF)} +
         payload;
}

// What is read of a photo's own bytes where no library reads it alike on every system: the
// orientation, the metadata blocks of a JPEG and a PNG, the size a header claims, a JPEG cut short.
TEST(PhotoMetadata, OrientationBlocksSizeAndEnd) {
  std::string turned = Exif(true, "Harbour");
  turned[6 + 11] = 0x12;  // the entry's tag: 0x010E -> 0x0112 (orientation), type SHORT, value 6
  turned[6 + 13] = 3;
  turned.replace(6 + 14, 8, std::string("\0\0\0\1\0\6\0\0", 8));
  EXPECT_EQ(ExifOrientation(turned), 6);
  std::string sideways = turned;
  sideways[6 + 19] = 9;  // outside 1-8
  EXPECT_EQ(ExifOrientation(sideways), 1);
  EXPECT_EQ(ExifOrientation(turned.substr(0, 20)), 1);  // cut short
  EXPECT_EQ(ExifOrientation(Exif(false, "Harbour")), 1);

  const std::string xmp = "<dc:title>Pier</dc:title>";
  const std::string frame("\x08\x0B\xB8\x0F\xA0\x03", 6);  // 4000 x 3000, 3 components
  const std::string jpeg = std::string("\xFF\xD8", 2) + Segment(0xE0, "JFIF") +
                           Segment(0xE1, turned) +
                           Segment(0xE1, std::string("http://ns.adobe.com/xap/1.0/\0", 29) + xmp) +
                           Segment(0xC0, frame) + Segment(0xDA, "scan") + "\x12\xFF\xD9";
  std::string exif, packet;
  FindPhotoMetadata(jpeg, &exif, &packet);
  EXPECT_EQ(exif, turned);
  EXPECT_EQ(packet, xmp);
  long long width = 0, height = 0;
  EXPECT_TRUE(PhotoPixelSize(jpeg, &width, &height));
  EXPECT_EQ(width * 10000 + height, 4000LL * 10000 + 3000);
  EXPECT_TRUE(JpegEndsWhole(jpeg));
  EXPECT_FALSE(JpegEndsWhole(jpeg.substr(0, jpeg.size() - 1)));
  FindPhotoMetadata(jpeg.substr(0, 30), &exif, &packet);  // the EXIF segment cut short
  EXPECT_EQ(exif + packet, "");

  const auto chunk = [](const std::string& type, const std::string& data) {
    const std::size_t n = data.size();
    return std::string{'\0', '\0', static_cast<char>(n >> 8), static_cast<char>(n & 0xFF)} + type +
           data + "CRC!";
  };
  const std::string png =
      std::string("\x89PNG\r\n\x1A\n", 8) +
      chunk("IHDR", std::string("\0\x01\x86\xA0\0\x01\x86\xA0\x08\x02\0\0\0", 13)) +
      chunk("eXIf", turned.substr(6)) +
      chunk("iTXt", std::string("XML:com.adobe.xmp\0\0\0\0\0", 22) + xmp) + chunk("IEND", "");
  FindPhotoMetadata(png, &exif, &packet);
  EXPECT_EQ(ExifOrientation(exif), 6);
  EXPECT_EQ(packet, xmp);
  EXPECT_TRUE(PhotoPixelSize(png, &width, &height));
  EXPECT_EQ(width * height, 100000LL * 100000);
  // WebP: chunks with little-endian lengths, one of odd length padded to an even one.
  const auto riff = [](const std::string& type, const std::string& data) {
    const std::size_t n = data.size();
    return type + std::string{static_cast<char>(n & 0xFF), static_cast<char>(n >> 8), '\0', '\0'} +
           data + (n % 2 == 1 ? std::string(1, '\0') : "");
  };
  const std::string chunks = riff("VP8X", std::string(10, '\0')) + riff("ICCP", "odd") +
                             riff("EXIF", turned.substr(6)) + riff("XMP ", xmp);
  const std::string webp = "RIFF" + std::string(4, '\0') + "WEBP" + chunks;
  FindPhotoMetadata(webp, &exif, &packet);
  EXPECT_EQ(ExifOrientation(exif), 6);
  EXPECT_EQ(packet, xmp);
  FindPhotoMetadata(webp.substr(0, webp.size() - 2), &exif, &packet);  // XMP chunk cut short
  EXPECT_EQ(ExifOrientation(exif) * 1000 + static_cast<int>(packet.size()), 6000);
  EXPECT_TRUE(PhotoPixelSize(std::string("GIF89a\x64\0\x50\0", 10), &width, &height));
  EXPECT_EQ(width * 1000 + height, 100 * 1000 + 80);
  EXPECT_FALSE(PhotoPixelSize("just some text", &width, &height));
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
      {Exif(false, "Ok"), "", "Ok"},   // inline in its entry
      {Exif(true, "Pie"), "", "Pie"},  // inline too: three letters and the zero fill all four
      {Exif(false, "OLYMPUS DIGITAL CAMERA         ", "OLYMPUS IMAGING CORP."), xmp,
       "Cliffs & sea"},
      {Exif(false, "   "), titleOnly, "Gulls \xC3\xA9"},
      {"",
       "<tiff:Make>OLYMPUS</tiff:Make><dc:description> OLYMPUS DIGITAL CAMERA </dc:description>"
       "<dc:title>Quay</dc:title>",
       "Quay"},  // boilerplate padded with blanks is still boilerplate: the title speaks
      {Exif(false, "SONY DSC", "SONY"), "", "IMG_0042.final"},
      {Exif(false, "Harbour").substr(0, 30), "", "IMG_0042.final"},  // cut short: not trusted
      {"", "<dc:description>unclosed", "IMG_0042.final"},
      {Exif(false, "Gulls\x7F"), "", "Gulls"},  // a control byte at the end goes with the blanks
  };
  for (const auto& c : cases)
    EXPECT_EQ(ChooseCaption(c.exif, c.xmp, "IMG_0042.final.jpg"), c.caption) << c.caption;
}

// What a re-run decides from: the mark read back from a thumbnail's first bytes, whole.
// A description that only names the camera, by its make and model or the words cameras write
// for any photo, is no caption; one that says anything more is.
TEST(GalleryCaptions, DescriptionNamingOnlyTheCameraIsNoCaption) {
  const struct {
    std::string description, make, model;
    bool caption;
  } cases[] = {
      {"SANYO DIGITAL CAMERA", "SANYO Electric Co.,Ltd.", "VPC-E1090", false},
      {"  sanyo  digital camera ", "SANYO Electric Co.,Ltd.", "", false},
      {"<Digimax i50 MP3, Samsung #1 MP3>", "Samsung Techwin", "<Digimax i50 MP3>", false},
      {"Gran Turismo 5", "Sony Computer Entertainment", "Gran Turismo 5", false},
      {"WWL", "", "WWL", false},
      {"Exif_JPEG_PICTURE", "", "", false},
      {"Sanyo beach 2019", "SANYO Electric Co.,Ltd.", "", true},
      {"2019", "SANYO", "", true},
      {"Caf\xC3\xA9 Samsung", "Samsung", "", true},
  };
  for (const auto& c : cases) {
    const std::string caption =
        ChooseCaption(Exif(true, c.description, c.make, c.model), "", "IMG_7.jpg");
    EXPECT_EQ(caption, c.caption ? c.description : "IMG_7") << c.description;
  }
  // The same rule for XMP, whose make and model stand in the packet: the title then captions.
  const std::string xmp =
      "<rdf:Description tiff:Make=\"Canon\" dc:description=\" CANON DIGITAL CAMERA \" "
      "dc:title=\"Harbour\"/>";
  EXPECT_EQ(ChooseCaption("", xmp, "IMG_7.jpg"), "Harbour");
}

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
      {"beach hut.jpg", "beach hut_t.jpg", 240, 180, "Beach & hut",
       "kestrune-copies/beach hut.jpg.480.jpg", 4000, 3000, "", 0, 0},
      {"broken.png", "", 0, 0, "broken", "", 0, 0, "cannot be decoded: \"PNG\" & <b>", 1234, -5678},
  };
  const std::string folder = KESTRUNE_GALLERY_EXPECTED;
  EXPECT_EQ(GallerySheetText(ClassicPages, "Trip <1>", entries),
            ReadWholeFile(folder + "/classic.html"));
  EXPECT_EQ(GallerySheetText(ModernPages, "Trip <1>", entries),
            ReadWholeFile(folder + "/modern.html"));
}

// Runs the galleries of `folders` (relative to the working folder) in one sequence, as the window
// procedure drives it, on a record fresh as at start-up; the status the run would end with.
int RunFolderSequence(const std::vector<std::string>& folders, const PageStyle& style) {
  State = GenerationState{};
  State.Style = &style;
  State.StartFolder = GetWorkingFolder();
  testing::internal::CaptureStderr();
  bool ended = false;
  if (BeginFolderRun(folders, style, State.StartFolder)) {
    FolderStep step;
    while ((step = StepFolderRun()) == FolderStep::More) {
    }
    ended = step == FolderStep::Done;
  }
  testing::internal::GetCapturedStderr();
  FinishGeneration();
  SetWorkingFolder(State.StartFolder);
  return ended && !FolderRunFailed() && !State.FailureReported ? 0 : 1;
}

// Two folders of small photos whose thumbnails are the user's (used as they are, and the photos
// too small for any copy: no decoder runs).
void WriteTwoFolders(const ScratchFolder& root) {
  const std::string examples = KESTRUNE_EXAMPLES;
  const std::pair<const char*, const char*> photos[] = {
      {"one/a.jpg", "boats.jpg"}, {"one/b.gif", "gulls.gif"}, {"two/c d.png", "dunes.png"}};
  for (const auto& [file, example] : photos)
    root.Write(file, ReadWholeFile(examples + "/" + example));
  for (const char* file : {"one/a_t.jpg", "one/b_t.jpg", "two/c d_t.jpg"}) root.Write(file, "t");
}

// Several folders in one process: each gets exactly what a run of it alone gives, so nothing of
// one folder (its working folder, title, photos, progress) stays behind for the next.
TEST(FolderRuns, SeveralFoldersInOneProcessEachAsARunOfItAlone) {
  const std::string start = GetWorkingFolder();
  ScratchFolder together, alone;
  WriteTwoFolders(together);
  WriteTwoFolders(alone);
  ASSERT_TRUE(SetWorkingFolder(together.path()));
  EXPECT_EQ(RunFolderSequence({"one", "two/"}, ModernPages), 0);
  EXPECT_EQ(FolderRunProgress(), "");
  ASSERT_TRUE(SetWorkingFolder(alone.path()));
  EXPECT_EQ(RunFolderSequence({"two"}, ModernPages), 0);
  EXPECT_EQ(RunFolderSequence({"one"}, ModernPages), 0);
  SetWorkingFolder(start);
  const std::vector<std::string> files = ListFiles(together.path());
  EXPECT_EQ(files, ListFiles(alone.path()));
  EXPECT_TRUE(Contains(together.Read("two/index.html"), "<title>two</title>"));
  for (const std::string& file : files) EXPECT_EQ(together.Read(file), alone.Read(file)) << file;
}

}  // namespace

// Runs on a folder of photos, as a user runs them: bad photos, the slide show against a sheet
// run of the sheet written, re-runs, --clean, and a signal midway.
#include <signal.h>
#include <sys/inotify.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "cli_support.h"

namespace {

const std::string kExamples = KESTRUNE_EXAMPLES;
const std::string kHeifMaker = KESTRUNE_HEIF_MAKER;  // empty where libheif is missing

void CopyPhoto(const std::string& example, const std::string& to) {
  fs::copy_file(kExamples + "/" + example, to, fs::copy_options::overwrite_existing);
}

std::string BigEndian(unsigned long v) {
  return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                     static_cast<char>(v >> 8), static_cast<char>(v)};
}

// A PNG chunk of `type` and `data`, its length and checksum right.
std::string PngChunk(const std::string& type, const std::string& data) {
  unsigned long c = 0xFFFFFFFFUL;
  for (unsigned char byte : type + data) {
    c ^= byte;
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320UL & (0UL - (c & 1)));
  }
  return BigEndian(data.size()) + type + data + BigEndian(c ^ 0xFFFFFFFFUL);
}

// A PNG of width x height of 8-bit samples of `colourType` (2 RGB, 6 RGBA), `zlib` its pixels.
std::string Png(unsigned width, unsigned height, char colourType, const std::string& zlib) {
  return std::string("\x89PNG\r\n\x1A\n", 8) +
         PngChunk("IHDR", BigEndian(width) + BigEndian(height) + '\x08' + colourType +
                              std::string(3, '\0')) +
         PngChunk("IDAT", zlib) + PngChunk("IEND", "");
}

// A PNG whose header claims width x height pixels, its checksums right, with one byte of pixels.
std::string PngClaiming(unsigned width, unsigned height) {
  return Png(width, height, 2, std::string("\x78\x01\x01\x01\x00\xFE\xFF\x00\x00\x01\x00\x01", 12));
}

// A PNG of 64x32 pixels, red on its left half, its right half transparent (stored uncompressed).
std::string HalfClearPng() {
  std::string rows;
  for (int y = 0; y < 32; ++y) {
    rows += '\0';  // no filter
    for (int x = 0; x < 64; ++x)
      rows += x < 32 ? std::string("\xF0\x10\x10\xFF", 4) : std::string(4, '\0');
  }
  unsigned long a = 1, b = 0;
  for (unsigned char byte : rows) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  const std::size_t n = rows.size();  // one stored block: under 64 KiB
  const std::string block{'\x01', static_cast<char>(n & 0xFF), static_cast<char>(n >> 8),
                          static_cast<char>(~n & 0xFF), static_cast<char>((~n >> 8) & 0xFF)};
  return Png(64, 32, 6, "\x78\x01" + block + rows + BigEndian((b << 16) | a));
}

const char kNeedsVips[] = "vips (libvips-tools) is needed to make the photos";

// A JPEG drawn by vips from a picture `width` x `height` whose left half is `left` and right half
// `right` (RGB bytes); empty when vips cannot be run.
std::string DrawnJpeg(int width, int height, const std::string& left, const std::string& right) {
  std::string ppm = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) ppm += x < width / 2 ? left : right;
  ScratchFolder scratch;
  scratch.Write("drawn.ppm", ppm);
  const ProgramResult made =
      RunProgram("/usr/bin/vips", {"copy", scratch / "drawn.ppm", scratch / "drawn.jpg"}, "/");
  return made.status == 0 ? scratch.Read("drawn.jpg") : std::string();
}

const std::string kRed("\xF0\x10\x10", 3), kBlue("\x10\x10\xF0", 3);

// `jpeg` with a segment (marker, payload) right behind its start-of-image marker.
std::string WithSegment(const std::string& jpeg, unsigned char marker, const std::string& payload) {
  const std::size_t length = payload.size() + 2;
  return jpeg.substr(0, 2) +
         std::string{'\xFF', static_cast<char>(marker), static_cast<char>(length >> 8),
                     static_cast<char>(length & 0xFF)} +
         payload + jpeg.substr(2);
}

// A big-endian EXIF block of one field, whose value fits in its 12-byte entry.
std::string OneFieldExif(const std::string& entry) {
  return std::string("Exif\0\0MM\0\x2A\0\0\0\x08\0\x01", 16) + entry + std::string(4, '\0');
}

// An image as vips decodes it, in sRGB: its size and its pixels (3 bytes each, rows top down).
struct Picture {
  int width = 0, height = 0;
  std::string rgb;
};

Picture Decoded(const std::string& image) {
  ScratchFolder scratch;
  Picture picture;
  if (RunProgram("/usr/bin/vips", {"colourspace", image, scratch / "p.ppm", "srgb"}, "/").status !=
      0)
    return picture;
  const std::string ppm = scratch.Read("p.ppm");
  std::size_t at = ppm.find('\n') + 1;  // past "P6", then past the comments vips writes
  while (at > 0 && at < ppm.size() && ppm[at] == '#') at = ppm.find('\n', at) + 1;
  if (at > 0 && std::sscanf(ppm.c_str() + at, "%d %d", &picture.width, &picture.height) == 2 &&
      ppm.size() > 3u * picture.width * picture.height)
    picture.rgb = ppm.substr(ppm.size() - 3u * picture.width * picture.height);
  return picture;
}

// A picture's pixel {red, green, blue}; -1s where there is none.
std::array<int, 3> RgbAt(const Picture& picture, int x, int y) {
  if (x < 0 || y < 0 || x >= picture.width || y >= picture.height || picture.rgb.empty())
    return {-1, -1, -1};
  const auto byte = [&picture](std::size_t at) {
    return static_cast<unsigned char>(picture.rgb[at]);
  };
  const std::size_t at = 3u * (static_cast<std::size_t>(y) * picture.width + x);
  return {byte(at), byte(at + 1), byte(at + 2)};
}

// The colour of a picture's pixel: 'r' red, 'b' blue, 'w' white, '?' anything else or none.
char ColourAt(const Picture& picture, int x, int y) {
  const auto [r, g, b] = RgbAt(picture, x, y);
  if (g < 80 && r > 180 && b < 80) return 'r';
  if (g < 80 && b > 180 && r < 80 && r >= 0) return 'b';
  if (r > 240 && g > 240 && b > 240) return 'w';
  return '?';
}

bool Vips(const std::vector<std::string>& arguments) {
  return RunProgram("/usr/bin/vips", arguments, "/").status == 0;
}

// The colour profile a JPEG carries in one APP2 segment, empty when none.
std::string ProfileOf(const std::string& jpeg) {
  const std::size_t name = jpeg.find(std::string("ICC_PROFILE\0", 12));
  if (name == std::string::npos || name < 2) return "";
  const std::size_t length = static_cast<unsigned char>(jpeg[name - 2]) * 256u +
                             static_cast<unsigned char>(jpeg[name - 1]);
  return length < 16 ? "" : jpeg.substr(name + 14, length - 16);
}

std::string Sheet(const ScratchFolder& folder) {
  return folder.Read("index.html");
}

// The regular files that are not slide-show pages, thumbnails or the sheet: the user's.
std::map<std::string, std::string> UsersFiles(const std::string& folder) {
  std::map<std::string, std::string> files = Snapshot(folder);
  for (auto it = files.begin(); it != files.end();) {
    const std::string& name = it->first;
    const bool ours = name == "index.html" || name == "allin1.html" ||
                      name.find(".htm") != std::string::npos ||
                      Contains(it->second, "Kestrune thumbnail 1;");
    it = ours ? files.erase(it) : std::next(it);
  }
  return files;
}

// Each bad photo gets one record naming it, the run goes on and ends with status 1; a regular
// file that cannot be decoded is still listed, without a thumbnail; no photo is changed. A file
// whose content is no photo (SVG, PDF, the matrices libvips reads from text) reaches no reader:
// it is refused by its kind, whatever its name.
std::set<std::string> PhotosOpened(int watch);

TEST(FolderRun, BadPhotosEachToldOnceAndTheRestMade) {
  ScratchFolder outside;
  outside.Write("secret.jpg", "outside");
  ScratchFolder folder;
  CopyPhoto("boats.jpg", folder / "good.jpg");
  const std::string jpeg = ReadWholeFile(kExamples + "/harbour.jpg");
  folder.Write("truncated.jpg", jpeg.substr(0, jpeg.size() / 2));
  folder.Write("zero.jpg", "");
  folder.Write("text.jpg", "just some text\n");
  folder.Write("huge.png", PngClaiming(100000, 100000));
  folder.Write("wraps.png", PngClaiming(65536, 65536));  // 2^32 pixels: 0 when counted in 32 bits
  folder.Write("unreadable.jpg", jpeg);
  ::chmod((folder / "unreadable.jpg").c_str(), 0);
  MakeFifo(folder / "fifo.jpg");
  MakeSymlink(outside / "secret.jpg", folder / "out.jpg");
  for (const char* unused : {"IMG_0001.CR2", "clip.mov", ".hidden"}) folder.Write(unused, "x");
  // Files whose content only a reader that is not for photos would take, named as photos.
  folder.Write("drawing.heic",
               "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"40\" height=\"20\"/>");
  folder.Write("document.heic",
               "%PDF-1.4\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj 2 0 obj<</Type/Pages"
               "/Kids[3 0 R]/Count 1>>endobj 3 0 obj<</Type/Page/Parent 2 0 R/MediaBox[0 0 40 20]"
               ">>endobj\ntrailer<</Root 1 0 R>>\n%%EOF\n");
  folder.Write("numbers.jpg", "2 2\n0 255\n255 0\n");  // a matrix, as libvips reads text
  HandOver(folder.path(), kUnprivilegedUser);
  const auto before = UsersFiles(folder.path());

  const ProgramResult result = RunKestrune({folder.path()}, "/", kUnprivilegedUser);
  EXPECT_EQ(result.status, 1);
  // The files that are no photos, in one line (a hidden one is no file the user shows).
  EXPECT_TRUE(Contains(result.err,
                       ": 2 files not shown, no photo kestrune reads: clip.mov, "
                       "IMG_0001.CR2\n"))
      << result.err;
  for (const char* bad :
       {"truncated.jpg", "zero.jpg", "text.jpg", "huge.png", "wraps.png", "unreadable.jpg",
        "fifo.jpg", "out.jpg", "drawing.heic", "document.heic", "numbers.jpg"}) {
    std::size_t told = 0;
    for (std::size_t at = 0;
         (at = result.err.find(std::string("\n") + bad + ": ", at)) != std::string::npos; ++at)
      ++told;
    if (result.err.rfind(std::string(bad) + ": ", 0) == 0) ++told;
    EXPECT_EQ(told, 1u) << bad << " in\n" << result.err;
  }
  for (const char* refused : {"huge.png: Could not make a thumbnail: claims 100000x100000",
                              "wraps.png: Could not make a thumbnail: claims 65536x65536",
                              "drawing.heic: Could not make a thumbnail: not a photo kestrune "
                              "reads: its content is SVG",
                              "numbers.jpg: Could not make a thumbnail: not a photo kestrune "
                              "reads: its content is MATRIX",
                              "document.heic: Could not make a thumbnail: not a photo that can "
                              "be decoded"})
    EXPECT_TRUE(Contains(result.err, refused)) << refused << " in\n" << result.err;
  const std::string sheet = Sheet(folder);
  EXPECT_TRUE(Contains(sheet, "<img src=\"good_t.jpg\" width=\"240\""));
  for (const char* listed : {"zero.jpg", "text.jpg", "huge.png", "truncated.jpg", "drawing.heic",
                             "document.heic", "numbers.jpg"})
    EXPECT_TRUE(Contains(sheet, std::string("(could not be read)<br><a href=\"") + listed))
        << listed;
  EXPECT_FALSE(Contains(sheet, "fifo.jpg"));
  EXPECT_FALSE(Contains(sheet, "out.jpg"));
  EXPECT_TRUE(folder.Exists("good.htm") && folder.Exists("zero.html"));
  EXPECT_EQ(UsersFiles(folder.path()), before);
  EXPECT_EQ(outside.Read("secret.jpg"), "outside");

  // Again, unchanged: each bad photo told and listed once more, none of them decoded again.
  const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(::inotify_add_watch(watch, folder.path().c_str(), IN_OPEN), 0);
  const ProgramResult again = RunKestrune({folder.path()}, "/", kUnprivilegedUser);
  EXPECT_EQ(again.status, 1);
  EXPECT_TRUE(Contains(again.err, "truncated.jpg: Could not make a thumbnail: ")) << again.err;
  EXPECT_EQ(PhotosOpened(watch), std::set<std::string>{});
  ::close(watch);
  EXPECT_TRUE(Contains(Sheet(folder), "(could not be read)<br><a href=\"truncated.jpg\""));
}

// The width and height of each image, as vips reads their headers: "WxH" each, in one run.
std::vector<std::string> SizesOf(const std::vector<std::string>& images) {
  std::istringstream lines(RunProgram("/usr/bin/vipsheader", images, "/").out);
  std::vector<std::string> sizes;
  for (std::string line; std::getline(lines, line);) {
    const std::size_t at = line.rfind(": ");
    sizes.push_back(at == std::string::npos ? line
                                            : line.substr(at + 2, line.find(' ', at + 2) - at - 2));
  }
  return sizes;
}

// A camera-sized photo gets its copies for screens, and a TIFF (which browsers cannot show) also
// the one that holds it whole at its own size, which its slides show; a re-run decodes and writes
// nothing; a photo gone takes its copies along, and the copies' folder goes once empty.
TEST(FolderRun, CopiesAreMadeOnceAtTheSizesThePhotoCallsFor) {
  ScratchFolder folder;
  if (RunProgram("/usr/bin/vips", {"black", folder / "big.jpg", "3000", "2000"}, "/").status != 0)
    GTEST_SKIP() << kNeedsVips;
  ASSERT_EQ(RunProgram("/usr/bin/vips", {"black", folder / "scan.tif", "1000", "800"}, "/").status,
            0);
  const ProgramResult first = RunKestrune({"--modern", folder.path()}, "/");
  ASSERT_EQ(first.status, 0) << first.err;
  const std::map<std::string, std::string> sizes = {
      {"big_t.jpg", "240x160"},
      {"kestrune-copies/big.jpg.480.jpg", "480x320"},
      {"kestrune-copies/big.jpg.1280.jpg", "1280x854"},
      {"kestrune-copies/big.jpg.2560.jpg", "2560x1707"},
      {"scan_t.jpg", "240x192"},
      {"kestrune-copies/scan.tif.480.jpg", "480x384"},
      {"kestrune-copies/scan.tif.1280.jpg", "1000x800"}};
  std::vector<std::string> images, expected;
  for (const auto& [name, size] : sizes) {
    images.push_back(folder / name);
    expected.push_back(size);
  }
  EXPECT_EQ(SizesOf(images), expected);
  EXPECT_FALSE(folder.Exists("kestrune-copies/scan.tif.2560.jpg"));
  EXPECT_TRUE(Contains(folder.Read("big.htm"),
                       "srcset=\"kestrune-copies/big.jpg.1280.jpg 1280w, "
                       "kestrune-copies/big.jpg.2560.jpg 2560w, big.jpg 3000w\""));
  EXPECT_TRUE(Contains(folder.Read("scan.htm"),
                       "src=\"kestrune-copies/scan.tif.1280.jpg\" "
                       "srcset=\"kestrune-copies/scan.tif.1280.jpg 1000w\""));

  const auto made = Snapshot(folder.path());
  const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(::inotify_add_watch(watch, folder.path().c_str(), IN_OPEN), 0);
  ASSERT_EQ(RunKestrune({"--modern", folder.path()}, "/").status, 0);
  EXPECT_EQ(PhotosOpened(watch), std::set<std::string>{});
  ::close(watch);
  EXPECT_EQ(Snapshot(folder.path()), made);

  fs::remove(folder / "big.jpg");
  fs::remove(folder / "scan.tif");
  ASSERT_EQ(RunKestrune({"--modern", folder.path()}, "/").status, 1);  // no photos left
  EXPECT_EQ(RunKestrune({"--clean", folder.path()}, "/").status, 0);
  EXPECT_EQ(ListFiles(folder.path()), std::vector<std::string>{});
  EXPECT_FALSE(fs::exists(folder / "kestrune-copies"));
}

class FolderStyle : public testing::TestWithParam<bool> {};

// The pages of a folder run are those a sheet run of the sheet it wrote makes; a re-run decodes
// nothing new; a photo gone takes its thumbnail and pages along; --clean leaves the folder as it
// was before the first run.
TEST_P(FolderStyle, SlideShowIsTheSheetRunsAndCleanRestoresTheFolder) {
  const bool modern = GetParam();
  ScratchFolder folder;
  for (const char* photo : {"boats.jpg", "gulls.gif", "pier.jpg", "SUNSET.JPG"})
    CopyPhoto(photo, folder / photo);
  CopyPhoto("kite.gif", folder / "photo 10 & more.gif");
  CopyPhoto("harbour.jpg", folder / "boats.png");
  const auto original = Snapshot(folder.path());
  std::vector<std::string> options;
  if (modern) options.push_back("--modern");
  auto arguments = options;
  arguments.push_back(folder.path() + "/");

  const ProgramResult first = RunKestrune(arguments, "/");
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(first.err, "");
  const auto made = Snapshot(folder.path());
  for (const char* thumbnail : {"tn_boats_jpg.jpg", "tn_boats_png.jpg", "gulls_t.jpg",
                                "photo 10 & more_t.jpg", "SUNSET_t.jpg"})
    EXPECT_TRUE(folder.Exists(thumbnail)) << thumbnail;

  // The same sheet, photos and thumbnails elsewhere, run as a contact sheet.
  ScratchFolder copy;
  for (const auto& [name, bytes] : made)
    if (name.find(".htm") == std::string::npos || name == "index.html") copy.Write(name, bytes);
  auto sheetArguments = options;
  sheetArguments.push_back("index.html");
  ASSERT_EQ(RunKestrune(sheetArguments, copy.path()).status, 0);
  EXPECT_EQ(Snapshot(copy.path()), made);

  // Unchanged: nothing rewritten but the pages; a photo gone: its files go too.
  ASSERT_EQ(RunKestrune(arguments, "/").status, 0);
  EXPECT_EQ(Snapshot(folder.path()), made);
  fs::remove(folder / "pier.jpg");
  ASSERT_EQ(RunKestrune(arguments, "/").status, 0);
  for (const char* gone : {"pier_t.jpg", "pier.htm", "pier.html"})
    EXPECT_FALSE(folder.Exists(gone)) << gone;
  EXPECT_FALSE(Contains(Sheet(folder), "pier"));

  const ProgramResult clean = RunKestrune({"--clean", folder.path()}, "/");
  EXPECT_EQ(clean.status, 0) << clean.out << clean.err;
  auto expected = original;
  expected.erase("pier.jpg");
  EXPECT_EQ(Snapshot(folder.path()), expected);
}

INSTANTIATE_TEST_SUITE_P(FolderRun, FolderStyle, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                           return info.param ? "Modern" : "Classic";
                         });

// A user's index.html, or a file of the user's under a thumbnail's name, is never replaced.
TEST(FolderRun, UsersSheetRefusedAndUsersThumbnailUsedAsItIs) {
  ScratchFolder folder;
  CopyPhoto("boats.jpg", folder / "boats.jpg");
  CopyPhoto("beach hut_t.jpg", folder / "boats_t.jpg");
  folder.Write("index.html", "<a href=\"boats.jpg\">mine</a>");
  const auto before = Snapshot(folder.path());
  const ProgramResult refused = RunKestrune({folder.path()}, "/");
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err, Record("/",
                                "index.html is not a contact sheet kestrune wrote: run "
                                "kestrune on it to make its slide show"));
  EXPECT_EQ(Snapshot(folder.path()), before);

  fs::remove(folder / "index.html");
  ASSERT_EQ(RunKestrune({folder.path()}, "/").status, 0);
  EXPECT_EQ(folder.Read("boats_t.jpg"), before.at("boats_t.jpg"));
  EXPECT_TRUE(Contains(Sheet(folder), "<img src=\"boats_t.jpg\" alt=\"boats\""));
}

// A photo rewritten at the same size, with another caption and a new modification time, gets
// its thumbnail (and the caption its mark keeps) made again: the size alone says nothing.
TEST(FolderRun, PhotoRewrittenAtTheSameSizeGetsItsThumbnailMadeAgain) {
  const std::string boats = ReadWholeFile(kExamples + "/boats.jpg");
  const auto captioned = [&boats](const std::string& threeLetters) {
    const std::string description = std::string("\x01\x0E\0\x02\0\0\0\x04", 8) + threeLetters;
    return WithSegment(boats, 0xE1, OneFieldExif(description + '\0'));
  };
  ScratchFolder folder;
  folder.Write("quay.jpg", captioned("Sun"));
  DateBack(folder / "quay.jpg");
  ASSERT_EQ(RunKestrune({folder.path()}, "/").status, 0);
  EXPECT_TRUE(Contains(Sheet(folder), ">Sun</a>"));
  const std::string stale = folder.Read("quay_t.jpg");
  folder.Write("quay.jpg", captioned("Fog"));  // modified now
  ASSERT_EQ(RunKestrune({folder.path()}, "/").status, 0);
  EXPECT_TRUE(folder.Read("quay_t.jpg") != stale) << "the thumbnail of the first photo was kept";
  EXPECT_TRUE(Contains(Sheet(folder), ">Fog</a>")) << Sheet(folder);
}

// A portrait stored on its side with EXIF orientation 6 (turn a quarter clockwise to show) and
// no colour profile: its thumbnail stands upright, taller than wide, the photo's top at its top.
TEST(FolderRun, PortraitIsTurnedUprightByItsOrientation) {
  // Stored 480x240, red left and blue right; shown 240x480, red above blue.
  const std::string stored = DrawnJpeg(480, 240, kRed, kBlue);
  if (stored.empty()) GTEST_SKIP() << kNeedsVips;
  ASSERT_EQ(stored.find("ICC_PROFILE"), std::string::npos);  // no colour profile
  const std::string orientation6("\x01\x12\0\x03\0\0\0\x01\0\x06\0\0", 12);
  ScratchFolder folder;
  folder.Write("portrait.jpg", WithSegment(stored, 0xE1, OneFieldExif(orientation6)));
  ASSERT_EQ(RunKestrune({folder.path()}, "/").status, 0);
  EXPECT_TRUE(Contains(Sheet(folder), "<img src=\"portrait_t.jpg\" width=\"120\" height=\"240\""))
      << Sheet(folder);
  const Picture thumbnail = Decoded(folder / "portrait_t.jpg");
  EXPECT_EQ(ColourAt(thumbnail, 60, 30), 'r');
  EXPECT_EQ(ColourAt(thumbnail, 60, 210), 'b');
}

// Photos as phones and cameras write them, through a whole folder run, each stored 320x160, red
// on the left and blue on the right: a HEIC turned by HEIF's rotation with an EXIF orientation
// saying the same (turned once, not twice), in Display P3, after a first image that is not the
// primary one; an AVIF turned the other way; a TIFF and a WebP turned by EXIF; a JPEG in Display
// P3; a PNG whose right half is transparent (64x32). Each thumbnail and copy stands upright at its
// size, in sRGB; the formats browsers cannot show (HEIC, TIFF) also get a copy at their own size.
TEST(FolderRun, PhotosOfEachFormatComeOutUprightInSrgb) {
  if (kHeifMaker.empty()) GTEST_SKIP() << "libheif (libheif-dev) is needed to make HEIC photos";
  const std::string stored = DrawnJpeg(320, 160, kRed, kBlue);
  if (stored.empty()) GTEST_SKIP() << kNeedsVips;
  ScratchFolder made, folder;  // what the photos are made from, then the photos
  made.Write("drawn.jpg", stored);
  const std::string orientation6("\x01\x12\0\x03\0\0\0\x01\0\x06\0\0", 12);
  made.Write("turned.jpg", WithSegment(stored, 0xE1, OneFieldExif(orientation6)));
  ASSERT_TRUE(Vips(
      {"icc_transform", made / "drawn.jpg", folder / "p3.jpg", "p3", "--input-profile", "srgb"}));
  made.Write("p3.icc", ProfileOf(folder.Read("p3.jpg")));
  ASSERT_TRUE(Vips({"copy", made / "turned.jpg", folder / "camera.tif"}));
  ASSERT_TRUE(Vips({"copy", made / "turned.jpg", folder / "web.webp"}));
  folder.Write("clear.png", HalfClearPng());
  const auto heif = [&folder](const std::vector<std::string>& arguments) {
    return RunProgram(kHeifMaker, arguments, folder.path()).status == 0;
  };
  ASSERT_TRUE(heif({"phone.heic", "320", "160", "orientation=6", "exif-orientation=6",
                    "icc=" + made / "p3.icc", "second-primary"}));
  ASSERT_TRUE(heif({"sideways.avif", "320", "160", "orientation=8"}));

  const ProgramResult run = RunKestrune({folder.path()}, "/");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string sheet = Sheet(folder);
  const struct {
    std::string photo;
    char top, bottom;  // shown upright: 160 wide, 320 high
    bool ownSizeCopy, inP3;
  } portraits[] = {{"phone.heic", 'r', 'b', true, true},
                   {"sideways.avif", 'b', 'r', false, false},
                   {"camera.tif", 'r', 'b', true, false},
                   {"web.webp", 'r', 'b', false, false}};
  for (const auto& photo : portraits) {
    SCOPED_TRACE(photo.photo);
    const std::string name = photo.photo.substr(0, photo.photo.find('.'));
    EXPECT_TRUE(Contains(sheet, "<img src=\"" + name + "_t.jpg\" width=\"120\" height=\"240\""));
    // Its largest copy, made from the same decode as the thumbnail: its own size, never enlarged.
    const std::string copies = folder / "kestrune-copies/" + photo.photo;
    EXPECT_EQ(PathExists(copies + ".1280.jpg"), photo.ownSizeCopy);
    const Picture copy = Decoded(copies + (photo.ownSizeCopy ? ".1280.jpg" : ".480.jpg"));
    EXPECT_EQ(copy.width, 160);
    EXPECT_EQ(copy.height, 320);
    EXPECT_EQ(ColourAt(copy, 80, 40), photo.top);
    EXPECT_EQ(ColourAt(copy, 80, 280), photo.bottom);
    // Display P3's red is redder than sRGB's: drawn in P3, converted, it is beyond sRGB's own
    // and clipped to it.
    const auto red = RgbAt(copy, 80, 40);
    if (photo.inP3) {
      EXPECT_TRUE(red[0] >= 250 && red[1] <= 8) << red[0] << "," << red[1];
    }
  }
  // Drawn in sRGB and turned into P3 by vips: converted back, sRGB's red again.
  const auto p3Red = RgbAt(Decoded(folder / "p3_t.jpg"), 60, 60);
  EXPECT_TRUE(p3Red[0] > 232 && p3Red[1] < 30) << p3Red[0] << "," << p3Red[1];
  const Picture clear = Decoded(folder / "clear_t.jpg");
  EXPECT_EQ(ColourAt(clear, 16, 16), 'r');
  EXPECT_EQ(ColourAt(clear, 48, 16), 'w');  // transparent: laid on white, not black
}

// --dry-run FOLDER tells each thumbnail's fate and the files of photos gone, changes nothing, and
// ends as the run would: a thumbnail of the user's is used, which is no failure.
TEST(FolderRun, DryRunSaysWhatTheRunWouldDoAndChangesNothing) {
  ScratchFolder folder;
  for (const char* photo : {"boats.jpg", "pier.jpg", "rockpool.jpg"})
    CopyPhoto(photo, folder / photo);
  ASSERT_EQ(RunKestrune({folder.path()}, "/").status, 0);
  CopyPhoto("harbour.jpg", folder / "pier.jpg");  // changed since
  fs::remove(folder / "rockpool.jpg");            // gone
  CopyPhoto("SUNSET.JPG", folder / "SUNSET.JPG");
  CopyPhoto("gulls.gif", folder / "gulls.gif");
  CopyPhoto("boats_t.jpg", folder / "gulls_t.jpg");  // the user's
  const auto before = Snapshot(folder.path());
  const ProgramResult dry = RunKestrune({"--dry-run", folder.path()}, "/");
  EXPECT_EQ(dry.status, 0) << dry.err;
  // Each photo's copies as its header's size calls for them: these are 320x240, so the thumbnail
  // for dense screens alone (none for the user's thumbnail), no screen copy.
  EXPECT_EQ(dry.out,
            "keep boats_t.jpg (up to date)\n"
            "keep kestrune-copies/boats.jpg.480.jpg (up to date)\n"
            "keep gulls_t.jpg (not written by kestrune)\n"
            "replace pier_t.jpg\n"
            "replace kestrune-copies/pier.jpg.480.jpg\n"
            "create SUNSET_t.jpg\n"
            "create kestrune-copies/SUNSET.JPG.480.jpg\n"
            "remove kestrune-copies/rockpool.jpg.480.jpg (its photo is gone)\n"
            "remove rockpool.htm (its photo is gone)\n"
            "remove rockpool.html (its photo is gone)\n"
            "remove rockpool_t.jpg (its photo is gone)\n"
            "replace index.html\n"
            "4 photos: 4 thumbnails and copies to make, 2 up to date, 1 kept; then the slide show "
            "of index.html (dry run: nothing written)\n");
  EXPECT_EQ(Snapshot(folder.path()), before);
}

// The names of the photos (".jpg", not thumbnails) that were opened while `watch` watched.
std::set<std::string> PhotosOpened(int watch) {
  std::set<std::string> opened;
  alignas(inotify_event) char buffer[1 << 16];
  ssize_t n;
  while ((n = ::read(watch, buffer, sizeof buffer)) > 0) {
    for (ssize_t at = 0; at < n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      EXPECT_EQ(event->mask & IN_Q_OVERFLOW, 0u);
      const std::string name = event->len > 0 ? event->name : "";
      if (name.size() > 4 && name.compare(name.size() - 4, 4, ".jpg") == 0 &&
          name.find("_t.") == std::string::npos)
        opened.insert(name);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
  return opened;
}

// A signal while thumbnails are made: the thumbnails in hand are finished and no photo is begun
// after them (no more photos are opened than the workers may hold: two a core ahead of the one
// written, and one in hand each), and the sheet and the slide show hold exactly the photos done,
// each with its complete thumbnail.
TEST(FolderRun, SignalMidwayLeavesTheSheetAndShowOfThePhotosDone) {
  ScratchFolder folder;
  const ProgramResult made =
      RunProgram("/usr/bin/vips", {"black", folder / "first.jpg", "3000", "2000"}, "/");
  if (made.status != 0) GTEST_SKIP() << kNeedsVips;
  const int photos = 300;
  for (int i = 2; i <= photos; ++i)
    fs::create_hard_link(folder / "first.jpg", folder / ("p" + std::to_string(i) + ".jpg"));
  // Each photo is opened once, by the thumbnail begun for it.
  const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(::inotify_add_watch(watch, folder.path().c_str(), IN_OPEN), 0);
  const ProgramResult result = RunKestrune({folder.path()}, "/", 0, [&](int pid) {
    for (int i = 0; i < 6000 && !folder.Exists("first_t.jpg"); ++i) ::usleep(10000);
    ::kill(pid, SIGTERM);
  });
  const std::size_t begun = PhotosOpened(watch).size();
  ::close(watch);
  EXPECT_EQ(result.status, 128 + SIGTERM) << result.err;
  const std::string sheet = Sheet(folder);
  std::size_t listed = 0;
  for (std::size_t at = 0;
       (at = sheet.find("<div class=\"photo\"><a href=", at)) != std::string::npos; ++at)
    ++listed;
  EXPECT_GE(listed, 1u);
  EXPECT_LT(listed, static_cast<std::size_t>(photos));
  const unsigned found = std::thread::hardware_concurrency();
  const std::size_t cores = std::min(found == 0 ? 2u : found, 8u);  // the program's own count
  EXPECT_GE(begun, listed);
  EXPECT_LE(begun, listed + 3 * cores) << "of " << photos << " photos";
  std::size_t thumbnails = 0, pages = 0;
  for (const std::string& name : ListFiles(folder.path())) {
    EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
    if (name.find("_t.jpg") != std::string::npos) ++thumbnails;
    if (name.size() > 5 && name.substr(name.size() - 5) == ".html" && name != "index.html" &&
        name != "allin1.html")
      ++pages;
  }
  EXPECT_EQ(thumbnails, listed);
  EXPECT_EQ(pages, listed);
  EXPECT_TRUE(Contains(result.err, "the slide show holds " + std::to_string(listed) + " images"));
}

}  // namespace

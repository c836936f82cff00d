// A tree of folders in, a tree of galleries out, as a user runs it: which folders are albums and
// what their sheets list, the way up, the order by when photos were taken, and re-runs.
#include <signal.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <chrono>
#include <set>

#include "cli_support.h"

namespace {

const std::string kExamples = KESTRUNE_EXAMPLES;

void PutPhoto(const ScratchFolder& root, const std::string& path, const std::string& example) {
  root.Write(path, ReadWholeFile(kExamples + "/" + example));
}

std::string BigEndian(unsigned value, int width) {
  std::string bytes;
  for (int i = width - 1; i >= 0; --i) bytes += static_cast<char>(value >> (8 * i) & 0xFF);
  return bytes;
}

// `jpeg` with an EXIF block that says it was taken at `when` ("2024:05:03 14:22:10"), with the
// offset from UTC `offset` ("+02:00") where given: DateTimeOriginal and OffsetTimeOriginal in the
// EXIF sub-directory, as cameras and phones write them.
std::string TakenAt(const std::string& jpeg, const std::string& when,
                    const std::string& offset = "") {
  const unsigned fields = offset.empty() ? 1 : 2;
  const unsigned sub = 8 + 2 + 12 + 4;  // behind IFD0's one entry
  const unsigned data = sub + 2 + 12 * fields + 4;
  std::string tiff = "MM" + BigEndian(42, 2) + BigEndian(8, 4) + BigEndian(1, 2) +
                     BigEndian(0x8769, 2) + BigEndian(4, 2) + BigEndian(1, 4) + BigEndian(sub, 4) +
                     BigEndian(0, 4) + BigEndian(fields, 2) + BigEndian(0x9003, 2) +
                     BigEndian(2, 2) + BigEndian(20, 4) + BigEndian(data, 4);
  if (!offset.empty())
    tiff += BigEndian(0x9011, 2) + BigEndian(2, 2) + BigEndian(7, 4) + BigEndian(data + 20, 4);
  tiff += BigEndian(0, 4) + when + std::string(1, '\0') + offset + std::string(1, '\0');
  const std::string payload = std::string("Exif\0\0", 6) + tiff;
  const std::size_t length = payload.size() + 2;
  return jpeg.substr(0, 2) + "\xFF\xE1" + static_cast<char>(length >> 8) +
         static_cast<char>(length & 0xFF) + payload + jpeg.substr(2);
}

// Every file below `folder` with its modification time: what a run rewrote changes it.
std::map<std::string, fs::file_time_type> Times(const std::string& folder) {
  std::map<std::string, fs::file_time_type> times;
  for (const std::string& name : ListFiles(folder))
    times[name] = fs::last_write_time(folder + "/" + name);
  return times;
}

// The files `after` holds that `before` does not hold alike, and those gone.
std::set<std::string> Changed(const std::map<std::string, fs::file_time_type>& before,
                              const std::map<std::string, fs::file_time_type>& after) {
  std::set<std::string> changed;
  for (const auto& [name, time] : after)
    if (before.count(name) == 0 || before.at(name) != time) changed.insert(name);
  for (const auto& [name, time] : before)
    if (after.count(name) == 0) changed.insert(name);
  return changed;
}

// The positions of `parts` in `text`, in the order given: true when each stands after the one
// before.
bool InOrder(const std::string& text, const std::vector<std::string>& parts) {
  std::size_t at = 0;
  for (const std::string& part : parts) {
    at = text.find(part, at);
    if (at == std::string::npos) return false;
  }
  return true;
}

// Which folders of a tree are albums (and which are left out, and said so once), what each sheet
// lists (its albums first: cover, name, photos in all, days), the way up from each, and that an
// album's modern pages are a sheet run's of the sheet it wrote.
TEST(Albums, WhichFoldersAreAlbumsAndWhatTheirSheetsList) {
  ScratchFolder root;
  const std::string top = "Pictures";
  PutPhoto(root, top + "/a.jpg", "boats.jpg");
  PutPhoto(root, top + "/2024/Rome/r1.jpg", "pier.jpg");
  PutPhoto(root, top + "/2024/Rome/r2.jpg", "harbour.jpg");
  PutPhoto(root, top + "/2024/Paris/p1.jpg", "rockpool.jpg");
  PutPhoto(root, top + "/2025/Kids/k1.gif", "gulls.gif");
  PutPhoto(root, top + "/.hidden/h.jpg", "boats.jpg");
  PutPhoto(root, top + "/@eaDir/e.jpg", "boats.jpg");
  root.Write(top + "/notes/notes.txt", "no photos here");
  root.Write(top + "/2024/Rome/clip.mov", "a video");
  PutPhoto(root, top + "/mine/m.jpg", "boats.jpg");
  root.Write(top + "/mine/index.html", "the user's own page");
  MakeSymlink("..", root / (top + "/2024/loop"));
  std::string deep = top + "/2025/Kids";
  for (int level = 0; level < 16; ++level) deep += "/d";
  PutPhoto(root, deep + "/deep.jpg", "boats.jpg");

  const ProgramResult run = RunKestrune({top}, root.path());
  EXPECT_EQ(run.status, 1) << run.err;
  for (const char* told : {"mine/index.html: ", "2024/loop: A link to a folder, not followed\n",
                           "/d/d: More than 16 folders below the top",
                           "2024/Rome: 1 file not shown, no photo kestrune reads: clip.mov\n"}) {
    const std::size_t first = run.err.find(told);
    EXPECT_NE(first, std::string::npos) << told << " in\n" << run.err;
    EXPECT_EQ(run.err.find(told, first + 1), std::string::npos) << told << " twice";
  }
  for (const char* album : {"", "2024/", "2024/Rome/", "2024/Paris/", "2025/", "2025/Kids/"})
    EXPECT_TRUE(root.Exists(top + "/" + album + "index.html")) << album;
  for (const char* none : {".hidden/", "@eaDir/", "notes/"})
    EXPECT_FALSE(root.Exists(top + "/" + none + "index.html")) << none;
  EXPECT_FALSE(Contains(root.Read(top + "/2024/index.html"), "loop"));
  EXPECT_EQ(root.Read(top + "/mine/index.html"), "the user's own page");
  EXPECT_FALSE(root.Exists(top + "/2024/allin1.html"));  // albums alone: no slide show

  const std::string sheet = root.Read(top + "/index.html");
  EXPECT_FALSE(Contains(sheet, "mine"));
  EXPECT_TRUE(InOrder(sheet, {"<a href=\"2024/index.html\"><img src=\"2024/Paris/p1_t.jpg\"",
                              ">2024</a><br>3 photos, ", ">2025</a><br>1 photo, ",
                              "<a href=\"a.jpg\"", "2 albums, 1 photo"}))
      << sheet;
  EXPECT_TRUE(Contains(root.Read(top + "/2024/Rome/index.html"),
                       "<p><a href=\"../index.html\">Up to 2024</a></p>"));
  EXPECT_TRUE(Contains(root.Read(top + "/2024/index.html"),
                       "<p><a href=\"../index.html\">Up to Pictures</a></p>"));

  // Modern: the trail from the top, on the sheet and each slide page, which a sheet run of the
  // album's sheet makes the same.
  ASSERT_EQ(RunKestrune({"--modern", top}, root.path()).status, 1);
  const std::string rome = top + "/2024/Rome/";
  const std::string page = root.Read(rome + "r1.htm");
  EXPECT_TRUE(Contains(page,
                       "<a href=\"../../index.html\">Pictures</a> &#8250; <a "
                       "href=\"../index.html\">2024</a> &#8250; <a "
                       "href=\"index.html\">Rome</a></nav>"))
      << page;
  const auto pages = Snapshot(root / rome);
  ASSERT_EQ(RunKestrune({"--modern", "index.html"}, root / rome).status, 0);
  EXPECT_EQ(Snapshot(root / rome), pages);
}

// A top named "." by a user in it is named after its folder on every album's way up, not after
// the album in hand.
TEST(Albums, TopNamedDotIsNamedInEveryTrail) {
  ScratchFolder root;
  PutPhoto(root, "Pictures/2024/Rome/r1.jpg", "pier.jpg");
  ASSERT_EQ(RunKestrune({"--modern", "."}, root / "Pictures").status, 0);
  const std::string sheet = root.Read("Pictures/2024/Rome/index.html");
  EXPECT_TRUE(Contains(sheet,
                       "<a href=\"../../index.html\">Pictures</a> &#8250; <a "
                       "href=\"../index.html\">2024</a> &#8250; <span"))
      << sheet;
}

// Photos in the order they were taken: two phones' times with their offsets and a photo without
// a date (its file's time) interleaved; albums by their first photo; the order kept in the sheet,
// so a re-run without the option changes nothing, and one with the other order re-orders without
// decoding a photo.
TEST(Albums, OrderByWhenThePhotosWereTaken) {
  ScratchFolder root;
  const std::string jpeg = ReadWholeFile(kExamples + "/boats.jpg");
  root.Write("top/IMG_0042.jpg", TakenAt(jpeg, "2024:05:03 10:00:00", "+02:00"));  // 08:00 UTC
  root.Write("top/IMG_0043.jpg", TakenAt(jpeg, "2024:05:03 12:00:00", "+02:00"));  // 10:00 UTC
  root.Write("top/PXL_0001.jpg", TakenAt(jpeg, "2024:05:03 09:00:00", "+00:00"));  // 09:00 UTC
  root.Write("top/undated.jpg", jpeg);
  const auto moment = std::chrono::system_clock::from_time_t(1714725000);  // 2024-05-03 08:30 UTC
  fs::last_write_time(root / "top/undated.jpg", fs::file_time_type::clock::now() +
                                                    (moment - std::chrono::system_clock::now()));
  root.Write("top/A/later.jpg", TakenAt(jpeg, "2025:01:01 12:00:00"));
  root.Write("top/B/earlier.jpg", TakenAt(jpeg, "2023:06:01 12:00:00"));

  ASSERT_EQ(RunKestrune({"--order", "date", "top"}, root.path()).status, 0);
  const std::string byDate = root.Read("top/index.html");
  EXPECT_TRUE(Contains(byDate, "<!-- kestrune order: date -->"));
  EXPECT_TRUE(
      InOrder(byDate, {">B</a><br>1 photo, <span class=\"day\">2023-06-01<",
                       ">A</a><br>1 photo, <span class=\"day\">2025-01-01<", "\"IMG_0042.jpg\"",
                       "\"undated.jpg\"", "\"PXL_0001.jpg\"", "\"IMG_0043.jpg\""}))
      << byDate;
  EXPECT_TRUE(Contains(root.Read("top/undated.htm"), "<a href=\"PXL_0001.htm\"><b>NEXT"));

  const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  for (const char* folder : {"top", "top/A", "top/B"})
    ASSERT_GE(::inotify_add_watch(watch, (root / folder).c_str(), IN_OPEN), 0);
  ASSERT_EQ(RunKestrune({"top"}, root.path()).status, 0);  // the order the sheet kept
  const std::string kept = root.Read("top/index.html");
  ASSERT_EQ(RunKestrune({"--order", "name", "top"}, root.path()).status, 0);
  const std::string byName = root.Read("top/index.html");
  // No photo was opened to re-order: the thumbnails' marks say when each was taken.
  alignas(inotify_event) char buffer[1 << 16];
  std::set<std::string> opened;
  for (ssize_t n; (n = ::read(watch, buffer, sizeof buffer)) > 0;) {
    for (ssize_t at = 0; at < n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      const std::string name = event->len > 0 ? event->name : "";
      if (name.size() > 4 && name.compare(name.size() - 4, 4, ".jpg") == 0 &&
          name.find("_t.") == std::string::npos)
        opened.insert(name);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
  ::close(watch);
  EXPECT_EQ(opened, std::set<std::string>{});
  EXPECT_EQ(kept, byDate);
  EXPECT_TRUE(InOrder(byName, {">A</a>", ">B</a>", "\"IMG_0042.jpg\"", "\"IMG_0043.jpg\"",
                               "\"PXL_0001.jpg\"", "\"undated.jpg\""}))
      << byName;
}

// Re-runs across the tree: an unchanged tree rewrites no file; a photo added to one album changes
// only that album's files and the listings above it; an album whose photos are all gone has its
// files removed and leaves its parent's listing; --clean leaves every folder as it was.
TEST(Albums, ReRunsChangeOnlyWhatChanged) {
  ScratchFolder root;
  PutPhoto(root, "top/c.jpg", "boats.jpg");
  PutPhoto(root, "top/A/a1.jpg", "pier.jpg");
  PutPhoto(root, "top/B/b1.jpg", "harbour.jpg");
  const auto original = Snapshot(root / "top");
  ASSERT_EQ(RunKestrune({"--modern", "top"}, root.path()).status, 0);
  const auto made = Times(root / "top");
  ASSERT_EQ(RunKestrune({"--modern", "top"}, root.path()).status, 0);
  EXPECT_EQ(Changed(made, Times(root / "top")), std::set<std::string>{});

  PutPhoto(root, "top/A/a2.jpg", "rockpool.jpg");
  ASSERT_EQ(RunKestrune({"--modern", "top"}, root.path()).status, 0);
  for (const std::string& name : Changed(made, Times(root / "top")))
    EXPECT_TRUE(name.compare(0, 2, "A/") == 0 || name == "index.html") << name;
  EXPECT_TRUE(Contains(root.Read("top/index.html"), "2 photos"));

  fs::remove(root / "top/A/a1.jpg");
  fs::remove(root / "top/A/a2.jpg");
  ASSERT_EQ(RunKestrune({"--modern", "top"}, root.path()).status, 0);
  EXPECT_EQ(ListFiles(root / "top/A"), std::vector<std::string>{});
  EXPECT_FALSE(Contains(root.Read("top/index.html"), "A/index.html"));

  EXPECT_EQ(RunKestrune({"--clean", "top"}, root.path()).status, 0);
  auto expected = original;
  expected.erase("A/a1.jpg");
  EXPECT_EQ(Snapshot(root / "top"), expected);
}

// A signal while an album deep in the tree is made: the photo in hand is finished, the album in
// hand written with the photos done, and the sheets above it list it; nothing else is begun.
TEST(Albums, SignalMidwayWritesTheAlbumInHandAndTheListingsAbove) {
  ScratchFolder root;
  PutPhoto(root, "top/a.jpg", "boats.jpg");
  fs::create_directories(root / "top/2024/big");
  if (RunProgram("/usr/bin/vips", {"black", root / "top/2024/big/first.jpg", "3000", "2000"}, "/")
          .status != 0)
    GTEST_SKIP() << "vips (libvips-tools) is needed to make the photos";
  for (int i = 2; i <= 120; ++i)
    fs::create_hard_link(root / "top/2024/big/first.jpg",
                         root / ("top/2024/big/p" + std::to_string(i) + ".jpg"));
  const ProgramResult result = RunKestrune({"top"}, root.path(), 0, [&](int pid) {
    for (int i = 0; i < 6000 && !root.Exists("top/2024/big/first_t.jpg"); ++i) ::usleep(10000);
    ::kill(pid, SIGTERM);
  });
  EXPECT_EQ(result.status, 128 + SIGTERM) << result.err;
  const std::string big = root.Read("top/2024/big/index.html");
  EXPECT_TRUE(Contains(big, "\"first.jpg\"")) << big;
  EXPECT_FALSE(Contains(big, "\"p120.jpg\"")) << big;
  EXPECT_TRUE(Contains(root.Read("top/2024/index.html"), "<a href=\"big/index.html\">"));
  EXPECT_TRUE(Contains(root.Read("top/index.html"), "<a href=\"2024/index.html\">"));
  EXPECT_FALSE(root.Exists("top/a_t.jpg"));  // the top's own photos were not begun
}

}  // namespace

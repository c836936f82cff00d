// The modern page style, run as a user runs it: `kestrune --modern SHEET`.
#include <gtest/gtest.h>

#include "cli_support.h"

namespace {

const std::string kModernGallery = KESTRUNE_MODERN_FIXTURES "/gallery";
const std::string kModernExpected = KESTRUNE_MODERN_FIXTURES "/expected";

// The files a run added to `before`, with their bytes.
std::map<std::string, std::string> Written(const std::map<std::string, std::string>& before,
                                           const std::map<std::string, std::string>& after) {
  std::map<std::string, std::string> written;
  for (const auto& [name, bytes] : after) {
    if (!before.count(name)) written[name] = bytes;
  }
  return written;
}

// Thumbnail anchors captioned from their text links, alt and title, names decoded, a subfolder,
// the sheet's language and charset, quotes and "<" in captions: every page byte for byte.
TEST(ModernPages, GalleryWritesExactPages) {
  ScratchFolder folder;
  fs::copy(kModernGallery, folder.path(), fs::copy_options::recursive);
  const auto before = Snapshot(folder.path());

  const ProgramResult result = RunKestrune({"--modern", "index.html"}, folder.path());
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(Written(before, Snapshot(folder.path())), Snapshot(kModernExpected));
  EXPECT_EQ(Snapshot(folder.path()).at("index.html"), before.at("index.html"));
}

// Either style replaces the other's pages, file for file, with nothing left of the first.
TEST(ModernPages, ReRunInTheOtherStyleReplacesEveryPage) {
  ScratchFolder classic, modern;
  fs::copy(kModernGallery, classic.path(), fs::copy_options::recursive);
  fs::copy(kModernGallery, modern.path(), fs::copy_options::recursive);
  ASSERT_EQ(RunKestrune({"index.html"}, classic.path()).status, 0);
  ASSERT_EQ(RunKestrune({"--modern", "index.html"}, modern.path()).status, 0);
  const auto classicPages = Snapshot(classic.path());
  const auto modernPages = Snapshot(modern.path());
  ASSERT_NE(classicPages, modernPages);

  EXPECT_EQ(RunKestrune({"index.html"}, modern.path()).status, 0);
  EXPECT_EQ(Snapshot(modern.path()), classicPages);
  EXPECT_EQ(RunKestrune({"--modern", "index.html"}, modern.path()).status, 0);
  EXPECT_EQ(Snapshot(modern.path()), modernPages);
}

// The option is a word of its own at the front; anything else is a path, and headless the
// sheet is still required.
TEST(ModernPages, OptionIsTheFirstWordOnly) {
  ScratchFolder folder;
  folder.Write("--modern.html", SheetLinking({"a.jpg"}));
  ProgramResult result = RunKestrune({"--modern.html"}, folder.path());
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(Contains(folder.Read("a.htm"), "<!DOCTYPE HTML PUBLIC"));

  result = RunKestrune({"--modern", "--modern.html"}, folder.path());
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(Contains(folder.Read("a.htm"), "<!DOCTYPE html>"));

  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"--modern"}, std::vector<std::string>{"--modern", "?x.html"}}) {
    result = RunKestrune(arguments, folder.path());
    EXPECT_EQ(result.status, 2);
    EXPECT_TRUE(Contains(result.err,
                         "Usage: kestrune [--modern] [--dry-run | --clean] CONTACT-SHEET.html"));
  }
}

}  // namespace

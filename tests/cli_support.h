// Helpers for tests that run the built program: records, snapshots, links and sheets.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "test_support.h"

namespace fs = std::filesystem;

inline const char kSlideFailure[] = "Unable to create SlideShow file";
inline const char kAllIn1Failure[] = "Kestrune Err: Unable to create AllIn1 file";

inline ProgramResult RunKestrune(const std::vector<std::string>& arguments,
                                 const std::string& folder, unsigned user = 0) {
  return RunProgram(KESTRUNE_PROGRAM, arguments, folder, user);
}

// The working folder the program sees: getcwd resolves symbolic links such as a linked /tmp.
inline std::string RealPath(const std::string& path) {
  return fs::canonical(path).string();
}

inline std::string Record(const std::string& title, const std::string& text) {
  return title + ": " + text + "\n";
}

inline std::string PageFailure(const std::string& page) {
  return Record(page, kSlideFailure);
}

// Every regular file below `folder` with its bytes; FIFOs and devices are listed, never read.
inline std::map<std::string, std::string> Snapshot(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const std::string& name : ListFiles(folder)) {
    const std::string path = folder + "/" + name;
    files[name] = fs::is_regular_file(path) ? ReadWholeFile(path) : "(not a regular file)";
  }
  return files;
}

inline std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

inline void MakeFifo(const std::string& path) {
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0) << path;
}

inline void MakeSymlink(const std::string& target, const std::string& link) {
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0) << link;
}

inline void MakeHardLink(const std::string& existing, const std::string& link) {
  ASSERT_EQ(::link(existing.c_str(), link.c_str()), 0) << link;
}

// A contact sheet without a title that links each image once, captioned "Caption of IMAGE".
inline std::string SheetLinking(const std::vector<std::string>& images) {
  std::string sheet = "<html><body>\n";
  for (const std::string& image : images) {
    sheet += "<a href=\"" + image + "\">Caption of " + image + "</a><br>\n";
  }
  return sheet + "</body></html>\n";
}

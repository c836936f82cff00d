// The window toolkit is a module that only a run with a display loads: a headless run maps no
// FLTK or X11, a display that cannot be opened leaves the run headless, a dry run or a clean
// never loads it, and a program without its module says so and runs headless.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "cli_support.h"

namespace {

// Sets an environment variable for the programs that one test starts.
class Environment {
 public:
  Environment(const char* name, const char* value) : name_(name) {
    if (const char* old = ::getenv(name)) old_ = old, had_ = true;
    ::setenv(name, value, 1);
  }
  ~Environment() {
    if (had_) {
      ::setenv(name_, old_.c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

// A display number no server listens on.
const char kNoServer[] = ":4093";

void WriteSheet(const ScratchFolder& folder) {
  folder.Write("index.html", SheetLinking({"a.jpg", "b.jpg"}));
}

TEST(DesktopModule, AHeadlessRunLoadsNoWindowToolkit) {
  ScratchFolder folder;
  WriteSheet(folder);
  Environment display("DISPLAY", "");
  Environment trace("LD_DEBUG", "libs");  // the dynamic loader names every library it loads
  const ProgramResult result = RunKestrune({"index.html"}, folder.path());
  EXPECT_EQ(result.status, 0);
  ASSERT_TRUE(Contains(result.err, "libc.so")) << "the loader's trace is missing";
  for (const char* library : {"kestrune-desktop", "libfltk", "libX11"}) {
    EXPECT_FALSE(Contains(result.err, library)) << library;
  }
  EXPECT_TRUE(folder.Exists("b.html"));
}

TEST(DesktopModule, ADisplayThatCannotBeOpenedLeavesTheRunHeadless) {
  ScratchFolder folder;
  WriteSheet(folder);
  Environment display("DISPLAY", kNoServer);
  Environment trace("LD_DEBUG", "libs");
  const ProgramResult result = RunKestrune({"index.html"}, folder.path());
  EXPECT_EQ(result.status, 0);
  EXPECT_TRUE(Contains(result.err, "kestrune-desktop.so")) << "the module was not tried";
  EXPECT_FALSE(Contains(result.err, "running without one"));
  EXPECT_EQ(folder.Read("allin1.html").substr(0, 9), "<!DOCTYPE");
  EXPECT_TRUE(folder.Exists("b.html"));
}

TEST(DesktopModule, ADryRunAndACleanNeverTryTheWindowEvenWithADisplay) {
  ScratchFolder folder;
  WriteSheet(folder);
  Environment display("DISPLAY", kNoServer);
  Environment trace("LD_DEBUG", "libs");
  for (const char* option : {"--dry-run", "--clean"}) {
    const ProgramResult result = RunKestrune({option, "index.html"}, folder.path());
    EXPECT_EQ(result.status, 0) << option;
    ASSERT_TRUE(Contains(result.err, "libc.so")) << "the loader's trace is missing";
    EXPECT_FALSE(Contains(result.err, "kestrune-desktop")) << option;
    EXPECT_TRUE(Contains(result.out, "2 images: ")) << option << ": " << result.out;
  }
}

TEST(DesktopModule, WithoutItsModuleTheProgramSaysSoAndRunsHeadless) {
  ScratchFolder folder;
  WriteSheet(folder);
  // The program alone in a folder of its own, without the module beside it.
  ScratchFolder bin;
  const std::string program = bin / "kestrune";
  std::filesystem::copy_file(KESTRUNE_PROGRAM, program);
  Environment display("DISPLAY", kNoServer);
  const ProgramResult result = RunProgram(program, {"index.html"}, folder.path());
  EXPECT_EQ(result.status, 0);
  EXPECT_TRUE(Contains(result.err, "Kestrune: no window (")) << result.err;
  EXPECT_TRUE(Contains(result.err, "); running without one\n")) << result.err;
  EXPECT_TRUE(folder.Exists("b.html"));
}

}  // namespace

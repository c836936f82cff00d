// A whole generation run from an arbitrary contact sheet, in a scratch folder. After each run the
// sheet must be intact, every new file must be a page inside the sheet's folder, and the folder
// beside it (with a file a page name could aim at) must be untouched.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/main_window.h"
#include "generation/generation_state.h"
#include "platform/platform.h"
#include "platform/posix_calls.h"

namespace fs = std::filesystem;

namespace {

const char kCanary[] = "outside the contact sheet's folder";

struct Scratch {
  fs::path root, sheetFolder, outside, startFolder;
};

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Standard error may be closed by the fuzzer (-close_fd_mask=2): the reason also goes to a file.
void Fail(const std::string& why) {
  std::fprintf(stderr, "generation_fuzz: %s\n", why.c_str());
  if (std::FILE* report = std::fopen("generation_fuzz-failure.txt", "w")) {
    std::fprintf(report, "%s\n", why.c_str());
    std::fclose(report);
  }
  std::abort();
}

// The scratch tree, made once per process on a memory file system when there is one:
// ROOT/sheet (the sheet's folder, with a subfolder) and ROOT/outside (a canary page).
const Scratch& Tree() {
  static const Scratch tree = [] {
    Scratch t;
    const fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    std::string pattern = (base / "kestrune-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) Fail("no scratch folder");
    t.root = pattern;
    t.sheetFolder = t.root / "sheet";
    t.outside = t.root / "outside";
    t.startFolder = fs::current_path();
    fs::create_directories(t.outside);
    WriteAll(t.outside / "x.htm", kCanary);
    return t;
  }();
  static const int cleanup = std::atexit([] {
    std::error_code ignored;
    fs::remove_all(Tree().root, ignored);
  });
  (void)cleanup;
  return tree;
}

bool IsPageName(const std::string& name) {
  const auto endsWith = [&name](const std::string& end) {
    return name.size() >= end.size() &&
           name.compare(name.size() - end.size(), end.size(), end) == 0;
  };
  return endsWith(".htm") || endsWith(".html");
}

void CheckAfterRun(const Scratch& t, const std::string& sheet) {
  if (ReadAll(t.sheetFolder / "index.html") != sheet) Fail("the contact sheet changed");
  if (ReadAll(t.outside / "x.htm") != kCanary) Fail("a file outside the folder changed");
  const auto outsideEntries = std::distance(fs::directory_iterator(t.outside), {});
  if (outsideEntries != 1) Fail("a file was created outside the folder");
  for (const auto& entry : fs::directory_iterator(t.root)) {
    if (entry.path() != t.sheetFolder && entry.path() != t.outside) {
      Fail("a file was created beside the folder: " + entry.path().string());
    }
  }
  for (const auto& entry : fs::recursive_directory_iterator(t.sheetFolder)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_directory() || name == "index.html" || name == "keep.txt") continue;
    if (!IsPageName(name)) Fail("a file that is not a page was written: " + name);
  }
}

// Removes the pages of the previous run; cheaper than making the folder anew for every input.
void ResetSheetFolder(const Scratch& t) {
  static bool made = false;
  if (!made) {
    fs::create_directories(t.sheetFolder / "sub");
    WriteAll(t.sheetFolder / "sub" / "keep.txt", "");
    made = true;
  }
  for (const fs::path& folder : {t.sheetFolder, t.sheetFolder / "sub"}) {
    for (const auto& entry : fs::directory_iterator(folder)) {
      const std::string name = entry.path().filename().string();
      if (name != "sub" && name != "keep.txt") fs::remove(entry.path());
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Scratch& t = Tree();
  ResetSheetFolder(t);
  const std::string sheet(reinterpret_cast<const char*>(data), size);
  WriteAll(t.sheetFolder / "index.html", sheet);

  // The run's message records go to standard error: run with -close_fd_mask=2 to keep them out
  // of the fuzzer's report (a failed check then shows as the abort alone; rerun the input to read
  // its reason).
  State = GenerationState{};
  // Past the first look-up of a folder its images come from a listing, so short sheets reach
  // that code too.
  PosixLookupsBeforeListing = 1;
  const std::string commandLine = (t.sheetFolder / "index.html").string();
  const int status = RunKestrune(commandLine, ReadCommandOptions(commandLine));
  SetWorkingFolder(t.startFolder.string());
  if (status != 0 && status != 1) Fail("unexpected exit status " + std::to_string(status));
  CheckAfterRun(t, sheet);
  return 0;
}

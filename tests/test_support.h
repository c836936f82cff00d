// Helpers shared by the tests: scratch folders, whole-file reads and writes, running programs.
#pragma once

#include <functional>
#include <string>
#include <vector>

// A fresh empty folder under the system's temporary folder (or under `under`), removed with its
// content at the end.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& under = std::string());
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& path() const { return path_; }
  // `relative` below the folder; folders on the way are created by Write.
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }
  void Write(const std::string& relative, const std::string& content) const;
  std::string Read(const std::string& relative) const;
  bool Exists(const std::string& relative) const;

 private:
  std::string path_;
};

void WriteWholeFile(const std::string& path, const std::string& content);
std::string ReadWholeFile(const std::string& path);
bool PathExists(const std::string& path);

// What a file's status says besides its bytes, as one line to compare in one expectation:
// "N bytes, accessed S.NS, modified S.NS, changed S.NS".
std::string StatusOf(const std::string& path);
// Dates `path` back (accessed 2001, modified 2002), so that a read through anything but a handle
// that keeps the access time moves it even on a file system mounted with relatime.
void DateBack(const std::string& path);

// Every file below `folder` (relative names, sorted; a link under its own name), folders left out.
std::vector<std::string> ListFiles(const std::string& folder);

inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Text with CR LF line ends from text written with "\n".
std::string CrLf(const std::string& text);

struct ProgramResult {
  int status = -1;  // exit status, or -1 when the program did not exit normally
  int signal = 0;   // the signal that ended it, when one did
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs `program` with `arguments` in `folder`, standard input closed, and collects its output.
// With `user` set and the tests running as root, the program runs as that user, so that
// permissions apply to it.
// `whileRunning`, when given, is called with the program's process id once it has started.
ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& folder, unsigned user = 0,
                         const std::function<void(int pid)>& whileRunning = nullptr);

// An unprivileged user for RunProgram ("nobody"), and gives it `folder` and all below.
constexpr unsigned kUnprivilegedUser = 65534;
void HandOver(const std::string& folder, unsigned user);

#include "test_support.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder(const std::string& under) {
  const fs::path parent = under.empty() ? fs::temp_directory_path() : fs::path(under);
  std::string pattern = (parent / "kestrune-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

void ScratchFolder::Write(const std::string& relative, const std::string& content) const {
  const fs::path target = fs::path(path_) / relative;
  fs::create_directories(target.parent_path());
  WriteWholeFile(target.string(), content);
}

std::string ScratchFolder::Read(const std::string& relative) const {
  return ReadWholeFile(path_ + "/" + relative);
}

bool ScratchFolder::Exists(const std::string& relative) const {
  return PathExists(path_ + "/" + relative);
}

void WriteWholeFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

bool PathExists(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0;
}

std::string StatusOf(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) return "(missing)";
  std::ostringstream line;
  line << info.st_size << " bytes";
  for (const auto& [name, time] : {std::pair{"accessed", info.st_atim},
                                   {"modified", info.st_mtim},
                                   {"changed", info.st_ctim}}) {
    line << ", " << name << ' ' << time.tv_sec << '.' << time.tv_nsec;
  }
  return line.str();
}

void DateBack(const std::string& path) {
  const struct timespec times[2] = {{978307200, 0}, {1009843200, 0}};  // 2001-01-01, 2002-01-01
  if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0)
    throw std::runtime_error("cannot date back " + path);
}

std::vector<std::string> ListFiles(const std::string& folder) {
  std::vector<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    // A link to a folder is listed like a file; the iterator does not follow it.
    if (entry.is_symlink() || !entry.is_directory())
      files.push_back(entry.path().lexically_relative(folder).string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string CrLf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

namespace {

std::string Drain(int fd) {
  std::string text;
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  return text;
}

// A copy of `program` that any user can run, made once and removed at exit: the checkout may lie
// in a folder that only its owner can enter (a clone under /root, say).
class ReachableCopy {
 public:
  explicit ReachableCopy(const std::string& program) {
    std::string pattern = (fs::temp_directory_path() / "kestrune-program-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    folder_ = pattern;
    path_ = folder_ + "/" + fs::path(program).filename().string();
    fs::copy_file(program, path_);
    // The photo module that a folder run loads from beside the program comes along.
    const fs::path module = fs::path(program).parent_path() / "kestrune-photos.so";
    if (fs::exists(module)) fs::copy_file(module, fs::path(folder_) / module.filename());
    fs::permissions(folder_, fs::perms(0755));
    fs::permissions(path_, fs::perms(0755));
  }
  ~ReachableCopy() {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
  const std::string& path() const { return path_; }

 private:
  std::string folder_;
  std::string path_;
};

const std::string& RunnableByAnyone(const std::string& program) {
  static const ReachableCopy copy(program);
  if (fs::path(program).filename() != fs::path(copy.path()).filename())
    throw std::runtime_error("only one program can be run as another user: " + program);
  return copy.path();
}

}  // namespace

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& folder, unsigned user,
                         const std::function<void(int pid)>& whileRunning) {
  // Output goes through files, so neither stream can fill up and stall the program.
  char outName[] = "/tmp/kestrune-out-XXXXXX";
  char errName[] = "/tmp/kestrune-err-XXXXXX";
  const int outFd = ::mkstemp(outName);
  const int errFd = ::mkstemp(errName);
  const bool asOtherUser = user != 0 && ::geteuid() == 0;
  const std::string& runnable = asOtherUser ? RunnableByAnyone(program) : program;
  const pid_t child = ::fork();
  if (child == 0) {
    const int nullFd = ::open("/dev/null", O_RDONLY);
    ::dup2(nullFd, 0);
    ::dup2(outFd, 1);
    ::dup2(errFd, 2);
    if (asOtherUser) {
      if (::setgroups(0, nullptr) != 0 || ::setgid(user) != 0 || ::setuid(user) != 0) ::_exit(126);
    }
    if (::chdir(folder.c_str()) != 0) ::_exit(127);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(runnable.c_str()));
    for (const std::string& argument : arguments)
      argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    ::execv(runnable.c_str(), argv.data());
    ::_exit(127);
  }
  if (whileRunning) whileRunning(child);
  int status = 0;
  ::waitpid(child, &status, 0);
  ProgramResult result;
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  ::lseek(outFd, 0, SEEK_SET);
  ::lseek(errFd, 0, SEEK_SET);
  result.out = Drain(outFd);
  result.err = Drain(errFd);
  ::close(outFd);
  ::close(errFd);
  ::unlink(outName);
  ::unlink(errName);
  return result;
}

void HandOver(const std::string& folder, unsigned user) {
  if (::geteuid() != 0) return;  // an ordinary user already owns its scratch folders
  if (::chown(folder.c_str(), user, user) != 0) return;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (::lchown(entry.path().c_str(), user, user) != 0) return;
  }
}

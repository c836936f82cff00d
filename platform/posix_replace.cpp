// ==== Writing and replacing pages ===============================================================
// A page is written in place: created exclusively, or an earlier page of ours opened and looked
// at through the very handle that is then written. The combined page is written into a file of
// its own (unnamed where O_TMPFILE allows) and put in place only once complete, the decision to
// replace being made about the very file replaced. Files this process holds open (the contact
// sheet, the file the combined page replaces: posix_held.h) are never written over.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix_beneath.h"
#include "platform/posix_calls.h"
#include "platform/posix_held.h"
#include "platform/posix_listings.h"
#include "platform/posix_pages.h"
#include "platform/posix_signals.h"

using namespace posix;

namespace {

ssize_t WriteOutput(void* cookie, const char* data, size_t size) {
  // Short: the stream records an error.
  return static_cast<ssize_t>(WriteFully(*static_cast<int*>(cookie), data, size));
}

int CloseOutput(void* cookie) {
  int* fd = static_cast<int*>(cookie);
  const int result = PosixCalls.close(*fd);
  delete fd;
  return result;
}

// Output streams write and close through the call table, so tests can fail any write or close.
std::FILE* OutputStream(int fd) {
  int* cookie = new int(fd);
  std::FILE* stream = ::fopencookie(cookie, "wb", {nullptr, WriteOutput, nullptr, CloseOutput});
  if (stream == nullptr) delete cookie;
  return stream;
}

// An output file open for writing from its start, as CreateOutputFile and WriteOutputFile make
// it: `created` when it did not exist, else `info` describes the existing file.
struct OpenOutput {
  int fd = -1;
  bool created = false;
  struct stat info {};
};

bool TakesReservedName(const std::string& name, int fd);

// How many times OpenOutputFile tries to open or create a page whose name another program
// makes or removes meanwhile: each try that fails so means the name changed since the last.
constexpr int kOpenOrCreateTurns = 8;

// Opens `name` for a page: a new file, or an existing one that may be replaced, left as it is
// (the caller writes over it from its start). A file that must not be replaced is left
// untouched; fd -1 when refused.
OpenOutput OpenOutputFile(const std::string& name, std::string_view marker) {
  OpenOutput output;
  bool accessTimeKept = true;
  // Opening an existing file fails with ENOENT and creating one with EEXIST when another run of
  // the same sheet makes or removes the page between the two calls, so they take turns a few
  // times. A link that leads nowhere answers so every time and is refused after the last turn.
  bool existing = LastPageExisted;
  for (int turn = 0; turn < kOpenOrCreateTurns; ++turn, existing = !existing) {
    if (existing) {
      output.fd = OpenExistingFile(name, &accessTimeKept);
      if (output.fd >= 0 || errno != ENOENT) break;
    } else {
      output.fd = CreateNewFile(name);
      output.created = output.fd >= 0;
      if (output.fd >= 0 || errno != EEXIST) break;
    }
  }
  if (output.fd >= 0 && TakesReservedName(name, output.fd)) {
    PosixCalls.close(output.fd);
    if (output.created) PosixCalls.unlink(name.c_str());
    output = OpenOutput{};
    errno = EBUSY;
  }
  if (output.fd < 0 || output.created) {
    LastPageExisted = false;
    return output;
  }
  LastPageExisted = true;
  // A file made just now is new, empty and regular: nothing held can be it, so it needs no
  // look at its identity. An existing file is replaced only when it is a regular file (never a
  // device or a FIFO), not held by this process, and empty or a page of ours.
  struct stat& info = output.info;
  if (PosixCalls.fstat(output.fd, &info) == 0 && S_ISREG(info.st_mode) && !IsHeld(info) &&
      LooksLikeOwnPageWhileWritten(output.fd, &info, accessTimeKept, marker))
    return output;
  PosixCalls.close(output.fd);
  output.fd = -1;
  return output;
}

// Pages are compared in pieces of this size, so a long combined page needs no copy in memory.
constexpr std::size_t kComparePiece = 64 * 1024;

// True when the file `fd` holds `bytes` at `from` (its length was checked by the caller).
// Read with pread, so the offset stays where it was for a write that follows; a failed read is
// a difference, and the page is then written as always.
bool HoldsBytes(int fd, std::string_view bytes, off_t from = 0) {
  const std::unique_ptr<char[]> piece(new (std::nothrow) char[kComparePiece]);
  if (!piece) return false;
  for (std::size_t at = 0; at < bytes.size(); at += kComparePiece) {
    const std::size_t size = std::min(kComparePiece, bytes.size() - at);
    if (ReadFully(fd, piece.get(), size, from + static_cast<off_t>(at)) !=
            static_cast<ssize_t>(size) ||
        std::memcmp(piece.get(), bytes.data() + at, size) != 0)
      return false;
  }
  return true;
}

// True when the files `a` and `b` hold the same `size` bytes from their starts.
bool SameBytes(int a, int b, std::size_t size) {
  const std::unique_ptr<char[]> piece(new (std::nothrow) char[kComparePiece]);
  if (!piece) return false;
  for (std::size_t at = 0; at < size; at += kComparePiece) {
    const std::size_t length = std::min(kComparePiece, size - at);
    if (ReadFully(a, piece.get(), length, static_cast<off_t>(at)) != static_cast<ssize_t>(length) ||
        !HoldsBytes(b, std::string_view(piece.get(), length), static_cast<off_t>(at)))
      return false;
  }
  return true;
}

// The combined page, written into a file of its own beside `name` and put in place once
// complete. Where the system allows (O_TMPFILE), that file has no name until then, so a run
// that ends without its finish, however it ends, leaves nothing behind; elsewhere it is a hidden
// temporary file. `original` is the file that stood under `name` at the start, looked at and
// held open, so no page of the run is written over it; -1 when there was none, and the name is
// then kept from the run's pages by its folder and name (TakesReservedName).
struct Replacement {
  std::FILE* stream;
  std::string name;       // relative to the working folder
  int folder;             // the folder of `name`: AT_FDCWD beside the sheet, else opened for it
  std::string file;       // the name in that folder
  int unnamed;            // the unnamed file, opened again by its /proc name (O_PATH); or -1
  std::string temporary;  // the hidden temporary file: written, or linked only for the exchange
  int original;
  struct stat info;    // the original's status
  std::string marker;  // the line a file carries when it may be replaced
  // The held-name check's keys, made once: `file` with its ASCII letters in lower case, which
  // every page's name is compared with, and the identity of `folder`, once a page's name matched.
  std::string key;
  bool folderKnown;
  struct stat folderInfo;
};
std::vector<Replacement> Replacements;

// A hidden name beside `file`, unique to this process and ending in ".tmp", so it can never be
// a page (.htm, .html) or an image a run looks for: ".FILE.PID.tmp", ".FILE.PID-N.tmp".
std::string HiddenName(const std::string& file, int attempt) {
  return "." + file + "." + std::to_string(::getpid()) +
         (attempt > 0 ? "-" + std::to_string(attempt) : "") + ".tmp";
}

std::string FolderPart(const std::string& name) {
  return name.substr(0, name.rfind('/') + 1);  // npos + 1 is 0: none
}

// Creates the hidden temporary file beside `name`, where no unnamed file can be made.
int CreateTemporaryFile(const std::string& name, std::string* temporary) {
  const std::string folder = FolderPart(name);
  for (int attempt = 0; attempt < 100; ++attempt) {
    *temporary = folder + HiddenName(name.substr(folder.size()), attempt);
    const int fd = CreateNewFile(*temporary);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Makes the file that the combined page is written into: unnamed in the folder of `r`, with a
// second descriptor by its /proc name that outlives the stream's and names it for the link;
// where the file system or a missing /proc does not allow that, the hidden temporary file.
int CreateReplacementFile(Replacement* r) {
  const int fd =
      PosixCalls.openat(r->folder, ".", O_TMPFILE | O_WRONLY | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd >= 0) {
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    r->unnamed = PosixCalls.openat(AT_FDCWD, path.c_str(), O_PATH | O_CLOEXEC, 0);
    if (r->unnamed >= 0) return fd;
    PosixCalls.close(fd);  // it goes with its last descriptor
  } else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
    return -1;
  }
  return CreateTemporaryFile(r->name, &r->temporary);
}

// Gives the complete unnamed file of `r` the name `file` in its folder, never replacing a file
// that stands there (EEXIST).
int LinkUnnamed(const Replacement& r, const std::string& file) {
  const std::string path = "/proc/self/fd/" + std::to_string(r.unnamed);
  return PosixCalls.linkAt(AT_FDCWD, path.c_str(), r.folder, file.c_str(), AT_SYMLINK_FOLLOW);
}

// True when the file under `name` may be replaced: the original looked at when the stream was
// made, or a page of ours or an empty file that took the name since (another run's combined
// page, say), looked at now, or nothing any more (another program removed it meanwhile).
bool MayReplace(const std::string& name, const Replacement& replacement) {
  bool accessTimeKept = true;
  const int fd = OpenExistingFile(name, &accessTimeKept);
  if (fd < 0) return errno == ENOENT;
  struct stat info;
  const bool may = PosixCalls.fstat(fd, &info) == 0 &&
                   ((replacement.original >= 0 && SameFile(info, replacement.info)) ||
                    (S_ISREG(info.st_mode) && !IsHeld(info) &&
                     LooksLikeOwnPage(fd, info, accessTimeKept, replacement.marker)));
  PosixCalls.close(fd);
  return may;
}

// Puts the complete hidden temporary file in place of the file it replaces. The two are
// exchanged first and the file taken out is looked at afterwards, so the decision is about the
// very file that was replaced: one that must not be replaced goes back. Where nothing stands
// under the name any more it is taken without replacing anything; where the system cannot
// exchange names, the file is looked at and then replaced by a plain rename.
bool ExchangeIntoPlace(Replacement* r) {
  const char* temporary = r->temporary.c_str();
  const char* name = r->name.c_str();
  if (PosixCalls.rename(temporary, name, RENAME_EXCHANGE) == 0) {
    if (!MayReplace(r->temporary, *r)) {
      // Back: that file stays as it was; where it cannot go back, under the temporary name.
      if (PosixCalls.rename(temporary, name, RENAME_EXCHANGE) != 0) r->temporary.clear();
      return false;
    }
    PosixCalls.unlink(temporary);  // the page replaced
    return true;
  }
  if (errno == ENOENT) return PosixCalls.rename(temporary, name, RENAME_NOREPLACE) == 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
  return MayReplace(r->name, *r) && PosixCalls.rename(temporary, name, 0) == 0;
}

// Puts the complete combined page in place. An unnamed file takes a free name by a link, which
// never replaces anything; where a file stands there, it is linked under a hidden name first and
// exchanged (the only moment a run killed outright leaves a file behind, under that name). False
// when it could not be put in place; r->temporary then names what the caller removes, if any.
bool PutInPlace(Replacement* r) {
  if (r->unnamed < 0) return ExchangeIntoPlace(r);
  if (r->original < 0) {
    if (LinkUnnamed(*r, r->file) == 0) return true;
    if (errno != EEXIST) return false;
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string hidden = HiddenName(r->file, attempt);
    if (LinkUnnamed(*r, hidden) == 0) {
      r->temporary = FolderPart(r->name) + hidden;
      return ExchangeIntoPlace(r);
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

// Runs killed outright (SIGKILL, a crash, a power cut) can leave a hidden file beside the
// combined page: the page being written where no unnamed file could be made, or, for an instant
// at the finish, the new page or the one it replaced. Such a name is ".FILE.PID.tmp" or
// ".FILE.PID-N.tmp"; true when `name` is one for a process other than this one that no longer
// runs. `start` is ".FILE.".
bool IsLeftover(std::string_view name, std::string_view start) {
  if (name.size() <= start.size() + 4 || name.compare(0, start.size(), start) != 0 ||
      name.compare(name.size() - 4, 4, ".tmp") != 0)
    return false;
  // The process number, and the attempt that made the name unique ("-N"), if any.
  const std::string_view middle = name.substr(start.size(), name.size() - start.size() - 4);
  const std::string_view number = middle.substr(0, middle.find('-'));
  const std::string_view attempt = middle.substr(std::min(number.size() + 1, middle.size()));
  const auto digits = [](std::string_view text) {
    return !text.empty() && text.size() < 10 &&
           text.find_first_not_of("0123456789") == std::string_view::npos;
  };
  if (!digits(number) || (number.size() < middle.size() && !digits(attempt))) return false;
  const pid_t process = static_cast<pid_t>(std::stol(std::string(number)));
  return process != ::getpid() && PosixCalls.kill(process, 0) != 0 && errno == ESRCH;
}

// The names beginning with `start` in the combined page's folder: from the pass that read the
// folder's listing for the run's thumbnails where one did (a gallery beside its sheet), else
// from a read of their own (a sheet whose images lie elsewhere, where the folder is small).
std::vector<std::string> HiddenNamesBeside(const Replacement& r, const std::string& start) {
  std::vector<std::string> names;
  if (EndWatch(r.stream, &names)) return names;
  for (const std::string& name : HiddenTemporaryNames(r.folder, FolderPart(r.name)))
    if (name.compare(0, start.size(), start) == 0) names.push_back(name);
  return names;
}

// Removes, at the finish, the leftovers of runs killed outright beside the combined page, each
// as a clean removes a page: only where it carries the marker, decided about the very file
// removed. Anything else stays.
void RemoveLeftovers(const Replacement& r) {
  const std::string start = "." + r.file + ".";
  for (const std::string& name : HiddenNamesBeside(r, start)) {
    if (IsLeftover(name, start)) RemoveOwnPage(FolderPart(r.name) + name, r.marker);
  }
}

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// True when the last segment of `path` is `key` (in lower case) but for the case of its ASCII
// letters. Only a name of the key's length is compared, from its first letter (pages share
// their ends, ".htm" and ".html"), so most names are told apart in a step or two.
bool EndsWithKey(std::string_view path, const std::string& key) {
  if (path.size() < key.size()) return false;
  const std::size_t start = path.size() - key.size();
  if (start > 0 && path[start - 1] != '/') return false;
  for (std::size_t i = 0; i < key.size(); ++i) {
    if (LowerAscii(path[start + i]) != key[i]) return false;
  }
  return true;
}

std::string KeyOf(std::string_view file) {
  std::string key(file);
  for (char& c : key) c = LowerAscii(c);
  return key;
}

// The status of the folder `name` lies in, relative to the working folder.
bool FolderStatus(std::string_view name, struct stat* info) {
  const std::size_t slash = name.rfind('/');
  if (slash == std::string_view::npos) return PosixCalls.stat(".", info) == 0;
  const int folder = PageFolder(name.substr(0, slash));
  return folder >= 0 && PosixCalls.fstat(folder, info) == 0;
}

// The status of the combined page's folder, looked at once: an open folder, or the working
// folder, stays the same folder for the run.
bool ReservedFolderStatus(Replacement& r) {
  if (!r.folderKnown) {
    r.folderKnown = (r.folder == AT_FDCWD ? PosixCalls.stat(".", &r.folderInfo)
                                          : PosixCalls.fstat(r.folder, &r.folderInfo)) == 0;
  }
  return r.folderKnown;
}

// True when the page `name`, open as `fd` (or not open, -1), would take the place of a combined
// page being written: its name in the same folder, or another spelling of it that names the
// same file where the file system folds case. So no page of the run takes that name, also where
// no file holds it yet.
bool TakesReservedName(const std::string& name, int fd) {
  const std::string_view path = name;
  for (Replacement& r : Replacements) {
    if (!EndsWithKey(path, r.key)) continue;  // nearly every page: a few comparisons, no call
    const std::string_view file = path.substr(path.size() - r.key.size());
    struct stat pageFolder;
    const bool sameFolder = FolderStatus(path, &pageFolder) && ReservedFolderStatus(r) &&
                            SameFile(pageFolder, r.folderInfo);
    if (!sameFolder) continue;
    if (file == r.file) return true;
    struct stat page, reserved;
    if (fd >= 0 && PosixCalls.fstat(fd, &page) == 0 &&
        DescribeEntry(r.folder, r.file, &reserved) == 0 && SameFile(page, reserved))
      return true;
  }
  return false;
}

// True when the complete combined page of `r` holds the same bytes as the page it replaces, and
// that page still stands under its name: it is then kept as it is, its time too, and the new
// file dropped. Any look that fails counts as a difference, and the page is put in place.
bool SameAsOriginal(const Replacement& r) {
  struct stat original, written, entry;
  if (r.original < 0 || PosixCalls.fstat(r.original, &original) != 0) return false;
  const std::string path =
      r.unnamed >= 0 ? "/proc/self/fd/" + std::to_string(r.unnamed) : std::string(r.temporary);
  const int reader = PosixCalls.openat(AT_FDCWD, path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC, 0);
  if (reader < 0) return false;
  const bool same = PosixCalls.fstat(reader, &written) == 0 &&
                    written.st_size == original.st_size &&
                    DescribeEntry(r.folder, r.file, &entry) == 0 && SameFile(entry, original) &&
                    SameBytes(reader, r.original, static_cast<std::size_t>(written.st_size));
  PosixCalls.close(reader);
  return same;
}

// Lets go of what CreateOutputFile holds for `r` (its stream aside).
void LetGo(const Replacement& r) {
  if (r.unnamed >= 0) PosixCalls.close(r.unnamed);
  if (r.original >= 0) PosixCalls.close(r.original);
  CloseFolder(r.folder);
}

}  // namespace

std::FILE* CreateOutputFile(const std::string& name, std::string_view marker) {
  Replacement r{nullptr,       name, AT_FDCWD, std::string(),       -1,
                std::string(), -1,   {},       std::string(marker), std::string(),
                false,         {}};
  const std::size_t slash = name.rfind('/');
  r.file = name.substr(slash + 1);  // npos + 1 is 0
  if (IsFolderEntryName(r.file)) return nullptr;
  r.key = KeyOf(r.file);
  if (slash != std::string::npos) {
    r.folder = OpenBeneathWorkingFolder(name.substr(0, slash), O_PATH | O_DIRECTORY | O_CLOEXEC, 0);
    if (r.folder < 0) return nullptr;
  }
  // The file it replaces: held from now on, so that no page of the run is written over it.
  bool accessTimeKept = true;
  r.original = OpenExistingFile(name, &accessTimeKept);
  struct stat entry;
  const bool usable =
      r.original >= 0
          ? PosixCalls.fstat(r.original, &r.info) == 0 && S_ISREG(r.info.st_mode) &&
                !IsHeld(r.info) && LooksLikeOwnPage(r.original, r.info, accessTimeKept, marker)
          // None: but a link that leads nowhere, or a name that cannot be reached, is no free name.
          // Nor is one that a combined page being written will take.
          : errno == ENOENT && DescribeEntry(r.folder, r.file, &entry) != 0 && errno == ENOENT &&
                !TakesReservedName(name, -1);
  const int fd = usable ? CreateReplacementFile(&r) : -1;
  struct stat fileInfo;
  std::FILE* stream = fd >= 0 && PosixCalls.fstat(fd, &fileInfo) == 0 ? OutputStream(fd) : nullptr;
  if (stream == nullptr) {
    if (fd >= 0) {
      PosixCalls.close(fd);
      if (r.unnamed < 0) PosixCalls.unlink(r.temporary.c_str());
    }
    LetGo(r);
    return nullptr;
  }
  r.stream = stream;
  Hold(stream, fileInfo);
  if (r.original >= 0) Hold(stream, r.info);
  Replacements.push_back(r);
  if (r.unnamed < 0) RememberTemporary(r.temporary);
  // The leftovers of killed runs are looked for in the pass that reads the folder for the
  // thumbnails, if the run makes one, and removed at the finish (RemoveLeftovers).
  if (slash == std::string::npos) WatchFolder(stream, "", "." + r.file + ".");
  return stream;
}

bool WriteOutputFile(const std::string& name, std::string_view bytes, std::string_view marker) {
  const OpenOutput output = OpenOutputFile(name, marker);
  if (output.fd < 0) return false;
  // A page that holds these very bytes already is left as it is, its time too: a re-run of an
  // unchanged show rewrites nothing, and tools that copy changed files see no change.
  if (!output.created && static_cast<std::size_t>(output.info.st_size) == bytes.size() &&
      HoldsBytes(output.fd, bytes)) {
    PosixCalls.close(output.fd);  // only read: nothing can be lost
    return true;
  }
  // Open only during this call, so no other output can meet it: it needs no place among the
  // held files. An earlier page is written over from its start and cut to the new length when
  // it was longer, or to what was written when the write failed.
  const std::size_t written = WriteFully(output.fd, bytes.data(), bytes.size());
  const bool shorter = !output.created && static_cast<std::size_t>(output.info.st_size) > written;
  const bool cut = !shorter || PosixCalls.ftruncate(output.fd, static_cast<off_t>(written)) == 0;
  const bool complete = PosixCalls.close(output.fd) == 0 && written == bytes.size() && cut;
  // A page made by this call and not written whole is removed again, so a full disk leaves no
  // empty or partial page behind; an earlier page that was replaced stays as far as it came.
  if (!complete && output.created) PosixCalls.unlink(name.c_str());
  return complete;
}

bool CloseOutputFile(std::FILE* stream) {
  Release(stream);
  const auto found = std::find_if(Replacements.begin(), Replacements.end(),
                                  [stream](const Replacement& r) { return r.stream == stream; });
  const bool flushed = std::fflush(stream) == 0 && std::ferror(stream) == 0;
  const bool complete = std::fclose(stream) == 0 && flushed;
  if (found == Replacements.end()) return complete;
  Replacement r = *found;
  Replacements.erase(found);
  if (complete && SameAsOriginal(r)) {
    if (!r.temporary.empty()) PosixCalls.unlink(r.temporary.c_str());
    ForgetTemporary();
    RemoveLeftovers(r);
    LetGo(r);
    return true;
  }
  // From here the temporary name may hold the file taken out of the page's place, which a second
  // signal must not remove: signals wait until the page is in place.
  ForgetTemporary();
  sigset_t interruptions, previous;
  sigemptyset(&interruptions);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&interruptions, signal);
  ::sigprocmask(SIG_BLOCK, &interruptions, &previous);
  const bool placed = complete && PutInPlace(&r);
  if (!placed && !r.temporary.empty()) PosixCalls.unlink(r.temporary.c_str());
  ::sigprocmask(SIG_SETMASK, &previous, nullptr);
  RemoveLeftovers(r);
  LetGo(r);
  return placed;
}

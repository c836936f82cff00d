// Files and folders on POSIX.
#include <dirent.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/posix_calls.h"
#if defined(SYS_openat2)
#include <linux/openat2.h>
#endif

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "kestrune_version.h"
#include "platform/name_set.h"
#include "platform/path_segments.h"
#include "platform/platform.h"
#include "platform/text_buffer.h"

struct PlatformFile {
  int fd;
};

struct PlatformText {
  PlatformFile* file;
  size_t size;
  char* text = nullptr;
};

namespace {

int SystemOpen(const char* path, int flags, mode_t mode) {
  return ::open(path, flags, mode);
}

int SystemOpenAt(int folder, const char* name, int flags, mode_t mode) {
  return ::openat(folder, name, flags, mode);
}

int SystemStat(const char* path, struct stat* info) {
  return ::stat(path, info);
}

int SystemRename(const char* from, const char* to, unsigned flags) {
  if (flags == 0) return ::renameat(AT_FDCWD, from, AT_FDCWD, to);
  return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, flags);
}

int SystemRenameAt(int fromFolder, const char* from, int toFolder, const char* to, unsigned flags) {
  return ::renameat2(fromFolder, from, toFolder, to, flags);
}

// Default: the kernel resolves the whole path and refuses any step (a "..", an absolute or a
// linked name) that would leave the working folder. Without openat2 the caller falls back.
int SystemOpenBeneath(const char* path, int flags, mode_t mode) {
#if defined(SYS_openat2)
  struct open_how how {};
  how.flags = static_cast<unsigned>(flags);
  how.mode = (flags & O_CREAT) != 0 ? mode : 0;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
  return static_cast<int>(::syscall(SYS_openat2, AT_FDCWD, path, &how, sizeof how));
#else
  (void)path, (void)flags, (void)mode;
  errno = ENOSYS;
  return -1;
#endif
}

struct HeldFile {
  const void* owner;  // the PlatformFile or FILE* that holds the file open
  dev_t device;
  ino_t inode;
};

// Files this process holds open. POSIX has no sharing mode, so CreateOutputFile compares
// identities instead: an output never replaces the contact sheet or the combined page (the file
// it replaces at the finish, and its temporary file).
std::vector<HeldFile> HeldFiles;

void Hold(const void* owner, const struct stat& info) {
  HeldFiles.push_back({owner, info.st_dev, info.st_ino});
}

void Release(const void* owner) {
  HeldFiles.erase(std::remove_if(HeldFiles.begin(), HeldFiles.end(),
                                 [owner](const HeldFile& f) { return f.owner == owner; }),
                  HeldFiles.end());
}

bool IsHeld(const struct stat& info) {
  for (const HeldFile& held : HeldFiles) {
    if (held.device == info.st_dev && held.inode == info.st_ino) return true;
  }
  return false;
}

// Reads up to `size` bytes from the current offset, or with `at` from that offset without moving
// the current one; fewer when the file is shorter or shrank meanwhile. -1 on a read error.
ssize_t ReadFully(int fd, char* buffer, size_t size, off_t at = -1) {
  size_t done = 0;
  while (done < size) {
    const size_t count = std::min<size_t>(size - done, SSIZE_MAX);
    const ssize_t n =
        at < 0 ? PosixCalls.read(fd, buffer + done, count)
               : PosixCalls.pread(fd, buffer + done, count, at + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

// ---- Interruption ------------------------------------------------------------------------------

// The first of SIGINT, SIGTERM or SIGHUP that arrived; the loop looks at it between two messages.
volatile std::sig_atomic_t PendingSignal = 0;

// What a second signal, which ends the program at once, removes first: the combined page's
// temporary file and, while the run reserves the page's name with an empty file of its own,
// that file. Plain buffers, as a signal handler may use nothing else.
char TemporaryToRemove[PATH_MAX];
char ReservedToRemove[PATH_MAX];
volatile std::sig_atomic_t HaveTemporary = 0;
volatile std::sig_atomic_t HaveReserved = 0;

void OnInterruption(int signal) {
  if (PendingSignal == 0) {
    PendingSignal = signal;
    return;
  }
  const int saved = errno;
  if (HaveTemporary) ::unlink(TemporaryToRemove);
  if (HaveReserved) ::unlink(ReservedToRemove);
  errno = saved;
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

void Remember(char* buffer, volatile std::sig_atomic_t* have, const std::string& name) {
  *have = 0;
  if (name.size() >= PATH_MAX) return;
  std::memcpy(buffer, name.c_str(), name.size() + 1);
  *have = 1;
}

}  // namespace

PosixCallTable DefaultPosixCalls() {
  PosixCallTable calls{};
  calls.open = SystemOpen;
  calls.fstat = ::fstat;
  calls.read = ::read;
  calls.close = ::close;
  calls.openBeneath = SystemOpenBeneath;
  calls.openat = SystemOpenAt;
  calls.write = ::write;
  calls.ftruncate = ::ftruncate;
  calls.unlink = ::unlink;
  calls.rename = SystemRename;
  calls.renameAt = SystemRenameAt;
  calls.unlinkAt = ::unlinkat;
  calls.pread = ::pread;
  calls.futimens = ::futimens;
  calls.stat = SystemStat;
  calls.getcwd = ::getcwd;
  calls.chdir = ::chdir;
  calls.readlink = ::readlink;
  calls.access = ::access;
  calls.getdents64 = ::getdents64;
  return calls;
}

PosixCallTable PosixCalls = DefaultPosixCalls();

// A folder asked only a few times is not read: a sheet that links three photos of a folder of
// thousands looks those up one by one. Beyond that, reading pays (measured: from folders of five
// images on), and a gallery folder is read once.
int PosixLookupsBeforeListing = 16;

bool FileExists(const std::string& name) {
  struct stat info;
  return PosixCalls.stat(name.c_str(), &info) == 0;
}

namespace {

// The names ending in ".jpg" of one folder, read once. Symbolic links are kept apart: only a
// real look-up tells whether one leads to a file.
struct FolderListing {
  int lookups = 0;  // names looked up for real before the folder was read
  bool read = false;
  bool usable = false;   // read completely
  bool missing = false;  // no such folder (or not a folder): nothing can be found in it
  NameSet files;
  NameSet links;
};

// Folders relative to the working folder, so valid for one working folder and one run.
std::unordered_map<std::string, FolderListing> Listings;
// The folders asked last, asked again next as a rule: a gallery folder and its thumbnail
// folder, image by image. Kept by name so that no look-up hashes a name.
struct RecentFolder {
  std::string name;
  FolderListing* listing = nullptr;  // stays in place while the map grows
};
RecentFolder RecentFolders[4];
std::size_t NextRecentFolder = 0;

void ForgetPageFolders();

// Everything a run learns of its folders is forgotten for the next one.
void ForgetListings() {
  Listings.clear();
  for (RecentFolder& recent : RecentFolders) recent.listing = nullptr;
  ForgetPageFolders();
}

FolderListing& ListingOf(std::string_view folder) {
  for (const RecentFolder& recent : RecentFolders) {
    if (recent.listing != nullptr && recent.name == folder) return *recent.listing;
  }
  RecentFolder& recent = RecentFolders[NextRecentFolder++ % std::size(RecentFolders)];
  recent.name.assign(folder);
  recent.listing = &Listings[recent.name];
  return *recent.listing;
}

bool EndsWithJpg(std::string_view name) {
  return name.size() > 4 && name.compare(name.size() - 4, 4, ".jpg") == 0;
}

// A name a listing can answer for: relative, ending in ".jpg", every segment a plain name (not
// empty, "." or ".."), no control byte. Anything else takes a real look-up. Sets *slash to the
// position of its last "/" (npos when it has none).
bool IsListable(const std::string& name, std::size_t* slash) {
  if (name.empty() || name.front() == '/' || !EndsWithJpg(name)) return false;
  *slash = std::string::npos;
  std::size_t segmentStart = 0;  // the last segment ends in ".jpg": it is a plain name
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    if (static_cast<unsigned char>(c) < 0x20) return false;
    if (c != '/') continue;
    const std::string_view segment(name.data() + segmentStart, i - segmentStart);
    if (segment.empty() || segment == "." || segment == "..") return false;
    segmentStart = i + 1;
    *slash = i;
  }
  return true;
}

// Reads the names of `folder` that end in ".jpg"; false when it cannot be read whole, or when
// its entries could not be looked at (a folder that cannot be searched: stat fails in it).
// A folder that does not exist, or is no folder, is noted as missing: a look-up by name of any
// file in it fails too.
bool ReadFolder(const std::string& folder, FolderListing* listing) {
  const char* path = folder.empty() ? "." : folder.c_str();
  const auto missing = [listing] {
    listing->missing = errno == ENOENT || errno == ENOTDIR;
    return false;
  };
  if (PosixCalls.access(path, X_OK) != 0) {
    // A file that cannot be searched may be no folder at all.
    struct stat info;
    if (errno == EACCES && PosixCalls.stat(path, &info) == 0 && !S_ISDIR(info.st_mode))
      errno = ENOTDIR;
    return missing();
  }
  const int fd = PosixCalls.openat(AT_FDCWD, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (fd < 0) return missing();
  std::vector<char> buffer(32768);
  ssize_t got;
  while ((got = PosixCalls.getdents64(fd, buffer.data(), buffer.size())) > 0) {
    for (ssize_t at = 0; at < got;) {
      const auto* entry = reinterpret_cast<const struct dirent64*>(buffer.data() + at);
      at += entry->d_reclen;
      const std::string_view name(entry->d_name);
      if (!EndsWithJpg(name)) continue;
      const bool link = entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN;
      AddName(link ? listing->links : listing->files, name);
    }
  }
  PosixCalls.close(fd);
  SortNames(listing->files);
  SortNames(listing->links);
  return got == 0;
}

}  // namespace

bool ImageFileExists(const std::string& name) {
  std::size_t slash;
  if (!IsListable(name, &slash)) return FileExists(name);
  const std::string_view folder =
      slash == std::string::npos ? std::string_view() : std::string_view(name).substr(0, slash);
  FolderListing& listing = ListingOf(folder);
  if (!listing.read) {
    if (++listing.lookups <= PosixLookupsBeforeListing) return FileExists(name);
    listing.read = true;
    listing.usable = ReadFolder(std::string(folder), &listing);
  }
  if (listing.missing) return false;
  if (!listing.usable) return FileExists(name);
  const std::string_view file = std::string_view(name).substr(slash + 1);  // npos + 1 is 0
  if (HasName(listing.files, file)) return true;
  return HasName(listing.links, file) && FileExists(name);
}

PlatformFile* OpenFileReadOnly(const std::string& path) {
  ForgetListings();  // a new contact sheet is a new run: the folders are read afresh
  // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below.
  const int fd = PosixCalls.open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0);
  if (fd < 0) return nullptr;
  struct stat info;
  if (PosixCalls.fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    PosixCalls.close(fd);
    return nullptr;
  }
  PlatformFile* file = new PlatformFile{fd};
  Hold(file, info);
  return file;
}

PlatformText* OpenWholeText(PlatformFile* file) {
  struct stat info;
  if (PosixCalls.fstat(file->fd, &info) != 0 || info.st_size <= 0) return nullptr;
  if (static_cast<unsigned long long>(info.st_size) >= SIZE_MAX) return nullptr;
  return new PlatformText{file, static_cast<size_t>(info.st_size)};
}

const char* ViewWholeText(PlatformText* mapping, std::size_t* length) {
  // The whole file is read into a buffer one byte longer than the file, so the text is always
  // terminated and a file changed by another program cannot fault a scan.
  char* text = new (std::nothrow) char[mapping->size + 1];
  if (text == nullptr) return nullptr;
  const ssize_t got = ReadFully(mapping->file->fd, text, mapping->size);
  if (got < 0) {
    delete[] text;
    return nullptr;
  }
  text[got] = '\0';
  delete[] mapping->text;
  mapping->text = text;
  *length = std::strlen(text);
  return text;
}

void CloseFile(PlatformFile* file) {
  Release(file);
  PosixCalls.close(file->fd);
  delete file;
}

void CloseWholeText(PlatformText* mapping) {
  delete[] mapping->text;
  delete mapping;
}

std::string GetWorkingFolder() {
  return ReadIntoGrowingBuffer(PATH_MAX, [](char* buffer, std::size_t size) -> long long {
    if (PosixCalls.getcwd(buffer, size) != nullptr) return std::strlen(buffer);
    return errno == ERANGE ? static_cast<long long>(size) : -1;  // ERANGE: it needs more room
  });
}

bool SetWorkingFolder(const std::string& folder) {
  ForgetListings();  // they name folders relative to the old working folder
  return PosixCalls.chdir(folder.c_str()) == 0;
}

// On POSIX only "/" separates folders; "\" and ":" are ordinary characters of a name.
std::size_t FolderPrefixLength(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? 0 : slash + 1;
}

bool IsFolderSeparator(char c) {
  return IsSlash(c);
}

// A name is the bytes as they are, in whatever encoding the sheet or the user wrote them.
bool NamesFilesInUnicode() {
  return false;
}

namespace {

void CloseFolder(int folder) {
  if (folder != AT_FDCWD) PosixCalls.close(folder);
}

// Opens `path` one component at a time from the working folder and never follows a symbolic
// link, so it cannot leave the folder. Stricter than openat2: a link that stays inside is
// refused too. Used only where the kernel has no openat2.
int OpenByWalking(const std::string& path, int flags, mode_t mode) {
  if (path.empty() || path.front() == '/') {
    errno = path.empty() ? ENOENT : EXDEV;
    return -1;
  }
  const std::vector<std::string_view> segments = SplitPath(path, IsSlash);
  int folder = AT_FDCWD;
  int depth = 0;                                           // folders below the working folder
  for (std::size_t i = 0; i + 1 < segments.size(); ++i) {  // the folders on the way
    const std::string part(segments[i]);
    if (part.empty() || part == ".") continue;
    depth += part == ".." ? -1 : 1;
    if (depth < 0) {
      CloseFolder(folder);
      errno = EXDEV;
      return -1;
    }
    const int next =
        PosixCalls.openat(folder, part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0);
    CloseFolder(folder);
    if (next < 0) return -1;
    folder = next;
  }
  const std::string file(segments.back());
  const int fd = PosixCalls.openat(folder, file.c_str(), flags | O_NOFOLLOW, mode);
  const int saved = errno;
  CloseFolder(folder);
  errno = saved;
  return fd;
}

// Opens an output name beneath the working folder: never through a link or ".." leading out.
int OpenBeneathWorkingFolder(const std::string& name, int flags, mode_t mode) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    const int fd = PosixCalls.openBeneath(name.c_str(), flags, mode);
    if (fd >= 0) return fd;
    if (errno == EAGAIN || errno == EINTR) continue;  // a rename raced the lookup: try again
    // ENOSYS: no openat2 in this kernel; EPERM: a sandbox that filters unknown system calls.
    if (errno == ENOSYS || errno == EPERM) return OpenByWalking(name, flags, mode);
    return -1;
  }
  return -1;
}

// Writes `size` bytes, continuing short writes; returns how many were written.
size_t WriteFully(int fd, const char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = PosixCalls.write(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

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

// An existing name is opened for reading too, for the look at its first bytes. O_NONBLOCK: a
// FIFO must not be waited on (it is refused); regular files ignore the flag.
constexpr int kExistingFileFlags = O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

// Opens a file with `open(flags)`, adding O_NOATIME where the kernel permits it (to the file's
// owner, or with privilege): a file refused after a look must keep its access time too, which a
// read would move. *noAccessTime says whether it did.
template <typename Open>
int OpenKeepingAccessTime(Open open, int flags, bool* noAccessTime) {
  *noAccessTime = true;
  const int fd = open(flags | O_NOATIME);
  if (fd >= 0 || errno != EPERM) return fd;
  *noAccessTime = false;
  return open(flags);
}

// Opens the existing file `name` beneath the working folder for the look at its first bytes and,
// with kExistingFileFlags, the page written next.
int OpenExistingFile(const std::string& name, bool* noAccessTime, int flags = kExistingFileFlags) {
  return OpenKeepingAccessTime([&name](int f) { return OpenBeneathWorkingFolder(name, f, 0); },
                               flags, noAccessTime);
}

// Looks at the first bytes of the existing regular file `fd` (described by `info`): OwnPage,
// Empty, Foreign, or Unreadable when they cannot be read. The read leaves the offset at 0 for the
// page written next. Where the file could not be opened with O_NOATIME, the old access time is put
// back after the look, as far as permissions allow.
PageFileState HeadOf(int fd, const struct stat& info, bool accessTimeKept,
                     std::string_view marker) {
  // As much as the file holds, so one read does where a page is shorter than the look; left
  // uninitialised, as only the bytes read are looked at.
  const std::size_t size = std::min<std::size_t>(
      kOwnPageLookSize, info.st_size > 0 ? static_cast<std::size_t>(info.st_size) : 0);
  const std::unique_ptr<char[]> head(new (std::nothrow) char[size + 1]);
  const ssize_t got = head ? ReadFully(fd, head.get(), size, 0) : -1;
  PageFileState state = PageFileState::Unreadable;
  if (got == 0) {
    state = PageFileState::Empty;
  } else if (got > 0) {
    state = IsEmptyOrOwnPage(head.get(), static_cast<size_t>(got), marker) ? PageFileState::OwnPage
                                                                           : PageFileState::Foreign;
  }
  if (state != PageFileState::OwnPage && state != PageFileState::Empty && !accessTimeKept) {
    const struct timespec times[2] = {info.st_atim, {0, UTIME_OMIT}};
    PosixCalls.futimens(fd, times);
  }
  return state;
}

// True when the existing regular file `fd` is empty or a page of ours (HeadOf).
bool LooksLikeOwnPage(int fd, const struct stat& info, bool accessTimeKept,
                      std::string_view marker) {
  const PageFileState state = HeadOf(fd, info, accessTimeKept, marker);
  return state == PageFileState::OwnPage || state == PageFileState::Empty;
}

// Whether the last page opened existed already. A run over an earlier show finds every page
// there, a fresh one none: the next page is first opened the way the last one was found, so
// neither kind of run pays for a failed call on every page.
bool LastPageExisted = false;

// Folders that pages are created in, each opened once beneath the working folder (checked to
// lie inside it once, as every page's whole name was before) and kept for the run, at most
// kMostPageFolders at a time.
std::unordered_map<std::string, int> PageFolders;
std::string LastPageFolder;
int LastPageFolderFd = -1;
constexpr std::size_t kMostPageFolders = 64;

void ForgetPageFolders() {
  for (const auto& folder : PageFolders) PosixCalls.close(folder.second);
  PageFolders.clear();
  LastPageFolderFd = -1;
  LastPageExisted = false;
}

// The folder `folder` (relative to the working folder) opened beneath it; -1 when it cannot be.
int PageFolder(std::string_view folder) {
  if (LastPageFolderFd >= 0 && folder == LastPageFolder) return LastPageFolderFd;
  auto found = PageFolders.find(std::string(folder));
  if (found == PageFolders.end()) {
    if (PageFolders.size() >= kMostPageFolders) ForgetPageFolders();
    const int fd =
        OpenBeneathWorkingFolder(std::string(folder), O_PATH | O_DIRECTORY | O_CLOEXEC, 0);
    if (fd < 0) return -1;
    found = PageFolders.emplace(folder, fd).first;
  }
  LastPageFolder.assign(folder);
  LastPageFolderFd = found->second;
  return LastPageFolderFd;
}

// Creates `name`, which must not exist yet: O_EXCL fails on any existing name, a link among
// them, and follows none, so a plain openat in the working folder, or in the page's folder as
// opened beneath it, cannot leave the working folder.
int CreateNewFile(const std::string& name) {
  const int flags = O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | O_CREAT | O_EXCL | O_NOFOLLOW;
  const std::size_t slash = name.rfind('/');
  if (slash == std::string::npos) return PosixCalls.openat(AT_FDCWD, name.c_str(), flags, 0666);
  const char* file = name.c_str() + slash + 1;  // the rest of the name, terminated with it
  if (*file == '\0' || std::strcmp(file, ".") == 0 || std::strcmp(file, "..") == 0)
    return errno = EISDIR, -1;
  const int folder = PageFolder(std::string_view(name).substr(0, slash));
  if (folder < 0) return -1;
  return PosixCalls.openat(folder, file, flags, 0666);
}

// An output file open for writing from its start, as CreateOutputFile and WriteOutputFile make
// it: `created` when it did not exist, else `info` describes the existing file.
struct OpenOutput {
  int fd = -1;
  bool created = false;
  struct stat info {};
};

// Opens `name` for a page: a new file, or an existing one that may be replaced, left as it is
// (the caller writes over it from its start). A file that must not be replaced is left
// untouched; fd -1 when refused.
OpenOutput OpenOutputFile(const std::string& name, std::string_view marker) {
  OpenOutput output;
  bool accessTimeKept = true;
  if (LastPageExisted) {
    output.fd = OpenExistingFile(name, &accessTimeKept);
    if (output.fd < 0 && errno == ENOENT) {
      output.fd = CreateNewFile(name);
      output.created = output.fd >= 0;
    }
  } else {
    output.fd = CreateNewFile(name);
    output.created = output.fd >= 0;
    if (output.fd < 0 && errno == EEXIST) output.fd = OpenExistingFile(name, &accessTimeKept);
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
      LooksLikeOwnPage(output.fd, info, accessTimeKept, marker))
    return output;
  PosixCalls.close(output.fd);
  output.fd = -1;
  return output;
}

// Gives up an output that could not be used: closed, and removed when it was made for it.
void DropOutputFile(const OpenOutput& output, const std::string& name) {
  PosixCalls.close(output.fd);
  if (output.created) PosixCalls.unlink(name.c_str());
}

// A file written under a temporary name beside the one it replaces when it is complete (the
// combined page): `original` is the file under `name` from the start, looked at and held, or an
// empty one made there so that no page takes the name meanwhile.
struct Replacement {
  std::FILE* stream;
  std::string name;
  std::string temporary;
  int original;
  bool created;
  struct stat info;
  std::string marker;  // the line a file carries when it may be replaced
};
std::vector<Replacement> Replacements;

void RememberForInterruption(const Replacement& replacement) {
  Remember(TemporaryToRemove, &HaveTemporary, replacement.temporary);
  if (replacement.created) Remember(ReservedToRemove, &HaveReserved, replacement.name);
}

// Called before the combined page is put in place: from then on its name holds the new page.
void ForgetForInterruption() {
  HaveReserved = 0;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Creates a temporary file beside `name`: hidden, unique to this process, and ending in
// ".tmp", so it can never be a page (.htm, .html) or an image a run looks for.
int CreateTemporaryFile(const std::string& name, std::string* temporary) {
  const std::size_t slash = name.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : name.substr(0, slash + 1);
  const std::string base = name.substr(folder.size());
  for (int attempt = 0; attempt < 100; ++attempt) {
    *temporary = folder + "." + base + "." + std::to_string(::getpid()) +
                 (attempt > 0 ? "-" + std::to_string(attempt) : "") + ".tmp";
    const int fd = CreateNewFile(*temporary);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Removes `name` when it is still the file described by `info`.
void RemoveIfStill(const std::string& name, const struct stat& info) {
  struct stat now;
  if (PosixCalls.stat(name.c_str(), &now) == 0 && SameFile(now, info))
    PosixCalls.unlink(name.c_str());
}

// True when the file under `name` may be replaced: the original looked at when the stream was
// made, or a page of ours or an empty file that took the name since (another run's combined
// page, say), looked at now.
bool MayReplace(const std::string& name, const Replacement& replacement) {
  bool accessTimeKept = true;
  const int fd = OpenExistingFile(name, &accessTimeKept);
  if (fd < 0) return false;
  struct stat info;
  const bool may = PosixCalls.fstat(fd, &info) == 0 &&
                   (SameFile(info, replacement.info) ||
                    (S_ISREG(info.st_mode) && !IsHeld(info) &&
                     LooksLikeOwnPage(fd, info, accessTimeKept, replacement.marker)));
  PosixCalls.close(fd);
  return may;
}

// Puts the complete temporary file in place of the file it replaces. The two are exchanged
// first and the file taken out is looked at afterwards, so the decision is about the very file
// that was replaced: one that must not be replaced goes back. Where the system cannot exchange
// names, the file is looked at and then replaced by a plain rename.
bool PutInPlace(const Replacement& r) {
  const char* temporary = r.temporary.c_str();
  const char* name = r.name.c_str();
  if (PosixCalls.rename(temporary, name, RENAME_EXCHANGE) == 0) {
    if (!MayReplace(r.temporary, r)) {
      PosixCalls.rename(temporary, name, RENAME_EXCHANGE);  // back: that file stays as it was
      return false;
    }
    PosixCalls.unlink(temporary);  // the page replaced
    return true;
  }
  if (errno == ENOENT) return PosixCalls.rename(temporary, name, RENAME_NOREPLACE) == 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
  return MayReplace(r.name, r) && PosixCalls.rename(temporary, name, 0) == 0;
}

// ---- Looking at page names and removing pages --------------------------------------------

// The folder of the page `name`, opened beneath the working folder (AT_FDCWD for a page beside
// the sheet), and the page's own name in it in *file; -1 with errno when it cannot be reached.
int FolderOfPage(const std::string& name, std::string* file) {
  const std::size_t slash = name.rfind('/');
  *file = name.substr(slash + 1);  // npos + 1 is 0
  if (slash == std::string::npos) return AT_FDCWD;
  return PageFolder(std::string_view(name).substr(0, slash));
}

bool IsFolderEntryName(const std::string& file) {
  return file.empty() || file == "." || file == "..";
}

// Why a page's folder, or a file in it, could not be reached, from the error of the call.
PageFileState Unreachable(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return PageFileState::FolderMissing;
    case EXDEV:  // openat2 refused a step out of the working folder
    case ELOOP:
      return PageFileState::LeadsOutside;
    case EACCES:
    case EPERM:
    case EROFS:
      return PageFileState::NotWritable;
    default:
      return PageFileState::Failed;
  }
}

std::string IdentityOf(const struct stat& info) {
  return std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
}

// True when a file can be created in the folder of the page `name`.
bool FolderOfPageWritable(const std::string& name) {
  const std::size_t slash = name.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : name.substr(0, slash + 1);
  return PosixCalls.access(folder.c_str(), W_OK | X_OK) == 0;
}

// Describes what stands under `file` in `folder` without following a link; -1 with errno when
// nothing can be described there. O_PATH opens nothing for reading: a device is never opened.
int DescribeEntry(int folder, const std::string& file, struct stat* info) {
  const int entry = PosixCalls.openat(folder, file.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC, 0);
  if (entry < 0) return -1;
  const int described = PosixCalls.fstat(entry, info);
  const int saved = errno;
  PosixCalls.close(entry);
  errno = saved;
  return described;
}

// The flags of a look that only reads.
constexpr int kLookFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

// Looks at what stands under `file` in `folder`, following no link: Absent, Link, NotRegular,
// InUse, or what its first bytes say (HeadOf); its status in *info.
PageFileState LookAtEntry(int folder, const std::string& file, struct stat* info,
                          std::string_view marker) {
  if (DescribeEntry(folder, file, info) != 0) {
    return errno == ENOENT ? PageFileState::Absent : Unreachable(errno);
  }
  if (S_ISLNK(info->st_mode)) return PageFileState::Link;
  if (!S_ISREG(info->st_mode)) return PageFileState::NotRegular;
  if (IsHeld(*info)) return PageFileState::InUse;
  bool accessTimeKept = true;
  const int fd = OpenKeepingAccessTime(
      [&](int flags) { return PosixCalls.openat(folder, file.c_str(), flags | O_NOFOLLOW, 0); },
      kLookFlags, &accessTimeKept);
  if (fd < 0) return errno == EACCES ? PageFileState::Unreadable : Unreachable(errno);
  struct stat opened;
  PageFileState state = PageFileState::Failed;
  // The file read must be the one described: another may have taken the name in between.
  if (PosixCalls.fstat(fd, &opened) == 0 && SameFile(opened, *info))
    state = HeadOf(fd, opened, accessTimeKept, marker);
  PosixCalls.close(fd);
  return state;
}

// Renames `from` to `to` in `folder` without replacing anything that stands under `to`. Where
// the file system cannot refuse to replace, `to` is looked for first: the names moved to are
// hidden names unique to this process, or the page's own name that was just free.
int MoveWithoutReplacing(int folder, const std::string& from, const std::string& to) {
  if (PosixCalls.renameAt(folder, from.c_str(), folder, to.c_str(), RENAME_NOREPLACE) == 0)
    return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return -1;
  struct stat info;
  if (DescribeEntry(folder, to, &info) == 0) return errno = EEXIST, -1;
  if (errno != ENOENT) return -1;
  return PosixCalls.renameAt(folder, from.c_str(), folder, to.c_str(), 0);
}

// Moves `file` aside in `folder` under a hidden name of its own (*aside): a leading dot, this
// process's id, and ".tmp", so it can never be a page or an image a run looks for. False when
// it could not be moved, with the reason in *failure.
bool MoveAside(int folder, const std::string& file, std::string* aside, PageFileState* failure) {
  *failure = PageFileState::Failed;
  for (int attempt = 0; attempt < 100; ++attempt) {
    *aside = "." + file + "." + std::to_string(::getpid()) +
             (attempt > 0 ? "-" + std::to_string(attempt) : "") + ".tmp";
    if (MoveWithoutReplacing(folder, file, *aside) == 0) return true;
    if (errno == EEXIST) continue;
    if (errno == ENOENT) {
      *failure = PageFileState::Absent;  // gone meanwhile
    } else if (Unreachable(errno) == PageFileState::NotWritable) {
      *failure = PageFileState::NotWritable;
    }
    return false;
  }
  return false;
}

}  // namespace

void CatchInterruptions() {
  struct sigaction action {};
  action.sa_handler = OnInterruption;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a blocking wait returns and the loop looks at the signal
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction previous {};
    // A signal ignored by whoever started the program (nohup) stays ignored.
    if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    ::sigaction(signal, &action, nullptr);
  }
}

int PendingInterruption() {
  return PendingSignal;
}

std::FILE* CreateOutputFile(const std::string& name, std::string_view marker) {
  OpenOutput original = OpenOutputFile(name, marker);
  if (original.fd < 0) return nullptr;
  if (original.created && PosixCalls.fstat(original.fd, &original.info) != 0) {
    DropOutputFile(original, name);
    return nullptr;
  }
  Replacement replacement{nullptr,          name,          std::string(),      original.fd,
                          original.created, original.info, std::string(marker)};
  const int temporary = CreateTemporaryFile(name, &replacement.temporary);
  struct stat temporaryInfo {};
  std::FILE* stream = temporary >= 0 && PosixCalls.fstat(temporary, &temporaryInfo) == 0
                          ? OutputStream(temporary)
                          : nullptr;
  if (stream == nullptr) {
    if (temporary >= 0) {
      PosixCalls.close(temporary);
      PosixCalls.unlink(replacement.temporary.c_str());
    }
    DropOutputFile(original, name);
    return nullptr;
  }
  replacement.stream = stream;
  Hold(stream, temporaryInfo);
  Hold(stream, original.info);  // no page may be written over it meanwhile
  Replacements.push_back(replacement);
  RememberForInterruption(replacement);
  return stream;
}

bool WriteOutputFile(const std::string& name, std::string_view bytes, std::string_view marker) {
  const OpenOutput output = OpenOutputFile(name, marker);
  if (output.fd < 0) return false;
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

PageFileLook LookAtPageFile(const std::string& name, std::string_view marker) {
  PageFileLook look;
  std::string file;
  const int folder = FolderOfPage(name, &file);
  if (folder == -1) {
    look.state = Unreachable(errno);
    return look;
  }
  if (IsFolderEntryName(file)) {
    look.state = PageFileState::NotRegular;
    return look;
  }
  struct stat info;
  if (DescribeEntry(folder, file, &info) != 0) {
    look.state = errno == ENOENT ? PageFileState::Absent : Unreachable(errno);
    if (look.state == PageFileState::Absent) look.folderWritable = FolderOfPageWritable(name);
    return look;
  }
  if (S_ISLNK(info.st_mode)) {
    // A write follows a link that stays inside the working folder: the file it leads to.
    const int target = OpenBeneathWorkingFolder(name, O_PATH | O_CLOEXEC, 0);
    if (target < 0) {
      look.state = errno == ENOENT ? PageFileState::NotRegular : Unreachable(errno);
      return look;
    }
    const bool described = PosixCalls.fstat(target, &info) == 0;
    PosixCalls.close(target);
    if (!described) return look;
    if (S_ISLNK(info.st_mode)) {  // the walk that stands in for openat2 follows no link
      look.state = PageFileState::Link;
      return look;
    }
  }
  look.identity = IdentityOf(info);
  if (!S_ISREG(info.st_mode)) {
    look.state = PageFileState::NotRegular;
  } else if (IsHeld(info)) {
    look.state = PageFileState::InUse;
  } else {
    bool accessTimeKept = true;
    const int fd = OpenExistingFile(name, &accessTimeKept, kLookFlags);
    if (fd < 0) {
      look.state = errno == EACCES ? PageFileState::Unreadable : Unreachable(errno);
      return look;
    }
    look.state = HeadOf(fd, info, accessTimeKept, marker);
    PosixCalls.close(fd);
  }
  if (look.state == PageFileState::OwnPage || look.state == PageFileState::Empty) {
    if (PosixCalls.access(name.c_str(), W_OK) != 0) look.state = PageFileState::NotWritable;
    look.folderWritable = FolderOfPageWritable(name);
  }
  return look;
}

// The page is first looked at where it stands, so that a file of someone else's is never moved.
// A page of ours is then moved aside in its folder under a hidden name of its own, never
// replacing anything, and looked at again there: that look is about the very file that was
// moved, which no other program knows by that name, so the file removed is the one decided on;
// anything else goes back under its name. The folder is opened beneath the working folder and
// every name is resolved in it without following a link, so nothing outside is ever reached.
PageFileState RemoveOwnPage(const std::string& name, std::string_view marker) {
  std::string file;
  const int folder = FolderOfPage(name, &file);
  if (folder == -1) {
    const PageFileState state = Unreachable(errno);
    return state == PageFileState::FolderMissing ? PageFileState::Absent : state;
  }
  if (IsFolderEntryName(file)) return PageFileState::NotRegular;
  struct stat info;
  PageFileState state = LookAtEntry(folder, file, &info, marker);
  if (state != PageFileState::OwnPage) return state;
  std::string aside;
  if (!MoveAside(folder, file, &aside, &state)) return state;
  state = LookAtEntry(folder, aside, &info, marker);
  if (state == PageFileState::Absent) return state;  // removed by someone else meanwhile
  if (state == PageFileState::OwnPage && PosixCalls.unlinkAt(folder, aside.c_str(), 0) == 0)
    return PageFileState::Removed;
  const int error = errno;
  if (MoveWithoutReplacing(folder, aside, file) != 0) return PageFileState::LeftAside;
  if (state != PageFileState::OwnPage) return state;
  return Unreachable(error) == PageFileState::NotWritable ? PageFileState::NotWritable
                                                          : PageFileState::Failed;
}

std::string FileNameKey(const std::string& name) {
  std::string key;
  for (std::string_view segment : ResolvedSegments(name, IsSlash))
    key.append(key.empty() ? "" : "/").append(segment);
  return key;
}

bool CloseOutputFile(std::FILE* stream) {
  Release(stream);
  const auto found = std::find_if(Replacements.begin(), Replacements.end(),
                                  [stream](const Replacement& r) { return r.stream == stream; });
  const bool flushed = std::fflush(stream) == 0 && std::ferror(stream) == 0;
  const bool complete = std::fclose(stream) == 0 && flushed;
  if (found == Replacements.end()) return complete;
  const Replacement replacement = *found;
  Replacements.erase(found);
  ForgetForInterruption();
  const bool placed = complete && PutInPlace(replacement);
  HaveTemporary = 0;
  if (!placed) {
    PosixCalls.unlink(replacement.temporary.c_str());
    if (replacement.created) RemoveIfStill(replacement.name, replacement.info);
  }
  PosixCalls.close(replacement.original);
  return placed;
}

std::string ProgramFolder() {
  // A target that fills the whole buffer may have been cut short: it asks for more room.
  const std::string path = ReadIntoGrowingBuffer(PATH_MAX, [](char* buffer, std::size_t size) {
    return static_cast<long long>(PosixCalls.readlink("/proc/self/exe", buffer, size));
  });
  return path.substr(0, FolderPrefixLength(path));
}

// Beside the executable in a build folder; where it was installed, relative to the installed
// executable, otherwise.
std::string HelpPageAddress() {
  const std::string folder = ProgramFolder();
  if (folder.empty()) return std::string();
  for (const char* place : {"help.html", KESTRUNE_HELP_FROM_PROGRAM}) {
    const std::string candidate = folder + place;
    if (PosixCalls.access(candidate.c_str(), R_OK) == 0) return candidate;
  }
  return std::string();
}

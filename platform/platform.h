// Platform operations: the only way the generation reaches the operating system. What it says to
// the user goes through ui/user.h instead.
//
// Files and folders are implemented once per system, in a file for each job: posix_*.cpp and
// win32_*.cpp.
// Nothing here includes an OS header, and no caller tests which OS it runs on.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

// Opaque handles owned by the platform layer; nullptr always means "none".
struct PlatformFile;
struct PlatformText;

// ---- Files and folders -------------------------------------------------------------------------

// True where this system names files in Unicode (Windows): every name handed to the operations
// below is then UTF-8, and so is every name they return; a link's name is the one a browser
// opens (BrowserFileName), and a name that is not UTF-8 names no file. False where names are
// bytes (POSIX): they pass as they are, and a link's name is its decoded bytes.
bool NamesFilesInUnicode();

// True when something exists under `name` (relative to the working folder, or absolute).
bool FileExists(const std::string& name);

// FileExists for names of images (ending in ".jpg"), relative to the working folder, such as the
// PREVIOUS icons a slide step looks for. Nothing a run writes is such a file, so the answers of
// one folder may come from one read of the folder made on first use, where the system allows it
// and the folder is asked often enough to pay for the read; the answers are those of FileExists.
bool ImageFileExists(const std::string& name);

// Opens `path` for reading; nullptr when it cannot be opened or is not a regular file. Never
// blocks (a FIFO is refused, not waited on). While open, CreateOutputFile refuses this file.
PlatformFile* OpenFileReadOnly(const std::string& path);

// Makes the whole of `file` available as one text (Windows maps it; POSIX reads it whole when it
// is viewed); nullptr for a file of zero bytes or on failure.
PlatformText* OpenWholeText(PlatformFile* file);

// The file's bytes as one text: *length bytes up to (not including) the first zero byte, with a
// zero byte at text[*length]. Valid until CloseWholeText. nullptr when the bytes cannot be had.
const char* ViewWholeText(PlatformText* text, std::size_t* length);

void CloseFile(PlatformFile* file);
void CloseWholeText(PlatformText* text);

std::string GetWorkingFolder();
// Makes `folder` (which may end with its separator) the working folder; returns false on failure.
bool SetWorkingFolder(const std::string& folder);

// Length of the folder prefix of `path`, its last separator included; 0 when there is none.
std::size_t FolderPrefixLength(const std::string& path);

// True when `c` separates folders in a relative name as this system reads it: "/" everywhere,
// and "\" too on Windows. Decides how deep a page lies below the contact sheet's folder.
bool IsFolderSeparator(char c);

// Every page kestrune writes carries a marker line (its text is the pages' own, handed to each
// operation below that looks at a file). An existing file is replaced only when the marker
// stands whole within its first kOwnPageLookSize bytes, or when it is empty.
inline constexpr std::size_t kOwnPageLookSize = 65536;

// True when `head`, the first bytes of a file (at most kOwnPageLookSize), is empty or holds the
// marker: the file is a page of an earlier run, or nothing.
inline bool IsEmptyOrOwnPage(const char* head, std::size_t length, std::string_view marker) {
  return length == 0 || std::string_view(head, length).find(marker) != std::string_view::npos;
}

// Creates the file `name` (the combined page), relative to the working folder, for writing in
// binary mode (the core writes CR LF itself). It is written into a file of its own beside it (one
// without a name where the system allows, else under a hidden temporary name) and put in place by
// CloseOutputFile only once complete, so `name` holds either the complete new file or what it
// held before, also after a failure, an interruption or a kill; until then no other output of
// this process may take `name` or replace the file that stands there.
// Returns nullptr, touching nothing, when the file cannot be created, when reaching it would
// leave the working folder (an absolute name, a "..", or a symbolic link leading out, also a link
// as the last component), or when it is a file this process holds open (the contact sheet, or an
// output file not yet closed), under any name or link. An existing file may be replaced only
// when it is a regular file that is empty or a page of ours (IsEmptyOrOwnPage on its first
// bytes); any other file, one that cannot be read among them, is refused and left exactly as it
// was, its bytes and, where the system allows, its times.
std::FILE* CreateOutputFile(const std::string& name, std::string_view marker);

// Flushes and closes a stream from CreateOutputFile and puts the file in place, replacing the
// file under its name only when that is still the one CreateOutputFile looked at, or a page of
// ours or an empty file (the decision is made about the very file replaced). False when anything
// written was lost or the file could not be put in place; the temporary file is gone either way.
// Where the system can tell (POSIX), a new file that holds exactly the bytes of the one it would
// replace is dropped instead, the page and its folder keeping their times.
bool CloseOutputFile(std::FILE* stream);

// Creates or replaces `name` with the same refusals as CreateOutputFile, and writes `bytes` into
// it directly, in one write, read through the very handle that is then truncated and written.
// False when it was refused or anything written was lost; a file this call created is then
// removed again, so no empty or partial page of a run is left. Where the system can tell (POSIX),
// an existing page that holds exactly `bytes` is left as it is, its times kept.
bool WriteOutputFile(const std::string& name, std::string_view bytes, std::string_view marker);

// What stands under a page's name, as LookAtPageFile and RemoveOwnPage find it.
enum class PageFileState {
  Absent,         // nothing: a page would be created
  OwnPage,        // a regular file that carries the marker in its first bytes
  Empty,          // an empty regular file
  Foreign,        // a regular file without the marker
  Unreadable,     // a regular file whose first bytes cannot be read
  Link,           // a symbolic link that is not followed
  NotRegular,     // a folder, a device, a FIFO, a socket, or a link that leads nowhere
  InUse,          // held open by this process (the contact sheet), on Windows also by another
  LeadsOutside,   // reaching it leaves the working folder through a link or a junction
  DeviceName,     // a name Windows reads as a device
  FolderMissing,  // a folder on the way is missing, or is no folder
  NotWritable,    // it, or its folder, may not be changed (permissions, a read-only file system)
  Failed,         // the system failed otherwise
  Removed,        // RemoveOwnPage: the page is gone
  LeftAside,      // RemoveOwnPage: a new file took the name meanwhile, so the file moved aside to
                  // be looked at stays under its hidden temporary name beside it
};

// What the first bytes of an existing regular file say, `got` of them read into `head` (-1: the
// read failed): Empty, OwnPage, Foreign, or Unreadable. The look of both systems ends here.
inline PageFileState HeadState(const char* head, long long got, std::string_view marker) {
  if (got < 0) return PageFileState::Unreadable;
  if (got == 0) return PageFileState::Empty;
  return IsEmptyOrOwnPage(head, static_cast<std::size_t>(got), marker) ? PageFileState::OwnPage
                                                                       : PageFileState::Foreign;
}

// True for what a write may replace: a page of ours, or an empty file.
inline bool MayBeReplaced(PageFileState state) {
  return state == PageFileState::OwnPage || state == PageFileState::Empty;
}

struct PageFileLook {
  PageFileState state = PageFileState::Failed;
  // Absent, OwnPage, Empty: a new file can be made in its folder, as far as this system can
  // tell beforehand.
  bool folderWritable = true;
  // An existing file's identity on its volume; two names of one file have the same. Empty when
  // none was found.
  std::string identity;
};

// True when writing over what `look` found needs a new file in its folder: a file that is not
// there yet, and for CreateOutputFile (`beside`) also one it replaces, since that is written
// beside it and put in its place; WriteOutputFile writes an existing page in place.
inline bool WriteMakesNewFile(const PageFileLook& look, bool beside) {
  return look.state == PageFileState::Absent ||
         (beside && (look.state == PageFileState::OwnPage || look.state == PageFileState::Empty));
}

// What writing a page under `name` (relative to the working folder) with WriteOutputFile would
// meet, found with the same checks and without creating or changing anything (not even an access
// time, where the system allows): Absent; OwnPage or Empty (it would be replaced; NotWritable when
// it may not be written); Foreign or Unreadable (kept); or a refusal. A link that stays inside the
// folder is followed, as a write follows it.
PageFileLook LookAtPageFile(const std::string& name, std::string_view marker);

// Removes `name` (relative to the working folder) only when it is a regular file that carries the
// marker and is not held open by this process; never follows a link, never removes a folder, and
// never reaches outside the working folder. The decision is made about the very file removed.
// Returns Removed, or what stands there instead (Absent when nothing does, or its folder is
// missing), or why it could not be removed (NotWritable, Failed, LeftAside).
PageFileState RemoveOwnPage(const std::string& name, std::string_view marker);

// A key for the file `name` (relative to the working folder): names with the same key name the
// same file as far as their spelling tells ("." and empty segments left out, ".." resolved, and
// on Windows both separators alike and letters in either case).
std::string FileNameKey(const std::string& name);

// ---- Interruption ------------------------------------------------------------------------------

// From now on the system's requests to end the program (POSIX: SIGINT, SIGTERM, SIGHUP) are
// remembered for the message loop instead of ending it at once; a second one ends it at once,
// after removing the combined page's temporary file if it has a name. Nothing on Windows, where
// the window is told that the session ends.
void CatchInterruptions();
// The number of the signal that asked the program to end; 0 while none did.
int PendingInterruption();

// The folder the running program was started from, its separator included; empty when it
// cannot be known.
std::string ProgramFolder();

// The address of the help page shipped with the program (help.html beside the executable, or in
// the installed documentation folder); empty when it cannot be found.
std::string HelpPageAddress();

// Dry runs and cleans: a run's start and its images in the same order, with each file's write
// replaced by a look at what the write would meet, or by the removal of what a run wrote.
#include "generation/preview.h"

#include <cstdio>
#include <set>
#include <string>

#include "generation/contact_sheet.h"
#include "generation/generation.h"
#include "generation/generation_state.h"
#include "generation/link_targets.h"
#include "generation/slide_step.h"
#include "pages/page_marker.h"
#include "platform/platform.h"
#include "ui/user.h"

namespace {

const char kDryRunTitle[] = "Quillfen: dry run";
const char kCleanTitle[] = "Quillfen: clean";
const char kNotOurs[] = "not written by kestrune";

// Calls `visit(manualPage, automaticPage)` with the page names of each image, as linked, in the
// order the slide steps write them, from the image BeginReadingSheet read on, until it returns
// false. Returns the number of images visited.
template <typename Visit>
std::size_t ForEachImage(Visit visit) {
  std::size_t images = 0;
  for (const char* pos = State.ScanPosition;;) {
    ++images;
    const std::string base = BaseName(State.NextImage);
    if (!visit(base + ".htm", base + ".html")) break;
    if ((pos = FindNextImage(pos)) == nullptr) break;
    pos = ReadNextCaption(pos);
  }
  return images;
}

// Between two images a signal (Ctrl-C, kill) ends the work, as it ends a run between two steps.
bool GoOn() {
  return PendingInterruption() == 0;
}

std::string Line(const char* verb, const std::string& file, const std::string& reason = "",
                 bool escapeHighBytes = false) {
  return std::string(verb) + " " + ShownName(file, escapeHighBytes) +
         (reason.empty() ? "" : " (" + reason + ")");
}

// "1 image", "2 images": `what` is the singular, `rest` follows the word.
std::string Count(std::size_t n, const char* what, const char* rest = "") {
  return std::to_string(n) + " " + what + (n == 1 ? "" : "s") + rest;
}

// Why a write of a page, or its removal, is refused, for the states that say so.
const char* RefusalReason(PageFileState state) {
  switch (state) {
    case PageFileState::Link:
      return "a link, not followed";
    case PageFileState::NotRegular:
      return "not a regular file";
    case PageFileState::InUse:
      return "in use";
    case PageFileState::LeadsOutside:
      return "a link leads out of the folder";
    case PageFileState::DeviceName:
      return "a device name";
    case PageFileState::FolderMissing:
      return "its folder is missing";
    case PageFileState::NotWritable:
      return "no permission";
    default:
      return "the system failed";
  }
}

const char* NameRefusalReason(PageNameRefusal refusal) {
  return refusal == PageNameRefusal::ZeroByte ? "a zero byte in its name"
                                              : "outside the contact sheet's folder";
}

// The file of the page linked as `pageName` into *file; false, its refusal told as a line with
// `verb`, when no run may write it. A name that no browser opens (a byte that is no character
// of the sheet's charset) is shown decoded, with its bytes above 0x7F as \xHH.
bool PageFile(const std::string& pageName, const char* verb, std::string* file) {
  std::string converted;
  const std::string* named = LinkedFile(pageName, State.SheetCharset, converted);
  if (named == nullptr) {
    TellResultLine(Line(verb, DecodeFileName(pageName), "not in the contact sheet's charset", true),
                   true);
    return false;
  }
  *file = *named;
  const PageNameRefusal refusal = PageFileRefusal(*file);
  if (refusal == PageNameRefusal::None) return true;
  TellResultLine(Line(verb, *file, NameRefusalReason(refusal)), true);
  return false;
}

// ---- Dry run -----------------------------------------------------------------------------

struct DryRunTally {
  std::size_t create = 0, replace = 0, kept = 0, refused = 0;
  // The files the run would have written so far, by identity or, for new ones, by their names'
  // keys; and the combined page's, which no page may be written over.
  std::set<std::string> planned;
  std::string combined;
};

std::string KeyOf(const std::string& file, const PageFileLook& look) {
  return look.identity.empty() ? "name " + FileNameKey(file) : "file " + look.identity;
}

enum class Plan { Create, Replace, Keep, Refuse };

// What a run would do with a file a look found, and why when it would not write it.
Plan PlanOf(const std::string& file, const PageFileLook& look, std::string* reason) {
  switch (look.state) {
    case PageFileState::Absent:
      return Plan::Create;
    case PageFileState::OwnPage:
    case PageFileState::Empty:
      return Plan::Replace;
    case PageFileState::Foreign:
      *reason = kNotOurs;
      return Plan::Keep;
    case PageFileState::Unreadable:
      *reason = "cannot be read";
      return Plan::Keep;
    case PageFileState::InUse:
      *reason = FileNameKey(file) == FileNameKey(State.SheetName) ? "the contact sheet" : "in use";
      return Plan::Refuse;
    default:
      *reason = RefusalReason(look.state);
      return Plan::Refuse;
  }
}

// Plans the write of one file (`combined`: allin1.html) and tells its line; false when the run
// could not write it.
bool PlanFile(const std::string& pageName, bool combined, DryRunTally& tally) {
  static const char* const kVerbs[] = {"create", "replace", "keep", "refuse"};
  std::string file;
  if (!PageFile(pageName, "refuse", &file)) {
    ++tally.refused;
    return false;
  }
  const PageFileLook look = LookAtPageFile(file, kOwnPageMarker);
  const std::string key = KeyOf(file, look);
  Plan plan = Plan::Refuse;
  std::string reason;
  if (!tally.combined.empty() && key == tally.combined) {
    reason = "in use: the " + std::string(kCombinedPageName) + " of this run";
  } else if (tally.planned.count(key) > 0) {
    plan = Plan::Replace;  // a page this run wrote already
  } else {
    plan = PlanOf(file, look, &reason);
    // A new file is made in its folder, and so is the combined page where it replaces one: it is
    // written beside it and put in its place at the end.
    if ((plan == Plan::Create || (plan == Plan::Replace && combined)) && !look.folderWritable) {
      plan = Plan::Refuse;
      reason = "the folder is read-only";
    }
  }
  std::size_t* const counts[] = {&tally.create, &tally.replace, &tally.kept, &tally.refused};
  ++*counts[static_cast<int>(plan)];
  const bool written = plan == Plan::Create || plan == Plan::Replace;
  if (written && combined) tally.combined = key;
  if (written && !combined) tally.planned.insert(key);
  TellResultLine(Line(kVerbs[static_cast<int>(plan)], file, reason), !written);
  return written;
}

}  // namespace

std::string ShownName(const std::string& name, bool escapeHighBytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string shown;
  for (char c : name) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || (c == '\\' && !IsFolderSeparator(c)) ||
        (escapeHighBytes && byte > 0x7F)) {
      shown += "\\x";
      shown += kHex[byte >> 4];
      shown += kHex[byte & 0xF];
    } else {
      shown += c;
    }
  }
  return shown;
}

int DryRun() {
  const int started = BeginReadingSheet();
  if (started != 1) return started == 0 ? 0 : 1;
  DryRunTally tally;
  std::size_t images = 0;
  std::string stop;
  if (PlanFile(kCombinedPageName, true, tally)) {
    images = ForEachImage([&tally](const std::string& manual, const std::string& automatic) {
      PlanFile(manual, false, tally);
      PlanFile(automatic, false, tally);
      return GoOn();
    });
  } else {
    images = ForEachImage([](const std::string&, const std::string&) { return true; });
    stop = "; the run would stop at " + std::string(kCombinedPageName) + " and write nothing";
  }
  FinishGeneration();
  const bool failed = tally.kept + tally.refused > 0;
  const std::string summary =
      Count(images, "image", ": ") + Count(tally.create, "page", " to create, ") +
      std::to_string(tally.replace) + " to replace, " + std::to_string(tally.kept) + " kept, " +
      std::to_string(tally.refused) + " refused" + stop + " (dry run: nothing written)";
  const bool shown = ShowResult(summary, kDryRunTitle, failed);
  return failed || !shown ? 1 : 0;
}

// What a clean did with the files it was asked to remove, each file once however often the
// sheet names it.
struct CleanTally {
  std::size_t removed = 0, kept = 0, refused = 0, notRemoved = 0;
  std::set<std::string> handled;
};

// What became of a file the clean looked at: the count it adds to, its verb and why.
struct CleanOutcome {
  std::size_t CleanTally::*count;
  const char* verb;
  std::string reason;
};

CleanOutcome OutcomeOf(PageFileState state, const std::string& file) {
  switch (state) {
    case PageFileState::Removed:
      return {&CleanTally::removed, "removed", ""};
    case PageFileState::Foreign:
    case PageFileState::Empty:
      return {&CleanTally::kept, "kept", kNotOurs};
    case PageFileState::Unreadable:
      return {&CleanTally::kept, "kept", "cannot be read"};
    case PageFileState::Link:
    case PageFileState::NotRegular:
      return {&CleanTally::kept, "kept", RefusalReason(state)};
    case PageFileState::InUse:
      return {&CleanTally::kept, "kept",
              FileNameKey(file) == FileNameKey(State.SheetName) ? "the contact sheet" : "in use"};
    case PageFileState::LeadsOutside:
    case PageFileState::DeviceName:
      return {&CleanTally::refused, "refused", RefusalReason(state)};
    case PageFileState::LeftAside:
      return {&CleanTally::notRemoved, "not removed",
              "a new file took its name meanwhile; it is kept beside it under a hidden name"};
    default:
      return {&CleanTally::notRemoved, "not removed", RefusalReason(state)};
  }
}

// Removes one file a run writes when it is a page of ours, and tells its line.
void CleanFile(const std::string& pageName, CleanTally& tally) {
  std::string file;
  if (!PageFile(pageName, "refused", &file)) {
    ++tally.refused;
    return;
  }
  if (!tally.handled.insert(FileNameKey(file)).second) return;
  const PageFileState state = RemoveOwnPage(file, kOwnPageMarker);
  if (state == PageFileState::Absent) return;
  const CleanOutcome outcome = OutcomeOf(state, file);
  ++(tally.*outcome.count);
  TellResultLine(Line(outcome.verb, file, outcome.reason), state != PageFileState::Removed);
}

int CleanSlideShow() {
  const int started = BeginReadingSheet();
  if (started != 1) return started == 0 ? 0 : 1;
  CleanTally tally;
  const std::size_t images =
      ForEachImage([&tally](const std::string& manual, const std::string& automatic) {
        CleanFile(manual, tally);
        CleanFile(automatic, tally);
        return GoOn();
      });
  if (GoOn()) CleanFile(kCombinedPageName, tally);
  FinishGeneration();
  const bool failed = tally.kept + tally.refused + tally.notRemoved > 0;
  const std::string summary =
      Count(images, "image", ": ") + Count(tally.removed, "page", " removed, ") +
      std::to_string(tally.kept) + " kept, " + std::to_string(tally.refused) + " refused, " +
      std::to_string(tally.notRemoved) + " not removed";
  const bool shown = ShowResult(summary, kCleanTitle, failed);
  return failed || !shown ? 1 : 0;
}

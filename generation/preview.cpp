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
#include "generation/sheet_walk.h"
#include "kestrune_version.h"
#include "names/escapes.h"
#include "pages/page_marker.h"
#include "platform/platform.h"
#include "ui/user.h"

namespace {

const char kDryRunTitle[] = KESTRUNE_PRODUCT ": dry run";
const char kCleanTitle[] = KESTRUNE_PRODUCT ": clean";
const char kNotOurs[] = "not written by kestrune";

// Between two images a signal (Ctrl-C, kill) ends the work, as it ends a run between two steps.
bool GoOn() {
  return PendingInterruption() == 0;
}

// Walks the sheet from the image BeginReadingSheet read on, handing each slide to `take` until
// it returns false or a signal arrives. Returns the number of images walked.
template <typename Take>
std::size_t WalkSheet(Take take) {
  std::size_t images = 0;
  for (const char* pos = State.ScanPosition; pos != nullptr;) {
    ++images;
    if (!take(WalkOneImage(pos, &pos)) || !GoOn()) break;
  }
  return images;
}

// `name` as a line of the result shows it: bytes below 0x20, 0x7F, and a "\\" that is no folder
// separator on this system, written as \\xHH, so that one name stays one readable line; with
// `escapeHighBytes` the bytes above 0x7F too (a name in no encoding the line can show).
std::string ShownName(const std::string& name, bool escapeHighBytes) {
  std::string shown;
  for (char c : name) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || (c == '\\' && !IsFolderSeparator(c)) ||
        (escapeHighBytes && byte > 0x7F)) {
      shown += "\\x";
      AppendHexByte(shown, byte);
    } else {
      shown += c;
    }
  }
  return shown;
}

// The folder of a tree the names of the result lie in, with its separator ("2024/Rome/").
std::string ResultFolder;

std::string Line(const char* verb, const std::string& file, const std::string& reason = "",
                 bool escapeHighBytes = false) {
  return std::string(verb) + " " + ResultFolder + ShownName(file, escapeHighBytes) +
         (reason.empty() ? "" : " (" + reason + ")");
}

// "1 image", "2 images": `what` is the singular, `rest` follows the word.
std::string Count(std::size_t n, const char* what, const char* rest = "") {
  return std::to_string(n) + " " + what + (n == 1 ? "" : "s") + rest;
}

enum class Plan { Create, Replace, Keep, Refuse };
enum class Outcome { Removed, Kept, Refused, NotRemoved };

// What each state found under a page's name means, for both: why the file is not written or not
// removed, what a dry run plans for it, and what a clean did with it.
struct Meaning {
  const char* reason;
  Plan plan;
  Outcome clean;
};

const Meaning& MeaningOf(PageFileState state) {
  static const Meaning kMeanings[] = {
      /* Absent */ {"", Plan::Create, Outcome::NotRemoved},
      /* OwnPage */ {"the system failed", Plan::Replace, Outcome::NotRemoved},
      /* Empty */ {kNotOurs, Plan::Replace, Outcome::Kept},
      /* Foreign */ {kNotOurs, Plan::Keep, Outcome::Kept},
      /* Unreadable */ {"cannot be read", Plan::Keep, Outcome::Kept},
      /* Link */ {"a link, not followed", Plan::Refuse, Outcome::Kept},
      /* NotRegular */ {"not a regular file", Plan::Refuse, Outcome::Kept},
      /* InUse */ {"in use", Plan::Refuse, Outcome::Kept},
      /* LeadsOutside */ {"a link leads out of the folder", Plan::Refuse, Outcome::Refused},
      /* DeviceName */ {"a device name", Plan::Refuse, Outcome::Refused},
      /* FolderMissing */ {"its folder is missing", Plan::Refuse, Outcome::NotRemoved},
      /* NotWritable */ {"no permission", Plan::Refuse, Outcome::NotRemoved},
      /* Failed */ {"the system failed", Plan::Refuse, Outcome::NotRemoved},
      /* Removed */ {"", Plan::Refuse, Outcome::Removed},
      /* LeftAside */
      {"a new file took its name meanwhile; it is kept beside it under a hidden name", Plan::Refuse,
       Outcome::NotRemoved},
  };
  static_assert(sizeof kMeanings / sizeof kMeanings[0] ==
                    static_cast<std::size_t>(PageFileState::LeftAside) + 1,
                "one meaning for every state");
  return kMeanings[static_cast<int>(state)];
}

// Why, for a line: the file in use may be the contact sheet itself.
std::string ReasonFor(PageFileState state, const std::string& file) {
  if (state == PageFileState::InUse && FileNameKey(file) == FileNameKey(State.SheetName))
    return "the contact sheet";
  return MeaningOf(state).reason;
}

// The line of a page whose name the walk refused, with `verb`. A name that no browser opens is
// shown decoded, with its bytes above 0x7F as \\xHH.
std::string RefusedName(const char* verb, const SlidePage& page) {
  switch (page.refusal) {
    case PageNameRefusal::ZeroByte:
      return Line(verb, page.file, "a zero byte in its name");
    case PageNameRefusal::NoBrowserName:
      return Line(verb, page.file, "not in the contact sheet's charset", true);
    default:
      return Line(verb, page.file, "outside the contact sheet's folder");
  }
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

// Plans the write of one file (`combined`: allin1.html, written beside the file it replaces) and
// tells its line; false when the run could not write it.
bool PlanFile(const SlidePage& page, bool combined, DryRunTally& tally) {
  static const char* const kVerbs[] = {"create", "replace", "keep", "refuse"};
  if (page.refusal != PageNameRefusal::None) {
    ++tally.refused;
    TellResultLine(RefusedName("refuse", page), true);
    return false;
  }
  const PageFileLook look = LookAtPageFile(page.file, kOwnPageMarker);
  const std::string key = KeyOf(page.file, look);
  Plan plan = Plan::Refuse;
  std::string reason;
  if (!tally.combined.empty() && key == tally.combined) {
    reason = "in use: the " + std::string(kCombinedPageName) + " of this run";
  } else if (tally.planned.count(key) > 0) {
    plan = Plan::Replace;  // a page this run wrote already
  } else {
    plan = MeaningOf(look.state).plan;
    if (plan == Plan::Keep || plan == Plan::Refuse) reason = ReasonFor(look.state, page.file);
    if ((plan == Plan::Create || plan == Plan::Replace) && WriteMakesNewFile(look, combined) &&
        !look.folderWritable) {
      plan = Plan::Refuse;
      reason = "the folder is read-only";
    }
  }
  std::size_t* const counts[] = {&tally.create, &tally.replace, &tally.kept, &tally.refused};
  ++*counts[static_cast<int>(plan)];
  const bool written = plan == Plan::Create || plan == Plan::Replace;
  if (written && combined) tally.combined = key;
  if (written && !combined) tally.planned.insert(key);
  TellResultLine(Line(kVerbs[static_cast<int>(plan)], page.file, reason), !written);
  return written;
}

// ---- Clean -------------------------------------------------------------------------------

// What a clean did with the files it was asked to remove, each file once however often the
// sheet names it.
struct CleanTally {
  std::size_t removed = 0, kept = 0, refused = 0, notRemoved = 0;
  std::set<std::string> handled;
};

// Removes one file a run writes when it is a page of ours, and tells its line.
void CleanFile(const SlidePage& page, CleanTally& tally) {
  if (page.refusal != PageNameRefusal::None) {
    ++tally.refused;
    TellResultLine(RefusedName("refused", page), true);
    return;
  }
  if (!tally.handled.insert(FileNameKey(page.file)).second) return;
  const PageFileState state = RemoveOwnPage(page.file, kOwnPageMarker);
  if (state == PageFileState::Absent) return;
  static const char* const kVerbs[] = {"removed", "kept", "refused", "not removed"};
  std::size_t CleanTally::*const counts[] = {&CleanTally::removed, &CleanTally::kept,
                                             &CleanTally::refused, &CleanTally::notRemoved};
  const Outcome outcome = MeaningOf(state).clean;
  ++(tally.*counts[static_cast<int>(outcome)]);
  const bool removed = outcome == Outcome::Removed;
  TellResultLine(Line(kVerbs[static_cast<int>(outcome)], page.file,
                      removed ? "" : ReasonFor(state, page.file)),
                 !removed);
}

// The combined page as the walk would name it.
SlidePage CombinedPage() {
  return {kCombinedPageName, kCombinedPageName, PageNameRefusal::None};
}

}  // namespace

int DryRun() {
  const StartResult started = BeginReadingSheet();
  if (started != StartResult::Started) return started == StartResult::Cancelled ? 0 : 1;
  DryRunTally tally;
  std::size_t images = 0;
  std::string stop;
  if (PlanFile(CombinedPage(), true, tally)) {
    images = WalkSheet([&tally](const Slide& slide) {
      PlanFile(slide.current->manual, false, tally);
      PlanFile(slide.current->automatic, false, tally);
      return true;
    });
  } else {
    images = WalkSheet([](const Slide&) { return true; });
    stop = "; the run would stop at " + std::string(kCombinedPageName) + " and write nothing";
  }
  EndReadingSheet();
  const bool failed = tally.kept + tally.refused > 0;
  const std::string summary =
      Count(images, "image", ": ") + Count(tally.create, "page", " to create, ") +
      std::to_string(tally.replace) + " to replace, " + std::to_string(tally.kept) + " kept, " +
      std::to_string(tally.refused) + " refused" + stop + " (dry run: nothing written)";
  const bool shown = ShowResult(summary, kDryRunTitle, failed);
  return failed || !shown ? 1 : 0;
}

int CleanSlideShow(bool summaryAsLine) {
  const StartResult started = BeginReadingSheet();
  if (started != StartResult::Started) return started == StartResult::Cancelled ? 0 : 1;
  CleanTally tally;
  const std::size_t images = WalkSheet([&tally](const Slide& slide) {
    CleanFile(slide.current->manual, tally);
    CleanFile(slide.current->automatic, tally);
    return true;
  });
  if (GoOn()) CleanFile(CombinedPage(), tally);
  EndReadingSheet();
  const bool failed = tally.kept + tally.refused + tally.notRemoved > 0;
  const std::string summary =
      Count(images, "image", ": ") + Count(tally.removed, "page", " removed, ") +
      std::to_string(tally.kept) + " kept, " + std::to_string(tally.refused) + " refused, " +
      std::to_string(tally.notRemoved) + " not removed";
  if (summaryAsLine) TellResultLine(summary, true);
  const bool shown = summaryAsLine || ShowResult(summary, kCleanTitle, failed);
  return failed || !shown ? 1 : 0;
}

void NameResultsIn(const std::string& folder) {
  ResultFolder = folder;
}

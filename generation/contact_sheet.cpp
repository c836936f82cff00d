// Choosing and loading the contact sheet, and reading its images into the generation's slots.
#include "generation/contact_sheet.h"

#include <algorithm>
#include <optional>

#include "generation/failures.h"
#include "generation/generation_state.h"
#include "generation/link_targets.h"
#include "names/ascii.h"
#include "names/file_names.h"
#include "pages/page_marker.h"
#include "sheet/attributes.h"
#include "sheet/captions.h"
#include "sheet/declarations.h"
#include "sheet/scanner.h"
#include "sheet/sheet_path.h"

namespace {

const char kDialogTitle[] = "Choose File from which to Generate Slideshow";

// Opens the sheet, loads its text and enters its folder. nullptr when all went well, else the
// text that reports the step that failed.
const char* LoadContactSheet(const std::string& path) {
  if (!FileExists(path)) return kSheetNotFound;
  State.SheetFile = OpenFileReadOnly(path);
  if (State.SheetFile == nullptr) return kSheetNotOpened;
  State.SheetMapping = OpenWholeText(State.SheetFile);
  if (State.SheetMapping == nullptr) return kSheetNotRead;
  std::size_t length = 0;
  State.SheetView = ViewWholeText(State.SheetMapping, &length);
  if (State.SheetView == nullptr) return kSheetNotViewed;
  State.SheetEnd = State.SheetView + length;
  State.SheetFolder = path.substr(0, FolderPrefixLength(path));
  // Pages are written relative to the working folder: a sheet whose folder can no longer be
  // entered (removed or locked since it was opened) would get its pages in the start folder.
  if (!State.SheetFolder.empty() && !SetWorkingFolder(State.SheetFolder)) return kSheetNotFound;
  return nullptr;
}

// The caption a modern page gives an image that its sheet names nowhere: the file name without
// folder and extension, as a browser decodes it, its "&" made text again.
std::string FileNameCaption(const std::string& image) {
  std::size_t start = image.size();
  while (start > 0 && !IsFolderSeparator(image[start - 1])) --start;
  const std::string name(NameWithoutExtension(std::string_view(image).substr(start)));
  std::string caption;
  for (char c : DecodeFileName(name)) {
    if (c == '&') {
      caption += "&amp;";
    } else if (c != '\0') {
      caption += c;
    }
  }
  return caption;
}

// The size a sheet kestrune wrote gives the photo its anchor (ending at `tagEnd`) links, in the
// anchor's data-size ("4032x3024"); none when it gives none or one out of bounds.
PhotoSize PhotoSizeOf(const char* tagEnd) {
  const std::optional<std::string_view> given =
      ReadAttribute(State.NextAnchor, tagEnd + 1, "data-size");
  PhotoSize size;
  if (!given) return size;
  const std::size_t x = given->find('x');
  const auto number = [](std::string_view digits) {
    long value = 0;
    if (digits.empty() || digits.size() > 6) return 0L;
    for (char c : digits) {
      if (c < '0' || c > '9') return 0L;
      value = value * 10 + (c - '0');
    }
    return value;
  };
  if (x == std::string_view::npos) return size;
  size.width = static_cast<int>(number(given->substr(0, x)));
  size.height = static_cast<int>(number(given->substr(x + 1)));
  if (size.width == 0 || size.height == 0) size = PhotoSize();
  return size;
}

}  // namespace

void ChooseImageLinks() {
  const std::size_t length = static_cast<std::size_t>(State.SheetEnd - State.SheetView);
  const std::string_view head(State.SheetView, std::min(length, kOwnPageLookSize));
  State.LinkedImages = head.find(kOwnPageMarker) != std::string_view::npos
                           ? ImageLinks::Photos
                           : ImageLinks::SheetImages;
}

int SelectContactSheet() {
  if (!State.InputPath || State.InputPath->empty()) {
    State.DialogPath.clear();
    if (!ChooseContactSheet(State.StartFolder, kDialogTitle, &State.DialogPath)) return 0;
    State.InputPath = State.DialogPath;
  }
  CleanPath(*State.InputPath);
  return 1;
}

int OpenContactSheet(const std::string& path) {
  if (const char* failure = LoadContactSheet(path)) {
    // A plain box owned by the main window: the fixed text, then the path as given.
    ReportFailure(State.MainWindow, failure + path, State.StartFolder, BoxIcon::None);
    CloseContactSheet();
    return 0;
  }
  State.SheetName = path.substr(State.SheetFolder.size());
  State.CurrentImage = State.SheetName;
  return 1;
}

void CloseContactSheet() {
  if (State.SheetMapping != nullptr) {
    CloseWholeText(State.SheetMapping);
    State.SheetMapping = nullptr;
    // The text lived there; nothing may scan it any more.
    State.SheetView = State.SheetEnd = State.ScanPosition = nullptr;
  }
  if (State.SheetFile != nullptr) {
    CloseFile(State.SheetFile);
    State.SheetFile = nullptr;
  }
}

const char* FindNextImage(const char* from) {
  std::string_view target;
  const char* found = FindNextImageLink(from, State.SheetEnd, State.NextImage, &target,
                                        &State.NextAnchor, State.LinkedImages);
  if (found == nullptr) return nullptr;
  State.NextImage.assign(target);
  if (State.LinkedImages == ImageLinks::Photos) State.NextPhotoSize = PhotoSizeOf(found);
  ImageFound(State.MainWindow, State.NextImage);  // the status text shows it at once
  return found;
}

const char* ReadLinkedCaption(const char* from) {
  bool onlyImage = false;
  return ExtractCaption(from, State.SheetEnd, State.NextImage, State.NextCaption, &onlyImage);
}

const char* ReadDescribedCaption(const char* from) {
  bool onlyImage = false;
  const char* end =
      ExtractCaption(from, State.SheetEnd, State.NextImage, State.NextCaption, &onlyImage);
  // A thumbnail anchor is captioned with what the sheet says of its image elsewhere, and never
  // with a link target or nothing at all.
  if ((onlyImage || !HasVisibleCharacter(State.NextCaption)) &&
      !FindImageCaption(State.NextAnchor, from, end, State.SheetEnd, State.NextImage,
                        State.NextCaption, State.LinkedImages))
    State.NextCaption = FileNameCaption(State.NextImage);
  return end;
}

const char* ReadNextCaption(const char* from) {
  return State.ReadCaption != nullptr ? State.ReadCaption(from) : ReadLinkedCaption(from);
}

void ReadSheetDeclarations() {
  const std::string_view language = DeclaredLanguage(State.SheetView, State.SheetEnd);
  State.SheetLanguage = language.empty() ? "en" : std::string(language);
  const std::string_view charset = DeclaredCharset(State.SheetView, State.SheetEnd);
  if (!charset.empty()) {
    State.SheetCharset = std::string(charset);
  } else {
    State.SheetCharset = IsValidUtf8(State.SheetView, State.SheetEnd) ? "utf-8" : "windows-1252";
  }
}

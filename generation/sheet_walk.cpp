// The walk of the contact sheet: the image slots moved on one image at a time, and each image's
// page names, refusals and thumbnail decided once.
#include "generation/sheet_walk.h"

#include "generation/contact_sheet.h"
#include "generation/generation_state.h"
#include "generation/link_targets.h"
#include "names/file_names.h"
#include "platform/platform.h"

namespace {

// The file `linked` names on this system, and why no page may be written there. Most names hold
// nothing to decode and are their own file names. A name no browser opens is kept decoded, for
// the lines that name it.
void NamePage(SlidePage& page) {
  static std::string converted;
  const std::string* file = LinkedFile(page.linked, State.SheetCharset, converted);
  if (file == nullptr) {
    page.file = DecodeFileName(page.linked);
    page.refusal = PageNameRefusal::NoBrowserName;
    return;
  }
  page.file.assign(*file);
  page.refusal = PageFileRefusal(page.file);
}

// Makes `pages` those of `image` (base.htm and base.html), unless they are already.
void NamePages(ImagePages& pages, const std::string& image) {
  if (pages.image == image && !pages.manual.linked.empty()) return;
  pages.image = image;
  AssignManualPageName(pages.manual.linked, image);
  AssignAutomaticPageName(pages.automatic.linked, image);
  NamePage(pages.manual);
  NamePage(pages.automatic);
  pages.thumbnailKnown = false;
}

// True when `target`, decoded, names a file that exists; a name with a zero byte names none,
// and neither does one that no browser can open.
bool TargetFileExists(const std::string& target) {
  std::string converted;
  const std::string* file = LinkedFile(target, State.SheetCharset, converted);
  return file != nullptr && file->find('\0') == std::string::npos && ImageFileExists(*file);
}

// The thumbnail of `image`: its first choice, else its second, looked for under their decoded
// names; the image itself when its name has no "."; empty when neither exists.
void FindThumbnail(ImagePages& pages) {
  if (pages.thumbnailKnown) return;
  pages.thumbnailKnown = true;
  const std::string& image = pages.image;
  std::string& thumbnail = pages.thumbnail;  // its room serves every candidate
  if (image.find('.') == std::string::npos) {
    thumbnail.assign(image);
    return;
  }
  AssignThumbnailFirstChoice(thumbnail, image);
  if (TargetFileExists(thumbnail)) return;
  AssignThumbnailSecondChoice(thumbnail, image);
  if (!TargetFileExists(thumbnail)) thumbnail.clear();
}

// Each image's names serve three slides in a row (as the next image, the current one and the
// previous one), so they move on with the images and are made only for a new one; every slot is
// checked against its image, so nothing depends on what the slide before was. The slots turn
// round three records, which keep their room.
ImagePages Records[3];
Slide Walked{false, false, &Records[0], &Records[1], &Records[2]};

}  // namespace

const Slide& WalkOneImage(const char* from, const char** next) {
  State.PreviousImage = State.CurrentImage;
  State.CurrentImage = State.NextImage;
  State.CurrentCaption = State.NextCaption;
  const char* pos = FindNextImage(from);
  if (pos == nullptr) {
    State.NextImage = State.SheetName;
  } else {
    pos = ReadNextCaption(pos);
  }
  *next = pos;
  ImagePages* const dropped = Walked.previous;
  Walked.previous = Walked.current;
  Walked.current = Walked.next;
  Walked.next = dropped;  // the next slot reuses the room of the one dropped
  NamePages(*Walked.previous, State.PreviousImage);
  NamePages(*Walked.current, State.CurrentImage);
  NamePages(*Walked.next, State.NextImage);
  Walked.atStart = State.PreviousImage == State.SheetName;
  Walked.atEnd = State.NextImage == State.SheetName;
  return Walked;
}

NeighbourPictures PicturesOf(const Slide& slide) {
  // The sheet stands at both ends, and has no thumbnail a page shows.
  if (!slide.atStart) FindThumbnail(*slide.previous);
  if (!slide.atEnd) FindThumbnail(*slide.next);
  NeighbourPictures p;
  p.previousImage = slide.previous->image;
  p.previousThumbnail = slide.previous->thumbnail;
  p.currentImage = slide.current->image;
  p.nextImage = slide.next->image;
  p.nextThumbnail = slide.next->thumbnail;
  p.atStart = slide.atStart;
  p.atEnd = slide.atEnd;
  return p;
}

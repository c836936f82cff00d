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

// Makes `pages` those of `image` (base.htm and base.html) of `size`, unless they are already.
void NamePages(ImagePages& pages, const std::string& image, const PhotoSize& size) {
  if (pages.image == image && !pages.manual.linked.empty()) return;
  pages.image = image;
  AssignManualPageName(pages.manual.linked, image);
  AssignAutomaticPageName(pages.automatic.linked, image);
  NamePage(pages.manual);
  NamePage(pages.automatic);
  pages.thumbnailKnown = false;
  pages.copiesKnown = false;
  pages.copyCount = 0;
  pages.width = size.width;
  pages.height = size.height;
  pages.shown = pages.image;
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

// The screen-sized copies of a photo of a sheet kestrune wrote, those that its size calls for
// and that stand beside it; the largest shows it where browsers cannot show the photo.
void FindCopies(ImagePages& pages) {
  if (pages.copiesKnown) return;
  pages.copiesKnown = true;
  if (State.LinkedImages != ImageLinks::Photos || pages.width == 0) return;
  const bool shown = BrowserShows(pages.image);
  for (int edge : kScreenEdges) {
    if (pages.copyCount == ImagePages::kMostCopies ||
        !GetsScreenCopy(edge, pages.width, pages.height, shown))
      continue;
    std::string& copy = pages.copies[pages.copyCount];
    AssignCopyName(copy, pages.image, edge);
    if (!TargetFileExists(copy)) continue;
    int height = 0;
    FittedSize(edge, pages.width, pages.height, &pages.copyWidths[pages.copyCount], &height);
    ++pages.copyCount;
  }
  if (!shown && pages.copyCount > 0) pages.shown = pages.copies[pages.copyCount - 1];
}

// Each image's names serve three slides in a row (as the next image, the current one and the
// previous one), so they move on with the images and are made only for a new one; every slot is
// checked against its image, so nothing depends on what the slide before was. The slots turn
// round three records, which keep their room.
ImagePages Records[3];
Slide Walked{false, false, &Records[0], &Records[1], &Records[2]};

}  // namespace

void ForgetWalk() {
  for (ImagePages& pages : Records) {
    pages.image.clear();
    pages.manual.linked.clear();
  }
}

const Slide& WalkOneImage(const char* from, const char** next) {
  State.PreviousImage = State.CurrentImage;
  State.CurrentImage = State.NextImage;
  State.CurrentCaption = State.NextCaption;
  State.CurrentPhotoSize = State.NextPhotoSize;
  const char* pos = FindNextImage(from);
  if (pos == nullptr) {
    State.NextImage = State.SheetName;
    State.NextPhotoSize = PhotoSize();
  } else {
    pos = ReadNextCaption(pos);
  }
  *next = pos;
  ImagePages* const dropped = Walked.previous;
  Walked.previous = Walked.current;
  Walked.current = Walked.next;
  Walked.next = dropped;  // the next slot reuses the room of the one dropped
  NamePages(*Walked.previous, State.PreviousImage, PhotoSize());
  NamePages(*Walked.current, State.CurrentImage, State.CurrentPhotoSize);
  NamePages(*Walked.next, State.NextImage, State.NextPhotoSize);
  Walked.atStart = State.PreviousImage == State.SheetName;
  Walked.atEnd = State.NextImage == State.SheetName;
  return Walked;
}

NeighbourPictures PicturesOf(const Slide& slide) {
  // The sheet stands at both ends, and has no thumbnail or copy a page shows.
  if (!slide.atStart) {
    FindThumbnail(*slide.previous);
    FindCopies(*slide.previous);
  }
  FindCopies(*slide.current);
  if (!slide.atEnd) {
    FindThumbnail(*slide.next);
    FindCopies(*slide.next);
  }
  // A photo browsers cannot show, without a copy (one that could not be read), shows no picture.
  const auto shown = [](const ImagePages& pages) {
    return BrowserShows(pages.shown) || pages.shown != pages.image ? pages.shown
                                                                   : std::string_view();
  };
  NeighbourPictures p;
  p.previousImage = slide.previous->image;
  p.previousThumbnail = slide.previous->thumbnail;
  p.previousShown = shown(*slide.previous);
  p.currentImage = slide.current->image;
  p.currentShown = shown(*slide.current);
  p.nextImage = slide.next->image;
  p.nextThumbnail = slide.next->thumbnail;
  p.nextShown = shown(*slide.next);
  p.atStart = slide.atStart;
  p.atEnd = slide.atEnd;
  return p;
}

PictureSources SourcesOf(const ImagePages& pages) {
  PictureSources sources;
  if (pages.copyCount == 0) return sources;
  for (int i = 0; i < pages.copyCount; ++i) {
    sources.links[sources.count] = pages.copies[i];
    sources.widths[sources.count++] = pages.copyWidths[i];
  }
  if (BrowserShows(pages.image)) {
    sources.links[sources.count] = pages.image;
    sources.widths[sources.count++] = pages.width;
  }
  sources.width = pages.width;
  sources.height = pages.height;
  return sources;
}

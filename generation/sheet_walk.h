// The walk of the contact sheet: image by image, in document order, everything the step of one
// image needs. A run writes each slide it yields (slide_step.cpp), a dry run says what writing it
// would do and a clean removes what a run wrote for it (preview.cpp): page names and refusals are
// decided here, and nowhere else.
#pragma once

#include <string>

#include "generation/link_targets.h"
#include "pages/page_style.h"

// One page a run writes: its name as linked (what the other pages link to) and the file that
// name leads a browser to (decoded), with the reason no page may be written there.
struct SlidePage {
  std::string linked;
  std::string file;
  PageNameRefusal refusal = PageNameRefusal::None;
};

// The two pages of one image, and the small picture that stands for it once it is looked for.
struct ImagePages {
  std::string image;  // as linked
  SlidePage manual, automatic;
  // Looked for only when a slide's pictures are asked for (PicturesOf): the thumbnail, the image
  // itself, or empty (NeighbourPictures).
  std::string thumbnail;
  bool thumbnailKnown = false;
  // In a sheet kestrune wrote: the photo's size as the sheet gives it, and the screen-sized
  // copies found beside it (as linked, smallest first, with their widths), looked for when a
  // slide first asks; `shown` is what shows the image: itself, or its largest copy where
  // browsers cannot show it.
  int width = 0, height = 0;
  static constexpr int kMostCopies = 2;
  std::string copies[kMostCopies];
  int copyWidths[kMostCopies] = {};
  int copyCount = 0;
  bool copiesKnown = false;
  std::string_view shown;
};

// The step of one image: the current image with its neighbours. At the start the previous image
// is the sheet, at the end the next one; their pages are then not written by the run.
struct Slide {
  bool atStart = false, atEnd = false;
  ImagePages* previous = nullptr;
  ImagePages* current = nullptr;
  ImagePages* next = nullptr;
};

// Forgets what the walk of an earlier sheet found (its images' names, thumbnails and copies): a
// generation begins with nothing of the last one, whose images may have the same names in another
// folder.
void ForgetWalk();

// Moves the slots one image on (the image read ahead becomes the current one) and reads the next
// image ahead from `from`. *next is where the search after that goes on, or nullptr when the
// current image is the last. The slide stays valid until the next call.
const Slide& WalkOneImage(const char* from, const char** next);

// The pictures for the slide's icons and its photo: each neighbour's thumbnail and each image's
// copies are looked for once, when a slide first asks (a dry run and a clean never do).
NeighbourPictures PicturesOf(const Slide& slide);

// What a browser may choose from to show `pages`' image (PicturesOf looked its copies up): its
// copies, and the photo itself where browsers show it; empty when it has no copy.
PictureSources SourcesOf(const ImagePages& pages);

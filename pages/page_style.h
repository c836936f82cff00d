// A page style: the texts of the two slide pages of an image and of the combined page, chosen
// once at the start of a run (the classic pages, or the modern ones of --modern). Both styles
// write the same files with the same links and the same marker line; they differ only in what
// they make of the values below.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The pictures a browser may choose from to show a photo: its screen-sized copies (kestrune's) and
// the photo itself where browsers show it, smallest first, as linked, each with its width; and
// the photo's own size in pixels, upright. Empty (count 0) for an image without copies: it is
// shown as it is.
struct PictureSources {
  static constexpr int kMost = 3;
  std::string_view links[kMost];
  int widths[kMost] = {};
  int count = 0;
  int width = 0, height = 0;
};

// One folder on the way down from the top of a tree to a folder's sheet: its sheet's link and its
// name (HTML text); the link is empty for the folder itself.
struct TrailStep {
  std::string_view link;
  std::string_view name;
};

// What the two pages of one image show, as views of texts that outlive the page's making. Links
// are written as they are (they lead from the page's own folder already); the image, the caption
// and the sheet's title are text as read from the sheet. An empty icon or prefetch is left out
// where a style can leave it out.
struct SlidePageValues {
  std::string_view image;  // the image as linked (the classic page's title)
  std::string_view caption;
  std::string_view sheetTitle;
  std::string_view language;  // of the sheet, as its modern pages declare it
  std::string_view charset;
  std::string_view refreshTarget;  // automatic page only
  std::string_view previousLink;
  std::string_view previousIcon;
  std::string_view indexLink;
  std::string_view photo;      // the image, linked from the page's folder: captioned, and shown
  std::string_view shown;      // what shows it: the photo, or its largest copy where browsers
                               // cannot show the photo (HEIC, TIFF)
  PictureSources sources;      // of the photo shown, for a browser to choose from
  std::string_view playLink;   // manual page only
  std::string_view pauseLink;  // automatic page only
  std::string_view nextLink;
  std::string_view nextIcon;
  std::string_view prefetchPage;
  std::string_view prefetchImage;  // what the next page shows
  PictureSources prefetchSources;  // and what it offers to choose from
  // The folders from the top of a tree of albums down to the sheet's, each linking its sheet from
  // the page's folder (the last the sheet's own); empty outside a tree.
  std::vector<TrailStep> trail;
};

// The pictures a step may show for the neighbouring images: each image as linked, and the small
// picture found for it (its thumbnail; the image itself when its name has no "."; empty when no
// thumbnail was found). At the start the previous image is the sheet, at the end the next one.
struct NeighbourPictures {
  std::string_view previousImage, previousThumbnail, previousShown;
  std::string_view currentImage, currentShown;
  // *Shown: the image, or its copy; empty for a photo browsers cannot show that has none.
  std::string_view nextImage, nextThumbnail, nextShown;
  bool atStart = false, atEnd = false;
};

// The combined page's values: the sheet's own, and one image's.
struct SheetFacts {
  std::string_view language, charset, title, name;
};
struct CombinedImage {
  std::string_view image;       // as linked
  std::string_view manualPage;  // as linked
  std::string_view caption;
  bool first = false;
  std::string_view shown;  // the image, or its copy where browsers cannot show it
  PictureSources sources;
};

// One photo of a folder's contact sheet, its link and texts as the page writes them (the caption
// is HTML text).
struct SheetPhoto {
  std::string_view link;       // the photo
  std::string_view thumbnail;  // empty when the photo has none (it could not be read)
  int width = 0, height = 0;   // the thumbnail's; 0 when not known
  std::string_view caption;
  std::string_view denseThumbnail;      // twice the thumbnail's size, for dense screens; or empty
  int photoWidth = 0, photoHeight = 0;  // the photo's, upright; 0 when not known
  // A photo that could not be read: its state then ("SIZE MODIFIED", for the next run) and why
  // (HTML text); both empty otherwise.
  std::string_view unreadState, unreadReason;
};

// An album of a folder's sheet, a folder of the tree below it: its sheet's link, its cover (the
// thumbnail of a photo of its own tree, as linked from the sheet's folder; empty when it has none)
// and the words under it, its name and what it holds, as the page writes them (HTML text).
struct SheetAlbum {
  std::string_view link;
  std::string_view cover, denseCover;
  int width = 0, height = 0;  // the cover's; 0 when not known
  std::string_view name;
  std::string_view holds;  // "12 photos, 2024-05-03 – 2024-05-09"
};

// A folder's contact sheet: its title (HTML text), the albums in it, then its photos; the trail
// from the top of the tree down to it (empty for a folder with nothing above it); and the order of
// its photos when it is not by name ("date"), kept in the sheet.
struct FolderSheet {
  std::string_view title;
  std::vector<SheetAlbum> albums;
  std::vector<SheetPhoto> photos;
  std::vector<TrailStep> trail;
  std::string_view order;
};

struct PageStyle {
  // Thumbnail links captioned with what the sheet says of their image elsewhere, and the sheet's
  // language and charset: read at the start only for a style that shows them.
  bool describesImages;
  // The icons beside PREVIOUS and NEXT (empty: none).
  std::string_view (*previousIcon)(const NeighbourPictures& pictures);
  std::string_view (*nextIcon)(const NeighbourPictures& pictures);
  // The bytes of each slide page, line ends CR LF, into `text` (its old content replaced, its
  // room kept, so one buffer serves page after page).
  void (*manualPage)(const SlidePageValues& values, std::string& text);
  void (*automaticPage)(const SlidePageValues& values, std::string& text);
  // The combined page: appended to `out`, line ends CR LF.
  void (*combinedHeader)(const SheetFacts& sheet, std::string& out);
  void (*combinedImage)(const CombinedImage& image, std::string& out);
  void (*combinedTrailer)(const SheetFacts& sheet, std::string& out);
  // A folder's contact sheet, carrying the marker: its whole text in `text`, line ends LF.
  void (*contactSheet)(const FolderSheet& sheet, std::string& text);
};

extern const PageStyle ClassicPages;  // slide_templates.cpp
extern const PageStyle ModernPages;   // modern_pages.cpp

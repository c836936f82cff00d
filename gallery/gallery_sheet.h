// The contact sheet of a folder gallery, index.html: a thumbnail anchor and a caption anchor for
// every photo, the commonest shape of a contact sheet, so that a sheet run reads it as it reads a
// hand-made one.
#pragma once

#include <string>
#include <vector>

#include "names/file_names.h"
#include "pages/page_style.h"

struct SheetEntry {
  std::string photo;          // file name
  std::string thumbnail;      // file name; empty when the photo has none (it could not be read)
  int width = 0, height = 0;  // the thumbnail's, 0 when not known (a thumbnail of the user's)
  std::string caption;
  std::string denseThumbnail;           // file name, for dense screens; empty when none
  int photoWidth = 0, photoHeight = 0;  // the photo's, upright; 0 when not known
  // A photo that could not be read: why, and its size and modification time then.
  std::string failure;
  unsigned long long photoSize = 0;
  long long photoModified = 0;
};

// An album of the folder: a folder of the tree below it that holds photos, with its sheet.
struct AlbumEntry {
  std::string folder;  // its name, directly in the sheet's folder
  std::string cover;   // a thumbnail of its tree, relative to its own folder; or empty
  std::string denseCover;
  int width = 0, height = 0;              // the cover's
  std::size_t photos = 0;                 // in its whole tree
  std::string firstDay, lastDay;          // "YYYY-MM-DD" the photos span; empty when not known
  long long firstTime = 0, lastTime = 0;  // the same as moments, for the order by date
};

// The sheet's whole text in the run's page style, CR LF line ends, carrying the page marker.
// `title` is the folder's name; `albums` come before the photos; `trail` names the folders from
// the top of the tree down to this one (empty, or this one alone, for a folder with nothing
// above it); `order` is kept in the sheet when the photos are not ordered by name.
std::string GallerySheetText(const PageStyle& style, const std::string& title,
                             const std::vector<SheetEntry>& entries,
                             const std::vector<AlbumEntry>& albums = {},
                             const std::vector<std::string>& trail = {},
                             const std::string& order = std::string());

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

// The sheet's whole text in the run's page style, CR LF line ends, carrying the page marker.
// `title` is the folder's name.
std::string GallerySheetText(const PageStyle& style, const std::string& title,
                             const std::vector<SheetEntry>& entries);

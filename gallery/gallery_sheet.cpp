#include "gallery/gallery_sheet.h"

#include "gallery/gallery_names.h"
#include "pages/text_output.h"

namespace {

// A day as an album's entry says it: kept on one line (a browser may break after a hyphen,
// leaving "2024-" at the end of a line).
std::string Day(const std::string& day) {
  return "<span class=\"day\">" + day + "</span>";
}

// What an album holds, as its entry says it: "12 photos, 2024-05-03 – 2024-05-09".
std::string Holds(const AlbumEntry& album) {
  std::string text = std::to_string(album.photos) + (album.photos == 1 ? " photo" : " photos");
  if (album.firstDay.empty()) return text;
  text += ", " + Day(album.firstDay);
  if (album.lastDay != album.firstDay) text += " &#8211; " + Day(album.lastDay);
  return text;
}

// The link to the sheet `up` folders above the sheet's own.
std::string SheetAbove(std::size_t up) {
  std::string link;
  for (std::size_t i = 0; i < up; ++i) link += "../";
  return link + kGallerySheetName;
}

}  // namespace

std::string GallerySheetText(const PageStyle& style, const std::string& title,
                             const std::vector<SheetEntry>& entries,
                             const std::vector<AlbumEntry>& albums,
                             const std::vector<std::string>& trail, const std::string& order) {
  // The links and texts as the page writes them, kept while the page is made.
  std::vector<std::string> texts;
  texts.reserve(6 * entries.size());
  std::vector<SheetPhoto> photos;
  photos.reserve(entries.size());
  for (const SheetEntry& entry : entries) {
    const std::size_t first = texts.size();
    texts.push_back(LinkToName(entry.photo));
    texts.push_back(entry.thumbnail.empty() ? std::string() : LinkToName(entry.thumbnail));
    texts.push_back(HtmlText(entry.caption));
    texts.push_back(entry.denseThumbnail.empty() ? std::string()
                                                 : LinkToName(entry.denseThumbnail));
    SheetPhoto photo;
    photo.link = texts[first];
    photo.thumbnail = texts[first + 1];
    photo.width = entry.width;
    photo.height = entry.height;
    photo.caption = texts[first + 2];
    photo.denseThumbnail = texts[first + 3];
    photo.photoWidth = entry.photoWidth;
    photo.photoHeight = entry.photoHeight;
    if (entry.thumbnail.empty() && !entry.failure.empty()) {
      texts.push_back(std::to_string(entry.photoSize) + " " + std::to_string(entry.photoModified));
      texts.push_back(HtmlText(entry.failure));
      photo.unreadState = texts[first + 4];
      photo.unreadReason = texts[first + 5];
    }
    photos.push_back(photo);
  }
  // The albums' and the trail's texts, kept the same way.
  std::vector<std::string> albumTexts;
  albumTexts.reserve(5 * albums.size() + 2 * trail.size());
  FolderSheet sheet;
  for (const AlbumEntry& album : albums) {
    const std::size_t first = albumTexts.size();
    albumTexts.push_back(LinkToName(album.folder) + "/" + kGallerySheetName);
    albumTexts.push_back(album.cover.empty() ? std::string()
                                             : LinkToName(album.folder + "/" + album.cover));
    albumTexts.push_back(album.denseCover.empty()
                             ? std::string()
                             : LinkToName(album.folder + "/" + album.denseCover));
    albumTexts.push_back(HtmlText(album.folder));
    albumTexts.push_back(Holds(album));
    SheetAlbum entry;
    entry.link = albumTexts[first];
    entry.cover = albumTexts[first + 1];
    entry.denseCover = albumTexts[first + 2];
    entry.width = album.width;
    entry.height = album.height;
    entry.name = albumTexts[first + 3];
    entry.holds = albumTexts[first + 4];
    sheet.albums.push_back(entry);
  }
  if (trail.size() > 1) {
    for (std::size_t i = 0; i < trail.size(); ++i) {
      const std::size_t first = albumTexts.size();
      albumTexts.push_back(i + 1 == trail.size() ? std::string()
                                                 : SheetAbove(trail.size() - 1 - i));
      albumTexts.push_back(HtmlText(trail[i]));
      sheet.trail.push_back({albumTexts[first], albumTexts[first + 1]});
    }
  }
  const std::string shownTitle = HtmlText(title);
  sheet.title = shownTitle;
  sheet.photos = std::move(photos);
  sheet.order = order;
  std::string text;
  style.contactSheet(sheet, text);
  std::string lines;
  lines.reserve(text.size() + text.size() / 16);
  AppendWithCrLf(lines, text);
  return lines;
}

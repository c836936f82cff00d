#include "gallery/gallery_sheet.h"

#include "gallery/gallery_names.h"
#include "pages/text_output.h"

std::string GallerySheetText(const PageStyle& style, const std::string& title,
                             const std::vector<SheetEntry>& entries) {
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
  std::string text;
  style.contactSheet(HtmlText(title), photos, text);
  std::string lines;
  lines.reserve(text.size() + text.size() / 16);
  AppendWithCrLf(lines, text);
  return lines;
}

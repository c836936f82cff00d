#include "gallery/gallery_sheet.h"

#include "gallery/gallery_names.h"
#include "pages/text_output.h"

std::string GallerySheetText(const PageStyle& style, const std::string& title,
                             const std::vector<SheetEntry>& entries) {
  // The links and texts as the page writes them, kept while the page is made.
  std::vector<std::string> texts;
  texts.reserve(3 * entries.size());
  std::vector<SheetPhoto> photos;
  photos.reserve(entries.size());
  for (const SheetEntry& entry : entries) {
    const std::size_t first = texts.size();
    texts.push_back(LinkToName(entry.photo));
    texts.push_back(entry.thumbnail.empty() ? std::string() : LinkToName(entry.thumbnail));
    texts.push_back(HtmlText(entry.caption));
    photos.push_back({texts[first], texts[first + 1], entry.width, entry.height, texts[first + 2]});
  }
  std::string text;
  style.contactSheet(HtmlText(title), photos, text);
  std::string lines;
  lines.reserve(text.size() + text.size() / 16);
  AppendWithCrLf(lines, text);
  return lines;
}

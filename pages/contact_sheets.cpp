// The contact sheet of a folder of photos, in both page styles: a thumbnail anchor and a caption
// anchor for every photo, the commonest shape of a contact sheet, so that a run reads it as it
// reads a hand-made one.
#include "pages/contact_sheets.h"

#include "pages/page_marker.h"

namespace {

std::string ImageTag(const SheetPhoto& entry, std::string_view caption) {
  std::string tag = "<img src=\"" + std::string(entry.thumbnail) + "\"";
  if (entry.width > 0 && entry.height > 0)
    tag += " width=\"" + std::to_string(entry.width) + "\" height=\"" +
           std::to_string(entry.height) + "\"";
  tag += " alt=\"" + std::string(caption) + "\"";
  if (!entry.denseThumbnail.empty())
    tag += " srcset=\"" + std::string(entry.denseThumbnail) + " 2x\"";
  return tag;
}

// The anchor that opens a photo's entry: it links the photo and, where it is known, gives its size,
// which the slide pages offer its copies by.
std::string PhotoAnchor(const SheetPhoto& entry) {
  std::string anchor = "<a href=\"" + std::string(entry.link) + "\"";
  if (entry.photoWidth > 0 && entry.photoHeight > 0)
    anchor += " data-size=\"" + std::to_string(entry.photoWidth) + "x" +
              std::to_string(entry.photoHeight) + "\"";
  return anchor;
}

// The anchor of the caption of a photo: for one that could not be read, with its state then and
// why (for the reader, and for the next run, which does not decode it again while it stays so).
std::string CaptionAnchor(const SheetPhoto& entry) {
  std::string anchor = "<a href=\"" + std::string(entry.link) + "\"";
  if (!entry.unreadState.empty())
    anchor += " data-unread=\"" + std::string(entry.unreadState) + "\" title=\"" +
              std::string(entry.unreadReason) + "\"";
  return anchor + ">";
}

}  // namespace

// A plain page in the spirit of the classic slide pages.
void ClassicSheet(std::string_view title, const std::vector<SheetPhoto>& photos,
                  std::string& text) {
  text =
      "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\n"
      "<html>\n<head>\n" KESTRUNE_PAGE_MARKER
      "\n"
      "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\n"
      "<title>" +
      std::string(title) +
      "</title>\n"
      "<style type=\"text/css\">\n"
      "div.photo{display:inline-block;vertical-align:top;width:250px;margin:4px;"
      "text-align:center}\n"
      "</style>\n</head>\n<body>\n<h1>" +
      std::string(title) + "</h1>\n";
  for (const SheetPhoto& entry : photos) {
    const std::string_view caption = entry.caption;
    text += "<div class=\"photo\">";
    if (!entry.thumbnail.empty()) {
      text += PhotoAnchor(entry) + ">" + ImageTag(entry, caption) + " border=\"0\"></a><br>";
    } else {
      text += "(could not be read)<br>";
    }
    text += CaptionAnchor(entry) + std::string(caption) + "</a></div>\n";
  }
  text += "<p><a name=\"end\">" + std::to_string(photos.size()) +
          (photos.size() == 1 ? " photo" : " photos") + "</a></p>\n</body>\n</html>\n";
}

// A grid from phone to 4K, light or dark, no script, nothing fetched from outside.
void ModernSheet(std::string_view title, const std::vector<SheetPhoto>& photos, std::string& text) {
  text = "<!DOCTYPE html>\n" KESTRUNE_PAGE_MARKER
         "\n"
         "<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
         "<title>" +
         std::string(title) +
         "</title>\n"
         // The colours of the modern slide pages, light and dark.
         "<style>\n"
         ":root{color-scheme:light dark;--bg:#fff;--fg:#1b1b1b;--bar:#f1f3f4;--link:#0b57d0}\n"
         "@media (prefers-color-scheme:dark){:root{--bg:#121212;--fg:#e8eaed;--bar:#202124;"
         "--link:#8ab4f8}}\n"
         "body{margin:0;background:var(--bg);color:var(--fg);font:1rem/1.4 system-ui,sans-serif}\n"
         "a{color:var(--link);text-decoration:underline}\n"
         "a:focus-visible{outline:3px solid var(--link);outline-offset:2px}\n"
         "header,footer{padding:.5em 1em;background:var(--bar);text-align:center}\n"
         "h1{font-size:1.4em;margin:.2em 0}\n"
         "ul{display:grid;grid-template-columns:repeat(auto-fill,minmax(min(100%,15rem),1fr));"
         "gap:1rem;list-style:none;margin:0;padding:1rem}\n"
         "li{display:flex;flex-direction:column;align-items:center;gap:.3em;text-align:center;"
         "overflow-wrap:anywhere}\n"
         "li img{display:block;max-width:100%;height:auto}\n"
         ".unread{display:flex;align-items:center;justify-content:center;width:100%;"
         "aspect-ratio:4/3;background:var(--bar)}\n"
         "</style>\n</head>\n<body>\n<header><h1>" +
         std::string(title) + "</h1></header>\n<main>\n<ul>\n";
  for (const SheetPhoto& entry : photos) {
    const std::string_view caption = entry.caption;
    text += "<li>";
    // The thumbnail's link repeats the caption's: out of the tab order and hidden from screen
    // readers, so each photo is one stop and read once.
    if (!entry.thumbnail.empty()) {
      text += PhotoAnchor(entry) + " tabindex=\"-1\" aria-hidden=\"true\">" +
              ImageTag(entry, caption) + "></a>";
    } else {
      text += "<span class=\"unread\">could not be read</span>";
    }
    text += CaptionAnchor(entry) + std::string(caption) + "</a></li>\n";
  }
  text += "</ul>\n</main>\n<footer id=\"end\"><p>" + std::to_string(photos.size()) +
          (photos.size() == 1 ? " photo" : " photos") + "</p></footer>\n</body>\n</html>\n";
}

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

// What the sheet keeps of how its photos were ordered, when not by name.
std::string OrderMark(const FolderSheet& sheet) {
  return sheet.order.empty() ? std::string()
                             : "<!-- kestrune order: " + std::string(sheet.order) + " -->\n";
}

// The cover of an album as an image tag without its end, or empty when it has none.
std::string CoverTag(const SheetAlbum& album) {
  if (album.cover.empty()) return std::string();
  std::string tag = "<img src=\"" + std::string(album.cover) + "\"";
  if (album.width > 0 && album.height > 0)
    tag += " width=\"" + std::to_string(album.width) + "\" height=\"" +
           std::to_string(album.height) + "\"";
  tag += " alt=\"" + std::string(album.name) + "\"";
  if (!album.denseCover.empty()) tag += " srcset=\"" + std::string(album.denseCover) + " 2x\"";
  return tag;
}

std::string Count(std::size_t n, const char* what) {
  return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

// What the sheet holds, at its end: "3 photos", "2 albums, 3 photos", "2 albums".
std::string Holding(const FolderSheet& sheet) {
  if (sheet.albums.empty()) return Count(sheet.photos.size(), "photo");
  const std::string albums = Count(sheet.albums.size(), "album");
  return sheet.photos.empty() ? albums : albums + ", " + Count(sheet.photos.size(), "photo");
}

}  // namespace

// A plain page in the spirit of the classic slide pages.
void ClassicSheet(const FolderSheet& sheet, std::string& text) {
  const std::string title(sheet.title);
  text =
      "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\n"
      "<html>\n<head>\n" KESTRUNE_PAGE_MARKER "\n" +
      OrderMark(sheet) +
      "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\n"
      "<title>" +
      title +
      "</title>\n"
      "<style type=\"text/css\">\n"
      "div.photo{display:inline-block;vertical-align:top;width:250px;margin:4px;"
      "text-align:center}\n" +
      std::string(sheet.albums.empty() ? "" : "span.day{white-space:nowrap}\n") +
      "</style>\n</head>\n<body>\n<h1>" + title + "</h1>\n";
  // Up to the sheet of the folder above.
  if (sheet.trail.size() > 1) {
    const TrailStep& up = sheet.trail[sheet.trail.size() - 2];
    text +=
        "<p><a href=\"" + std::string(up.link) + "\">Up to " + std::string(up.name) + "</a></p>\n";
  }
  for (const SheetAlbum& album : sheet.albums) {
    const std::string link = "<a href=\"" + std::string(album.link) + "\">";
    text += "<div class=\"photo\">";
    if (!album.cover.empty()) text += link + CoverTag(album) + " border=\"0\"></a><br>";
    text += link + std::string(album.name) + "</a><br>" + std::string(album.holds) + "</div>\n";
  }
  for (const SheetPhoto& entry : sheet.photos) {
    const std::string_view caption = entry.caption;
    text += "<div class=\"photo\">";
    if (!entry.thumbnail.empty()) {
      text += PhotoAnchor(entry) + ">" + ImageTag(entry, caption) + " border=\"0\"></a><br>";
    } else {
      text += "(could not be read)<br>";
    }
    text += CaptionAnchor(entry) + std::string(caption) + "</a></div>\n";
  }
  text += "<p><a name=\"end\">" + Holding(sheet) + "</a></p>\n</body>\n</html>\n";
}

// A grid from phone to 4K, light or dark, no script, nothing fetched from outside.
void ModernSheet(const FolderSheet& sheet, std::string& text) {
  const std::string title(sheet.title);
  text = "<!DOCTYPE html>\n" KESTRUNE_PAGE_MARKER "\n" + OrderMark(sheet) +
         "<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
         "<title>" +
         title +
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
         "aspect-ratio:4/3;background:var(--bar)}\n" +
         std::string(sheet.trail.empty() ? "" : ".trail{margin:0}\n") +
         std::string(
             sheet.albums.empty() ? "" : ".album{font-weight:bold}\n.day{white-space:nowrap}\n") +
         "</style>\n</head>\n<body>\n<header>";
  // The folders from the top down to this one, each linking its sheet.
  if (!sheet.trail.empty()) {
    text += "<nav aria-label=\"Albums\"><p class=\"" + std::string(kTrailClass) + "\">";
    for (std::size_t i = 0; i < sheet.trail.size(); ++i) {
      const TrailStep& step = sheet.trail[i];
      if (i > 0) text += " &#8250; ";
      text += step.link.empty()
                  ? "<span aria-current=\"page\">" + std::string(step.name) + "</span>"
                  : "<a href=\"" + std::string(step.link) + "\">" + std::string(step.name) + "</a>";
    }
    text += "</p></nav>";
  }
  text += "<h1>" + title + "</h1></header>\n<main>\n";
  if (!sheet.albums.empty()) {
    text += "<ul>\n";
    for (const SheetAlbum& album : sheet.albums) {
      const std::string link = "<a href=\"" + std::string(album.link) + "\"";
      text += "<li>";
      // As with a photo, the cover's link repeats the name's: one tab stop an album.
      if (!album.cover.empty())
        text += link + " tabindex=\"-1\" aria-hidden=\"true\">" + CoverTag(album) + "></a>";
      text += link + " class=\"album\">" + std::string(album.name) + "</a><span>" +
              std::string(album.holds) + "</span></li>\n";
    }
    text += "</ul>\n";
  }
  if (!sheet.photos.empty() || sheet.albums.empty()) text += "<ul>\n";
  for (const SheetPhoto& entry : sheet.photos) {
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
  if (!sheet.photos.empty() || sheet.albums.empty()) text += "</ul>\n";
  text += "</main>\n<footer id=\"end\"><p>" + Holding(sheet) + "</p></footer>\n</body>\n</html>\n";
}

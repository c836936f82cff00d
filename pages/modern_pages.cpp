// The modern page style: slide pages and a combined page in standards mode that fit the photo to
// any screen, follow the reader's light or dark preference and need no script. Same files, same
// links and the same marker line as the classic pages.
#include "pages/contact_sheets.h"
#include "pages/page_marker.h"
#include "pages/page_style.h"
#include "pages/text_output.h"

namespace {

// Colours for light and dark, each with a contrast of at least 4.5:1 for text and links on its
// background; links are underlined and the focus is outlined, so neither is told by colour alone.
#define KESTRUNE_MODERN_COLOURS                                                          \
  ":root{color-scheme:light dark;--bg:#fff;--fg:#1b1b1b;--bar:#f1f3f4;--link:#0b57d0}\n" \
  "@media (prefers-color-scheme:dark){:root{--bg:#121212;--fg:#e8eaed;--bar:#202124;"    \
  "--link:#8ab4f8}}\n"                                                                   \
  "body{margin:0;background:var(--bg);color:var(--fg);"                                  \
  "font:1rem/1.4 system-ui,sans-serif}\n"                                                \
  "a{color:var(--link);text-decoration:underline}\n"                                     \
  "a:focus-visible{outline:3px solid var(--link);outline-offset:2px}\n"

// The head of every modern page: the marker line early, so that a later run finds it whatever
// the title holds, and the charset within the first 1024 bytes.
#define KESTRUNE_MODERN_HEAD               \
  "<!DOCTYPE html>\n" KESTRUNE_PAGE_MARKER \
  "\n"                                     \
  "<html lang=\"%s\">\n"                   \
  "<head>\n"                               \
  "<meta charset=\"%s\">\n"                \
  "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"

// The bar keeps one line on wide screens and wraps, caption on a line of its own, on narrow
// ones; the photo fills what is left below it, centred, its aspect kept, never enlarged.
#define KESTRUNE_SLIDE_STYLE                                                                   \
  "<style>\n" KESTRUNE_MODERN_COLOURS                                                          \
  "body{display:flex;flex-direction:column;height:100vh;height:100dvh}\n"                      \
  "header{display:flex;flex-wrap:wrap;align-items:center;justify-content:space-between;"       \
  "gap:.25em 1em;padding:.4em .75em;background:var(--bar)}\n"                                  \
  "h1{flex:1 1 10em;min-width:0;margin:0;font-size:1.1em;text-align:center;"                   \
  "white-space:nowrap;overflow:hidden;text-overflow:ellipsis}\n"                               \
  "@media (max-width:48em){h1{flex-basis:100%%}}\n"                                            \
  ".show{margin:0}\n"                                                                          \
  ".icon{width:2em;height:1.5em;object-fit:cover;vertical-align:middle;margin:0 .35em}\n"      \
  "main{flex:1 1 auto;position:relative;min-height:0}\n"                                       \
  ".photo{position:absolute;top:0;right:0;bottom:0;left:0;margin:auto;"                        \
  "max-width:100%%;max-height:100%%}\n"                                                        \
  "</style>\n"                                                                                 \
  "</head>\n"                                                                                  \
  "<body>\n"                                                                                   \
  "<header>\n%s"                                                                               \
  "<a class=\"previous\" href=\"%s\" accesskey=\"p\" title=\"Previous image (access key P)\">" \
  "%s&#171; PREVIOUS</a>\n"                                                                    \
  "<a class=\"index\" href=\"%s\" accesskey=\"i\" "                                            \
  "title=\"Back to the contact sheet (access key I)\">Index</a>\n"                             \
  "<h1><a class=\"caption\" href=\"%s\" title=\"%s\">%s</a></h1>\n"

#define KESTRUNE_SLIDE_END                                                             \
  "<a class=\"next\" href=\"%s\" accesskey=\"n\" title=\"Next image (access key N)\">" \
  "NEXT &#187;%s</a>\n"                                                                \
  "</header>\n"                                                                        \
  "<main>\n"                                                                           \
  "<img class=\"photo\" src=\"%s\"%s alt=\"%s\">\n"                                    \
  "</main>\n"                                                                          \
  "</body>\n"                                                                          \
  "</html>\n"

// Placeholders: language, charset, title, prefetches; the trail; previous link and icon, index
// link, caption link, caption (attribute, text); play link; next link and icon, the picture shown
// and what a browser may choose from instead, caption.
const char kManualTemplate[] = KESTRUNE_MODERN_HEAD
    "<title>%s</title>\n"
    "%s" KESTRUNE_SLIDE_STYLE
    "<p class=\"show\">Slide Show: <a class=\"play\" href=\"%s\" "
    "title=\"Image changes every 5 seconds\">Play</a> <strong aria-current=\"true\" "
    "title=\"Image changes when you click NEXT\">Pause</strong></p>\n" KESTRUNE_SLIDE_END;

// Placeholders: as the manual page, with the refresh target behind the title and the pause link
// in place of the play link.
const char kAutomaticTemplate[] = KESTRUNE_MODERN_HEAD
    "<title>%s</title>\n"
    "<meta http-equiv=\"refresh\" content=\"5; url=%s\">\n"
    "%s" KESTRUNE_SLIDE_STYLE
    "<p class=\"show\">Slide Show: <strong aria-current=\"true\" "
    "title=\"Image changes every 5 seconds\">Play</strong> <a class=\"pause\" href=\"%s\" "
    "title=\"Image changes when you click NEXT\">Pause</a></p>\n" KESTRUNE_SLIDE_END;

// Placeholders: language, charset, sheet title, sheet link, sheet title. Each photo is as large
// as the screen allows, never enlarged; every figure keeps some height before its photo has
// loaded, so only those near the screen are fetched.
const char kCombinedHeader[] = KESTRUNE_MODERN_HEAD
    "<title>All Images for %s</title>\n"
    "<style>\n" KESTRUNE_MODERN_COLOURS
    "header,footer{padding:.5em 1em;text-align:center}\n"
    "h1{font-size:1.4em;margin:.2em 0}\n"
    "figure{margin:0 0 1em}\n"
    "figure a{display:flex;align-items:center;justify-content:center;min-height:30vh}\n"
    "figure img{min-width:0;max-width:100%%;max-height:calc(100vh - 4.5em);"
    "max-height:calc(100dvh - 4.5em)}\n"
    "figcaption{padding:.3em 1em;text-align:center}\n"
    "</style>\n"
    "</head>\n"
    "<body>\n"
    "<header><h1><a href=\"%s\">%s</a></h1></header>\n"
    "<main>\n";

// Placeholders: manual page, the picture shown and what a browser may choose from instead, caption
// (attribute), loading, caption (text).
const char kCombinedImage[] =
    "<figure><a href=\"%s\"><img src=\"%s\"%s alt=\"%s\"%s></a>"
    "<figcaption>%s</figcaption></figure>\n";

// The height the bar of a slide page takes, and the room the combined page leaves around each
// photo: what a photo fitted below them may not use. The bar is taken at its height on a wide
// screen, which a photo may only be given more of, so the copy chosen is never too small.
const char kSlideBarHeight[] = "2.5em";
const char kCombinedRoom[] = "4.5em";

// Placeholders: sheet link, sheet title.
const char kCombinedTrailer[] =
    "</main>\n"
    "<footer><p><a href=\"%s\">Back to %s</a></p></footer>\n"
    "</body>\n"
    "</html>\n";

// Appends `before` + `value` + `after`, or nothing for an empty value. Line feeds stay line
// feeds: the page's own formatting writes them as CR LF.
void AppendElement(std::string& out, std::string_view before, std::string_view value,
                   std::string_view after) {
  if (!value.empty()) out.append(before).append(value).append(after);
}

// Copies the runs between the characters that need a reference in one append each.
void AppendEscaped(std::string& out, std::string_view text, bool attribute) {
  std::size_t start = 0;  // of the run not yet copied
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const char* reference = c == '<'                ? "&lt;"
                            : c == '>'              ? "&gt;"
                            : c == '"' && attribute ? "&quot;"
                                                    : nullptr;
    if (reference == nullptr) continue;
    out.append(text, start, i - start).append(reference);
    start = i + 1;
  }
  out.append(text, start, text.size() - start);
}

// A link as a candidate of a srcset, where a blank or a comma would end it.
void AppendCandidateLink(std::string& out, std::string_view link) {
  for (char c : link) {
    if (c == ' ')
      out += "%20";
    else if (c == ',')
      out += "%2C";
    else if (c == '"')
      out += "&quot;";
    else
      out += c;
  }
}

// The pictures a browser may choose from, and the width the photo takes on the screen: all of
// it, or less where its height, fitted below `reserved`, makes it narrower.
void AppendSourceAttributes(std::string& out, const PictureSources& sources,
                            std::string_view srcset, std::string_view sizes,
                            std::string_view reserved) {
  out.append(" ").append(srcset).append("=\"");
  for (int i = 0; i < sources.count; ++i) {
    if (i > 0) out += ", ";
    AppendCandidateLink(out, sources.links[i]);
    out.append(" ").append(std::to_string(sources.widths[i])).append("w");
  }
  out.append("\" ").append(sizes).append("=\"");
  if (sources.width > 0 && sources.height > 0) {
    out.append("min(100vw, (100vh - ").append(reserved).append(") * ");
    out.append(std::to_string(sources.width)).append(" / ").append(std::to_string(sources.height));
    out += ')';
  } else {
    out += "100vw";
  }
  out += '"';
}

// The srcset and sizes of an image, or nothing for one without copies.
void AppendChoices(std::string& out, const PictureSources& sources, std::string_view reserved) {
  if (sources.count > 0) AppendSourceAttributes(out, sources, "srcset", "sizes", reserved);
}

// The title, the prefetch lines, the icons and the escaped caption of a slide page, made in
// buffers that keep their room from page to page. Both pages of an image show the same caption
// and title: they are escaped again only when their text changed.
struct SlideParts {
  std::string caption, sheetTitle;  // what the escaped parts were made of
  std::string title, prefetch, previousIcon, nextIcon, captionText, captionAttribute, choices,
      trail;
};

const SlideParts& MakeSlideParts(const SlidePageValues& v) {
  static SlideParts parts;
  if (parts.title.empty() || parts.caption != v.caption || parts.sheetTitle != v.sheetTitle) {
    parts.caption.assign(v.caption);
    parts.sheetTitle.assign(v.sheetTitle);
    for (std::string* part : {&parts.title, &parts.captionText, &parts.captionAttribute})
      part->clear();
    AppendEscaped(parts.captionText, v.caption, false);
    AppendEscaped(parts.captionAttribute, v.caption, true);
    parts.title.append(parts.captionText).append(" - ");
    AppendEscaped(parts.title, v.sheetTitle, false);
  }
  for (std::string* part : {&parts.prefetch, &parts.previousIcon, &parts.nextIcon, &parts.choices})
    part->clear();
  AppendElement(parts.prefetch, "<link rel=\"prefetch\" href=\"", v.prefetchPage, "\">\n");
  if (v.prefetchSources.count > 0 && !v.prefetchImage.empty()) {
    // The next picture as the next page will choose it, for this screen: fetched ahead in its
    // size, not the whole photo.
    parts.prefetch.append("<link rel=\"preload\" as=\"image\" href=\"")
        .append(v.prefetchImage)
        .append("\"");
    AppendSourceAttributes(parts.prefetch, v.prefetchSources, "imagesrcset", "imagesizes",
                           kSlideBarHeight);
    parts.prefetch.append(">\n");
  } else {
    AppendElement(parts.prefetch, "<link rel=\"prefetch\" href=\"", v.prefetchImage, "\">\n");
  }
  AppendChoices(parts.choices, v.sources, kSlideBarHeight);
  // The way up a tree of albums, on a line of its own above the bar's links.
  parts.trail.clear();
  if (!v.trail.empty()) {
    parts.trail.append(
        "<nav class=\"trail\" aria-label=\"Albums\" style=\"flex:1 1 100%;font-size:.9em\">");
    for (std::size_t i = 0; i < v.trail.size(); ++i) {
      if (i > 0) parts.trail.append(" &#8250; ");
      parts.trail.append("<a href=\"").append(v.trail[i].link).append("\">");
      parts.trail.append(v.trail[i].name).append("</a>");
    }
    parts.trail.append("</nav>\n");
  }
  AppendElement(parts.previousIcon, "<img class=\"icon\" src=\"", v.previousIcon, "\" alt=\"\">");
  AppendElement(parts.nextIcon, "<img class=\"icon\" src=\"", v.nextIcon, "\" alt=\"\">");
  return parts;
}

// `text` made safe as element content: "<" and ">" written as entities; other bytes and entities
// stay as they are.
std::string EscapeText(std::string_view text) {
  std::string out;
  AppendEscaped(out, text, false);
  return out;
}

// The bytes of each page, line ends CR LF, into `text` (its old content replaced). The caption
// and the sheet's title are escaped only where they would end a tag or an attribute.
void ModernManualPageText(const SlidePageValues& v, std::string& text) {
  static const PreparedFormat manual = PrepareFormat(kManualTemplate);
  const SlideParts& p = MakeSlideParts(v);
  FormatInto(text, manual,
             {v.language, v.charset, p.title, p.prefetch, p.trail, v.previousLink, p.previousIcon,
              v.indexLink, v.photo, p.captionAttribute, p.captionText, v.playLink, v.nextLink,
              p.nextIcon, v.shown, p.choices, p.captionAttribute});
}

void ModernAutomaticPageText(const SlidePageValues& v, std::string& text) {
  static const PreparedFormat automatic = PrepareFormat(kAutomaticTemplate);
  const SlideParts& p = MakeSlideParts(v);
  FormatInto(text, automatic,
             {v.language, v.charset, p.title, v.refreshTarget, p.prefetch, p.trail, v.previousLink,
              p.previousIcon, v.indexLink, v.photo, p.captionAttribute, p.captionText, v.pauseLink,
              v.nextLink, p.nextIcon, v.shown, p.choices, p.captionAttribute});
}

// The icons on both sides show the neighbouring images' thumbnails, else the images themselves
// (or their copies, where browsers cannot show them); the first page has no PREVIOUS icon and the
// last no NEXT icon.
std::string_view PreviousIcon(const NeighbourPictures& p) {
  if (p.atStart) return std::string_view();
  return p.previousThumbnail.empty() ? p.previousShown : p.previousThumbnail;
}

std::string_view NextIcon(const NeighbourPictures& p) {
  if (p.atEnd) return std::string_view();
  return p.nextThumbnail.empty() ? p.nextShown : p.nextThumbnail;
}

void CombinedHeader(const SheetFacts& sheet, std::string& out) {
  static const PreparedFormat header = PrepareFormat(kCombinedHeader);
  const std::string title = EscapeText(sheet.title);
  AppendFormatted(out, header, {sheet.language, sheet.charset, title, sheet.name, title});
}

// Every photo but the first is fetched only when the reader scrolls near it.
void CombinedImageFigure(const CombinedImage& image, std::string& out) {
  static const PreparedFormat line = PrepareFormat(kCombinedImage);
  static std::string attribute, text, choices;
  attribute.clear();
  text.clear();
  choices.clear();
  AppendEscaped(attribute, image.caption, true);
  AppendEscaped(text, image.caption, false);
  AppendChoices(choices, image.sources, kCombinedRoom);
  AppendFormatted(out, line,
                  {image.manualPage, image.shown, choices, attribute,
                   image.first ? "" : " loading=\"lazy\"", text});
}

void CombinedTrailer(const SheetFacts& sheet, std::string& out) {
  static const PreparedFormat trailer = PrepareFormat(kCombinedTrailer);
  AppendFormatted(out, trailer, {sheet.name, EscapeText(sheet.title)});
}

}  // namespace

const PageStyle ModernPages = {
    true,
    PreviousIcon,
    NextIcon,
    ModernManualPageText,
    ModernAutomaticPageText,
    CombinedHeader,
    CombinedImageFigure,
    CombinedTrailer,
    ModernSheet,
};

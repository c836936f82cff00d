// The modern page style: slide pages and a combined page in standards mode that fit the photo to
// any screen, follow the reader's light or dark preference and need no script. Same files, same
// links and the same marker line as the classic pages.
#pragma once

#include <string>
#include <string_view>

// Values of a modern slide page, as views of texts that outlive the page's making. Links are
// written as they are; the caption and the sheet's title are HTML text as read from the sheet,
// escaped here only where they would end a tag or an attribute. An empty icon or prefetched
// image leaves that element out.
struct ModernPageValues {
  std::string_view language;
  std::string_view charset;
  std::string_view caption;
  std::string_view sheetTitle;
  std::string_view refreshTarget;  // automatic page only
  std::string_view previousLink;
  std::string_view previousIcon;
  std::string_view indexLink;
  std::string_view centreLink;
  std::string_view playLink;   // manual page only
  std::string_view pauseLink;  // automatic page only
  std::string_view nextLink;
  std::string_view nextIcon;
  std::string_view photo;
  std::string_view prefetchPage;
  std::string_view prefetchImage;
};

// The bytes of each page, line ends CR LF, into `text` (its old content replaced).
void ModernManualPageText(const ModernPageValues& values, std::string& text);
void ModernAutomaticPageText(const ModernPageValues& values, std::string& text);

// The combined page in the modern style: its head and title, one figure per image (each but the
// first loaded only when the reader scrolls near it), and the link back at the end.
std::string ModernCombinedHeader(std::string_view language, std::string_view charset,
                                 std::string_view sheetTitle, std::string_view sheetName);
void AppendModernCombinedImage(std::string& out, std::string_view image,
                               std::string_view manualPage, std::string_view caption, bool lazy);
std::string ModernCombinedTrailer(std::string_view sheetName, std::string_view sheetTitle);

// `text` made safe as element content: "<" and ">" written as entities; other bytes and entities
// stay as they are.
std::string EscapeText(std::string_view text);
// The same for a double-quoted attribute value: also '"' as an entity.
std::string EscapeAttribute(std::string_view text);

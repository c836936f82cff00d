// The classic page style: the two slide page templates and the combined page's formats.
#include "pages/slide_templates.h"

#include "pages/combined_page.h"
#include "pages/contact_sheets.h"
#include "pages/page_marker.h"
#include "pages/page_style.h"
#include "pages/text_output.h"

namespace {

const char kManualTemplate[] =
    "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 3.2//EN\">\n"
    "<HTML><HEAD><TITLE>%s</TITLE>\n"
    "<style type=\"text/css\">\n"
    "<!--\n"
    "a:link {text-decoration: none}\n"
    "a:visited {text-decoration: none; color: #CC00CC;}\n"
    "a:hover {text-decoration: underline}\n"
    "--> </style>\n"
    "</HEAD>\n" KESTRUNE_PAGE_MARKER
    "\n"
    "<BODY BGCOLOR=\"#FFFFFF\" TEXT=\"#000000\">\n"
    "<center><table cellspacing=\"0\" cellpadding=\"0\"><tr>\n"
    "<td nowrap><a href=\"%s\"><img src=\"%s\" height=\"10\" width=\"14\" border=\"0\"> "
    "<b>&#171; PREVIOUS</b></a> &nbsp; &nbsp; <a href=\"%s\">Index</a></td>\n"
    "<td width=\"100%%\" align=\"center\"><a href=\"%s\"><font color=\"0000FF\">%s</font></a>"
    "</td>\n"
    "<td nowrap>Slide Show: &nbsp;<a href=\"%s\" title=\"Image changes every 5 seconds\">"
    "[Play]</a> &nbsp;<b><a title=\"Image changes when you click NEXT\">[Pause]</a></b> "
    "&nbsp; &nbsp;<a href=\"%s\"><b>NEXT &#187;</b> <img src=\"%s\" height=\"10\" width=\"14\" "
    "border=\"0\"></a></td>\n"
    "</tr></table>\n"
    "<iframe frameborder=\"0\" src=\"%s\" width=\"100%%\" height=\"95%%\" marginheight=\"0\">\n"
    "<img src=\"%s\"\n"
    "</iframe>\n"
    "</center></BODY></HTML>\n";

const char kAutomaticTemplate[] =
    "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 3.2//EN\">\n"
    "<HTML><HEAD><TITLE>%s</TITLE>\n"
    "<META http-equiv=\"Refresh\" content=\"5; URL=%s\">\n"
    "<style type=\"text/css\">\n"
    "<!--\n"
    "a:link {text-decoration: none}\n"
    "a:visited {text-decoration: none; color: #CC00CC;}\n"
    "a:hover {text-decoration: underline}\n"
    "--> </style>\n"
    "</HEAD>\n" KESTRUNE_PAGE_MARKER
    "\n"
    "<BODY BGCOLOR=\"#FFFFFF\" TEXT=\"#000000\">\n"
    "<center><table cellspacing=\"0\" cellpadding=\"0\"><tr>\n"
    "<td nowrap><a href=\"%s\"><img src=\"%s\" height=\"10\" width=\"14\" border=\"0\"> "
    "<b>&#171; PREVIOUS</b></a> &nbsp; &nbsp; <a href=\"%s\">Index</a></td>\n"
    "<td width=\"100%%\" align=\"center\"><a href=\"%s\"><font color=\"0000FF\">%s</font></a>"
    "</td>\n"
    "<td nowrap>Slide Show: &nbsp;<b><a title=\"Image changes every 5 seconds\">[Play]</a></b> "
    "&nbsp;<a href=\"%s\" title=\"Image changes when you click NEXT\">[Pause]</a> &nbsp; "
    "&nbsp;<a href=\"%s\"><b>NEXT &#187;</b> <img src=\"%s\" height=\"10\" width=\"14\" "
    "border=\"0\"></a></td>\n"
    "</tr></table>\n"
    "<iframe frameborder=\"0\" src=\"%s\" width=\"100%%\" height=\"95%%\" marginheight=\"0\">\n"
    "<img src=\"%s\"\n"
    "</iframe>\n"
    "</center></BODY></HTML>\n";

// The PREVIOUS icon is the previous image's thumbnail, else the current image; the NEXT icon is
// the next image itself (at the ends: the sheet). An image browsers cannot show is its copy.
std::string_view PreviousIcon(const NeighbourPictures& p) {
  if (p.atStart) return p.previousImage;
  if (!p.previousThumbnail.empty()) return p.previousThumbnail;
  return p.currentShown.empty() ? p.currentImage : p.currentShown;
}

std::string_view NextIcon(const NeighbourPictures& p) {
  return p.nextShown.empty() ? p.nextImage : p.nextShown;
}

void CombinedHeader(const SheetFacts& sheet, std::string& out) {
  static const PreparedFormat header = PrepareFormat(kCombinedPageHeader);
  AppendFormatted(out, header, {sheet.title, sheet.name, sheet.title});
}

void CombinedImageLine(const CombinedImage& image, std::string& out) {
  static const PreparedFormat line = PrepareFormat(kCombinedPageImageLine);
  AppendFormatted(out, line, {image.shown});
}

void CombinedTrailer(const SheetFacts& sheet, std::string& out) {
  static const PreparedFormat trailer = PrepareFormat(kCombinedPageTrailer);
  AppendFormatted(out, trailer, {sheet.name, sheet.title});
}

}  // namespace

// Each template is taken apart once, not once for every page. The photo is the caption's link;
// the frame's source and the fallback image show it (or its copy where browsers cannot).
void ManualPageText(const SlidePageValues& v, std::string& text) {
  static const PreparedFormat manual = PrepareFormat(kManualTemplate);
  FormatInto(text, manual,
             {v.image, v.previousLink, v.previousIcon, v.indexLink, v.photo, v.caption, v.playLink,
              v.nextLink, v.nextIcon, v.shown, v.shown});
}

void AutomaticPageText(const SlidePageValues& v, std::string& text) {
  static const PreparedFormat automatic = PrepareFormat(kAutomaticTemplate);
  FormatInto(text, automatic,
             {v.image, v.refreshTarget, v.previousLink, v.previousIcon, v.indexLink, v.photo,
              v.caption, v.pauseLink, v.nextLink, v.nextIcon, v.shown, v.shown});
}

const PageStyle ClassicPages = {
    false,          PreviousIcon,      NextIcon,        ManualPageText, AutomaticPageText,
    CombinedHeader, CombinedImageLine, CombinedTrailer, ClassicSheet,
};

#include "pages/slide_templates.h"

#include "pages/page_marker.h"
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

}  // namespace

// Each template is taken apart once, not once for every page.
void ManualPageText(const SlidePageValues& v, std::string& text) {
  static const PreparedFormat manual = PrepareFormat(kManualTemplate);
  FormatInto(text, manual,
             {v.pageTitle, v.previousLink, v.previousIcon, v.indexLink, v.centreLink, v.centreText,
              v.playLink, v.nextLink, v.nextIcon, v.frameSource, v.fallbackImage});
}

void AutomaticPageText(const SlidePageValues& v, std::string& text) {
  static const PreparedFormat automatic = PrepareFormat(kAutomaticTemplate);
  FormatInto(
      text, automatic,
      {v.pageTitle, v.refreshTarget, v.previousLink, v.previousIcon, v.indexLink, v.centreLink,
       v.centreText, v.pauseLink, v.nextLink, v.nextIcon, v.frameSource, v.fallbackImage});
}

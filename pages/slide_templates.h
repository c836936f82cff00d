// The two slide page kinds: the manual page (".htm") and the automatic page (".html").
#pragma once

#include <string>
#include <string_view>

// Values of the placeholders, as views of texts that outlive the page's making. The manual page
// uses playLink and no refresh; the automatic page uses refreshTarget and pauseLink.
struct SlidePageValues {
  std::string_view pageTitle;
  std::string_view refreshTarget;
  std::string_view previousLink;
  std::string_view previousIcon;
  std::string_view indexLink;
  std::string_view centreLink;
  std::string_view centreText;
  std::string_view playLink;
  std::string_view pauseLink;
  std::string_view nextLink;
  std::string_view nextIcon;
  std::string_view frameSource;
  std::string_view fallbackImage;
};

// The bytes of each page, line ends CR LF, to be written in one write, into `text` (its old
// content replaced; its room kept, so one buffer serves page after page).
void ManualPageText(const SlidePageValues& values, std::string& text);
void AutomaticPageText(const SlidePageValues& values, std::string& text);

// The two slide page kinds: the manual page (".htm") and the automatic page (".html").
#pragma once

#include <cstdio>
#include <string>

// Values of the placeholders. The manual page uses playLink and no refresh; the automatic page
// uses refreshTarget and pauseLink.
struct SlidePageValues {
  std::string pageTitle;
  std::string refreshTarget;
  std::string previousLink;
  std::string previousIcon;
  std::string indexLink;
  std::string centreLink;
  std::string centreText;
  std::string playLink;
  std::string pauseLink;
  std::string nextLink;
  std::string nextIcon;
  std::string frameSource;
  std::string fallbackImage;
};

// The bytes of each page, line ends CR LF, to be written in one write, into `text` (its old
// content replaced; its room kept, so one buffer serves page after page).
void ManualPageText(const SlidePageValues& values, std::string& text);
void AutomaticPageText(const SlidePageValues& values, std::string& text);

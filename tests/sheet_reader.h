// The contact sheet scanner driven as a generation drives it, for tests and benchmarks: each
// image found becomes the repeat memory of the next search, and its caption is read after it.
#pragma once

#include <string>
#include <string_view>

#include "sheet/scanner.h"

struct SheetReader {
  SheetReader(const char* text, const char* end, std::string startText)
      : text(text), end(end), last(std::move(startText)) {}

  // The next image link at or after `from`, its target into `last`; nullptr when none is left.
  const char* NextImage(const char* from) {
    std::string_view target;
    const char* found = FindNextImageLink(from, end, last, &target);
    if (found != nullptr) last.assign(target);
    return found;
  }

  // The caption of the image just found, into `caption`; where it ended.
  const char* Caption(const char* from) { return ExtractCaption(from, end, last, caption); }

  const char* Title(std::string& title) const { return ExtractTitle(text, end, title); }

  const char* text;
  const char* end;
  std::string last;  // the image found before; at first the start text (the start folder)
  std::string caption;
};

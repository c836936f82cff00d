// The scanner exactly as the algorithm reads, step by step, with no attempt at speed.
#include "literal_scanner.h"

namespace {

char Fold(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Fold(a[i]) != Fold(b[i])) return false;
  }
  return true;
}

// Each form searched separately to the end; the lower position of the two, or none.
std::size_t EarliestOf(std::string_view text, std::size_t from, std::string_view first,
                       std::string_view second) {
  if (from > text.size()) return kNoPosition;
  const std::size_t a = text.find(first, from);
  const std::size_t b = text.find(second, from);
  if (a == kNoPosition) return b;
  if (b == kNoPosition) return a;
  return a < b ? a : b;
}

std::size_t Find(std::string_view text, std::size_t from, char c) {
  if (from > text.size()) return kNoPosition;
  return text.find(c, from);
}

bool IsImageTarget(std::string_view target) {
  const std::size_t dot = target.rfind('.');
  if (dot == kNoPosition) return false;
  const std::string_view extension = target.substr(dot);
  return SameIgnoringCase(extension, ".jpg") || SameIgnoringCase(extension, ".gif") ||
         SameIgnoringCase(extension, ".png") || SameIgnoringCase(extension, ".jpe") ||
         SameIgnoringCase(extension, ".jpeg");
}

}  // namespace

std::size_t LiteralFindNextImageLink(std::string_view text, std::size_t from, std::string& last) {
  for (;;) {
    const std::size_t tag = EarliestOf(text, from, "<A ", "<a ");
    if (tag == kNoPosition) return kNoPosition;
    const std::size_t tagEnd = Find(text, tag + 3, '>');
    if (tagEnd == kNoPosition) return kNoPosition;
    const std::size_t href = EarliestOf(text, tag + 3, "HREF=", "href=");
    if (href == kNoPosition) return kNoPosition;
    from = tagEnd;
    if (href > tagEnd) continue;
    const std::size_t quote = Find(text, href, '"');
    if (quote == kNoPosition) return kNoPosition;
    if (quote > tagEnd) continue;
    const std::size_t closing = Find(text, quote + 1, '"');
    const std::string_view target = closing == kNoPosition
                                        ? text.substr(quote + 1)
                                        : text.substr(quote + 1, closing - quote - 1);
    if (!IsImageTarget(target)) continue;
    if (SameIgnoringCase(target, last)) continue;
    last = std::string(target);
    return tagEnd;
  }
}

std::size_t LiteralExtractCaption(std::string_view text, std::size_t from,
                                  const std::string& nextImage, std::string& out) {
  out.clear();
  bool inText = true;
  std::size_t p = from;
  for (;;) {
    ++p;
    if (p >= text.size() || text.size() - p < 4) break;
    if (text[p] == '<' && text[p + 1] == '/' && Fold(text[p + 2]) == 'a' && text[p + 3] == '>')
      break;
    const char c = text[p];
    if (out.empty() && static_cast<unsigned char>(c) <= 0x20) continue;
    if (inText && c != '<') out += c;
    if (inText && c == '<') {
      inText = false;
      const bool lineBreak = SameIgnoringCase(text.substr(p, 4), "<br>");
      const bool paragraph = SameIgnoringCase(text.substr(p, 3), "<p>");
      if ((lineBreak || paragraph) && !out.empty()) out += " - ";
    }
    if (!inText && c == '>') inText = true;
  }
  bool visible = false;
  for (char c : out) visible = visible || static_cast<unsigned char>(c) > 0x20;
  if (!visible) {
    out = nextImage;
  } else {
    while (!out.empty() && (out.back() == ' ' || out.back() == '-')) out.pop_back();
  }
  return p;
}

std::size_t LiteralExtractTitle(std::string_view text, std::string& out) {
  const std::size_t tag = EarliestOf(text, 0, "<TITLE>", "<title>");
  if (tag == kNoPosition) return kNoPosition;
  std::size_t stop = Find(text, tag + 7, '<');
  if (stop == kNoPosition) stop = text.size();
  out = std::string(text.substr(tag + 7, stop - tag - 7));
  return stop;
}

#include "gallery/gallery_names.h"

#include "names/ascii.h"
#include "names/escapes.h"

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Compares two runs of digits as numbers: leading zeros skipped, then the longer run is larger.
int CompareNumbers(std::string_view a, std::string_view b) {
  const auto significant = [](std::string_view run) {
    const std::size_t first = run.find_first_not_of('0');
    return first == std::string_view::npos ? std::string_view() : run.substr(first);
  };
  const std::string_view x = significant(a), y = significant(b);
  if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
  const int digits = x.compare(y);
  return digits != 0 ? digits : 0;
}

}  // namespace

bool NaturalLess(std::string_view a, std::string_view b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      std::size_t endA = i, endB = j;
      while (endA < a.size() && IsDigit(a[endA])) ++endA;
      while (endB < b.size() && IsDigit(b[endB])) ++endB;
      const int order = CompareNumbers(a.substr(i, endA - i), b.substr(j, endB - j));
      if (order != 0) return order < 0;
      i = endA;
      j = endB;
      continue;
    }
    const unsigned char x = static_cast<unsigned char>(ToLowerAscii(a[i]));
    const unsigned char y = static_cast<unsigned char>(ToLowerAscii(b[j]));
    if (x != y) return x < y;
    ++i;
    ++j;
  }
  if (i < a.size() || j < b.size()) return j < b.size();
  return a < b;  // equal but for case or leading zeros
}

std::string LinkToName(std::string_view name) {
  std::string link;
  for (char c : name) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F ||
        std::string_view("#%&<>\"'?\\:").find(c) != std::string_view::npos) {
      link += '%';
      AppendHexByte(link, byte);
    } else {
      link += c;
    }
  }
  return link;
}

std::string HtmlText(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? ' ' : c;
    }
  }
  return out;
}

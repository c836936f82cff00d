#include "gallery/gallery_names.h"

#include <algorithm>
#include <unordered_set>

#include "sheet/ascii.h"

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The name cut before its last ".", and the part from it on.
std::string_view BaseOf(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? name : name.substr(0, dot);
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

bool IsPhotoName(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return false;
  std::string extension;
  for (char c : name.substr(dot)) extension += ToLowerAscii(c);
  for (const char* known : {".jpg", ".jpe", ".jpeg", ".gif", ".png"})
    if (extension == known) return true;
  return false;
}

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

std::string ThumbnailFirstChoice(std::string_view photo) {
  return std::string(BaseOf(photo)) + "_t.jpg";
}

std::string ThumbnailSecondChoice(std::string_view photo) {
  std::string name = "tn_" + std::string(photo);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos) name[dot] = '_';
  return name + ".jpg";
}

std::vector<std::string> ThumbnailNames(const std::vector<std::string>& photos) {
  std::vector<std::string_view> bases;
  for (const std::string& photo : photos) bases.push_back(BaseOf(photo));
  std::vector<std::string_view> sorted = bases;
  std::sort(sorted.begin(), sorted.end());
  std::vector<std::string> names;
  for (std::size_t i = 0; i < photos.size(); ++i) {
    const auto range = std::equal_range(sorted.begin(), sorted.end(), bases[i]);
    names.push_back(range.second - range.first > 1 ? ThumbnailSecondChoice(photos[i])
                                                   : ThumbnailFirstChoice(photos[i]));
  }
  return names;
}

std::vector<std::string> WithoutThumbnailsOfOthers(const std::vector<std::string>& candidates) {
  std::unordered_set<std::string> looked;
  for (const std::string& name : candidates) {
    looked.insert(ThumbnailFirstChoice(name));
    looked.insert(ThumbnailSecondChoice(name));
  }
  std::vector<std::string> photos;
  for (const std::string& name : candidates) {
    // No name is among its own choices, so a hit is always another photo's.
    if (looked.count(name) == 0) photos.push_back(name);
  }
  return photos;
}

std::string LinkToName(std::string_view name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string link;
  for (char c : name) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F ||
        std::string_view("#%&<>\"'?\\:").find(c) != std::string_view::npos) {
      link += '%';
      link += kHex[byte >> 4];
      link += kHex[byte & 15];
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

std::string DecodedLink(std::string_view link) {
  const auto hex = [](char c) {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                  : -1;
  };
  std::string name;
  for (std::size_t i = 0; i < link.size(); ++i) {
    if (link[i] == '%' && i + 2 < link.size() && hex(link[i + 1]) >= 0 && hex(link[i + 2]) >= 0) {
      name += static_cast<char>(hex(link[i + 1]) * 16 + hex(link[i + 2]));
      i += 2;
    } else {
      name += link[i];
    }
  }
  return name;
}

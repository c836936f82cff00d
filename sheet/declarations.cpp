#include "sheet/declarations.h"

#include <optional>

#include "names/ascii.h"
#include "sheet/attributes.h"

namespace {

bool IsLabel(std::string_view value, std::size_t longest, std::string_view punctuation) {
  if (value.empty() || value.size() > longest) return false;
  for (char c : value) {
    const bool alphanumeric =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!alphanumeric && punctuation.find(c) == std::string_view::npos) return false;
  }
  return true;
}

bool IsCharsetLabel(std::string_view value) {
  return IsLabel(value, 40, ".:_-");
}

// The label behind "charset=" in a content attribute, such as "text/html; charset=utf-8".
std::string_view CharsetOfContent(std::string_view content) {
  for (std::size_t i = 0; i + 8 <= content.size(); ++i) {
    if (!EqualsIgnoringCase(content.substr(i, 8), "charset=")) continue;
    std::size_t start = i + 8, stop = start;
    while (stop < content.size() && !IsBlank(content[stop]) && content[stop] != ';') ++stop;
    std::string_view label = content.substr(start, stop - start);
    if (label.size() >= 2 && (label.front() == '"' || label.front() == '\'') &&
        label.back() == label.front())
      label = label.substr(1, label.size() - 2);
    return label;
  }
  return {};
}

std::string_view CharsetOfMeta(const char* meta, const char* end) {
  if (std::optional<std::string_view> charset = ReadAttribute(meta, end, "charset"))
    return *charset;
  if (std::optional<std::string_view> content = ReadAttribute(meta, end, "content"))
    return CharsetOfContent(*content);
  return {};
}

// Bytes 0x80 to 0xBF continue a sequence.
bool IsContinuation(unsigned char c) {
  return (c & 0xC0) == 0x80;
}

}  // namespace

std::string_view DeclaredLanguage(const char* text, const char* end) {
  const char* html = FindTag(text, end, "html");
  if (html == nullptr) return {};
  const std::optional<std::string_view> lang = ReadAttribute(html, end, "lang");
  return lang && IsLabel(*lang, 35, "-") ? *lang : std::string_view();
}

std::string_view DeclaredCharset(const char* text, const char* end) {
  if (StartsWithIgnoringCase(text, end, "\xEF\xBB\xBF")) return "UTF-8";
  for (const char* meta = FindTag(text, end, "meta"); meta != nullptr;
       meta = FindTag(meta + 1, end, "meta")) {
    const std::string_view label = CharsetOfMeta(meta, end);
    if (!IsCharsetLabel(label)) continue;
    if (StartsWithIgnoringCase(label.data(), label.data() + label.size(), "utf-16")) return "UTF-8";
    return label;
  }
  return {};
}

bool IsValidUtf8(const char* text, const char* end) {
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  const auto* stop = reinterpret_cast<const unsigned char*>(end);
  while (p < stop) {
    const unsigned char c = *p;
    std::size_t length = c < 0x80                 ? 1
                         : c >= 0xC2 && c <= 0xDF ? 2
                         : c >= 0xE0 && c <= 0xEF ? 3
                         : c >= 0xF0 && c <= 0xF4 ? 4
                                                  : 0;
    if (length == 0 || static_cast<std::size_t>(stop - p) < length) return false;
    for (std::size_t i = 1; i < length; ++i) {
      if (!IsContinuation(p[i])) return false;
    }
    // No overlong forms, no surrogates, nothing above U+10FFFF.
    if ((c == 0xE0 && p[1] < 0xA0) || (c == 0xED && p[1] > 0x9F) || (c == 0xF0 && p[1] < 0x90) ||
        (c == 0xF4 && p[1] > 0x8F))
      return false;
    p += length;
  }
  return true;
}

#include "sheet/attributes.h"

#include <cstring>

#include "names/ascii.h"

namespace {

bool EndsName(char c) {
  return IsBlank(c) || c == '=' || c == '>' || c == '/';
}

const char* SkipBlanks(const char* p, const char* limit) {
  while (p < limit && IsBlank(*p)) ++p;
  return p;
}

}  // namespace

std::optional<std::string_view> ReadAttribute(const char* tag, const char* limit,
                                              std::string_view name) {
  const char* p = tag + 1;
  while (p < limit && !EndsName(*p)) ++p;  // the tag's own name
  for (;;) {
    while (p < limit && (IsBlank(*p) || *p == '/')) ++p;
    if (p >= limit || *p == '>') return std::nullopt;
    const char* nameStart = p;
    while (p < limit && !EndsName(*p)) ++p;
    if (p == nameStart) ++p;  // a stray "=": no name, skip it
    const std::string_view found(nameStart, static_cast<std::size_t>(p - nameStart));
    std::string_view value;
    p = SkipBlanks(p, limit);
    if (p < limit && *p == '=') {
      p = SkipBlanks(p + 1, limit);
      if (p < limit && (*p == '"' || *p == '\'')) {
        const char* close = static_cast<const char*>(
            std::memchr(p + 1, *p, static_cast<std::size_t>(limit - p - 1)));
        const char* valueEnd = close != nullptr ? close : limit;
        value = std::string_view(p + 1, static_cast<std::size_t>(valueEnd - p - 1));
        p = close != nullptr ? close + 1 : limit;
      } else {
        const char* valueStart = p;
        while (p < limit && !IsBlank(*p) && *p != '>') ++p;
        value = std::string_view(valueStart, static_cast<std::size_t>(p - valueStart));
      }
    }
    if (EqualsIgnoringCase(found, name)) return value;
  }
}

const char* FindTag(const char* from, const char* limit, std::string_view tagName) {
  for (const char* p = from; p < limit; ++p) {
    p = static_cast<const char*>(std::memchr(p, '<', static_cast<std::size_t>(limit - p)));
    if (p == nullptr) return nullptr;
    const char* after = p + 1 + tagName.size();
    if (after < limit && StartsWithIgnoringCase(p + 1, limit, tagName) &&
        (IsBlank(*after) || *after == '>' || *after == '/'))
      return p;
  }
  return nullptr;
}

// Byte tests and comparisons shared by the rules for names and the readers of the contact sheet:
// blanks are the bytes of 0x20 and below, and case is folded for the ASCII letters A-Z only.
#pragma once

#include <cstddef>
#include <string_view>

inline bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= 0x20;
}

// True when `text` holds a byte that is not blank.
inline bool HasVisibleCharacter(std::string_view text) {
  for (char c : text) {
    if (!IsBlank(c)) return true;
  }
  return false;
}

inline char ToLowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (ToLowerAscii(a[i]) != ToLowerAscii(b[i])) return false;
  }
  return true;
}

inline bool StartsWithIgnoringCase(const char* p, const char* end, std::string_view prefix) {
  return static_cast<std::size_t>(end - p) >= prefix.size() &&
         EqualsIgnoringCase(std::string_view(p, prefix.size()), prefix);
}

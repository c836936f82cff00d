// ==== Names ====================================================================================
// Names in Unicode: the core's UTF-8 names turned into UTF-16 for the wide-character calls and
// back, device names refused, folders split at both separators, and the key that tells when two
// spellings name the same file (letters folded as the file system folds them). Nothing here
// reaches the file system.
#include "platform/win32_names.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <string>

#include "platform/path_segments.h"
#include "platform/platform.h"
#include "platform/platform_win32.h"

using namespace win32;

bool Utf8ToWide(const std::string& utf8, std::wstring* wide) {
  wide->clear();
  if (utf8.empty()) return true;
  if (utf8.find('\0') != std::string::npos || utf8.size() > INT_MAX) return false;
  const int size = static_cast<int>(utf8.size());
  const int length =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
  if (length <= 0) return false;
  wide->resize(static_cast<std::size_t>(length));
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, &(*wide)[0],
                             length) == length;
}

// Empty for an empty text, or one too long for the call.
std::string WideToUtf8(const wchar_t* wide, std::size_t length) {
  if (length == 0 || length > INT_MAX) return std::string();
  const int size = static_cast<int>(length);
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, size, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::string();
  std::string utf8(static_cast<std::size_t>(bytes), '\0');
  if (WideCharToMultiByte(CP_UTF8, 0, wide, size, &utf8[0], bytes, nullptr, nullptr) != bytes)
    return std::string();
  return utf8;
}

std::string WideToUtf8(const std::wstring& wide) {
  return WideToUtf8(wide.data(), wide.size());
}

// Windows names files in UTF-16, which every UTF-8 name converts to.
bool NamesFilesInUnicode() {
  return true;
}

namespace win32 {

std::wstring Wide(const std::string& name) {
  std::wstring wide;
  return Utf8ToWide(name, &wide) ? wide : std::wstring();
}

bool StartsWithFolded(const std::wstring& text, const std::wstring& start) {
  if (text.size() < start.size() || start.size() > INT_MAX) return false;
  const int length = static_cast<int>(start.size());
  return CompareStringOrdinal(text.data(), length, start.data(), length, TRUE) == CSTR_EQUAL;
}

bool EqualFolded(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() && StartsWithFolded(a, b);
}

std::string_view StoredName(std::string_view path) {
  path.remove_prefix(std::min(path.size(), path.find_last_of("\\/") + 1));  // npos + 1 is 0
  while (!path.empty() && (path.back() == '.' || path.back() == ' ')) path.remove_suffix(1);
  return path;
}

}  // namespace win32

namespace {

// An ASCII letter in upper case; any other byte as it is.
char FoldCase(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// True when one path component names a device, as Windows reads it: the part before the first
// "." with trailing blanks dropped, in any case ("con", "NUL..html", "com1 .htm", "aux.x.y").
bool IsReservedDeviceName(std::string_view name) {
  std::string component(name);
  while (!component.empty() && (component.back() == '.' || component.back() == ' '))
    component.pop_back();
  std::string stem = component.substr(0, component.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (char& c : stem) c = FoldCase(c);
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (stem == device) return true;
  }
  // COM0-COM9 and LPT0-LPT9, also with the superscript digits 1-3 (U+00B9, U+00B2, U+00B3: in
  // UTF-8 two bytes, in code page 1252 one, which no UTF-8 name holds alone).
  if (stem.size() < 4 || (stem.compare(0, 3, "COM") != 0 && stem.compare(0, 3, "LPT") != 0))
    return false;
  std::string_view digit = std::string_view(stem).substr(3);
  if (digit.size() == 2 && digit[0] == '\xC2') digit.remove_prefix(1);
  if (digit.size() != 1) return false;
  const unsigned char c = static_cast<unsigned char>(digit[0]);
  return (stem.size() == 4 && c >= '0' && c <= '9') || c == 0xB9 || c == 0xB2 || c == 0xB3;
}

// Letters in upper case, as the file system folds them: any letter of a UTF-8 name, the ASCII
// ones of any other.
std::string FoldedName(std::string_view name) {
  std::wstring wide;
  if (Utf8ToWide(std::string(name), &wide) && !wide.empty() && wide.size() <= INT_MAX) {
    const int length = static_cast<int>(wide.size());
    std::wstring upper(wide.size(), L'\0');
    if (LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, wide.data(), length, &upper[0], length) ==
        length)
      return WideToUtf8(upper);
  }
  std::string folded(name);
  for (char& c : folded) c = FoldCase(c);
  return folded;
}

}  // namespace

bool NamesReservedDevice(const std::string& name) {
  for (std::string_view component : SplitPath(name, IsSlashOrBackslash)) {
    if (IsReservedDeviceName(component)) return true;
  }
  return false;
}

// "\" separates folders, and "/" too, since Windows takes both: a path written with "/" still
// puts the pages beside the sheet. Without either, the prefix ends at the last ":" ("D:index.htm").
std::size_t FolderPrefixLength(const std::string& path) {
  const std::size_t separator = path.find_last_of("\\/");
  if (separator != std::string::npos) return separator + 1;
  const std::size_t colon = path.rfind(':');
  return colon == std::string::npos ? 0 : colon + 1;
}

bool IsFolderSeparator(char c) {
  return IsSlashOrBackslash(c);
}

// Segments joined by "\", each folded: "Sub/./A.htm", "sub\a.HTM" and "x\..\sub\a.htm" alike.
std::string FileNameKey(const std::string& name) {
  std::string key;
  for (std::string_view segment : ResolvedSegments(name, IsSlashOrBackslash)) {
    if (!key.empty()) key += '\\';
    key += FoldedName(segment);
  }
  return key;
}

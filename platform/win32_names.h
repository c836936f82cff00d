// What the Win32 layer's files share about names (win32_names.cpp): a UTF-8 name for the
// wide-character calls, and names compared as the file system compares them. For the platform's
// win32_*.cpp files only.
#pragma once

#include <string>
#include <string_view>

namespace win32 {

// `name` for a wide-character call; empty, which names no file, when it is not UTF-8.
std::wstring Wide(const std::string& name);

// Whether `text` begins with `start`, and whether `a` and `b` are alike, letters in either case
// alike, as the file system compares names.
bool StartsWithFolded(const std::wstring& text, const std::wstring& start);
bool EqualFolded(const std::wstring& a, const std::wstring& b);

// The last component of `path` as Windows stores a name: trailing dots and blanks dropped.
std::string_view StoredName(std::string_view path);

}  // namespace win32

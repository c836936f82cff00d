// What the contact sheet declares about itself: its language and its character encoding.
#pragma once

#include <string_view>

// The lang attribute of the sheet's <html> tag when it is a plausible language tag (letters,
// digits and hyphens, at most 35); empty otherwise.
std::string_view DeclaredLanguage(const char* text, const char* end);

// The encoding the sheet declares: a byte order mark for UTF-8, else the charset of its first
// <meta> that names one (charset="..." or content="...; charset=..."), when it is a plausible
// label (letters, digits and ".:_-", at most 40). A UTF-16 label reads as UTF-8, as browsers read
// it in an 8-bit text. Empty when the sheet declares none.
std::string_view DeclaredCharset(const char* text, const char* end);

// True when [text, end) is well-formed UTF-8.
bool IsValidUtf8(const char* text, const char* end);

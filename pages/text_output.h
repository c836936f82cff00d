// Formatted text output with the line ends of a text-mode stream.
#pragma once

#include <cstdio>
#include <initializer_list>
#include <string>
#include <string_view>

// Expands a stored format: each "%s" takes the next value as it is, "%%" writes "%". Every line
// feed, also one inside a value, comes out as CR LF. Values of any length are kept whole.
std::string FormatText(const char* format, std::initializer_list<std::string_view> values);

// Writes FormatText(format, values) to `stream` in one write; false when the write failed.
bool WriteFormatted(std::FILE* stream, const char* format,
                    std::initializer_list<std::string_view> values);

// Formatted text output with the line ends of a text-mode stream.
#pragma once

#include <cstdio>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

// Appends `text` with every line feed as CR LF, as every page kestrune writes ends its lines.
void AppendWithCrLf(std::string& out, std::string_view text);

// A stored format made ready once: its literal runs between the places of its values ("%s"),
// with "%%" already a single "%" and every line feed already CR LF. Any other "%" is plain text.
struct PreparedFormat {
  std::string text;               // the runs one after another
  std::vector<std::size_t> ends;  // where each run ends in `text`; one more than there are places
};

PreparedFormat PrepareFormat(const char* format);

// Appends `format` filled with `values` to `out`: each place takes the next value as it is (a
// place without a value stays empty), and every line feed of a value comes out as CR LF too.
void AppendFormatted(std::string& out, const PreparedFormat& format,
                     std::initializer_list<std::string_view> values);

// The same in place of the old content of `out`, whose room is kept: one buffer serves page
// after page without being cleared in between.
void FormatInto(std::string& out, const PreparedFormat& format,
                std::initializer_list<std::string_view> values);

// The same for a format used once.
std::string FormatText(const char* format, std::initializer_list<std::string_view> values);

// Writes FormatText(format, values) to `stream` in one write; false when the write failed.
bool WriteFormatted(std::FILE* stream, const char* format,
                    std::initializer_list<std::string_view> values);

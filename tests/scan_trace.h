// What one generation reads out of a contact sheet, taken once with the scanner and once with
// the literal algorithm, for comparing the two (the differential tests and the fuzzer).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "literal_scanner.h"

// Every image, caption and the title, positions as offsets into the text.
struct ScanTrace {
  struct Image {
    std::size_t link;  // the ">" that closes the accepted anchor
    std::string target;
    std::size_t captionEnd;
    std::string caption;
    bool operator==(const Image& o) const;
  };
  std::vector<Image> images;
  std::size_t titleEnd = kNoPosition;
  std::string title = "Index";  // the title's value before any title is read
  bool operator==(const ScanTrace& o) const;
};

// `sheet` scanned as a generation scans it, the repeat memory starting with `startText`: the
// text is the part before the first zero byte, as loading the sheet gives it.
ScanTrace ScanWithScanner(const std::string& sheet, const std::string& startText);
ScanTrace ScanLiterally(const std::string& sheet, const std::string& startText);

// `bytes` as a C string literal, so a failing case can be pasted into a test.
std::string Escaped(const std::string& bytes);
// The trace one item a line.
std::string Describe(const ScanTrace& trace);

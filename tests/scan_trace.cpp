// Scanning a contact sheet both ways, each as the generation calls the operations.
#include "scan_trace.h"

#include <cstring>
#include <memory>

#include "literal_scanner.h"
#include "sheet_reader.h"

namespace {

// The text the scanner sees: the bytes before the first zero byte.
std::string VisibleText(const std::string& sheet) {
  return sheet.substr(0, sheet.find('\0'));
}

}  // namespace

bool ScanTrace::Image::operator==(const Image& o) const {
  return link == o.link && target == o.target && captionEnd == o.captionEnd && caption == o.caption;
}

bool ScanTrace::operator==(const ScanTrace& o) const {
  return images == o.images && titleEnd == o.titleEnd && title == o.title;
}

ScanTrace ScanWithScanner(const std::string& sheet, const std::string& startText) {
  // An exactly sized copy without a terminator, so a read past the end is caught by ASan.
  const std::string text = VisibleText(sheet);
  std::unique_ptr<char[]> copy(new char[text.size()]);
  std::memcpy(copy.get(), text.data(), text.size());
  SheetReader reader(copy.get(), copy.get() + text.size(), startText);

  ScanTrace trace;
  const auto offset = [&reader](const char* p) {
    return p == nullptr ? kNoPosition : static_cast<std::size_t>(p - reader.text);
  };
  const char* pos = reader.NextImage(reader.text);
  while (pos != nullptr && trace.images.size() <= text.size()) {
    const std::size_t link = offset(pos);
    pos = reader.Caption(pos);
    trace.images.push_back({link, reader.last, offset(pos), reader.caption});
    pos = reader.NextImage(pos);
  }
  trace.titleEnd = offset(reader.Title(trace.title));
  return trace;
}

ScanTrace ScanLiterally(const std::string& sheet, const std::string& startText) {
  const std::string text = VisibleText(sheet);
  ScanTrace trace;
  std::string last = startText;
  std::size_t pos = LiteralFindNextImageLink(text, 0, last);
  while (pos != kNoPosition && trace.images.size() <= text.size()) {
    const std::size_t link = pos;
    std::string caption;
    pos = LiteralExtractCaption(text, pos, last, caption);
    trace.images.push_back({link, last, pos, caption});
    pos = LiteralFindNextImageLink(text, pos, last);
  }
  trace.titleEnd = LiteralExtractTitle(text, trace.title);
  return trace;
}

std::string Escaped(const std::string& bytes) {
  static const char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (unsigned char c : bytes) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c >= 0x20 && c < 0x7f) {
      out += static_cast<char>(c);
    } else {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
      out += "\"\"";  // ends the escape, so a following hex digit is not swallowed
    }
  }
  return out + "\"";
}

std::string Describe(const ScanTrace& trace) {
  std::string out;
  for (const ScanTrace::Image& image : trace.images) {
    out += "  link " + std::to_string(image.link) + " " + Escaped(image.target) + ", caption to " +
           std::to_string(image.captionEnd) + " " + Escaped(image.caption) + "\n";
  }
  return out + "  title " + Escaped(trace.title) + " to " +
         (trace.titleEnd == kNoPosition ? std::string("none") : std::to_string(trace.titleEnd)) +
         "\n";
}

#include "pages/text_output.h"

#include <algorithm>
#include <cstring>

namespace {

// Copies `text` in runs between line feeds; each line feed becomes CR LF.
void AppendWithCrLf(std::string& out, std::string_view text) {
  std::size_t start = 0;
  for (std::size_t lf = text.find('\n'); lf != std::string_view::npos;
       lf = text.find('\n', start)) {
    out.append(text.data() + start, lf - start).append("\r\n");
    start = lf + 1;
  }
  out.append(text.data() + start, text.size() - start);
}

}  // namespace

PreparedFormat PrepareFormat(const char* format) {
  PreparedFormat prepared;
  const char* copied = format;  // start of the format text not yet in `prepared.text`
  for (const char* p = std::strchr(format, '%'); p != nullptr; p = std::strchr(p, '%')) {
    if (p[1] != 's' && p[1] != '%') {
      ++p;  // any other percent sign is plain text
      continue;
    }
    AppendWithCrLf(prepared.text, std::string_view(copied, static_cast<std::size_t>(p - copied)));
    if (p[1] == '%') {
      prepared.text += '%';
    } else {
      prepared.ends.push_back(prepared.text.size());
    }
    p += 2;
    copied = p;
  }
  AppendWithCrLf(prepared.text, copied);
  prepared.ends.push_back(prepared.text.size());
  return prepared;
}

namespace {

bool HasLineFeed(std::string_view text) {
  return !text.empty() && std::memchr(text.data(), '\n', text.size()) != nullptr;
}

// Writes `format` filled with `values` into `out` from `start` on, `out` being `start` + `size`
// long already, where no value holds a line feed.
void CopyFormatted(std::string& out, std::size_t start, const PreparedFormat& format,
                   const std::string_view* values, std::size_t places) {
  char* at = &out[start];
  std::size_t runStart = 0;
  for (std::size_t i = 0; i < format.ends.size(); ++i) {
    if (i > 0 && i <= places && !values[i - 1].empty()) {
      std::memcpy(at, values[i - 1].data(), values[i - 1].size());
      at += values[i - 1].size();
    }
    std::memcpy(at, format.text.data() + runStart, format.ends[i] - runStart);
    at += format.ends[i] - runStart;
    runStart = format.ends[i];
  }
}

// Fills `format` in after the first `start` characters of `out`. Values rarely hold a line
// feed: then the text's size is known beforehand and every run and value is copied straight
// into place.
void Format(std::string& out, std::size_t start, const PreparedFormat& format,
            std::initializer_list<std::string_view> values) {
  const std::size_t places = std::min(values.size(), format.ends.size() - 1);
  std::size_t size = format.text.size();
  bool lineFeeds = false;
  for (std::size_t i = 0; i < places; ++i) {
    size += values.begin()[i].size();
    lineFeeds = lineFeeds || HasLineFeed(values.begin()[i]);
  }
  if (!lineFeeds) {
    out.resize(start + size);  // from a page of about the same size: little to fill in first
    CopyFormatted(out, start, format, values.begin(), places);
    return;
  }
  out.resize(start);
  out.reserve(start + size + size / 8);  // room for the CR of every line end in a value
  std::size_t runStart = 0;
  for (std::size_t i = 0; i < format.ends.size(); ++i) {
    if (i > 0 && i <= places) AppendWithCrLf(out, values.begin()[i - 1]);
    out.append(format.text, runStart, format.ends[i] - runStart);
    runStart = format.ends[i];
  }
}

}  // namespace

void AppendFormatted(std::string& out, const PreparedFormat& format,
                     std::initializer_list<std::string_view> values) {
  Format(out, out.size(), format, values);
}

void FormatInto(std::string& out, const PreparedFormat& format,
                std::initializer_list<std::string_view> values) {
  Format(out, 0, format, values);
}

std::string FormatText(const char* format, std::initializer_list<std::string_view> values) {
  std::string out;
  AppendFormatted(out, PrepareFormat(format), values);
  return out;
}

bool WriteFormatted(std::FILE* stream, const char* format,
                    std::initializer_list<std::string_view> values) {
  const std::string text = FormatText(format, values);
  return std::fwrite(text.data(), 1, text.size(), stream) == text.size();
}

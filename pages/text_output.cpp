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
  std::string run;
  const char* copied = format;  // start of the format text not yet in `run`
  for (const char* p = std::strchr(format, '%'); p != nullptr; p = std::strchr(p, '%')) {
    if (p[1] != 's' && p[1] != '%') {
      ++p;  // any other percent sign is plain text
      continue;
    }
    AppendWithCrLf(run, std::string_view(copied, static_cast<std::size_t>(p - copied)));
    if (p[1] == '%') {
      run += '%';
    } else {
      prepared.length += run.size();
      prepared.runs.push_back(std::move(run));
      run.clear();
    }
    p += 2;
    copied = p;
  }
  AppendWithCrLf(run, copied);
  prepared.length += run.size();
  prepared.runs.push_back(std::move(run));
  return prepared;
}

namespace {

bool HasLineFeed(std::string_view text) {
  return !text.empty() && std::memchr(text.data(), '\n', text.size()) != nullptr;
}

}  // namespace

// Values rarely hold a line feed: then the text's size is known beforehand and every run and
// value is copied straight into place.
void AppendFormatted(std::string& out, const PreparedFormat& format,
                     std::initializer_list<std::string_view> values) {
  const std::size_t places = std::min(values.size(), format.runs.size() - 1);
  std::size_t size = format.length;
  bool lineFeeds = false;
  for (std::size_t i = 0; i < places; ++i) {
    size += values.begin()[i].size();
    lineFeeds = lineFeeds || HasLineFeed(values.begin()[i]);
  }
  if (lineFeeds) {
    out.reserve(out.size() + size + size / 8);  // room for the CR of every line end in a value
    for (std::size_t i = 0; i < format.runs.size(); ++i) {
      if (i > 0 && i <= places) AppendWithCrLf(out, values.begin()[i - 1]);
      out += format.runs[i];
    }
    return;
  }
  const std::size_t start = out.size();
  out.resize(start + size);
  char* at = &out[start];
  for (std::size_t i = 0; i < format.runs.size(); ++i) {
    if (i > 0 && i <= places && !values.begin()[i - 1].empty()) {
      std::memcpy(at, values.begin()[i - 1].data(), values.begin()[i - 1].size());
      at += values.begin()[i - 1].size();
    }
    std::memcpy(at, format.runs[i].data(), format.runs[i].size());
    at += format.runs[i].size();
  }
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

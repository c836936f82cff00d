#include "pages/text_output.h"

#include <algorithm>
#include <cstring>

void AppendWithCrLf(std::string& out, std::string_view text) {
  std::size_t start = 0;
  for (std::size_t lf = text.find('\n'); lf != std::string_view::npos;
       lf = text.find('\n', start)) {
    out.append(text.data() + start, lf - start).append("\r\n");
    start = lf + 1;
  }
  out.append(text.data() + start, text.size() - start);
}

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

// Copies `text` to `at`, each line feed as CR LF; returns the end of the copy.
char* CopyWithCrLf(char* at, std::string_view text) {
  const char* from = text.data();
  const char* const end = from + text.size();
  while (from != end) {
    const char* lf =
        static_cast<const char*>(std::memchr(from, '\n', static_cast<std::size_t>(end - from)));
    const char* const stop = lf != nullptr ? lf : end;
    std::memcpy(at, from, static_cast<std::size_t>(stop - from));
    at += stop - from;
    if (lf == nullptr) break;
    std::memcpy(at, "\r\n", 2);
    at += 2;
    from = lf + 1;
  }
  return at;
}

std::size_t LineFeedsIn(std::string_view text) {
  std::size_t count = 0;
  const char* from = text.data();
  const char* const end = from + text.size();
  while (from != end) {
    const char* lf =
        static_cast<const char*>(std::memchr(from, '\n', static_cast<std::size_t>(end - from)));
    if (lf == nullptr) break;
    ++count;
    from = lf + 1;
  }
  return count;
}

// Fills `format` in after the first `start` characters of `out`. The text's size is known
// beforehand (each line feed of a value takes one more character), so every run and value is
// copied straight into place; values rarely hold a line feed, and then they are copied whole.
void Format(std::string& out, std::size_t start, const PreparedFormat& format,
            std::initializer_list<std::string_view> values) {
  const std::string_view* value = values.begin();
  const std::size_t places = std::min(values.size(), format.ends.size() - 1);
  std::size_t size = format.text.size();
  std::size_t lineFeeds = 0;
  for (std::size_t i = 0; i < places; ++i) {
    size += value[i].size();
    lineFeeds += LineFeedsIn(value[i]);
  }
  out.resize(start + size + lineFeeds);  // from a page of about the same size: little to fill
  char* at = &out[start];
  std::size_t runStart = 0;
  for (std::size_t i = 0; i < format.ends.size(); ++i) {
    if (i > 0 && i <= places && !value[i - 1].empty()) {
      if (lineFeeds == 0) {
        std::memcpy(at, value[i - 1].data(), value[i - 1].size());
        at += value[i - 1].size();
      } else {
        at = CopyWithCrLf(at, value[i - 1]);
      }
    }
    std::memcpy(at, format.text.data() + runStart, format.ends[i] - runStart);
    at += format.ends[i] - runStart;
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

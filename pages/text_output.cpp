#include "pages/text_output.h"

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

std::string FormatText(const char* format, std::initializer_list<std::string_view> values) {
  std::string out;
  std::size_t size = std::strlen(format);
  for (std::string_view value : values) size += value.size();
  out.reserve(size + size / 8);  // room for the CR of every line end
  const std::string_view* next = values.begin();
  const char* run = format;  // start of the format text not yet copied
  for (const char* p = std::strchr(format, '%'); p != nullptr; p = std::strchr(p, '%')) {
    if (p[1] != 's' && p[1] != '%') {
      ++p;  // any other percent sign is plain text
      continue;
    }
    AppendWithCrLf(out, std::string_view(run, static_cast<std::size_t>(p - run)));
    if (p[1] == '%') {
      out += '%';
    } else if (next != values.end()) {
      AppendWithCrLf(out, *next++);
    }
    p += 2;
    run = p;
  }
  AppendWithCrLf(out, run);
  return out;
}

bool WriteFormatted(std::FILE* stream, const char* format,
                    std::initializer_list<std::string_view> values) {
  const std::string text = FormatText(format, values);
  return std::fwrite(text.data(), 1, text.size(), stream) == text.size();
}

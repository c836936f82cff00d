#include "pages/text_output.h"

namespace {

void AppendWithCrLf(std::string& out, std::string_view text) {
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
}

}  // namespace

std::string FormatText(const char* format, std::initializer_list<std::string_view> values) {
  std::string out;
  const std::string_view* next = values.begin();
  for (const char* p = format; *p != '\0'; ++p) {
    if (p[0] == '%' && p[1] == 's') {
      if (next != values.end()) AppendWithCrLf(out, *next++);
      ++p;
    } else if (p[0] == '%' && p[1] == '%') {
      out += '%';
      ++p;
    } else {
      AppendWithCrLf(out, std::string_view(p, 1));
    }
  }
  return out;
}

bool WriteFormatted(std::FILE* stream, const char* format,
                    std::initializer_list<std::string_view> values) {
  const std::string text = FormatText(format, values);
  return std::fwrite(text.data(), 1, text.size(), stream) == text.size();
}

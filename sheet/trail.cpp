#include "sheet/trail.h"

#include <string_view>

namespace {

const std::string_view kOpen = "<p class=\"trail\">";

// The text from `from` up to `stop`, or npos when it does not stand before `end`.
std::size_t Until(std::string_view text, std::size_t from, std::string_view stop) {
  return text.find(stop, from);
}

}  // namespace

std::vector<TrailLink> ReadTrail(const char* text, const char* end) {
  const std::string_view sheet(text, static_cast<std::size_t>(end - text));
  std::vector<TrailLink> trail;
  const std::size_t open = sheet.find(kOpen);
  if (open == std::string_view::npos) return trail;
  const std::size_t close = sheet.find("</p>", open);
  if (close == std::string_view::npos) return trail;
  const std::string_view body = sheet.substr(open + kOpen.size(), close - open - kOpen.size());
  for (std::size_t at = 0; at < body.size();) {
    const std::size_t tag = body.find('<', at);
    if (tag == std::string_view::npos) break;
    const bool link = body.compare(tag, 9, "<a href=\"") == 0;
    const bool own = body.compare(tag, 26, "<span aria-current=\"page\">") == 0;
    if (!link && !own) {
      at = tag + 1;
      continue;
    }
    TrailLink step;
    std::size_t nameStart = 0;
    if (link) {
      const std::size_t quote = Until(body, tag + 9, "\"");
      if (quote == std::string_view::npos || body.compare(quote, 2, "\">") != 0) return {};
      step.link = body.substr(tag + 9, quote - tag - 9);
      nameStart = quote + 2;
    } else {
      nameStart = tag + 26;
    }
    const std::size_t nameEnd = Until(body, nameStart, link ? "</a>" : "</span>");
    if (nameEnd == std::string_view::npos) return {};
    step.name = body.substr(nameStart, nameEnd - nameStart);
    trail.push_back(step);
    at = nameEnd;
  }
  return trail;
}

#include "sheet/captions.h"

#include <optional>

#include "names/ascii.h"
#include "sheet/attributes.h"
#include "sheet/scanner.h"

namespace {

// `value` without the blanks around it, into `out`; false when nothing visible is left.
bool TakeTrimmed(std::optional<std::string_view> value, std::string& out) {
  if (!value) return false;
  std::string_view text = *value;
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  if (text.empty()) return false;
  out.assign(text);
  return true;
}

// The text of the first of the anchors directly behind `from` that link `image` again and show
// some text.
bool RepeatedAnchorText(const char* from, const char* end, std::string_view image, std::string& out,
                        ImageLinks kinds) {
  for (;;) {
    std::string_view target;
    const char* tagEnd = FindNextImageLink(from, end, std::string_view(), &target, nullptr, kinds);
    if (tagEnd == nullptr || !EqualsIgnoringCase(target, image)) return false;
    bool onlyImage = false;
    from = ExtractCaption(tagEnd, end, image, out, &onlyImage);
    if (!onlyImage && !out.empty()) return true;
  }
}

}  // namespace

bool FindImageCaption(const char* anchor, const char* tagEnd, const char* captionEnd,
                      const char* end, std::string_view image, std::string& out, ImageLinks kinds) {
  if (RepeatedAnchorText(captionEnd, end, image, out, kinds)) return true;
  const char* img = FindTag(tagEnd + 1, captionEnd, "img");
  if (img != nullptr && TakeTrimmed(ReadAttribute(img, captionEnd, "alt"), out)) return true;
  return TakeTrimmed(ReadAttribute(anchor, tagEnd, "title"), out);
}

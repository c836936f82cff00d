// Reads links, captions and the title out of the contact sheet text with plain forward scans.
// Every scan is bounded by `end`, the sheet's first zero byte.
#include "sheet/scanner.h"

#include <cstring>

#include "names/ascii.h"
#include "names/file_names.h"

namespace {

bool StartsWith(const char* p, std::string_view prefix) {
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (p[i] != prefix[i]) return false;
  }
  return true;
}

const char* FindChar(const char* from, const char* end, char c) {
  if (from >= end) return nullptr;
  return static_cast<const char*>(std::memchr(from, c, static_cast<std::size_t>(end - from)));
}

// The earlier of two equally long forms of one token at or after `from`, found in one pass;
// this is the same place as searching each form to the end and taking the lower position.
// Candidates are found with memchr on the byte both forms share ("<" of a tag, "=" of an
// attribute; every pair of forms has one), so the pass runs at memory speed.
const char* FindEarliestOf(const char* from, const char* end, std::string_view upper,
                           std::string_view lower) {
  const std::size_t size = upper.size();
  std::size_t shared = 0;
  while (upper[shared] != lower[shared]) ++shared;
  const char* p = from;
  while (end - p >= static_cast<std::ptrdiff_t>(size)) {
    const char* hit = FindChar(p + shared, end - (size - 1 - shared), upper[shared]);
    if (hit == nullptr) return nullptr;
    p = hit - shared;
    if (StartsWith(p, upper) || StartsWith(p, lower)) return p;
    ++p;
  }
  return nullptr;
}

// Inside a tag every byte is dropped except its ">" and the "<" of a closing anchor: the first
// of them at or after `p` where a closing anchor still fits, else the first place where none fits.
const char* NextTagEvent(const char* p, const char* end) {
  if (end - p < 4) return p;
  const char* limit = end - 3;
  const char* tagEnd = FindChar(p, limit, '>');
  const char* open = FindChar(p, tagEnd ? tagEnd : limit, '<');
  return open ? open : tagEnd ? tagEnd : limit;
}

// Removes trailing blanks and hyphens; any other character ends the removal.
void TrimTrailingSeparators(std::string& caption) {
  while (!caption.empty() && (caption.back() == ' ' || caption.back() == '-')) caption.pop_back();
}

}  // namespace

// A whole generation costs time linear in the sheet's size: each kind of search below covers
// stretches of text that no later search of its kind covers again. Anchor searches start where
// the last tag ended; the href and quote found for one anchor are kept while they still lie
// ahead, so a run of rejected anchors does not search the rest of the text once per anchor; a
// target ends at the next quote, and any later anchor whose quote lies in its tag starts behind
// it; a caption ends where the next search begins.
const char* FindNextImageLink(const char* from, const char* end, std::string_view last,
                              std::string_view* target, const char** anchor, ImageLinks kinds) {
  const char* href = nullptr;
  const char* quote = nullptr;
  for (;;) {
    const char* tag = FindEarliestOf(from, end, "<A ", "<a ");
    if (tag == nullptr) return nullptr;
    const char* tagEnd = FindChar(tag + 3, end, '>');
    if (tagEnd == nullptr) return nullptr;
    if (href == nullptr || href < tag + 3) href = FindEarliestOf(tag + 3, end, "HREF=", "href=");
    if (href == nullptr) return nullptr;
    from = tagEnd;  // where the search restarts when this anchor is rejected
    if (href > tagEnd) continue;
    if (quote == nullptr || quote < href) quote = FindChar(href, end, '"');
    if (quote == nullptr) return nullptr;
    if (quote > tagEnd) continue;
    // The closing quote is searched without regard to the tag's end.
    const char* targetEnd = FindChar(quote + 1, end, '"');
    const std::string_view found(
        quote + 1, static_cast<std::size_t>((targetEnd ? targetEnd : end) - quote - 1));
    if (!(kinds == ImageLinks::Photos ? HasPhotoExtension(found) : HasImageExtension(found)))
      continue;
    if (EqualsIgnoringCase(found, last)) continue;
    *target = found;
    if (anchor != nullptr) *anchor = tag;
    return tagEnd;
  }
}

const char* ExtractCaption(const char* from, const char* end, std::string_view image,
                           std::string& out, bool* showsOnlyImage) {
  out.clear();
  bool inText = true;
  const char* p = from;
  for (;;) {
    ++p;
    if (!inText) p = NextTagEvent(p, end);
    if (end - p < 4) break;  // the terminator stands within the next four places
    if (p[0] == '<' && p[1] == '/' && ToLowerAscii(p[2]) == 'a' && p[3] == '>') break;
    const char c = *p;
    if (out.empty() && IsBlank(c)) continue;
    if (inText && c != '<') {
      out += c;
    } else if (inText) {
      inText = false;
      const bool separates =
          StartsWithIgnoringCase(p, end, "<br>") || StartsWithIgnoringCase(p, end, "<p>");
      if (separates && !out.empty()) out += " - ";
    } else if (c == '>') {
      inText = true;
    }
  }
  const bool onlyImage = !HasVisibleCharacter(out);
  if (showsOnlyImage != nullptr) *showsOnlyImage = onlyImage;
  if (onlyImage) {
    out.assign(image);  // an anchor showing only an image is captioned with its target
  } else {
    TrimTrailingSeparators(out);
  }
  return p;
}

const char* ExtractTitle(const char* text, const char* end, std::string& out) {
  const char* tag = FindEarliestOf(text, end, "<TITLE>", "<title>");
  if (tag == nullptr) return nullptr;
  const char* start = tag + 7;
  const char* stop = FindChar(start, end, '<');
  if (stop == nullptr) stop = end;
  out.assign(start, static_cast<std::size_t>(stop - start));
  return stop;
}

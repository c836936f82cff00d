// Link targets read from the contact sheet: the file a target names on disk, and link values
// made relative to a page that lies in a subfolder.
#include "generation/link_targets.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "names/escapes.h"
#include "platform/path_segments.h"
#include "platform/platform.h"
#include "sheet/charsets.h"
#include "sheet/declarations.h"

namespace {

// Reads the numeric reference whose digits start at `at` (after "&#" or "&#x"). Returns the
// position of its ";" and sets *character, or npos when it is no reference to a character below
// 128.
std::size_t ReadNumericReference(const std::string& text, std::size_t at, bool hex,
                                 int* character) {
  int value = 0;
  std::size_t i = at;
  for (; i < text.size(); ++i) {
    const int digit =
        hex ? HexDigitValue(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
    if (digit < 0) break;
    value = value * (hex ? 16 : 10) + digit;
    if (value >= 128)
      value = 128;  // too large either way; the cap keeps long runs from overflowing
  }
  if (i == at || i == text.size() || text[i] != ';' || value >= 128) return std::string::npos;
  *character = value;
  return i;
}

// Reads the character reference at text[at] == '&'. Returns the position of its ";" and sets
// *character, or npos when it is none of those decoded in names.
std::size_t ReadReference(const std::string& text, std::size_t at, int* character) {
  static const struct {
    const char* name;  // with its ";"
    char character;
  } kNamed[] = {{"amp;", '&'}, {"lt;", '<'}, {"gt;", '>'}, {"quot;", '"'}, {"apos;", '\''}};
  for (const auto& named : kNamed) {
    const std::string name = named.name;
    if (text.compare(at + 1, name.size(), name) == 0) {
      *character = named.character;
      return at + name.size();
    }
  }
  if (at + 1 >= text.size() || text[at + 1] != '#') return std::string::npos;
  const bool hex = at + 2 < text.size() && (text[at + 2] == 'x' || text[at + 2] == 'X');
  return ReadNumericReference(text, at + (hex ? 3 : 2), hex, character);
}

std::string DecodeCharacterReferences(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    int character = 0;
    const std::size_t end = text[i] == '&' ? ReadReference(text, i, &character) : std::string::npos;
    if (end == std::string::npos) {
      out += text[i];
    } else {
      out += static_cast<char>(character);
      i = end;
    }
  }
  return out;
}

// Dot segments as a browser reads them, where "%2e" (in either case) stands for ".". Compared
// in place: this runs for every folder of every page name.
bool IsSegmentOf(std::string_view segment, std::initializer_list<std::string_view> forms) {
  for (std::string_view form : forms) {
    if (segment.size() != form.size()) continue;
    std::size_t i = 0;
    while (i < form.size() && (segment[i] == 'E' ? 'e' : segment[i]) == form[i]) ++i;
    if (i == form.size()) return true;
  }
  return false;
}

bool IsCurrentFolder(std::string_view segment) {
  return IsSegmentOf(segment, {".", "%2e"});
}

bool IsParentFolder(std::string_view segment) {
  return IsSegmentOf(segment, {"..", ".%2e", "%2e.", "%2e%2e"});
}

// Dot segments as a browser reads them in a link; an empty segment ("//") is a folder.
SegmentStep BrowserStep(std::string_view segment) {
  if (IsParentFolder(segment)) return SegmentStep::Up;
  return IsCurrentFolder(segment) ? SegmentStep::Stay : SegmentStep::Down;
}

// True for a link value that a browser resolves against the page's own folder: not empty, not
// starting with "/", "\\" or "#", and without ":" (a scheme or drive) before its first "/".
bool IsRelativeLink(std::string_view value) {
  if (value.empty() || value[0] == '/' || value[0] == '\\' || value[0] == '#') return false;
  for (char c : value) {  // whichever of ":" and "/" comes first decides
    if (c == '/') return true;
    if (c == ':') return false;
  }
  return true;
}

}  // namespace

bool NeedsDecoding(std::string_view target) {
  if (target.empty()) return false;
  return std::memchr(target.data(), '&', target.size()) != nullptr ||
         std::memchr(target.data(), '%', target.size()) != nullptr;
}

std::string DecodeFileName(const std::string& target) {
  if (!NeedsDecoding(target)) return target;
  return DecodePercentEscapes(DecodeCharacterReferences(target));
}

bool BrowserFileName(const std::string& target, std::string_view charset, std::string* name) {
  const SheetEncoding encoding = EncodingOf(charset);
  const auto high = [](char c) { return static_cast<unsigned char>(c) >= 0x80; };
  // The raw bytes are characters of the sheet's text: they must be characters of its encoding.
  if (encoding == SheetEncoding::Utf8 && !IsValidUtf8(target.data(), target.data() + target.size()))
    return false;
  if (encoding == SheetEncoding::Other && std::any_of(target.begin(), target.end(), high))
    return false;
  // The references decode to characters below 128 only, so every byte above stays raw until the
  // escapes are decoded. A browser opens the escaped bytes as UTF-8 (`asUtf8`); where they are
  // none, it reads them as windows-1252 (`asWindows1252`). Raw bytes read the same in both.
  const std::string text = DecodeCharacterReferences(target);
  std::string asUtf8, asWindows1252;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const int hi = text[i] == '%' && i + 2 < text.size() ? HexDigitValue(text[i + 1]) : -1;
    const int lo = hi >= 0 ? HexDigitValue(text[i + 2]) : -1;
    if (lo >= 0) {
      const unsigned char byte = static_cast<unsigned char>(hi * 16 + lo);
      asUtf8 += static_cast<char>(byte);
      AppendWindows1252AsUtf8(asWindows1252, byte);
      i += 2;
    } else if (encoding == SheetEncoding::Windows1252 && high(text[i])) {
      AppendWindows1252AsUtf8(asUtf8, static_cast<unsigned char>(text[i]));
      AppendWindows1252AsUtf8(asWindows1252, static_cast<unsigned char>(text[i]));
    } else {
      asUtf8 += text[i];
      asWindows1252 += text[i];
    }
  }
  const bool utf8 = IsValidUtf8(asUtf8.data(), asUtf8.data() + asUtf8.size());
  *name = std::move(utf8 ? asUtf8 : asWindows1252);
  return true;
}

const std::string* LinkedFile(const std::string& target, std::string_view charset,
                              std::string& converted) {
  if (!NamesFilesInUnicode()) {
    if (!NeedsDecoding(target)) return &target;
    converted = DecodeFileName(target);
    return &converted;
  }
  const auto high = [](char c) { return static_cast<unsigned char>(c) >= 0x80; };
  if (!NeedsDecoding(target) && std::none_of(target.begin(), target.end(), high)) return &target;
  return BrowserFileName(target, charset, &converted) ? &converted : nullptr;
}

std::size_t LinkFolderDepth(const std::string& pageName) {
  if (std::none_of(pageName.begin(), pageName.end(), IsFolderSeparator)) return 0;
  std::size_t depth = 0;
  WalkSegments(pageName, IsFolderSeparator, BrowserStep,
               [&depth](std::string_view, SegmentStep step, bool last) {
                 if (last) return false;  // the folders, not the page itself
                 if (step == SegmentStep::Down) ++depth;
                 if (step == SegmentStep::Up && depth > 0) --depth;  // a browser stays at the top
                 return true;
               });
  return depth;
}

// Runs for every page written: one search for ":", then one pass over the segments.
bool IsInsideSheetFolder(const std::string& name) {
  if (name.empty() || name.front() == '/' || name.front() == '\\') return false;
  if (name.find(':') != std::string::npos) return false;
  int depth = 0;
  return WalkSegments(name, IsSlashOrBackslash, FileSystemStep,
                      [&depth](std::string_view, SegmentStep step, bool) {
                        if (step == SegmentStep::Down) ++depth;
                        return step != SegmentStep::Up || --depth >= 0;
                      });
}

PageNameRefusal PageFileRefusal(const std::string& file) {
  if (file.find('\0') != std::string::npos) return PageNameRefusal::ZeroByte;
  return IsInsideSheetFolder(file) ? PageNameRefusal::None : PageNameRefusal::Outside;
}

char* CopyRebasedLink(char* out, std::string_view value, std::size_t depth) {
  if (IsRelativeLink(value)) {
    for (std::size_t i = 0; i < depth; ++i, out += 3) std::memcpy(out, "../", 3);
  }
  if (!value.empty()) std::memcpy(out, value.data(), value.size());
  return out + value.size();
}

#include "gallery/gallery_metadata.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <vector>

#include "names/ascii.h"
#include "names/escapes.h"
#include "names/file_names.h"
#include "photos/photo_metadata.h"

namespace {

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// The words of a text, folded to lower case: runs of ASCII letters and digits, and of bytes above
// 127 (letters of other scripts, in UTF-8); everything else separates them.
std::vector<std::string> WordsOf(std::string_view text) {
  std::vector<std::string> words;
  std::string word;
  for (char c : text) {
    const char lower = ToLowerAscii(c);
    if ((lower >= 'a' && lower <= 'z') || (c >= '0' && c <= '9') ||
        static_cast<unsigned char>(c) > 0x7F) {
      word += lower;
    } else if (!word.empty()) {
      words.push_back(std::move(word));
      word.clear();
    }
  }
  if (!word.empty()) words.push_back(std::move(word));
  return words;
}

// Words that cameras and phone software write for any photo when nobody described it
// ("DIGITAL CAMERA", "SONY DSC", "Exif_JPEG_PICTURE", "untitled").
bool IsWordForAnyPhoto(std::string_view word) {
  for (const char* known : {"digital", "camera", "dsc", "exif", "jpeg", "jpg", "picture", "image",
                            "photo", "img", "dcim", "default", "untitled", "still"}) {
    if (word == known) return true;
  }
  return false;
}

// A description that only names the camera: every word is one of its make or model, a word for
// any photo, or a number, and one at least is not a number ("SANYO DIGITAL CAMERA", "<Digimax
// i50 MP3, Samsung #1 MP3>" from a Samsung Digimax i50 MP3, "Photo", any case, padded or not).
bool NamesOnlyTheCamera(std::string_view text, const std::vector<std::string>& camera) {
  bool named = false;
  for (const std::string& word : WordsOf(text)) {
    const bool number = word.find_first_not_of("0123456789") == std::string::npos;
    const bool cameras =
        IsWordForAnyPhoto(word) || std::find(camera.begin(), camera.end(), word) != camera.end();
    if (!number && !cameras) return false;
    named = named || cameras;
  }
  return named;
}

std::string ExifText(std::string_view exif, unsigned tag) {
  ExifField field;
  if (!FindExifField(exif, tag, 2, &field)) return std::string();
  return std::string(field.value.substr(0, field.value.find('\0')));
}

// XML's five named references and numeric ones; anything else stays as written.
std::string XmlDecoded(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::size_t end = text[i] == '&' ? text.find(';', i) : std::string_view::npos;
    if (end == std::string_view::npos || end - i > 10) {
      out += text[i];
      continue;
    }
    const std::string_view name = text.substr(i + 1, end - i - 1);
    const struct {
      const char* name;
      char c;
    } kNamed[] = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    bool decoded = false;
    for (const auto& known : kNamed) {
      if (name == known.name) {
        out += known.c;
        decoded = true;
      }
    }
    if (!decoded && name.size() > 1 && name[0] == '#') {
      const bool hex = name[1] == 'x' || name[1] == 'X';
      const std::string digits(name.substr(hex ? 2 : 1));
      char* stop = nullptr;
      const unsigned long code = std::strtoul(digits.c_str(), &stop, hex ? 16 : 10);
      if (!digits.empty() && *stop == '\0' && code > 0 && code < 0x110000) {
        // UTF-8, the packet's own encoding.
        if (code < 0x80) {
          out += static_cast<char>(code);
        } else if (code < 0x800) {
          out += static_cast<char>(0xC0 | code >> 6);
          out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
          out += static_cast<char>(0xE0 | code >> 12);
          out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
          out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
          out += static_cast<char>(0xF0 | code >> 18);
          out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
          out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
          out += static_cast<char>(0x80 | (code & 0x3F));
        }
        decoded = true;
      }
    }
    if (decoded) {
      i = end;
    } else {
      out += text[i];
    }
  }
  return out;
}

// The property `property` (such as "dc:title") of an XMP packet: its first rdf:li, its plain
// element text, or its attribute value.
std::string XmpProperty(std::string_view xmp, std::string_view property) {
  for (std::size_t at = xmp.find(property); at != std::string_view::npos;
       at = xmp.find(property, at + 1)) {
    const std::size_t after = at + property.size();
    if (after >= xmp.size()) return std::string();
    const bool element = at > 0 && xmp[at - 1] == '<';
    if (!element && xmp[after] == '=' && after + 1 < xmp.size() &&
        (xmp[after + 1] == '"' || xmp[after + 1] == '\'')) {
      const std::size_t close = xmp.find(xmp[after + 1], after + 2);
      if (close == std::string_view::npos) return std::string();
      return XmlDecoded(xmp.substr(after + 2, close - after - 2));
    }
    if (!element || (xmp[after] != '>' && !IsBlank(xmp[after]))) continue;
    const std::size_t open = xmp.find('>', after);
    const std::size_t end = xmp.find("</" + std::string(property), after);
    if (open == std::string_view::npos || end == std::string_view::npos || open > end)
      return std::string();
    std::string_view body = xmp.substr(open + 1, end - open - 1);
    const std::size_t item = body.find("<rdf:li");
    if (item != std::string_view::npos) {
      const std::size_t start = body.find('>', item);
      const std::size_t stop = body.find("</rdf:li>", item);
      if (start == std::string_view::npos || stop == std::string_view::npos || start > stop)
        return std::string();
      body = body.substr(start + 1, stop - start - 1);
    }
    if (body.find('<') != std::string_view::npos) return std::string();
    return XmlDecoded(body);
  }
  return std::string();
}

std::string Cleaned(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  return std::string(Trimmed(out));
}

// The mark's values: bytes that would end a field or a line, or be trimmed off it (blanks),
// escaped as "%" and two digits.
std::string MarkEscaped(std::string_view text) {
  std::string out;
  for (char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F || c == '%' || c == ';') {
      out += '%';
      AppendHexByte(out, byte);
    } else {
      out += c;
    }
  }
  return out;
}

constexpr std::size_t kCaptionLimit = 1000;

}  // namespace

std::string ExifImageDescription(std::string_view exif) {
  return ExifText(exif, 0x010E);
}

std::vector<std::string> CameraWords(std::string_view exif, std::string_view xmp) {
  std::vector<std::string> words;
  for (const std::string& name : {ExifText(exif, 0x010F), ExifText(exif, 0x0110),
                                  XmpProperty(xmp, "tiff:Make"), XmpProperty(xmp, "tiff:Model")}) {
    for (std::string& word : WordsOf(name)) words.push_back(std::move(word));
  }
  return words;
}

std::string XmpDescription(std::string_view xmp, const std::vector<std::string>& camera) {
  std::string text = XmpProperty(xmp, "dc:description");
  if (!HasVisibleCharacter(text) || NamesOnlyTheCamera(text, camera))
    text = XmpProperty(xmp, "dc:title");
  return text;
}

std::string ChooseCaption(std::string_view exif, std::string_view xmp, std::string_view photo) {
  const std::vector<std::string> camera = CameraWords(exif, xmp);
  for (const std::string& said : {ExifImageDescription(exif), XmpDescription(xmp, camera)}) {
    const std::string_view text = Trimmed(said);
    if (!text.empty() && !NamesOnlyTheCamera(text, camera))
      return Cleaned(text.substr(0, kCaptionLimit));
  }
  return Cleaned(NameWithoutExtension(photo));
}

std::string MarkedThumbnail(std::string_view jpeg, const ThumbnailMark& mark) {
  if (jpeg.size() < 2 || jpeg.substr(0, 2) != "\xFF\xD8") return std::string();
  const std::string text =
      std::string(kThumbnailMarker) + " size=" + std::to_string(mark.photoSize) +
      "; modified=" + std::to_string(mark.photoModified) + "; edge=" + std::to_string(mark.edge) +
      "; width=" + std::to_string(mark.width) + "; height=" + std::to_string(mark.height) +
      (mark.photoWidth > 0 && mark.photoHeight > 0
           ? "; photo-width=" + std::to_string(mark.photoWidth) +
                 "; photo-height=" + std::to_string(mark.photoHeight)
           : std::string()) +
      (mark.takenDay.empty() ? std::string()
                             : "; taken=" + std::to_string(mark.taken) +
                                   "; taken-day=" + MarkEscaped(mark.takenDay)) +
      "; caption=" + MarkEscaped(mark.caption.substr(0, kCaptionLimit));
  const std::size_t length = text.size() + 2;  // the segment's length counts its own two bytes
  std::string out("\xFF\xD8\xFF\xFE", 4);
  out += static_cast<char>(length >> 8);
  out += static_cast<char>(length & 0xFF);
  out += text;
  out.append(jpeg.substr(2));
  return out;
}

bool ReadThumbnailMark(std::string_view head, ThumbnailMark* mark) {
  if (head.size() < 6 || head.substr(0, 4) != "\xFF\xD8\xFF\xFE") return false;
  const std::size_t length = ReadNumber(head, 4, 2, true);
  if (length < 2 || head.size() < 4 + length) return false;
  std::string_view text = head.substr(6, length - 2);
  const std::string_view marker = kThumbnailMarker;
  if (text.substr(0, marker.size()) != marker) return false;
  text.remove_prefix(marker.size());
  ThumbnailMark read;
  unsigned seen = 0;  // each field once
  while (!text.empty()) {
    const std::size_t end = text.find(';');
    std::string_view field = Trimmed(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    const std::size_t equals = field.find('=');
    if (equals == std::string_view::npos) return false;
    const std::string_view name = field.substr(0, equals), value = field.substr(equals + 1);
    // The first six are in every mark; the photo's size is in marks of this version on.
    const char* const kNames[] = {"size",    "modified",    "edge",         "width", "height",
                                  "caption", "photo-width", "photo-height", "taken", "taken-day"};
    const unsigned kFields = 10;
    unsigned which = 0;
    while (which < kFields && name != kNames[which]) ++which;
    if (which == kFields || (seen & 1u << which) != 0) return false;
    seen |= 1u << which;
    if (which == 5 || which == 9) {
      (which == 5 ? read.caption : read.takenDay) = DecodePercentEscapes(value);
      continue;
    }
    // Decimal digits only (a time may be negative), few enough to fit.
    const bool negative = (which == 1 || which == 8) && !value.empty() && value[0] == '-';
    const std::string_view digits = value.substr(negative ? 1 : 0);
    if (digits.empty() || digits.size() > 19 ||
        digits.find_first_not_of("0123456789") != std::string_view::npos)
      return false;
    unsigned long long number = 0;  // 19 digits always fit
    for (char c : digits) number = number * 10 + static_cast<unsigned>(c - '0');
    if (which != 0 && number > static_cast<unsigned long long>(LLONG_MAX)) return false;
    if (which == 0) read.photoSize = number;
    if (which == 1)
      read.photoModified =
          negative ? -static_cast<long long>(number) : static_cast<long long>(number);
    if (which == 8) {
      read.taken = negative ? -static_cast<long long>(number) : static_cast<long long>(number);
      continue;
    }
    if (which >= 2 && number > 1000000) return false;
    if (which == 2) read.edge = static_cast<int>(number);
    if (which == 3) read.width = static_cast<int>(number);
    if (which == 4) read.height = static_cast<int>(number);
    if (which == 6) read.photoWidth = static_cast<int>(number);
    if (which == 7) read.photoHeight = static_cast<int>(number);
  }
  if ((seen & 0x3F) != 0x3F) return false;
  *mark = read;
  return true;
}

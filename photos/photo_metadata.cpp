#include "photos/photo_metadata.h"

namespace {

bool StartsWith(std::string_view bytes, std::string_view prefix) {
  return bytes.substr(0, prefix.size()) == prefix;
}

constexpr std::string_view kExifPrefix("Exif\0\0", 6);
constexpr std::string_view kXmpPrefix("http://ns.adobe.com/xap/1.0/\0", 29);
constexpr std::string_view kPngSignature("\x89PNG\r\n\x1A\n", 8);

// Calls `visit(marker, payload)` for each segment of a JPEG up to its image data (the start of
// scan, whose offset is returned) or its end; std::string_view::npos when it has no scan.
template <typename Visit>
std::size_t WalkJpegSegments(std::string_view file, Visit visit) {
  if (!StartsWith(file, "\xFF\xD8")) return std::string_view::npos;
  std::size_t at = 2;
  while (at + 1 < file.size()) {
    if (static_cast<unsigned char>(file[at]) != 0xFF) return std::string_view::npos;
    const unsigned marker = static_cast<unsigned char>(file[at + 1]);
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    if (marker == 0xD9) return std::string_view::npos;
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {  // no length
      at += 2;
      continue;
    }
    if (at + 4 > file.size()) return std::string_view::npos;
    const std::size_t length = ReadNumber(file, at + 2, 2, true);
    if (length < 2 || length > file.size() - at - 2) return std::string_view::npos;
    if (marker == 0xDA) return at;
    visit(marker, file.substr(at + 4, length - 2));
    at += 2 + length;
  }
  return std::string_view::npos;
}

}  // namespace

unsigned ReadNumber(std::string_view bytes, std::size_t at, std::size_t width, bool bigEndian) {
  unsigned value = 0;
  for (std::size_t i = 0; i < width; ++i) {
    const unsigned byte = static_cast<unsigned char>(bytes[at + (bigEndian ? i : width - 1 - i)]);
    value = value << 8 | byte;
  }
  return value;
}

namespace {

// The TIFF structure of an EXIF block (its "Exif\0\0" taken off) and its byte order; false when
// it is none.
bool TiffOf(std::string_view* exif, bool* big) {
  if (StartsWith(*exif, kExifPrefix)) exif->remove_prefix(kExifPrefix.size());
  if (exif->size() < 8) return false;
  *big = StartsWith(*exif, "MM");
  if (!*big && !StartsWith(*exif, "II")) return false;
  return ReadNumber(*exif, 2, 2, *big) == 42;
}

// The first field tagged `tag` of type `type` in the directory at `directory` of `tiff`.
bool FindInDirectory(std::string_view tiff, bool big, std::size_t directory, unsigned tag,
                     unsigned type, ExifField* field) {
  if (tiff.size() < 2 || directory > tiff.size() - 2) return false;
  const std::size_t entries = ReadNumber(tiff, directory, 2, big);
  // Bytes per value of the TIFF types: BYTE, ASCII, SHORT, LONG, RATIONAL, and their kin.
  static const unsigned kTypeSize[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
  for (std::size_t i = 0; i < entries; ++i) {
    const std::size_t entry = directory + 2 + i * 12;
    if (entry > tiff.size() - 12) break;
    if (ReadNumber(tiff, entry, 2, big) != tag || ReadNumber(tiff, entry + 2, 2, big) != type)
      continue;
    if (type == 0 || type > 12) return false;
    const std::size_t count = ReadNumber(tiff, entry + 4, 4, big);
    if (count > tiff.size() / kTypeSize[type]) return false;
    const std::size_t bytes = count * kTypeSize[type];
    const std::size_t at = bytes <= 4 ? entry + 8 : ReadNumber(tiff, entry + 8, 4, big);
    if (at > tiff.size() || bytes > tiff.size() - at) return false;
    field->type = type;
    field->count = static_cast<unsigned>(count);
    field->value = tiff.substr(at, bytes);
    field->bigEndian = big;
    return true;
  }
  return false;
}

// An ASCII field's text, up to its zero.
std::string_view TextOf(const ExifField& field) {
  return field.value.substr(0, field.value.find('\0'));
}

// The number of the digits at text[at, at + count), or -1 when they are not all digits.
int DigitsAt(std::string_view text, std::size_t at, std::size_t count) {
  if (at + count > text.size()) return -1;
  int value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

// Days from 1970-01-01 to the date (the proleptic Gregorian calendar).
long long DaysFromCivil(int year, int month, int day) {
  year -= month <= 2;
  const long long era = (year >= 0 ? year : year - 399) / 400;
  const long long yearOfEra = year - era * 400;
  const long long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

}  // namespace

bool FindExifField(std::string_view exif, unsigned tag, unsigned type, ExifField* field) {
  bool big = false;
  if (!TiffOf(&exif, &big)) return false;
  return FindInDirectory(exif, big, ReadNumber(exif, 4, 4, big), tag, type, field);
}

bool FindExifSubField(std::string_view exif, unsigned tag, unsigned type, ExifField* field) {
  bool big = false;
  ExifField pointer;
  if (!TiffOf(&exif, &big) ||
      !FindInDirectory(exif, big, ReadNumber(exif, 4, 4, big), 0x8769, 4, &pointer) ||
      pointer.count != 1)
    return false;
  return FindInDirectory(exif, big, ReadNumber(pointer.value, 0, 4, big), tag, type, field);
}

bool ExifTakenTime(std::string_view exif, TakenTime* taken) {
  ExifField field;
  if (!FindExifSubField(exif, 0x9003, 2, &field)) return false;
  const std::string_view text = TextOf(field);  // "YYYY:MM:DD HH:MM:SS"
  const int year = DigitsAt(text, 0, 4), month = DigitsAt(text, 5, 2), day = DigitsAt(text, 8, 2);
  const int hour = DigitsAt(text, 11, 2), minute = DigitsAt(text, 14, 2),
            second = DigitsAt(text, 17, 2);
  if (year < 1800 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 ||
      minute < 0 || minute > 59 || second < 0 || second > 60)
    return false;
  TakenTime read;
  read.seconds = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
  read.date = std::string(text.substr(0, 4)) + "-" + std::string(text.substr(5, 2)) + "-" +
              std::string(text.substr(8, 2));
  // "+02:00": the offset from UTC at which it was written, which makes the time a moment.
  if (FindExifSubField(exif, 0x9011, 2, &field)) {
    const std::string_view offset = TextOf(field);
    const int hours = DigitsAt(offset, 1, 2), minutes = DigitsAt(offset, 4, 2);
    if (offset.size() >= 6 && (offset[0] == '+' || offset[0] == '-') && hours >= 0 && hours <= 14 &&
        minutes >= 0 && minutes <= 59) {
      const int sign = offset[0] == '-' ? -1 : 1;
      read.seconds -= sign * (hours * 3600 + minutes * 60);
      read.zoned = true;
    }
  }
  *taken = read;
  return true;
}

int ExifOrientation(std::string_view exif) {
  ExifField field;
  if (!FindExifField(exif, 0x0112, 3, &field) || field.count < 1) return 1;
  const unsigned value = ReadNumber(field.value, 0, 2, field.bigEndian);
  return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
}

// The chunks of a WebP file (RIFF, little-endian lengths, each chunk padded to an even length):
// "EXIF" holds the EXIF block, "XMP " the XMP packet.
void FindWebpMetadata(std::string_view file, std::string* exif, std::string* xmp) {
  for (std::size_t at = 12; at + 8 <= file.size();) {
    const std::size_t length = ReadNumber(file, at + 4, 4, false);
    if (length > file.size() - at - 8) return;
    const std::string_view type = file.substr(at, 4), data = file.substr(at + 8, length);
    if (type == "EXIF" && exif->empty()) *exif = std::string(data);
    if (type == "XMP " && xmp->empty()) *xmp = std::string(data);
    at += 8 + length + (length & 1);
  }
}

void FindPhotoMetadata(std::string_view file, std::string* exif, std::string* xmp) {
  exif->clear();
  xmp->clear();
  if (file.size() >= 12 && StartsWith(file, "RIFF") && file.substr(8, 4) == "WEBP")
    return FindWebpMetadata(file, exif, xmp);
  if (StartsWith(file, kPngSignature)) {
    for (std::size_t at = kPngSignature.size(); at + 12 <= file.size();) {
      const std::size_t length = ReadNumber(file, at, 4, true);
      if (length > file.size() - at - 12) return;
      const std::string_view type = file.substr(at + 4, 4);
      const std::string_view data = file.substr(at + 8, length);
      if (type == "IEND" || type == "IDAT") {
        if (type == "IEND") return;
      } else if (type == "eXIf" && exif->empty()) {
        *exif = std::string(data);
      } else if (type == "iTXt" && xmp->empty() &&
                 StartsWith(data, std::string_view("XML:com.adobe.xmp\0\0", 19))) {
        // keyword, compression flag (0: none), method, language tag, translated keyword, text
        std::string_view rest = data.substr(19 + 1);
        const std::size_t language = rest.find('\0');
        const std::size_t translated =
            language == std::string_view::npos ? language : rest.find('\0', language + 1);
        if (translated != std::string_view::npos) *xmp = std::string(rest.substr(translated + 1));
      }
      at += 12 + length;
    }
    return;
  }
  WalkJpegSegments(file, [&](unsigned marker, std::string_view payload) {
    if (marker != 0xE1) return;
    if (StartsWith(payload, kExifPrefix) && exif->empty()) *exif = std::string(payload);
    if (StartsWith(payload, kXmpPrefix) && xmp->empty())
      *xmp = std::string(payload.substr(kXmpPrefix.size()));
  });
}

bool PhotoPixelSize(std::string_view file, long long* width, long long* height) {
  if (StartsWith(file, kPngSignature)) {
    if (file.size() < 24 || file.substr(12, 4) != "IHDR") return false;
    *width = ReadNumber(file, 16, 4, true);
    *height = ReadNumber(file, 20, 4, true);
    return true;
  }
  if (StartsWith(file, "GIF87a") || StartsWith(file, "GIF89a")) {
    if (file.size() < 10) return false;
    *width = ReadNumber(file, 6, 2, false);
    *height = ReadNumber(file, 8, 2, false);
    return true;
  }
  bool found = false;
  WalkJpegSegments(file, [&](unsigned marker, std::string_view payload) {
    // The start-of-frame markers: C0-CF but for C4 (tables), C8 (reserved) and CC (coding).
    const bool frame =
        marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (!frame || found || payload.size() < 5) return;
    *height = ReadNumber(payload, 1, 2, true);
    *width = ReadNumber(payload, 3, 2, true);
    found = true;
  });
  return found;
}

bool JpegEndsWhole(std::string_view file) {
  const std::size_t scan = WalkJpegSegments(file, [](unsigned, std::string_view) {});
  return scan != std::string_view::npos && file.find("\xFF\xD9", scan) != std::string_view::npos;
}

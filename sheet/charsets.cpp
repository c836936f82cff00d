#include "sheet/charsets.h"

#include "names/ascii.h"

SheetEncoding EncodingOf(std::string_view label) {
  static const char* const kUtf8[] = {"utf-8",         "utf8",          "unicode-1-1-utf-8",
                                      "unicode11utf8", "unicode20utf8", "x-unicode20utf8"};
  static const char* const kWindows1252[] = {
      "windows-1252", "x-cp1252",      "cp1252",     "iso-8859-1",      "iso8859-1",
      "iso88591",     "iso_8859-1",    "iso-ir-100", "iso_8859-1:1987", "latin1",
      "l1",           "csisolatin1",   "cp819",      "ibm819",          "us-ascii",
      "ascii",        "ansi_x3.4-1968"};
  for (const char* known : kUtf8) {
    if (EqualsIgnoringCase(label, known)) return SheetEncoding::Utf8;
  }
  for (const char* known : kWindows1252) {
    if (EqualsIgnoringCase(label, known)) return SheetEncoding::Windows1252;
  }
  return SheetEncoding::Other;
}

void AppendWindows1252AsUtf8(std::string& out, unsigned char byte) {
  // 0x80 to 0x9F; above them windows-1252 is Latin-1, its bytes the characters' own numbers.
  static const unsigned short kHigh[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  const unsigned code = byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : byte;
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

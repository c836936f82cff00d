// Fuzz target: the scanner against the literal algorithm on arbitrary bytes. Any difference in
// images, captions, positions or title aborts with both readings.
//
// The bytes before the first zero byte are the contact sheet, as loading gives it; the bytes
// after it, which the scanner never sees, are the image found before the sheet (the start folder
// in a real run), so the repeat rule for the first link is explored too.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/scan_trace.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t zero = input.find('\0');
  const std::string startText = zero == std::string::npos
                                    ? "/start/folder"
                                    : input.substr(zero + 1, input.find('\0', zero + 1) - zero - 1);
  const ScanTrace scanned = ScanWithScanner(input, startText);
  const ScanTrace literal = ScanLiterally(input, startText);
  if (!(scanned == literal)) {
    std::fprintf(stderr,
                 "scanner and literal algorithm differ\nsheet %s\nstart text %s\n"
                 "scanner:\n%sliteral:\n%s",
                 Escaped(input.substr(0, zero)).c_str(), Escaped(startText).c_str(),
                 Describe(scanned).c_str(), Describe(literal).c_str());
    std::abort();
  }
  return 0;
}

// Times one generation's worth of scanning of a contact sheet, as the program scans it: the
// first image, its caption and the title, then the next image and its caption until none is left.
//
//   scan_time SHEET                       the scanner
//   scan_time SHEET --literal [IMAGES]    the literal algorithm, stopped after IMAGES images
//
// A literal scan stopped early is extrapolated to the whole sheet. Every call of the literal
// algorithm searches to the end of the text, so its cost is proportional to the text left behind
// the call's start; the estimate scales the measured time by that sum over all calls (taken from
// the scanner, whose calls are the same) against the sum over the calls measured.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/literal_scanner.h"
#include "tests/sheet_reader.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Scan {
  double seconds = 0;
  long images = 0;
  double textBehindCalls = 0;  // sum over FindNextImageLink calls of the text left behind `from`
};

Scan ScanWithScanner(const std::string& text) {
  SheetReader reader(text.data(), text.data() + text.size(), "/start");
  std::string title = "Index";
  Scan scan;
  const Clock::time_point start = Clock::now();
  const char* from = reader.text;
  for (;;) {
    scan.textBehindCalls += static_cast<double>(reader.end - from);
    const char* pos = reader.NextImage(from);
    if (pos == nullptr) break;
    from = reader.Caption(pos);
    if (++scan.images == 1) reader.Title(title);
  }
  scan.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return scan;
}

Scan ScanLiterally(const std::string& text, long maxImages) {
  std::string last = "/start", caption, title;
  Scan scan;
  const Clock::time_point start = Clock::now();
  std::size_t from = 0;
  while (scan.images < maxImages) {
    scan.textBehindCalls += static_cast<double>(text.size() - from);
    const std::size_t pos = LiteralFindNextImageLink(text, from, last);
    if (pos == kNoPosition) break;
    from = LiteralExtractCaption(text, pos, last, caption);
    if (++scan.images == 1) LiteralExtractTitle(text, title);
  }
  scan.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return scan;
}

}  // namespace

int main(int argc, char** argv) {
  const bool literal = argc >= 3 && std::strcmp(argv[2], "--literal") == 0;
  if (argc < 2 || (argc >= 3 && !literal) || argc > 4) {
    std::fprintf(stderr, "usage: scan_time SHEET [--literal [IMAGES]]\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  text.resize(std::strlen(text.c_str()));  // the scanner sees the text up to its first zero byte

  const Scan whole = ScanWithScanner(text);
  if (!literal) {
    std::printf("scanner: %zu bytes, %ld images, %.6f s, %.0f MB/s\n", text.size(), whole.images,
                whole.seconds, static_cast<double>(text.size()) / whole.seconds / 1e6);
    return 0;
  }
  const long limit = argc == 4 ? std::atol(argv[3]) : whole.images;
  const Scan part = ScanLiterally(text, limit);
  const double estimate = part.seconds * whole.textBehindCalls / part.textBehindCalls;
  std::printf("literal: %zu bytes, %ld of %ld images in %.3f s; whole sheet %s %.3f s\n",
              text.size(), part.images, whole.images, part.seconds,
              part.images == whole.images ? "measured" : "estimated", estimate);
  return 0;
}

// Scanner throughput on gallery contact sheets, and its growth on sheets built to make a
// scanner that searches to the end of the text for every anchor take quadratic time.
#include <benchmark/benchmark.h>

#include <string>

#include "bench/gallery.h"
#include "tests/literal_scanner.h"
#include "tests/sheet_reader.h"

namespace {

// One generation's scan of `text`; returns the number of images, so nothing is optimised away.
long ScanSheet(const std::string& text) {
  SheetReader reader(text.data(), text.data() + text.size(), "/start");
  std::string title = "Index";
  long images = 0;
  reader.Title(title);
  const char* pos = reader.NextImage(reader.text);
  while (pos != nullptr) {
    ++images;
    pos = reader.Caption(pos);
    pos = reader.NextImage(pos);
  }
  return images;
}

long ScanSheetLiterally(const std::string& text) {
  std::string last = "/start", caption, title;
  long images = 0;
  LiteralExtractTitle(text, title);
  std::size_t pos = LiteralFindNextImageLink(text, 0, last);
  while (pos != kNoPosition) {
    ++images;
    pos = LiteralExtractCaption(text, pos, last, caption);
    pos = LiteralFindNextImageLink(text, pos, last);
  }
  return images;
}

void Measure(benchmark::State& state, const std::string& text, long (*scan)(const std::string&)) {
  long images = 0;
  for (auto _ : state) {
    images = scan(text);
    benchmark::DoNotOptimize(images);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
  state.SetComplexityN(static_cast<int64_t>(text.size()));
  state.counters["images"] = static_cast<double>(images);
  state.counters["sheet_MB"] = static_cast<double>(text.size()) / 1e6;
}

void Gallery(benchmark::State& state) {
  Measure(state, MakeGallery(static_cast<int>(state.range(0))), ScanSheet);
}
BENCHMARK(Gallery)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);

void LiteralGallery(benchmark::State& state) {
  Measure(state, MakeGallery(static_cast<int>(state.range(0))), ScanSheetLiterally);
}
BENCHMARK(LiteralGallery)
    ->RangeMultiplier(2)
    ->Range(125, 1000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oNSquared);

std::string Repeated(const std::string& unit, int64_t count, const std::string& tail = "") {
  std::string text;
  for (int64_t i = 0; i < count; ++i) text += unit;
  return text + tail;
}

// Sheets where every anchor sends a literal search to the end of the text: upper-case forms
// only, anchors without an href, unquoted hrefs, and captions that never close.
void UpperCaseOnly(benchmark::State& state) {
  Measure(state, Repeated("<A HREF=\"p.jpg\">P</A> <A HREF=\"q.gif\">Q</A>\n", state.range(0)),
          ScanSheet);
}
void NamedAnchors(benchmark::State& state) {
  Measure(state, Repeated("<a name=\"n\">Nothing here</a>\n", state.range(0), "<a href=\"e.png\">"),
          ScanSheet);
}
void UnquotedHrefs(benchmark::State& state) {
  Measure(state, Repeated("<a href=p.jpg>P</a>\n", state.range(0), "\""), ScanSheet);
}
void UnclosedCaptions(benchmark::State& state) {
  Measure(state, Repeated("<a href=\"p.jpg\">P <a href=\"q.jpg\">Q ", state.range(0)), ScanSheet);
}
void NotImages(benchmark::State& state) {
  Measure(state, Repeated("<a href=\"page.html\">Page</a>\n", state.range(0)), ScanSheet);
}

#define PATHOLOGICAL(name) \
  BENCHMARK(name)->RangeMultiplier(4)->Range(1 << 10, 1 << 18)->Complexity(benchmark::oN)
PATHOLOGICAL(UpperCaseOnly);
PATHOLOGICAL(NamedAnchors);
PATHOLOGICAL(UnquotedHrefs);
PATHOLOGICAL(UnclosedCaptions);
PATHOLOGICAL(NotImages);

}  // namespace

BENCHMARK_MAIN();

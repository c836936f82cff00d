#include "platform/path_segments.h"

std::vector<std::string_view> SplitPath(std::string_view name, bool (*isSeparator)(char)) {
  std::vector<std::string_view> segments;
  std::size_t start = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (!isSeparator(name[i])) continue;
    segments.push_back(name.substr(start, i - start));
    start = i + 1;
  }
  segments.push_back(name.substr(start));
  return segments;
}

std::vector<std::string_view> ResolvedSegments(std::string_view name, bool (*isSeparator)(char)) {
  std::vector<std::string_view> kept;
  WalkSegments(name, isSeparator, FileSystemStep,
               [&kept](std::string_view segment, SegmentStep step, bool) {
                 if (step == SegmentStep::Down) kept.push_back(segment);
                 if (step == SegmentStep::Up && !kept.empty()) kept.pop_back();
                 return true;
               });
  return kept;
}

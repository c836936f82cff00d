// Names walked one folder at a time: every check that reads a name segment by segment (inside
// the sheet's folder, how deep a page lies, a name's file key, a walk that follows no link, names
// a folder listing answers for) splits it here, and reads "." and ".." with WalkSegments.
#pragma once

#include <string_view>
#include <vector>

// The segments of `name` between the characters for which `isSeparator` holds, in order, as
// views into `name`: "a//b/" gives "a", "", "b", "". A name without separators is one segment;
// the last segment is the file's own name.
std::vector<std::string_view> SplitPath(std::string_view name, bool (*isSeparator)(char));

// The segments `name` leads through when read lexically: empty and "." segments dropped, and each
// ".." taking back the segment before it (none above the top). Names that lead to the same place
// this way give the same list.
std::vector<std::string_view> ResolvedSegments(std::string_view name, bool (*isSeparator)(char));

// The same segments one at a time, without a list: while (segments.Next(&segment)) ...; after
// the last one, `last` is true. For checks made on every page of a run.
struct PathSegments {
  std::string_view name;
  bool (*isSeparator)(char);
  std::size_t at = 0;
  bool last = false;

  bool Next(std::string_view* segment) {
    if (last) return false;
    std::size_t end = at;
    while (end < name.size() && !isSeparator(name[end])) ++end;
    *segment = name.substr(at, end - at);
    last = end == name.size();
    at = end + 1;
    return true;
  }
};

// What a lexical walk makes of one segment: it stays in the folder the walk is in ("."), climbs
// one folder (".."), or goes one folder down.
enum class SegmentStep { Stay, Up, Down };

// The steps as a file system reads them: "." and empty segments stay, ".." climbs.
inline SegmentStep FileSystemStep(std::string_view segment) {
  if (segment.empty() || segment == ".") return SegmentStep::Stay;
  return segment == ".." ? SegmentStep::Up : SegmentStep::Down;
}

// The one walk of "." and "..": calls visit(segment, step, last) for each segment of `name` in
// order, with the step `stepOf` reads in it; what a walk does at the top, or with the last
// segment (the file's own name), is the visitor's. A visit that returns false ends the walk,
// and WalkSegments returns false then.
template <typename Visit>
bool WalkSegments(std::string_view name, bool (*isSeparator)(char),
                  SegmentStep (*stepOf)(std::string_view), Visit visit) {
  PathSegments segments{name, isSeparator};
  std::string_view segment;
  while (segments.Next(&segment)) {
    if (!visit(segment, stepOf(segment), segments.last)) return false;
  }
  return true;
}

// "/" alone, as POSIX reads names. Inline, so that a walk over a name with it makes no call per
// character.
inline bool IsSlash(char c) {
  return c == '/';
}
// "/" or "\", as Windows reads names, and as the lexical checks read every name.
inline bool IsSlashOrBackslash(char c) {
  return c == '/' || c == '\\';
}

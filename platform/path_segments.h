// Names walked one folder at a time: every check that reads a name segment by segment (inside
// the sheet's folder, how deep a page lies, a walk that follows no link, device names) splits it
// here, the same way.
#pragma once

#include <string_view>
#include <vector>

// The segments of `name` between the characters for which `isSeparator` holds, in order, as
// views into `name`: "a//b/" gives "a", "", "b", "". A name without separators is one segment;
// the last segment is the file's own name.
std::vector<std::string_view> SplitPath(std::string_view name, bool (*isSeparator)(char));

// "/" alone, as POSIX reads names.
bool IsSlash(char c);
// "/" or "\", as Windows reads names, and as the lexical checks read every name.
bool IsSlashOrBackslash(char c);

#include "platform/name_set.h"

#include <algorithm>

namespace {

bool Before(std::string_view listed, std::string_view name) {
  return listed < name;
}

// The range [*low, *high) that holds the first name not before `name`, found by steps that
// double from the last search's end: a few steps when the names are asked in order.
void Bracket(const NameSet& set, std::string_view name, std::size_t* low, std::size_t* high) {
  const std::size_t count = set.names.size();
  std::size_t at = std::min(set.finger, count);
  if (at == count || !Before(set.names[at], name)) {  // at or behind the last answer
    *low = 0;
    *high = at;
    std::size_t step = 1;
    while (step <= at && !Before(set.names[at - step], name)) {
      *high = at - step;
      step *= 2;
    }
    if (step <= at) *low = at - step + 1;
    return;
  }
  std::size_t step = 1;  // names[at] is before `name`
  while (at + step < count && Before(set.names[at + step], name)) {
    at += step;
    step *= 2;
  }
  *low = at + 1;
  *high = std::min(at + step, count);
}

}  // namespace

void AddName(NameSet& set, std::string_view name) {
  set.added.emplace_back(set.characters.size(), name.size());
  set.characters.append(name);
}

// A folder lists its names in an order of its own: on a memory file system the newest first,
// which for a gallery made in order is its names backwards. Views of the names sort cheaply;
// names listed in order, or backwards, need no sort at all.
void SortNames(NameSet& set) {
  std::vector<std::string_view>& names = set.names;
  names.clear();
  for (const auto& [start, size] : set.added)
    names.emplace_back(set.characters.data() + start, size);
  if (std::is_sorted(names.rbegin(), names.rend())) {
    std::reverse(names.begin(), names.end());
  } else if (!std::is_sorted(names.begin(), names.end())) {
    std::sort(names.begin(), names.end());
  }
  names.erase(std::unique(names.begin(), names.end()), names.end());
  set.finger = 0;
}

bool HasName(NameSet& set, std::string_view name) {
  std::size_t low, high;
  Bracket(set, name, &low, &high);
  const auto first =
      std::lower_bound(set.names.begin() + low, set.names.begin() + high, name, Before);
  set.finger = static_cast<std::size_t>(first - set.names.begin());
  return first != set.names.end() && *first == name;
}

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

// Where each run of names in order, or in reverse order (then turned round), begins; `names`
// ends sorted run by run.
std::vector<std::size_t> OrderedRuns(std::vector<std::string_view>& names) {
  std::vector<std::size_t> starts;
  for (std::size_t start = 0, end; start < names.size(); start = end) {
    starts.push_back(start);
    end = start + 1;
    if (end < names.size() && names[end] < names[start]) {
      while (end < names.size() && names[end] < names[end - 1]) ++end;
      std::reverse(names.begin() + static_cast<std::ptrdiff_t>(start),
                   names.begin() + static_cast<std::ptrdiff_t>(end));
    } else {
      while (end < names.size() && !(names[end] < names[end - 1])) ++end;
    }
  }
  return starts;
}

// A folder lists its names in an order of its own: on a memory file system by age, newest or
// oldest first, so a gallery made in order lists its photos in one run, in order or backwards,
// and the thumbnails made for them after them in a second. Views of the names sort cheaply; a
// few runs are merged in passes over all names, more are sorted.
void SortNames(NameSet& set) {
  std::vector<std::string_view>& names = set.names;
  names.clear();
  for (const auto& [start, size] : set.added)
    names.emplace_back(set.characters.data() + start, size);
  std::vector<std::size_t> runs = OrderedRuns(names);
  if (runs.size() > 8) {
    std::sort(names.begin(), names.end());
  } else {
    const auto at = [&names](std::size_t i) {
      return names.begin() + static_cast<std::ptrdiff_t>(i);
    };
    while (runs.size() > 1) {  // neighbouring runs merged pairwise
      std::vector<std::size_t> merged;
      for (std::size_t i = 0; i < runs.size(); i += 2) {
        merged.push_back(runs[i]);
        if (i + 1 == runs.size()) break;
        const std::size_t end = i + 2 < runs.size() ? runs[i + 2] : names.size();
        std::inplace_merge(at(runs[i]), at(runs[i + 1]), at(end));
      }
      runs.swap(merged);
    }
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

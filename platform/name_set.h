// A set of names made once and then asked many times: a folder's listing. The names are kept in
// order, and each search starts where the one before ended: a gallery asks for its names in
// about the order they sort in, so a search mostly reads a few neighbouring names, already in
// the processor's cache, instead of names all over a large table.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct NameSet {
  std::string characters;                                  // the names one after another
  std::vector<std::pair<std::size_t, std::size_t>> added;  // each name's start and length
  std::vector<std::string_view> names;                     // in order, once SortNames has run
  std::size_t finger = 0;                                  // where the last search ended
};

// Adds `name`; SortNames must run after the last addition and before the first question.
void AddName(NameSet& set, std::string_view name);
void SortNames(NameSet& set);

// True when `name` was added.
bool HasName(NameSet& set, std::string_view name);

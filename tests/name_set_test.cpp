// A listing's set of names answers exactly as a plain set does, for names present and absent,
// whatever the order a folder lists them in and the order they are asked in.
#include "platform/name_set.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

TEST(NameSet, AnswersAsAPlainSetInAnyOrderOfListingAndQuestions) {
  NameSet empty;
  SortNames(empty);
  EXPECT_FALSE(HasName(empty, ""));
  EXPECT_FALSE(HasName(empty, "a.jpg"));

  std::set<std::string> plain;
  std::vector<std::string> listed;
  for (int i = 0; i < 3000; ++i) {
    listed.push_back("p" + std::to_string(i * 7) + (i % 3 == 0 ? "_t.jpg" : ".jpg"));
    plain.insert(listed.back());
    if (i % 5 == 0) listed.push_back(listed.back());  // listed twice, kept once
  }
  std::vector<std::string> asked = {"", "a", "q", "p0_t.jpgp7.jpg"};  // around and between
  for (int j = 0; j < 21010; ++j) {
    asked.push_back("p" + std::to_string(j) + ".jpg");
    asked.push_back("p" + std::to_string(j) + "_t.jpg");
  }
  std::vector<std::string> backwards(asked.rbegin(), asked.rend());
  std::vector<std::string> shuffled = asked;
  std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));

  // Listed in order, backwards (a memory file system lists the newest first), in runs (a
  // gallery's photos backwards, then the thumbnails made later, backwards; pieces in order and
  // backwards, one name in two of them) and shuffled.
  std::vector<std::string> inOrder(plain.begin(), plain.end());
  std::vector<std::string> photosThenThumbnails, pieces;
  for (auto name = inOrder.rbegin(); name != inOrder.rend(); ++name) {
    if (name->find("_t") == std::string::npos) photosThenThumbnails.push_back(*name);
  }
  for (auto name = inOrder.rbegin(); name != inOrder.rend(); ++name) {
    if (name->find("_t") != std::string::npos) photosThenThumbnails.push_back(*name);
  }
  for (std::size_t piece = 0; piece < 5; ++piece) {
    const auto first = inOrder.begin() + static_cast<std::ptrdiff_t>(piece * 600);
    std::vector<std::string> part(first, first + 601 - (piece == 4));
    if (piece % 2 == 1) std::reverse(part.begin(), part.end());
    pieces.insert(pieces.end(), part.begin(), part.end());
  }
  for (const std::vector<std::string>& listing :
       {inOrder, std::vector<std::string>(inOrder.rbegin(), inOrder.rend()), photosThenThumbnails,
        pieces, listed}) {
    NameSet names;
    for (const std::string& name : listing) AddName(names, name);
    SortNames(names);
    EXPECT_EQ(names.names.size(), plain.size());
    for (const auto* order : {&asked, &backwards, &shuffled}) {
      for (const std::string& name : *order) {
        ASSERT_EQ(HasName(names, name), plain.count(name) == 1) << name;
      }
    }
  }
}

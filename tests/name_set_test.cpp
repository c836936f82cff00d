// A listing's set of names answers exactly as a plain set does, for names present and absent,
// whatever the order they are asked in.
#include "platform/name_set.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

TEST(NameSet, AnswersAsAPlainSetInAnyOrderOfQuestions) {
  NameSet names;
  SortNames(names);
  EXPECT_FALSE(HasName(names, ""));  // an empty set
  EXPECT_FALSE(HasName(names, "a.jpg"));

  std::set<std::string> plain;
  for (int i = 2999; i >= 0; --i) {  // added out of order, some twice
    const std::string name = "p" + std::to_string(i * 7) + (i % 3 == 0 ? "_t.jpg" : ".jpg");
    AddName(names, name);
    if (i % 5 == 0) AddName(names, name);
    plain.insert(name);
  }
  SortNames(names);
  EXPECT_EQ(names.names.size(), plain.size());

  std::vector<std::string> asked = {"", "a", "q", "p0_t.jpgp7.jpg"};  // around and between
  for (int j = 0; j < 21010; ++j) {
    asked.push_back("p" + std::to_string(j) + ".jpg");
    asked.push_back("p" + std::to_string(j) + "_t.jpg");
  }
  std::vector<std::string> backwards(asked.rbegin(), asked.rend());
  std::vector<std::string> shuffled = asked;
  std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));
  for (const auto* order : {&asked, &backwards, &shuffled}) {
    for (const std::string& name : *order) {
      ASSERT_EQ(HasName(names, name), plain.count(name) == 1) << name;
    }
  }
}

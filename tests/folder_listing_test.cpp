// The platform's listing of a folder of photos on a real folder: what stands under each name,
// and which links are followed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <map>

#include "photos/photos.h"
#include "platform/platform.h"
#include "test_support.h"

namespace {

// A link is followed only to a file or folder directly in the folder, however its target is
// spelled; one leading deeper, out, to the folder itself or nowhere is not.
TEST(FolderListing, LinksAreFollowedOnlyToTheFoldersOwnEntries) {
  ScratchFolder place;
  place.Write("secret.jpg", "outside");
  place.Write("photos/a.jpg", "photo");
  place.Write("photos/sub/deep.jpg", "deeper");
  const std::string folder = place / "photos";
  const std::map<std::string, std::string> links = {
      {"same.jpg", "a.jpg"},          {"absolute.jpg", folder + "/a.jpg"},
      {"around.jpg", "sub/../a.jpg"}, {"chain.jpg", "same.jpg"},
      {"subfolder", "sub"},           {"deeper.jpg", "sub/deep.jpg"},
      {"out.jpg", "../secret.jpg"},   {"self.jpg", "."},
      {"nowhere.jpg", "missing.jpg"}};
  for (const auto& [link, target] : links)
    ASSERT_EQ(::symlink(target.c_str(), (folder + "/" + link).c_str()), 0) << link;

  const std::string start = GetWorkingFolder();
  ASSERT_TRUE(SetWorkingFolder(folder));
  std::vector<FolderEntry> entries;
  const bool listed = ListWorkingFolder(&entries);
  SetWorkingFolder(start);
  ASSERT_TRUE(listed);

  std::map<std::string, EntryKind> kinds;
  for (const FolderEntry& entry : entries) {
    kinds[entry.name] = entry.kind;
    if (entry.kind == EntryKind::Regular) {
      EXPECT_EQ(entry.size, 5u) << entry.name;  // a.jpg's
    }
  }
  const EntryKind regular = EntryKind::Regular, outside = EntryKind::LinkOutside;
  EXPECT_EQ(kinds, (std::map<std::string, EntryKind>{{"a.jpg", regular},
                                                     {"sub", EntryKind::Folder},
                                                     {"same.jpg", regular},
                                                     {"absolute.jpg", regular},
                                                     {"around.jpg", regular},
                                                     {"chain.jpg", regular},
                                                     {"subfolder", EntryKind::Folder},
                                                     {"deeper.jpg", outside},
                                                     {"out.jpg", outside},
                                                     {"self.jpg", outside},
                                                     {"nowhere.jpg", outside}}));
}

}  // namespace

#include "settings/recent_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/settings_store.h"
#include "settings_test_support.h"

namespace vireon {
namespace {

using Paths = std::vector<std::string>;

TEST(RecentFileList, NewestFirstEachPathOnceAtMostFour) {
  RecentFileList list;
  for (const char* path : {"/a.vrn", "/b.vrn", "/c.vrn", "/d.vrn"}) list.Add(path);
  EXPECT_EQ(list.paths(), (Paths{"/d.vrn", "/c.vrn", "/b.vrn", "/a.vrn"}));
  list.Add("/b.vrn");  // opened again: moves up, not listed twice
  EXPECT_EQ(list.paths(), (Paths{"/b.vrn", "/d.vrn", "/c.vrn", "/a.vrn"}));
  list.Add("/e.vrn");  // a fifth file pushes the oldest out
  EXPECT_EQ(list.paths(), (Paths{"/e.vrn", "/b.vrn", "/d.vrn", "/c.vrn"}));
  list.Add("");
  list.Remove("/d.vrn");
  list.Remove("/not listed.vrn");
  EXPECT_EQ(list.paths(), (Paths{"/e.vrn", "/b.vrn", "/c.vrn"}));

  list.Assign({"", "/x.vrn", "/y.vrn", "/x.vrn", "/z.vrn", "/w.vrn", "/v.vrn"});
  EXPECT_EQ(list.paths(), (Paths{"/x.vrn", "/y.vrn", "/z.vrn", "/w.vrn"}));
}

class RecentFilesStoreTest : public test::SettingsFolder {
 protected:
  std::filesystem::path File() const { return folder() / "vireon.ini"; }
};

TEST_F(RecentFilesStoreTest, ListReadsBackAndAShorterListReplacesALongerOne) {
  SettingsStore store(File());
  RecordingSink sink;
  const HelperPaths helpers{"/usr/bin/gnuplot", ""};
  ASSERT_EQ(store.WriteHelperPaths(helpers, sink), 0);

  RecentFileList list;
  EXPECT_EQ(store.ReadRecentFiles(list), 0);  // no list yet: empty
  EXPECT_TRUE(list.paths().empty());
  for (const char* path : {"/m/a b.vrn", "/m/c;d.vrn", "/m/e=f.vrn", "/m/g.vrn"}) list.Add(path);
  ASSERT_EQ(store.WriteRecentFiles(list), 0);
  RecentFileList read;
  ASSERT_EQ(store.ReadRecentFiles(read), 0);
  EXPECT_EQ(read, list);

  list.Remove("/m/g.vrn");
  list.Remove("/m/a b.vrn");
  ASSERT_EQ(store.WriteRecentFiles(list), 0);
  ASSERT_EQ(store.ReadRecentFiles(read), 0);
  EXPECT_EQ(read.paths(), (Paths{"/m/e=f.vrn", "/m/c;d.vrn"}));

  // The other groups are left as they were, and nothing was said.
  HelperPaths readHelpers;
  EXPECT_EQ(store.ReadHelperPaths(readHelpers, sink), 0);
  EXPECT_EQ(readHelpers, helpers);
  EXPECT_TRUE(sink.messages().empty());
}

TEST_F(RecentFilesStoreTest, AnUnwritableFolderFailsQuietly) {
  SettingsStore store(folder() / "no such folder" / "file" / "vireon.ini");
  test::WriteText(folder() / "no such folder", "a file where a folder should be");
  RecentFileList list;
  list.Add("/m/a.vrn");
  EXPECT_EQ(store.WriteRecentFiles(list), -1);
  EXPECT_FALSE(store.lastFailure().empty());
}

}  // namespace
}  // namespace vireon

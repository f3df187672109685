// Output items, scan items and links of global quantities and current
// volumes in a model file: they are written with the selections and read
// back with the model's global quantities, which the file keeps in later
// sections.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "document/document.h"
#include "document/model_file.h"
#include "support/default_values.h"
#include "support/document_fixtures.h"

namespace vireon {
namespace {

using test::FillCatalogue;
using test::MakeRichDocument;

TEST(GlobalQuantityItems, SelectionsScansAndLinksReadBackWithTheirQuantities) {
  KineticCatalogue catalogue;
  FillCatalogue(catalogue);
  Document written = MakeRichDocument(catalogue);
  written.model.globalQuantities = {{"kdeg", 0.1}, {"growth", 0.5}};
  written.selections.timeCourse.push_back(MakeOutputItem(kCurrentGlobalQuantity, "growth"));
  written.selections.timeCourse.push_back(MakeOutputItem(kCurrentVolume, "cytosol"));
  written.selections.steadyState.push_back(MakeOutputItem(kCurrentGlobalQuantity, "kdeg"));
  written.scan.items.push_back(ScanItem(MakeOutputItem(kGlobalQuantity, "kdeg")));
  ParameterLink link;
  link.target = MakeOutputItem(kGlobalQuantity, "growth");
  link.source = MakeOutputItem(kGlobalQuantity, "kdeg");
  link.constant = 2.0;
  written.links.push_back(link);
  const std::string text = ModelFileText(written, catalogue);
  EXPECT_NE(text.find("Title=growth(t)\nType=36\nI=growth\n"), std::string::npos);
  EXPECT_NE(text.find("Title=V(cytosol)t\nType=37\nI=cytosol\n"), std::string::npos);
  EXPECT_NE(text.find("Title=kdeg\nType=35\nI=kdeg\n"), std::string::npos);

  Document read;
  NewDocument(read, DefaultValues());
  RecordingSink sink;
  ASSERT_EQ(ParseModelBuffer(read, text, catalogue, DefaultValues(), sink), 0)
      << ::testing::PrintToString(sink.Texts());
  EXPECT_EQ(read.selections.timeCourse, written.selections.timeCourse);
  EXPECT_EQ(read.selections.steadyState, written.selections.steadyState);
  EXPECT_EQ(read.scan.items, written.scan.items);
  EXPECT_EQ(read.links, written.links);
  EXPECT_EQ(ModelFileText(read, catalogue), text);

  // They resolve against the quantities read; without these, they go at
  // the next rebinding, as items of a renamed record do.
  RebindDocumentItems(read, false);
  const auto has = [](const auto& list, const auto& entry) {
    return std::find(list.begin(), list.end(), entry) != list.end();
  };
  for (const OutputItem& item : {MakeOutputItem(kCurrentGlobalQuantity, "growth"),
                                 MakeOutputItem(kCurrentVolume, "cytosol")}) {
    EXPECT_TRUE(has(read.selections.timeCourse, item)) << item.title;
  }
  EXPECT_TRUE(has(read.selections.steadyState, MakeOutputItem(kCurrentGlobalQuantity, "kdeg")));
  EXPECT_TRUE(has(read.scan.items, ScanItem(MakeOutputItem(kGlobalQuantity, "kdeg"))));
  EXPECT_TRUE(has(read.links, link));
  written = read;
  read.model.globalQuantities.clear();
  EXPECT_EQ(RebindDocumentItems(read, false), 4);
  EXPECT_EQ(read.selections.timeCourse.back(), MakeOutputItem(kCurrentVolume, "cytosol"));
  EXPECT_EQ(read.scan.items.size(), written.scan.items.size() - 1);
  EXPECT_EQ(read.links.size(), written.links.size() - 1);
}

}  // namespace
}  // namespace vireon

#include "scan/parameter_link_editor.h"

#include <gtest/gtest.h>

#include "model/messages.h"
#include "support/expect_close.h"

namespace vireon {
namespace {

const OutputItem kVolume1{"V(cell)", kVolume, "cell", "", nullptr};
const OutputItem kKm1{"R1(Km)", kKineticConstant, "R1", "Km", nullptr};

TEST(ParameterLinkEditorTest, OkNeedsBothEnds) {
  ParameterLinkEditor editor;
  EXPECT_CLOSE(editor.factor(), 1.0, 0.0, 0.0);
  EXPECT_FALSE(editor.OkEnabled());
  EXPECT_FALSE(editor.Link().has_value());
  editor.SetTarget(kVolume1);
  EXPECT_FALSE(editor.OkEnabled());
  double bound = 3.0;
  OutputItem source = kKm1;
  source.value = &bound;
  editor.SetSource(source);
  EXPECT_TRUE(editor.OkEnabled());
  RecordingSink sink;
  for (const char* bad : {"", "half", "1e999"}) EXPECT_FALSE(editor.SetFactorText(bad, sink));
  EXPECT_EQ(sink.Texts(), std::vector<std::string>(3, kLinkFactorNotANumber));
  EXPECT_CLOSE(editor.factor(), 1.0, 0.0, 0.0);
  ASSERT_TRUE(editor.SetFactorText(" 0.5", sink));
  std::optional<ParameterLink> link = editor.Link();
  ASSERT_TRUE(link.has_value());
  EXPECT_EQ(link->target.title, "V(cell)");
  EXPECT_EQ(link->source.j, "Km");
  EXPECT_EQ(link->source.value, nullptr);  // binding sets it at the run
  EXPECT_CLOSE(link->constant, 0.5, 0.0, 0.0);
  EXPECT_EQ(link->DisplayLine(), "V(cell) = 0.5 * R1(Km)");
}

ParameterLink Link(const std::string& target, const std::string& source, double constant) {
  ParameterLink link;
  link.target.title = target;
  link.source.title = source;
  link.constant = constant;
  return link;
}

TEST(ParameterLinkListEditorTest, AddDeleteAndReorder) {
  std::vector<ParameterLink> links;
  RecordingSink sink;
  ParameterLinkListEditor editor(links, sink);
  editor.Added(Link("A", "B", 2.0));
  editor.Added(Link("C", "A", 3.0));
  editor.Added(Link("D", "C", 1.0 / 3.0));
  EXPECT_TRUE(editor.modified());
  EXPECT_EQ(editor.Lines(),
            (std::vector<std::string>{"A = 2 * B", "C = 3 * A", "D = 0.333333 * C"}));
  EXPECT_EQ(editor.selected(), 2);
  EXPECT_TRUE(editor.MoveUp());
  EXPECT_EQ(editor.Lines()[1], "D = 0.333333 * C");
  EXPECT_EQ(editor.selected(), 1);
  EXPECT_TRUE(editor.MoveDown());
  EXPECT_FALSE(editor.MoveDown());
  editor.Select(0);
  EXPECT_FALSE(editor.MoveUp());
  EXPECT_TRUE(editor.Delete());
  EXPECT_EQ(editor.Lines(), (std::vector<std::string>{"C = 3 * A", "D = 0.333333 * C"}));
  EXPECT_TRUE(sink.messages().empty());
}

TEST(ParameterLinkListEditorTest, NoLinkFromTheDialogGivesMessage5034) {
  std::vector<ParameterLink> links;
  RecordingSink sink;
  ParameterLinkListEditor editor(links, sink);
  editor.Added(std::nullopt);
  EXPECT_TRUE(links.empty());
  EXPECT_TRUE(editor.modified());
  EXPECT_EQ(sink.Texts(), std::vector<std::string>{messages::kLinkNotAdded});
  EXPECT_FALSE(editor.Delete());
}

}  // namespace
}  // namespace vireon

#include "sbml/xml_depth.h"

#include <gtest/gtest.h>

#include <string>

namespace vireon::sbml {
namespace {

struct DepthCase {
  const char* text;
  int depth;
};

class XmlDepthOf : public ::testing::TestWithParam<DepthCase> {};

TEST_P(XmlDepthOf, CountsElementsOnly) {
  const XmlDepth measured = MeasureXmlDepth(GetParam().text, 100);
  EXPECT_EQ(measured.depth, GetParam().depth) << GetParam().text;
  EXPECT_EQ(measured.line, 0);
  EXPECT_FALSE(measured.entity);
}

// Markup inside comments, CDATA sections, processing instructions,
// declarations and quoted attribute values opens nothing.
INSTANTIATE_TEST_SUITE_P(
    Texts, XmlDepthOf,
    ::testing::Values(DepthCase{"", 0}, DepthCase{"plain text", 0}, DepthCase{"<a/>", 0},
                      DepthCase{"<a></a>", 1}, DepthCase{"<a><b><c/></b><b></b></a>", 2},
                      DepthCase{"<a><!-- <b><c> --></a>", 1},
                      DepthCase{"<a><![CDATA[<b><c>]]></a>", 1},
                      DepthCase{"<?xml version=\"1.0\"?><?pi <b> ?><a/>", 0},
                      DepthCase{"<!DOCTYPE a [<!ELEMENT a ANY>]><a><b/></a>", 1},
                      DepthCase{"<a x=\"<b>\" y='/>'><b z=\">\"/></a>", 1},
                      DepthCase{"<a x=\"/\" >", 1}, DepthCase{"</a></a><a>", 1}));

TEST(XmlDepth, StopsAtTheFirstElementBeyondTheLimitWithItsLine) {
  std::string text = "<a>\n";
  for (int i = 0; i < 10; ++i) text += "<b>\n";
  const XmlDepth measured = MeasureXmlDepth(text, 5);
  EXPECT_EQ(measured.depth, 6);
  EXPECT_EQ(measured.line, 6);
  EXPECT_EQ(MeasureXmlDepth(text, 11).line, 0);
}

TEST(XmlDepth, NotesEntityDeclarations) {
  EXPECT_TRUE(MeasureXmlDepth("<!DOCTYPE a [<!ENTITY e \"<b><b>\">]><a>&e;</a>", 10).entity);
  EXPECT_FALSE(MeasureXmlDepth("<a><!-- <!ENTITY --></a>", 10).entity);
}

}  // namespace
}  // namespace vireon::sbml

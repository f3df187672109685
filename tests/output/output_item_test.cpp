#include "output/output_item.h"

#include <gtest/gtest.h>

namespace vireon {
namespace {

TEST(OutputItemTest, TitlesFillTheTypePatternWithTheNames) {
  struct Case {
    int type;
    const char* first;
    const char* second;
    const char* title;
    const char* i;
    const char* j;
  };
  const Case cases[] = {
      {1, "A", "", "[A]i", "A", ""},
      {2, "A", "", "[A]ss", "A", ""},
      {3, "A", "", "[A]t", "A", ""},
      {4, "R1", "", "J(R1)", "R1", ""},
      {5, "R1", "", "J(R1)", "R1", ""},
      {6, "R1", "Km", "R1(Km)", "R1", "Km"},
      {7, "R1", "A", "e(R1,[A])", "R1", "A"},
      {8, "A", "R1", "C([A],R1)", "A", "R1"},
      {9, "R1", "R2", "C(J(R1),R2)", "R1", "R2"},
      {10, "A", "", "tt(A)", "A", ""},
      {12, "cell", "", "V(cell)", "cell", ""},
      {13, "  E + ES ", "", "  E + ES ", "  E + ES ", ""},
      {14, "", "", "time", "", ""},
      {15, "", "", "step count", "", ""},
      {16, "", "", "F(x) evaluations", "", ""},
      {17, "", "", "Jac. evaluations", "", ""},
      {18, "", "", "step size", "", ""},
      {19, "", "", "rel.tolerance", "", ""},
      {20, "", "", "abs.tolerance", "", ""},
      {21, "", "", "ss resolution", "", ""},
      {22, "", "", "deriv.factor", "", ""},
      {23, "", "", "real time", "", ""},
      {24, "flux ratio", "", "flux ratio", "", ""},
      {25, "", "", "end time", "", ""},
      {27, "", "", "Max.real eigenvalue component", "", ""},
      {28, "", "", "Max.imag.eigenvalue component", "", ""},
      {29, "", "", "Tot.w/pos.real part", "", ""},
      {30, "", "", "Tot.w/neg.real part", "", ""},
      {31, "", "", "Tot.real eigenvalues", "", ""},
      {32, "", "", "Tot.imag.eigenvalues", "", ""},
      {33, "", "", "Tot.cplx.eigenvalues", "", ""},
      {34, "", "", "Tot.zero eigenvalues", "", ""},
      {35, "k_1", "", "k_1", "k_1", ""},
      {36, "k_1", "", "k_1(t)", "k_1", ""},
      {37, "cell", "", "V(cell)t", "cell", ""},
  };
  for (const Case& c : cases) {
    OutputItem item = MakeOutputItem(c.type, c.first, c.second);
    EXPECT_EQ(item.type, c.type);
    EXPECT_EQ(item.title, c.title) << c.type;
    EXPECT_EQ(item.i, c.i) << c.type;
    EXPECT_EQ(item.j, c.j) << c.type;
    EXPECT_EQ(item.value, nullptr);
  }
}

TEST(OutputItemTest, UnknownTypesHaveNoTitleAndNoNames) {
  for (int type : {0, 11, 26, 38, -1}) {
    EXPECT_EQ(OutputItemTitle(type, "A", "B"), "") << type;
  }
  EXPECT_FALSE(OutputItemHasFirstName(26));
  EXPECT_FALSE(OutputItemHasFirstName(0));
}

TEST(OutputItemTest, UnboundItemReadsZeroAndBoundItemReadsItsQuantity) {
  OutputItem item = MakeOutputItem(kTime);
  EXPECT_EQ(item.Value(), 0.0);
  double time = 2.5;
  item.value = &time;
  EXPECT_EQ(item.Value(), 2.5);
  time = 3.0;
  EXPECT_EQ(item.Value(), 3.0);
}

}  // namespace
}  // namespace vireon

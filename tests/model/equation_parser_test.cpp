#include "model/equation_parser.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vireon {
namespace {

// What one equation becomes when it is parsed on its own, the way the
// reactions editor parses it at commit.
struct Parsed {
  int syntax = -1;     // TestEquation
  int collected = -1;  // counting pass
  int filled = -1;     // filling pass
  bool reversible = false;
  std::vector<std::string> substrates;
  std::vector<std::string> products;
  std::vector<std::pair<std::string, float>> column;  // metabolite name, stoichiometry
  std::string rebuilt;
};

Parsed ParseAlone(std::string_view text) {
  Parsed parsed;
  parsed.syntax = TestEquation(text);
  Model reference;
  Model working;
  StepTable steps{{Step()}, kInitialTableCapacity};
  MetaboliteTable metabolites{{}, kInitialTableCapacity};
  ParseTarget target{reference, working, steps, metabolites, 0};
  parsed.collected = ParseEquation(text, ParseMode::kCountMetabolites, target);
  if (parsed.collected < 0) return parsed;

  working.Resize(1, metabolites.count(), metabolites.count(), 0);
  working.steps = steps.records;
  working.metabolites = metabolites.records;
  working.ZeroStoichiometry();
  parsed.filled = ParseEquation(text, ParseMode::kFillStoichiometry, target);
  RebuildEquations(working);

  const Step& step = working.steps[0];
  parsed.reversible = step.reversible != 0;
  for (int m : step.substrates) parsed.substrates.push_back(working.metabolites[m].name);
  for (int m : step.products) parsed.products.push_back(working.metabolites[m].name);
  for (int m = 0; m < working.nMetabolites(); ++m) {
    parsed.column.emplace_back(working.metabolites[m].name, working.stoichiometry[m][0]);
  }
  parsed.rebuilt = step.equation;
  return parsed;
}

using Names = std::vector<std::string>;
using Column = std::vector<std::pair<std::string, float>>;

struct EquationCase {
  std::string text;
  int units;  // -1: rejected
  bool reversible;
  Names substrates;
  Names products;
  Column column;
  std::string rebuilt;
};

const std::vector<EquationCase>& EquationCases() {
  static const std::vector<EquationCase> cases = {
      // Blanks, tabs, line feeds and form feeds do not matter.
      {"A+B=P", 3, true, {"A", "B"}, {"P"}, {{"A", -1}, {"B", -1}, {"P", 1}}, "A + B = P"},
      {" A + B = P ", 3, true, {"A", "B"}, {"P"}, {{"A", -1}, {"B", -1}, {"P", 1}}, "A + B = P"},
      {"A\t+\nB\f= P", 3, true, {"A", "B"}, {"P"}, {{"A", -1}, {"B", -1}, {"P", 1}}, "A + B = P"},
      // Coefficients repeat the name once per unit.
      {"2*A->B", 3, false, {"A", "A"}, {"B"}, {{"A", -2}, {"B", 1}}, "A + A -> B"},
      {"A + A -> B", 3, false, {"A", "A"}, {"B"}, {{"A", -2}, {"B", 1}}, "A + A -> B"},
      {"A -> B + 3*C",
       5,
       false,
       {"A"},
       {"B", "C", "C", "C"},
       {{"A", -1}, {"B", 1}, {"C", 3}},
       "A -> B + C + C + C"},
      {"2A -> B", 2, false, {"2A"}, {"B"}, {{"2A", -1}, {"B", 1}}, "2A -> B"},
      {"2x*A -> B", 3, false, {"A", "A"}, {"B"}, {{"A", -2}, {"B", 1}}, "A + A -> B"},
      // A carriage return stays in the text: it is part of a name, and it is
      // skipped in front of a coefficient as "%d" skips it.
      {"A\r->B", 2, false, {"A\r"}, {"B"}, {{"A\r", -1}, {"B", 1}}, "A\r -> B"},
      {"\r2*A->B", 3, false, {"A", "A"}, {"B"}, {{"A", -2}, {"B", 1}}, "A + A -> B"},
      // Sources, sinks, and a step with nothing at all.
      {"A ->", 1, false, {"A"}, {}, {{"A", -1}}, "A -> "},
      {"-> A", 1, false, {}, {"A"}, {{"A", 1}}, " -> A"},
      {"=", 0, true, {}, {}, {}, " = "},
      // A metabolite on both sides.
      {"A -> A", 2, false, {"A"}, {"A"}, {{"A", 0}}, "A -> A"},
      {"A + B = 2*A", 4, true, {"A", "B"}, {"A", "A"}, {{"A", 1}, {"B", -1}}, "A + B = A + A"},
      // The first separator from the left splits the text.
      {"A --> B", 2, false, {"A-"}, {"B"}, {{"A-", -1}, {"B", 1}}, "A- -> B"},
      {"A => B", 2, true, {"A"}, {">B"}, {{"A", -1}, {">B", 1}}, "A = >B"},
      // Rejected coefficients and names.
      {"0*A -> B", -1, false, {}, {}, {}, ""},
      {"1.5*A -> B", -1, false, {}, {}, {}, ""},
      {"A.1 -> B", -1, false, {}, {}, {}, ""},
      {"*A -> B", -1, false, {}, {}, {}, ""},
      {"2**A -> B", -1, false, {}, {}, {}, ""},
      {"2* -> B", -1, false, {}, {}, {}, ""},
      {"x*A -> B", -1, false, {}, {}, {}, ""},
      {"-2*A -> B", -1, false, {}, {}, {}, ""},
      {"A -> -1*B", -1, false, {}, {}, {}, ""},
      {"-0*A -> B", -1, false, {}, {}, {}, ""},
      {"99999999999*A -> B", -1, false, {}, {}, {}, ""},
      {"2147483648*A -> B", -1, false, {}, {}, {}, ""},
      {"-2147483649*A -> B", -1, false, {}, {}, {}, ""},
      {"2147483647*A -> B", -1, false, {}, {}, {}, ""},
      {"10001*A -> B", -1, false, {}, {}, {}, ""},
      {"5000*A -> 5001*B", -1, false, {}, {}, {}, ""},
      // Misplaced "+".
      {"A + -> B", -1, false, {}, {}, {}, ""},
      {"+A -> B", -1, false, {}, {}, {}, ""},
      {"A ++ B -> P", -1, false, {}, {}, {}, ""},
      {"A -> B +", -1, false, {}, {}, {}, ""},
      {"A -> +", -1, false, {}, {}, {}, ""},
      // A second separator.
      {"A -> B -> P", -1, false, {}, {}, {}, ""},
      {"A = B = P", -1, false, {}, {}, {}, ""},
      {"A = B -> P", -1, false, {}, {}, {}, ""},
      {"A -> B = P", -1, false, {}, {}, {}, ""},
      // No separator, or only an arrow.
      {"A B", -1, false, {}, {}, {}, ""},
      {"", -1, false, {}, {}, {}, ""},
      {"->", -1, false, {}, {}, {}, ""},
      {" -> ", -1, false, {}, {}, {}, ""},
  };
  return cases;
}

TEST(EquationParserTest, EdgeCaseTable) {
  for (const EquationCase& c : EquationCases()) {
    SCOPED_TRACE("equation \"" + c.text + "\"");
    Parsed parsed = ParseAlone(c.text);
    EXPECT_EQ(parsed.syntax, c.units);
    EXPECT_EQ(parsed.collected, c.units);
    if (c.units < 0) continue;
    EXPECT_EQ(parsed.filled, c.units);
    EXPECT_EQ(parsed.reversible, c.reversible);
    EXPECT_EQ(parsed.substrates, c.substrates);
    EXPECT_EQ(parsed.products, c.products);
    EXPECT_EQ(parsed.column, c.column);
    EXPECT_EQ(parsed.rebuilt, c.rebuilt);
  }
}

TEST(EquationParserTest, RejectedTextLeavesTablesAloneButResetsTheStepCounts) {
  Model reference;
  reference.Allocate(0, 1, 1, 0, 1);
  reference.metabolites[0] = Metabolite("B", FIXED, 0, 3.0);
  for (const EquationCase& c : EquationCases()) {
    if (c.units >= 0) continue;
    SCOPED_TRACE("equation \"" + c.text + "\"");
    for (ParseMode mode : {ParseMode::kTestSyntax, ParseMode::kCountMetabolites}) {
      Model working;
      Step step;
      step.nSubstrates = 4;
      step.nProducts = 2;
      step.reversible = 1;
      StepTable steps{{step}, kInitialTableCapacity};
      MetaboliteTable metabolites{{Metabolite("A", INDEPENDENT, 0)}, kInitialTableCapacity};
      const MetaboliteTable before = metabolites;
      EXPECT_EQ(ParseEquation(c.text, mode, reference, working, steps, metabolites, 0), -1);
      EXPECT_EQ(metabolites.records, before.records);
      EXPECT_EQ(metabolites.capacity, before.capacity);
      EXPECT_EQ(steps.records[0].nSubstrates, 0);
      EXPECT_EQ(steps.records[0].nProducts, 0);
      EXPECT_EQ(steps.records[0].reversible, 1);
    }
  }
}

TEST(EquationParserTest, SidesAndTermsCountTheirUnits) {
  Model reference, working;
  StepTable steps;
  MetaboliteTable metabolites;
  ParseTarget target{reference, working, steps, metabolites};
  EXPECT_EQ(ParseSide("", -1, ParseMode::kTestSyntax, target), 0);
  EXPECT_EQ(ParseSide("A+2*B+C", -1, ParseMode::kTestSyntax, target), 4);
  EXPECT_EQ(ParseSide("A+", -1, ParseMode::kTestSyntax, target), -1);
  EXPECT_EQ(ParseSide("A++B", -1, ParseMode::kTestSyntax, target), -1);
  EXPECT_EQ(ParseTerm("7*X", +1, ParseMode::kTestSyntax, target), 7);
  EXPECT_EQ(ParseTerm("X", +1, ParseMode::kTestSyntax, target), 1);
  EXPECT_EQ(ParseTerm("0*X", +1, ParseMode::kTestSyntax, target), -1);
  EXPECT_TRUE(metabolites.records.empty());
}

TEST(EquationParserTest, CountingPassSetsCountsAndReversibility) {
  Model reference, working;
  StepTable steps{{Step(), Step()}, kInitialTableCapacity};
  MetaboliteTable metabolites{{}, kInitialTableCapacity};
  ParseTarget target{reference, working, steps, metabolites, 1};
  EXPECT_EQ(ParseEquation("2*A + B -> 3*C", ParseMode::kCountMetabolites, target), 6);
  EXPECT_EQ(steps.records[1].nSubstrates, 3);
  EXPECT_EQ(steps.records[1].nProducts, 3);
  EXPECT_EQ(steps.records[1].reversible, 0);
  EXPECT_EQ(steps.records[0].nSubstrates, 0);  // another step is untouched
  EXPECT_EQ(ParseEquation("C = D", ParseMode::kCountMetabolites, target), 2);
  EXPECT_EQ(steps.records[1].nSubstrates, 1);
  EXPECT_EQ(steps.records[1].nProducts, 1);
  EXPECT_EQ(steps.records[1].reversible, 1);
  ASSERT_EQ(metabolites.count(), 4);
  EXPECT_EQ(metabolites.records[3].name, "D");  // in order of first appearance
}

TEST(EquationParserTest, KnownMetaboliteIsCopiedFromTheReferenceModel) {
  Model reference;
  reference.Allocate(0, 2, 1, 0, 2);
  reference.metabolites[0] = Metabolite("Q", INDEPENDENT, 0, 1.0);
  reference.metabolites[1] = Metabolite("S", FIXED, 1, 5.0);
  reference.metabolites[1].concentration = 4.5;
  reference.metabolites[1].transitionTime = 0.75;
  Model working;
  StepTable steps{{Step()}, kInitialTableCapacity};
  MetaboliteTable metabolites{{}, kInitialTableCapacity};
  ParseTarget target{reference, working, steps, metabolites, 0};
  target.defaultConcentration = 0.25;
  ASSERT_EQ(ParseEquation("S -> P", ParseMode::kCountMetabolites, target), 2);
  ASSERT_EQ(metabolites.count(), 2);
  EXPECT_EQ(metabolites.records[0], reference.metabolites[1]);
  EXPECT_EQ(metabolites.records[1], Metabolite("P", INDEPENDENT, 0, 0.25));
}

TEST(EquationParserTest, FillingPassIsRepeatable) {
  Model reference;
  Model working;
  StepTable steps{{Step()}, kInitialTableCapacity};
  MetaboliteTable metabolites{{}, kInitialTableCapacity};
  ParseTarget target{reference, working, steps, metabolites, 0};
  ASSERT_EQ(ParseEquation("2*A = B", ParseMode::kCountMetabolites, target), 3);
  working.Resize(1, 2, 2, 0);
  working.steps = steps.records;
  working.metabolites = metabolites.records;
  working.ZeroStoichiometry();
  for (int pass = 0; pass < 2; ++pass) {
    ASSERT_EQ(ParseEquation("2*A = B", ParseMode::kFillStoichiometry, target), 3);
    EXPECT_EQ(working.steps[0].substrates, (std::vector<int>{0, 0}));
    EXPECT_EQ(working.steps[0].products, (std::vector<int>{1}));
    EXPECT_EQ(working.stoichiometry[0][0], -2.0f);
    EXPECT_EQ(working.stoichiometry[1][0], 1.0f);
  }
  // A name the working model has no row for cannot be filled in.
  EXPECT_EQ(ParseEquation("A -> Z", ParseMode::kFillStoichiometry, target), -1);
  EXPECT_EQ(metabolites.count(), 2);
}

// ---- table growth ----

MetaboliteTable TableOf(int count, int capacity) {
  MetaboliteTable table{{}, capacity};
  for (int i = 0; i < count; ++i)
    table.records.emplace_back("M" + std::to_string(i), INDEPENDENT, 0);
  return table;
}

TEST(TableGrowthTest, GrowsWhenTheCountReachesCapacityLessOne) {
  Model reference, working;
  StepTable steps{{Step()}, kInitialTableCapacity};

  MetaboliteTable table = TableOf(98, 100);
  ParseTarget target{reference, working, steps, table, 0};
  ASSERT_EQ(ParseEquation("M0 -> New1", ParseMode::kCountMetabolites, target), 2);
  EXPECT_EQ(table.count(), 99);
  EXPECT_EQ(table.capacity, 100);  // 98 < 99: no growth yet

  ASSERT_EQ(ParseEquation("M0 -> New2", ParseMode::kCountMetabolites, target), 2);
  EXPECT_EQ(table.count(), 100);
  EXPECT_EQ(table.capacity, 130);

  // A name already in the table adds nothing and grows nothing.
  MetaboliteTable full = TableOf(99, 100);
  ParseTarget again{reference, working, steps, full, 0};
  ASSERT_EQ(ParseEquation("M0 -> M98", ParseMode::kCountMetabolites, again), 2);
  EXPECT_EQ(full.count(), 99);
  EXPECT_EQ(full.capacity, 100);
}

TEST(TableGrowthTest, CapacityTruncatesAndAlwaysLeavesRoom) {
  MetaboliteTable table = TableOf(129, 130);
  EXPECT_TRUE(GrowTableIfFull(table));
  EXPECT_EQ(table.capacity, 169);
  EXPECT_FALSE(GrowTableIfFull(table));

  MetaboliteTable tiny = TableOf(0, 1);  // (int)(1 * 1.3) would stay 1
  EXPECT_TRUE(GrowTableIfFull(tiny));
  EXPECT_GE(tiny.capacity, tiny.count() + 2);
}

TEST(TableGrowthTest, OpeningCapacity) {
  EXPECT_EQ(InitialTableCapacity(0), 100);
  EXPECT_EQ(InitialTableCapacity(79), 100);
  EXPECT_EQ(InitialTableCapacity(80), 104);
  EXPECT_EQ(InitialTableCapacity(100), 130);
  EXPECT_EQ(InitialTableCapacity(1001), 1301);
}

// ---- the formatter ----

TEST(RebuildEquationsTest, WritesTheListsBack) {
  Model model;
  model.Allocate(4, 4, 4, 0, 1);
  const char* names[] = {"A", "B", "P", "E"};
  for (int m = 0; m < 4; ++m) model.metabolites[m].name = names[m];
  Step& twoA = model.steps[0];
  twoA.reversible = 0;
  twoA.substrates = {0, 0};
  twoA.products = {1};
  twoA.modifiers = {3};  // modifiers do not show
  Step& source = model.steps[1];
  source.reversible = 0;
  source.products = {2};
  Step& sink = model.steps[2];
  sink.reversible = 0;
  sink.substrates = {2};
  Step& both = model.steps[3];
  both.reversible = 1;
  both.substrates = {0, 1};
  both.products = {2};
  RebuildEquations(model);
  EXPECT_EQ(model.steps[0].equation, "A + A -> B");
  EXPECT_EQ(model.steps[1].equation, " -> P");
  EXPECT_EQ(model.steps[2].equation, "P -> ");
  EXPECT_EQ(model.steps[3].equation, "A + B = P");

  model.metabolites[0].name = "ATP";  // a rename reaches every equation
  RebuildEquations(model);
  EXPECT_EQ(model.steps[0].equation, "ATP + ATP -> B");
  EXPECT_EQ(model.steps[3].equation, "ATP + B = P");
}

TEST(RebuildEquationsTest, RebuiltTextParsesToTheSameStep) {
  for (const EquationCase& c : EquationCases()) {
    if (c.units < 0) continue;
    SCOPED_TRACE("equation \"" + c.text + "\"");
    Parsed first = ParseAlone(c.text);
    Parsed second = ParseAlone(first.rebuilt);
    EXPECT_EQ(second.rebuilt, first.rebuilt);
    EXPECT_EQ(second.column, first.column);
    EXPECT_EQ(second.reversible, first.reversible);
  }
}

// ---- bad input ----

TEST(EquationParserBadInputTest, HugeLinesFailOrPassCleanly) {
  const std::size_t kMegabyte = 1 << 20;
  std::string manyTerms;
  while (manyTerms.size() < kMegabyte) manyTerms += "A+";
  std::string repeatedArrows;
  while (repeatedArrows.size() < kMegabyte) repeatedArrows += "->";
  const std::vector<std::pair<std::string, int>> cases = {
      {std::string(kMegabyte, 'A'), -1},
      {std::string(kMegabyte, ' '), -1},
      {std::string(kMegabyte, '+'), -1},
      {std::string(kMegabyte, '='), -1},
      {std::string(kMegabyte, '*'), -1},
      {std::string(kMegabyte, '9') + "*A->B", -1},
      {repeatedArrows, -1},
      {manyTerms + "A->B", -1},  // more units than any equation may hold
      {std::string(kMegabyte, 'N') + "->B", 2},
  };
  for (const auto& [text, units] : cases) {
    SCOPED_TRACE("a line of " + std::to_string(text.size()) + " characters starting with " +
                 text.substr(0, 4));
    Parsed parsed = ParseAlone(text);
    EXPECT_EQ(parsed.syntax, units);
    EXPECT_EQ(parsed.collected, units);
    if (units >= 0) {
      EXPECT_EQ(parsed.filled, units);
    }
  }
}

TEST(EquationParserBadInputTest, NonAsciiBytesAreNameCharacters) {
  Parsed accented = ParseAlone("\xC3\xA9 -> \xFF\xFE");
  EXPECT_EQ(accented.collected, 2);
  EXPECT_EQ(accented.substrates, Names{"\xC3\xA9"});
  EXPECT_EQ(accented.products, Names{"\xFF\xFE"});
  EXPECT_EQ(ParseAlone("\x80*A -> B").syntax, -1);
  EXPECT_EQ(ParseAlone(std::string_view("A\0B -> C", 8)).collected, 2);
}

// Random texts over the grammar's alphabet: the counting pass accepts exactly
// what the syntax test accepts, and the filled column always equals products
// minus substrates.
TEST(EquationParserBadInputTest, RandomTextsKeepThePassesConsistent) {
  const std::string alphabet = "AB2*.+=->-\r \t0x";
  std::uint32_t state = 12345;
  auto next = [&state]() {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
  };
  int accepted = 0;
  for (int trial = 0; trial < 3000; ++trial) {
    std::string text;
    int length = static_cast<int>(next() % 12);
    for (int i = 0; i < length; ++i) text += alphabet[next() % alphabet.size()];
    SCOPED_TRACE("equation \"" + text + "\"");
    Parsed parsed = ParseAlone(text);
    ASSERT_EQ(parsed.collected, parsed.syntax);
    if (parsed.syntax < 0) continue;
    ++accepted;
    ASSERT_EQ(parsed.filled, parsed.syntax);
    ASSERT_EQ(static_cast<int>(parsed.substrates.size() + parsed.products.size()), parsed.syntax);
    for (const auto& [name, value] : parsed.column) {
      int net = 0;
      for (const std::string& p : parsed.products) net += p == name;
      for (const std::string& s : parsed.substrates) net -= s == name;
      EXPECT_EQ(value, static_cast<float>(net)) << name;
    }
  }
  EXPECT_GT(accepted, 50);  // the alphabet does produce valid equations
}

}  // namespace
}  // namespace vireon

#include "kinetics/user_kinetics_section.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "kinetics/built_in_rate_laws.h"
#include "kinetics/kinetic_binding.h"
#include "kinetics/kinetic_function.h"
#include "kinetics/user_type_helpers.h"
#include "model/messages.h"

namespace vireon {
namespace {

std::vector<std::string> UserNames(const KineticCatalogue& catalogue) {
  std::vector<std::string> names;
  for (const KineticType* t : catalogue.UserDefinedTypes()) names.push_back(t->name);
  return names;
}

// The section for types "mm" (V*S/(Km+S)) and "inhibited", as the writer
// makes it from a catalogue that holds them.
std::string SectionFor(const std::vector<std::string>& typeNames) {
  KineticCatalogue source;
  BuildBuiltInKineticTypes(source);
  source.Insert(test::MakeMichaelisMenten("mm"));
  source.Insert(test::MakeInhibitedMassAction("inhibited"));
  Model model;
  model.steps.resize(typeNames.size());
  for (std::size_t i = 0; i < typeNames.size(); ++i) model.steps[i].kineticTypeName = typeNames[i];
  std::ostringstream out;
  WriteUserKineticsSection(model, source, out);
  return out.str();
}

int CountOf(const std::string& text, const std::string& part) {
  int count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

class UserKineticsSectionTest : public ::testing::Test {
 protected:
  UserKineticsSectionTest() { BuildBuiltInKineticTypes(catalogue); }
  KineticCatalogue catalogue;
  RecordingSink sink;
};

TEST_F(UserKineticsSectionTest, WritesEachUsedTypeOnceInOrderOfFirstUse) {
  const std::string text = SectionFor({"Uni Uni", "inhibited", "mm", "inhibited", "gone"});
  EXPECT_EQ(text.substr(0, text.find('\n')), "TotalUDKinetics=2");
  EXPECT_EQ(CountOf(text, "UDKType="), 2);
  EXPECT_LT(text.find("UDKType=inhibited"), text.find("UDKType=mm"));
  EXPECT_EQ(SectionFor({"Uni Uni"}), "TotalUDKinetics=0\n");
}

TEST_F(UserKineticsSectionTest, NewTypesAreEnteredAndStepsBindToThem) {
  RecordCursor cursor(SectionFor({"mm", "inhibited"}) + "NextKey=1\n");
  ASSERT_TRUE(ReadUserKineticsSection(cursor, catalogue, sink));
  EXPECT_EQ(cursor.Line(), "NextKey=1");
  EXPECT_EQ(UserNames(catalogue), (std::vector<std::string>{"mm", "inhibited"}));
  EXPECT_TRUE(sink.messages().empty());

  Model model;
  model.steps.resize(1);
  model.steps[0].kineticTypeName = "inhibited";
  BindMissingKineticTypes(model, catalogue, 1.0);
  EXPECT_EQ(model.steps[0].kineticType, catalogue.Find("inhibited"));
  EXPECT_EQ(model.steps[0].constants.size(), 3u);
}

TEST_F(UserKineticsSectionTest, SameNameAndSameTextIsTheTypeAlreadyKnown) {
  const KineticType* known = catalogue.Insert(test::MakeMichaelisMenten("mm"));
  RecordCursor cursor(SectionFor({"mm"}));
  ASSERT_TRUE(ReadUserKineticsSection(cursor, catalogue, sink));
  EXPECT_EQ(catalogue.Find("mm"), known);
  EXPECT_EQ(catalogue.UserDefinedCount(), 1);
  EXPECT_TRUE(sink.messages().empty());
}

TEST_F(UserKineticsSectionTest, SameNameWithAnotherTextRefusesTheFile) {
  catalogue.Insert(test::MakeUserType("mm", "V*S/(Km+S+S)",
                                      {{"V", SymbolRole::kConstant},
                                       {"S", SymbolRole::kSubstrate},
                                       {"Km", SymbolRole::kConstant}}));
  RecordCursor cursor(SectionFor({"inhibited", "mm"}));
  EXPECT_FALSE(ReadUserKineticsSection(cursor, catalogue, sink));
  ASSERT_EQ(sink.messages().size(), 2u);
  EXPECT_EQ(sink.messages()[0].kind, RecordingSink::Kind::kWarning);
  EXPECT_EQ(sink.messages()[0].text, messages::kUserKineticsClash);
  EXPECT_EQ(sink.messages()[1].kind, RecordingSink::Kind::kInformation);
  EXPECT_EQ(sink.messages()[1].text,
            "Suggestion: Delete the kinetic type 'mm' from the database before loading this "
            "file.");
  // The file is not loaded, so its other type is not entered either.
  EXPECT_EQ(UserNames(catalogue), std::vector<std::string>{"mm"});
  EXPECT_EQ(catalogue.Find("mm")->function->description(), "V*S/(Km+S+S)");
}

TEST_F(UserKineticsSectionTest, NameOfABuiltInTypeClashes) {
  std::string text = SectionFor({"mm"});
  text.replace(text.find("UDKType=mm"), 10, "UDKType=Uni Uni");
  RecordCursor cursor(text);
  EXPECT_FALSE(ReadUserKineticsSection(cursor, catalogue, sink));
  EXPECT_TRUE(sink.Said(messages::kUserKineticsClash));
  EXPECT_EQ(catalogue.Find("Uni Uni")->userDefined, 0);
}

TEST_F(UserKineticsSectionTest, NegativeCountAbortsTheLoad) {
  RecordCursor cursor("TotalUDKinetics=-2\n");
  EXPECT_FALSE(ReadUserKineticsSection(cursor, catalogue, sink));
  ASSERT_EQ(sink.messages().size(), 1u);
  EXPECT_EQ(sink.messages()[0].kind, RecordingSink::Kind::kInformation);
  EXPECT_EQ(sink.messages()[0].text, messages::kNegativeUserKinetics);
}

TEST_F(UserKineticsSectionTest, BrokenRecordAbortsTheLoadAndEntersNothing) {
  std::string text = SectionFor({"mm", "inhibited"});
  text.resize(text.size() - 20);
  RecordCursor cursor(text);
  EXPECT_FALSE(ReadUserKineticsSection(cursor, catalogue, sink));
  EXPECT_EQ(catalogue.UserDefinedCount(), 0);
  EXPECT_EQ(sink.messages().size(), 1u);
}

}  // namespace
}  // namespace vireon

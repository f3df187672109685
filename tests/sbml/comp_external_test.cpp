// Hierarchical models whose submodels live in other files: the files are
// read from beside the model, whatever the working folder, and a file that
// is not there, names itself in turn, or is no file of this computer is
// refused with a message that names it.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>

#include "document/time_course_table.h"
#include "kinetics/built_in_rate_laws.h"
#include "kinetics/kinetic_catalogue.h"
#include "sbml/sbml_import.h"
#include "support/expect_close.h"

namespace vireon {
namespace {

namespace fs = std::filesystem;

// A model made of one submodel, the external model "decay" of `source`.
std::string ModelOf(const std::string& source) {
  return R"(<?xml version="1.0" encoding="UTF-8"?>
<sbml xmlns:comp="http://www.sbml.org/sbml/level3/version1/comp/version1"
      xmlns="http://www.sbml.org/sbml/level3/version1/core" level="3" version="1"
      comp:required="true">
  <model id="whole">
    <comp:listOfSubmodels><comp:submodel comp:id="A" comp:modelRef="ext"/></comp:listOfSubmodels>
  </model>
  <comp:listOfExternalModelDefinitions>
    <comp:externalModelDefinition comp:id="ext" comp:source=")" +
         source + R"(" comp:modelRef="decay"/>
  </comp:listOfExternalModelDefinitions>
</sbml>
)";
}

// S -> with rate k [S], k = 1/2 and [S](0) = 2.
constexpr const char* kDecay = R"(<?xml version="1.0" encoding="UTF-8"?>
<sbml xmlns="http://www.sbml.org/sbml/level3/version1/core" level="3" version="1">
  <model id="decay">
    <listOfCompartments>
      <compartment id="c" spatialDimensions="3" size="1" constant="true"/>
    </listOfCompartments>
    <listOfSpecies>
      <species id="S" compartment="c" initialConcentration="2" hasOnlySubstanceUnits="false"
               boundaryCondition="false" constant="false"/>
    </listOfSpecies>
    <listOfParameters><parameter id="k" value="0.5" constant="true"/></listOfParameters>
    <listOfReactions>
      <reaction id="J" reversible="false" fast="false">
        <listOfReactants><speciesReference species="S" stoichiometry="1" constant="true"/></listOfReactants>
        <kineticLaw><math xmlns="http://www.w3.org/1998/Math/MathML">
          <apply><times/><ci>k</ci><ci>S</ci></apply></math></kineticLaw>
      </reaction>
    </listOfReactions>
  </model>
</sbml>
)";

class ExternalModels : public ::testing::Test {
 protected:
  void SetUp() override {
    // A folder of each test's own: CTest runs the tests of this fixture at
    // the same time, and each one removes its folder at the end.
    folder_ = fs::path(::testing::TempDir()) /
              ("vireon-comp-external-" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(folder_);
    fs::create_directories(folder_ / "parts");
    BuildBuiltInKineticTypes(catalogue_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  fs::path Write(const std::string& name, const std::string& text) const {
    const fs::path path = folder_ / name;
    std::ofstream(path) << text;
    return path;
  }
  SbmlImportResult Import(const fs::path& path, Model& model) {
    return ImportSbmlFile(path.string(), catalogue_, model);
  }
  std::string Refusal(const fs::path& path) {
    Model model;
    const SbmlImportResult result = Import(path, model);
    EXPECT_FALSE(result.imported);
    return result.problems.empty() ? std::string() : result.problems.front();
  }

  fs::path folder_;
  KineticCatalogue catalogue_;
};

TEST_F(ExternalModels, AreReadFromBesideTheModel) {
  Write("parts/decay.xml", kDecay);
  const fs::path whole = Write("whole.xml", ModelOf("parts/decay.xml"));
  // Elsewhere than the model's folder, the files are still found.
  const fs::path before = fs::current_path();
  fs::current_path(fs::temp_directory_path());
  Model model;
  const SbmlImportResult result = Import(whole, model);
  fs::current_path(before);
  ASSERT_TRUE(result.imported) << (result.problems.empty() ? "" : result.problems.front());
  ASSERT_EQ(model.nMetabolites(), 1);
  TaskSettings settings;
  settings.endTime = 2.0;
  settings.points = 4;
  settings.solver.relativeTolerance = 1e-10;
  settings.solver.absoluteTolerance = 1e-14;
  const TimeCourseTable table = ComputeTimeCourseTable(model, settings);
  ASSERT_EQ(table.times.size(), 5u);
  for (std::size_t i = 0; i < table.times.size(); ++i) {
    EXPECT_CLOSE(table.concentrations[i][0], 2.0 * std::exp(-0.5 * table.times[i]), 1e-9, 1e-7);
  }
}

TEST_F(ExternalModels, ThatCannotBeReadAreRefusedByName) {
  EXPECT_NE(Refusal(Write("a.xml", ModelOf("missing.xml"))).find("\"missing.xml\" that is not there"),
            std::string::npos);
  EXPECT_NE(Refusal(Write("b.xml", ModelOf("b.xml"))).find("\"b.xml\" that names it in turn"),
            std::string::npos);
  Write("parts/c.xml", ModelOf("../c.xml"));
  EXPECT_NE(Refusal(Write("c.xml", ModelOf("parts/c.xml"))).find("names it in turn"),
            std::string::npos);
  EXPECT_NE(Refusal(Write("d.xml", ModelOf("https://example.org/decay.xml")))
                .find("no file of this computer"),
            std::string::npos);
  Write("parts/bad.xml", "<sbml");
  EXPECT_NE(Refusal(Write("e.xml", ModelOf("parts/bad.xml"))).find("no valid SBML"),
            std::string::npos);
  // Text of no file names no folder to read from.
  Model model;
  const SbmlImportResult text = ImportSbmlText(ModelOf("parts/decay.xml"), catalogue_, model);
  ASSERT_FALSE(text.imported);
  EXPECT_NE(text.problems.front().find("in a model read from text"), std::string::npos);
}

}  // namespace
}  // namespace vireon

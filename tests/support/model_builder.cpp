#include "support/model_builder.h"

#include <gtest/gtest.h>

#include "model/message_sink.h"
#include "model/reaction_editor.h"
#include "model/working_copy.h"

namespace vireon::test {

Model BuildModel(const std::vector<std::pair<std::string, std::string>>& nameAndEquation,
                 const std::vector<std::string>& fixedNames) {
  Model model;
  RecordingSink sink;
  ReactionEditor editor(model, sink);
  for (const auto& [name, equation] : nameAndEquation) {
    if (!editor.AddOrChange(name, equation)) {
      ADD_FAILURE() << "BuildModel: step \"" << name << "\" with equation \"" << equation
                    << "\" refused";
    }
  }
  if (!editor.Commit(nullptr)) ADD_FAILURE() << "BuildModel: the equations were not accepted";
  ApplyWorkingCopy(model, editor.working(), nullptr);
  for (const std::string& name : fixedNames) {
    int index = model.FindMetabolite(name);
    if (index < 0) {
      ADD_FAILURE() << "BuildModel: no metabolite \"" << name << "\" to fix";
      continue;
    }
    model.metabolites[static_cast<std::size_t>(index)].type = FIXED;
  }
  return model;
}

}  // namespace vireon::test

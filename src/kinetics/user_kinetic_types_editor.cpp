#include "kinetics/user_kinetic_types_editor.h"

#include "kinetics/kinetic_binding.h"

namespace vireon {

UserKineticTypesEditor::UserKineticTypesEditor(KineticCatalogue& catalogue, Model& model,
                                               double defaultConstant, ModelCheck check)
    : catalogue_(catalogue),
      model_(model),
      defaultConstant_(defaultConstant),
      check_(std::move(check)) {
  RefreshNames();
}

template <class Change>
std::string UserKineticTypesEditor::Refusal(Change change, MessageSink& sink) const {
  if (!check_) return {};
  Model edited = model_;
  change(edited);
  std::string problem = check_(model_, edited);
  if (!problem.empty()) sink.Warning("", problem);
  return problem;
}

// A dialog left open puts the edited type back as Cancel would.
UserKineticTypesEditor::~UserKineticTypesEditor() {
  Cancel();
}

void UserKineticTypesEditor::RefreshNames() {
  names_.clear();
  for (const KineticType* type : catalogue_.UserDefinedTypes()) names_.push_back(type->name);
}

KineticTypeEditor& UserKineticTypesEditor::BeginAdd() {
  Cancel();
  dialog_ = std::make_unique<KineticTypeEditor>(catalogue_);
  return *dialog_;
}

KineticTypeEditor* UserKineticTypesEditor::BeginEdit(std::string_view name, MessageSink& sink) {
  Cancel();
  const KineticType* type = catalogue_.Find(name);
  if (type == nullptr || type->userDefined == 0) return nullptr;
  edited_ = catalogue_.Remove(name, &editedPosition_);
  dialog_ = std::make_unique<KineticTypeEditor>(catalogue_, std::move(edited_->function),
                                                edited_->substrates, edited_->products,
                                                edited_->reversible != 0, sink);
  return dialog_.get();
}

bool UserKineticTypesEditor::Finish(MessageSink& sink) {
  if (!dialog_) return false;
  const int position = edited_ ? editedPosition_ : -1;
  const KineticType* type = dialog_->Ok(catalogue_, sink, position);
  if (type == nullptr) return false;
  if (edited_) {
    const std::string name = type->name;
    const std::string problem = Refusal(
        [&](Model& edited) {
          RebindKineticType(edited, catalogue_, name, defaultConstant_);
          BindMissingKineticTypes(edited, catalogue_, defaultConstant_);
        },
        sink);
    if (!problem.empty()) {
      dialog_->Reopen(catalogue_.Remove(name));
      return false;
    }
  }
  dialog_.reset();
  if (edited_) {
    edited_.reset();
    RebindKineticType(model_, catalogue_, type->name, defaultConstant_);
    // Steps that used the old name, if it changed, have lost their type.
    BindMissingKineticTypes(model_, catalogue_, defaultConstant_);
  }
  RefreshNames();
  return true;
}

void UserKineticTypesEditor::Cancel() {
  if (edited_) {
    if (dialog_) edited_->function = dialog_->TakeOriginalFunction();
    catalogue_.Insert(std::move(edited_), editedPosition_);
  }
  edited_.reset();
  dialog_.reset();
}

std::vector<std::string> UserKineticTypesEditor::StepsUsing(std::string_view name) const {
  std::vector<std::string> steps;
  for (const Step& step : model_.steps) {
    if (step.kineticTypeName == name) steps.push_back(step.name);
  }
  return steps;
}

bool UserKineticTypesEditor::Delete(std::string_view name, MessageSink& sink) {
  const KineticType* type = catalogue_.Find(name);
  if (type == nullptr || type->userDefined == 0) return false;
  // The check sees the model as the delete would leave it, before the user
  // is asked anything.
  int position = -1;
  std::unique_ptr<KineticType> taken = catalogue_.Remove(name, &position);
  const std::string problem = Refusal(
      [&](Model& edited) { BindMissingKineticTypes(edited, catalogue_, defaultConstant_); }, sink);
  const std::vector<std::string> steps = StepsUsing(name);
  bool keep = !problem.empty();
  if (!keep && !steps.empty()) {
    std::string list;
    for (const std::string& step : steps) list += (list.empty() ? "" : ", ") + step;
    std::string question = kDeleteUsedTypeFormat;
    question.replace(question.find("%s"), 2, name);
    question.replace(question.find("%s"), 2, list);
    keep = sink.AskYesNo(question) != Answer::kYes;
  }
  if (keep) {
    catalogue_.Insert(std::move(taken), position);
    return false;
  }
  BindMissingKineticTypes(model_, catalogue_, defaultConstant_);
  RefreshNames();
  return true;
}

void UserKineticTypesEditor::Close() {
  Cancel();
  BindMissingKineticTypes(model_, catalogue_, defaultConstant_);
}

}  // namespace vireon

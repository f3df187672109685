#pragma once
// The rules of the "User-defined Kinetic Types" dialog, without the drawing:
// the list of user-defined types with Add, Edit and Delete. Add and Edit open
// the kinetic type dialog, whose editor this object holds until the dialog
// ends with Finish (OK) or Cancel. Steps of the model whose type disappears
// become constant fluxes. An edit or a delete that the model's check
// refuses (a rule that sets a constant the steps would lose) changes
// nothing, and the message says why.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "kinetics/kinetic_catalogue.h"
#include "kinetics/kinetic_type_editor.h"
#include "model/message_sink.h"
#include "model/model.h"
#include "model/working_copy.h"

namespace vireon {

// The question before a type that steps use is deleted: the type's name,
// then the steps' names joined by ", ".
inline constexpr const char* kDeleteUsedTypeFormat =
    "The kinetic type '%s' is used by the steps %s.\nIf you delete it, they become constant "
    "fluxes. Delete it?";

class UserKineticTypesEditor {
 public:
  UserKineticTypesEditor(KineticCatalogue& catalogue, Model& model, double defaultConstant,
                         ModelCheck check = {});
  ~UserKineticTypesEditor();

  // The names of the user-defined types, in catalogue order.
  const std::vector<std::string>& names() const { return names_; }

  // "&Add": the editor of the kinetic type dialog for a new type.
  KineticTypeEditor& BeginAdd();
  // "&Edit" on a name: the type leaves the catalogue and the dialog opens on
  // its rate law. Null (nothing happens) for a name that is not a
  // user-defined type of the catalogue.
  KineticTypeEditor* BeginEdit(std::string_view name, MessageSink& sink);
  // The dialog that is open, if any.
  KineticTypeEditor* dialog() { return dialog_.get(); }

  // OK of the open dialog: the new type is entered (an edited type takes its
  // old place, its old version is deleted, and the steps that used it are
  // bound to the new one with default constants); its name joins or
  // replaces the old one in the list. False while the dialog must stay open,
  // as it does when the check refuses the edited model.
  bool Finish(MessageSink& sink);
  // Cancel of the open dialog: an edited type gets its rate law back and
  // returns to the catalogue at its old place.
  void Cancel();

  // The steps of the model whose kinetic type has this name, in order.
  std::vector<std::string> StepsUsing(std::string_view name) const;

  // "&Delete" on a name: when steps of the model use the type, the user is
  // first asked, with their names, whether they may become constant fluxes
  // (No deletes nothing). Then the type leaves the catalogue and the list
  // and is deleted, and those steps become constant fluxes. False when
  // nothing was deleted (the name is not a user-defined type of the
  // catalogue, the user said No, or the check refused it).
  bool Delete(std::string_view name, MessageSink& sink);

  // "&Close": binds every step of the model to a type that exists.
  void Close();

 private:
  void RefreshNames();
  // The check's message for the model as `change` would leave it, said as a
  // warning; empty when there is no check or it passes.
  template <class Change>
  std::string Refusal(Change change, MessageSink& sink) const;

  KineticCatalogue& catalogue_;
  Model& model_;
  double defaultConstant_;
  ModelCheck check_;
  std::vector<std::string> names_;
  std::unique_ptr<KineticTypeEditor> dialog_;
  // The type being edited, out of the catalogue, and its place there.
  std::unique_ptr<KineticType> edited_;
  int editedPosition_ = -1;
};

}  // namespace vireon

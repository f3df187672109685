#pragma once
// The "Reactions" dialog: a view over a ReactionEditor. It lists the steps,
// shows the name and equation fields, and forwards Add/Change, New, Delete,
// OK and Cancel to the editor; on OK the committed working copy replaces
// the document's model.

#include <QDialog>

#include "model/reaction_editor.h"

class QLineEdit;
class QListWidget;
class QPushButton;

namespace vireon {

struct Document;
class KineticCatalogue;

class ReactionsDialog : public QDialog {
  Q_OBJECT

 public:
  ReactionsDialog(Document& document, const KineticCatalogue& catalogue, double defaultConstant,
                  double defaultConcentration, MessageSink& sink, QWidget* parent = nullptr);

  ReactionEditor& editor() { return editor_; }
  QLineEdit* nameField() const { return name_; }
  QLineEdit* equationField() const { return equation_; }
  QListWidget* stepList() const { return steps_; }
  QPushButton* addButton() const { return add_; }

  // The buttons' actions, also for tests.
  void AddOrChange();
  void StartNew();
  void DeleteSelected();
  void accept() override;
  void reject() override;

 private:
  void Refresh();
  void OnStepSelected(int row);

  Document& document_;
  const KineticCatalogue& catalogue_;
  double defaultConstant_;
  ReactionEditor editor_;
  QListWidget* steps_ = nullptr;
  QLineEdit* name_ = nullptr;
  QLineEdit* equation_ = nullptr;
  QPushButton* add_ = nullptr;
  QPushButton* new_ = nullptr;
  QPushButton* delete_ = nullptr;
};

}  // namespace vireon

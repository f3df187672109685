#pragma once
// The "Kinetics" dialog: a view over a KineticsEditor. It lists the steps
// ("&Reaction:"), offers the kinetic types the selected step may use ("&Kinetic
// Type:"), shows the step's equation and its rate law written out in the
// step's names, and all its constants and modifiers in two panels that
// scroll.

#include <QDialog>
#include <vector>

#include "kinetics/kinetics_editor.h"

class QComboBox;
class QFormLayout;
class QLabel;
class QListWidget;

namespace vireon {

struct AppStartup;
struct Document;

class KineticsDialog : public QDialog {
  Q_OBJECT

 public:
  KineticsDialog(Document& document, AppStartup& app, MessageSink& sink,
                 QWidget* parent = nullptr);

  KineticsEditor& editor() { return editor_; }
  QListWidget* stepList() const { return steps_; }
  QComboBox* typeList() const { return type_; }
  QLabel* equationLabel() const { return equation_; }
  QLabel* formulaLabel() const { return formula_; }
  // The constants panel's form: one row per constant of the step.
  QFormLayout* constantsForm() const { return constants_; }
  void accept() override;

 private:
  void Refresh();
  void RefreshFormula();
  void OnStepSelected(int row);
  void OnTypeChosen(int index);

  Document& document_;
  MessageSink& sink_;
  KineticsEditor editor_;
  QListWidget* steps_ = nullptr;
  QComboBox* type_ = nullptr;
  QLabel* equation_ = nullptr;
  QLabel* formula_ = nullptr;
  QFormLayout* constants_ = nullptr;
  QFormLayout* modifiers_ = nullptr;
};

}  // namespace vireon

#pragma once
// The "Kinetics" dialog: a view over a KineticsEditor. It lists the steps
// ("&Reaction:"), offers the kinetic types the selected step may use ("&Kinetic
// Type:"), and shows its constants and modifiers six at a time ("&More" and
// "Mo&re" show the next six).

#include <QDialog>
#include <vector>

#include "kinetics/kinetics_editor.h"

class QComboBox;
class QFormLayout;
class QListWidget;
class QPushButton;

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
  void accept() override;

 private:
  void Refresh();
  void OnStepSelected(int row);
  void OnTypeChosen(int index);

  Document& document_;
  MessageSink& sink_;
  KineticsEditor editor_;
  QListWidget* steps_ = nullptr;
  QComboBox* type_ = nullptr;
  QFormLayout* constants_ = nullptr;
  QFormLayout* modifiers_ = nullptr;
  QPushButton* moreConstants_ = nullptr;
  QPushButton* moreModifiers_ = nullptr;
  bool refreshing_ = false;
};

}  // namespace vireon

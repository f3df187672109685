#pragma once
// The "Numerical Methods" dialog (the page's "Metho&ds"): a view over the
// document's numerical settings through NumericalMethodsForm, which checks
// every entry when OK is pressed.

#include <QDialog>
#include <map>

#include "document/numerical_methods_form.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace vireon {

class MessageSink;

class MethodsDialog : public QDialog {
  Q_OBJECT

 public:
  MethodsDialog(TaskSettings& settings, MessageSink& sink, QWidget* parent = nullptr);

  QLineEdit* field(NumericalMethodsField which) const { return fields_.at(which); }
  QComboBox* strategyList() const { return strategy_; }
  QComboBox* integratorList() const { return integrator_; }
  QCheckBox* scaledMcaBox() const { return scaledMca_; }
  QCheckBox* backIntegrationBox() const { return backIntegration_; }

  void accept() override;

 private:
  QLineEdit* AddField(NumericalMethodsField which, const std::string& text);

  TaskSettings& settings_;
  MessageSink& sink_;
  std::map<NumericalMethodsField, QLineEdit*> fields_;
  QComboBox* strategy_ = nullptr;
  QComboBox* integrator_ = nullptr;
  QCheckBox* scaledMca_ = nullptr;
  QCheckBox* backIntegration_ = nullptr;
};

}  // namespace vireon

#pragma once
// The "Units" dialog: the document's time, concentration and volume units
// (lists of the usual ones; any other may be typed) and the flux unit that
// follows from them, through UnitsForm.

#include <QDialog>

#include "document/units_form.h"

class QComboBox;
class QLineEdit;

namespace vireon {

class MessageSink;

class UnitsDialog : public QDialog {
  Q_OBJECT

 public:
  UnitsDialog(TaskSettings& settings, MessageSink& sink, QWidget* parent = nullptr);

  QComboBox* timeList() const { return time_; }
  QComboBox* concentrationList() const { return concentration_; }
  QComboBox* volumeList() const { return volume_; }
  QLineEdit* fluxField() const { return flux_; }

  void accept() override;

 private:
  UnitsForm ReadForm() const;

  TaskSettings& settings_;
  MessageSink& sink_;
  QComboBox* time_ = nullptr;
  QComboBox* concentration_ = nullptr;
  QComboBox* volume_ = nullptr;
  QLineEdit* flux_ = nullptr;
};

}  // namespace vireon

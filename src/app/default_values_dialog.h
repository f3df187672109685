#pragma once
// The "Default values" dialog (Options > "&Default values..."): a view over
// the user's DefaultValues. The entry fields go through DefaultValuesForm,
// which shows the derivation factor in percent and checks every entry when
// OK is pressed; the check boxes and lists set the working copy directly.
// OK hands the checked record back; the caller writes it to the settings.

#include <QDialog>
#include <map>

#include "settings/default_values_form.h"
#include "settings/settings.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;

namespace vireon {

class MessageSink;

class DefaultValuesDialog : public QDialog {
  Q_OBJECT

 public:
  DefaultValuesDialog(const DefaultValues& values, MessageSink& sink, QWidget* parent = nullptr);

  // The values after OK.
  const DefaultValues& values() const { return values_; }
  QLineEdit* field(DefaultValuesField which) const { return fields_.at(which); }

  void accept() override;

 private:
  QLineEdit* AddField(DefaultValuesField which, const std::string& text);
  DefaultValuesForm ReadForm() const;

  DefaultValues values_;
  MessageSink& sink_;
  std::map<DefaultValuesField, QLineEdit*> fields_;
  QSpinBox* columnWidth_ = nullptr;
  QComboBox* separator_ = nullptr;
};

}  // namespace vireon

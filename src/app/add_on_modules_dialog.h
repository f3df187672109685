#pragma once
// The "Add-On Modules" dialog (Options > "Add-on modules..."): the paths of
// the two helper programs, gnuplot and a text editor, each with a Browse
// button whose chooser lists executable files. It edits a copy; OK hands it
// back for the caller to store (and to show or hide the Plot page).

#include <QDialog>

#include "settings/settings.h"

class QLineEdit;

namespace vireon {

// Titles of the two file choosers.
inline constexpr const char* kGnuplotChooserTitle = "gnuplot Executable File";
inline constexpr const char* kTextEditorChooserTitle = "Text Editor Executable File";

class AddOnModulesDialog : public QDialog {
  Q_OBJECT

 public:
  explicit AddOnModulesDialog(const HelperPaths& helpers, QWidget* parent = nullptr);

  // The paths after OK.
  const HelperPaths& helpers() const { return helpers_; }
  QLineEdit* gnuplotField() const { return gnuplot_; }
  QLineEdit* textEditorField() const { return textEditor_; }

  void accept() override;

 private:
  void Browse(QLineEdit* field, const char* title);

  HelperPaths helpers_;
  QLineEdit* gnuplot_ = nullptr;
  QLineEdit* textEditor_ = nullptr;
};

}  // namespace vireon

#pragma once
// The window "Report": the document's report file, read-only, in a
// fixed-width font as it is written, so that the model's report can be read
// beside its results without a text editor. It is not modal; the main window
// keeps one and reads the file again after every run while it is open.

#include <QDialog>
#include <QString>

class QLabel;
class QPlainTextEdit;

namespace vireon {

struct Document;

class ReportDialog : public QDialog {
  Q_OBJECT

 public:
  explicit ReportDialog(const Document& document, QWidget* parent = nullptr);

  // Reads the report file again; when it cannot be shown, says why.
  void Reload();
  QString text() const;
  QString problem() const;

 private:
  const Document& document_;
  QLabel* problem_ = nullptr;
  QPlainTextEdit* text_ = nullptr;
};

}  // namespace vireon

#pragma once
// The dialog "Errors in this simulation": the error log of the run that just
// ended, read-only. It is not modal, so that the user can read the log beside
// the results; the main window keeps one and fills it again after the next
// run that leaves errors.

#include <QDialog>
#include <QString>

class QPlainTextEdit;

namespace vireon {

// The dialog's title.
inline constexpr const char* kErrorLogTitle = "Errors in this simulation";

class ErrorLogDialog : public QDialog {
  Q_OBJECT

 public:
  explicit ErrorLogDialog(QWidget* parent = nullptr);

  // Shows `log` (lines ended by "\r\n" or "\n") in place of the last one.
  void SetLog(const QString& log);
  QString text() const;

 private:
  QPlainTextEdit* text_ = nullptr;
};

}  // namespace vireon

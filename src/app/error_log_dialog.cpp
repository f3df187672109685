#include "app/error_log_dialog.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace vireon {
namespace {

// Room for a message that names a data file by its full path.
constexpr int kDialogWidth = 640;
constexpr int kDialogHeight = 320;

}  // namespace

ErrorLogDialog::ErrorLogDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(kErrorLogTitle);
  text_ = new QPlainTextEdit;
  text_->setToolTip("What went wrong in the run, with what each integrator error means.");
  text_->setReadOnly(true);
  text_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("The run ended with these errors:"));
  layout->addWidget(text_, 1);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  resize(kDialogWidth, kDialogHeight);
}

void ErrorLogDialog::SetLog(const QString& log) {
  QString lines = log;
  lines.replace("\r\n", "\n");
  text_->setPlainText(lines.trimmed());
}

QString ErrorLogDialog::text() const {
  return text_->toPlainText();
}

}  // namespace vireon

#include "app/report_dialog.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "document/document.h"
#include "document/run_end_actions.h"

namespace vireon {
namespace {

// Room for the report's widest tables.
constexpr int kDialogWidth = 820;
constexpr int kDialogHeight = 560;

}  // namespace

ReportDialog::ReportDialog(const Document& document, QWidget* parent)
    : QDialog(parent), document_(document) {
  problem_ = new QLabel;
  problem_->setWordWrap(true);
  problem_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  text_ = new QPlainTextEdit;
  text_->setToolTip("The report of the last run, as the report file holds it.");
  text_->setReadOnly(true);
  text_->setLineWrapMode(QPlainTextEdit::NoWrap);
  text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
  QPushButton* reload = buttons->addButton("Re&load", QDialogButtonBox::ActionRole);
  reload->setToolTip("Read the report file again");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(problem_);
  layout->addWidget(text_, 1);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(reload, &QPushButton::clicked, this, &ReportDialog::Reload);
  resize(kDialogWidth, kDialogHeight);
  Reload();
}

void ReportDialog::Reload() {
  const ShownReport shown = ReadReportToShow(document_);
  setWindowTitle(shown.path.empty() ? QString("Report")
                                    : "Report: " + QString::fromStdString(shown.path));
  QString lines = QString::fromUtf8(shown.text.data(), static_cast<qsizetype>(shown.text.size()));
  lines.replace("\r\n", "\n");
  text_->setPlainText(lines);
  text_->setVisible(shown.problem.empty());
  problem_->setText(QString::fromStdString(shown.problem));
  problem_->setVisible(!shown.problem.empty());
}

QString ReportDialog::text() const {
  return text_->toPlainText();
}

QString ReportDialog::problem() const {
  return problem_->text();
}

}  // namespace vireon

#include "app/model_page.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/app_startup.h"
#include "app/kinetics_dialog.h"
#include "app/metabolites_dialog.h"
#include "app/reactions_dialog.h"
#include "document/document.h"

namespace vireon {

QString UnitsLine(const Document& document) {
  const TaskSettings& s = document.settings;
  return QString::fromStdString(s.timeUnit + ", " + s.concentrationUnit + ", " +
                                s.concentrationUnit + "/" + s.timeUnit + ", " + s.volumeUnit);
}

ModelPage::ModelPage(Document& document, AppStartup& app, MessageSink& sink, QWidget* parent)
    : QWidget(parent), document_(document), app_(app), sink_(sink) {
  title_ = new QLineEdit;
  comments_ = new QPlainTextEdit;
  units_ = new QLabel;
  summary_ = new QLabel;
  reactions_ = new QPushButton("&Reactions");
  kinetics_ = new QPushButton("&Kinetics");
  metabolites_ = new QPushButton("&Metabolites");

  auto* buttons = new QGridLayout;
  buttons->addWidget(reactions_, 0, 0);
  buttons->addWidget(kinetics_, 0, 1);
  buttons->addWidget(metabolites_, 0, 2);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("Title:"));
  layout->addWidget(title_);
  layout->addWidget(new QLabel("Comments:"));
  layout->addWidget(comments_, 1);
  layout->addWidget(summary_);
  layout->addWidget(units_);
  layout->addLayout(buttons);

  connect(title_, &QLineEdit::editingFinished, this, [this] {
    const std::string title = title_->text().toStdString();
    if (title == document_.model.title) return;
    document_.model.title = title;
    MarkEdited();
  });
  connect(comments_, &QPlainTextEdit::textChanged, this, [this] {
    const std::string comments = comments_->toPlainText().toStdString();
    if (comments == document_.model.comments) return;
    document_.model.comments = comments;
    MarkEdited();
  });
  connect(reactions_, &QPushButton::clicked, this, &ModelPage::OpenReactions);
  connect(kinetics_, &QPushButton::clicked, this, &ModelPage::OpenKinetics);
  connect(metabolites_, &QPushButton::clicked, this, &ModelPage::OpenMetabolites);
  Refresh();
}

void ModelPage::Refresh() {
  title_->setText(QString::fromStdString(document_.model.title));
  const QString comments = QString::fromStdString(document_.model.comments);
  if (comments_->toPlainText() != comments) comments_->setPlainText(comments);
  units_->setText(UnitsLine(document_));
  summary_->setText(QString("%1 steps, %2 metabolites")
                        .arg(document_.model.nSteps())
                        .arg(document_.model.nMetabolites()));
}

void ModelPage::MarkEdited() {
  document_.modified = true;
  emit documentEdited();
}

void ModelPage::ModelDialogAccepted() {
  document_.modified = true;
  Refresh();
  emit modelChanged();
}

void ModelPage::OpenReactions() {
  ReactionsDialog dialog(document_, app_.catalogue, app_.defaults.kineticConstant,
                         app_.defaults.concentration, sink_, this);
  if (dialog.exec() == QDialog::Accepted) ModelDialogAccepted();
}

void ModelPage::OpenMetabolites() {
  MetabolitesDialog dialog(document_, sink_, this);
  if (dialog.exec() == QDialog::Accepted) ModelDialogAccepted();
}

void ModelPage::OpenKinetics() {
  KineticsDialog dialog(document_, app_, sink_, this);
  if (dialog.exec() == QDialog::Accepted) ModelDialogAccepted();
}

}  // namespace vireon

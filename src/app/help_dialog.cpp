#include "app/help_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <string>

#include "model/message_sink.h"
#include "settings/installed_files.h"

namespace vireon {

namespace {

// Where a hit keeps its section's index.
constexpr int kSectionRole = Qt::UserRole;

}  // namespace

HelpDialog::HelpDialog(ManualIndex index, QWidget* parent)
    : QDialog(parent), index_(std::move(index)) {
  setWindowTitle("Vireon Help");
  search_ = new QLineEdit;
  search_->setPlaceholderText("Words to look for, e.g. tolerance stiff");
  search_->setToolTip("The manual's sections that hold every one of these words are listed below.");
  search_->setClearButtonEnabled(true);
  auto* searchLabel = new QLabel("&Search for:");
  searchLabel->setBuddy(search_);
  hits_ = new QListWidget;
  hits_->setToolTip("The sections found, best first: choose one to read it.");
  view_ = new QTextBrowser;
  view_->setToolTip("The chosen section of the user manual.");
  view_->setOpenExternalLinks(true);

  auto* splitter = new QSplitter(Qt::Vertical);
  splitter->addWidget(hits_);
  splitter->addWidget(view_);
  splitter->setStretchFactor(0, 1);
  splitter->setStretchFactor(1, 3);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(searchLabel);
  layout->addWidget(search_);
  layout->addWidget(splitter, 1);
  layout->addWidget(buttons);

  connect(search_, &QLineEdit::textChanged, this, &HelpDialog::Search);
  connect(hits_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row >= 0) ShowSection(hits_->item(row)->data(kSectionRole).toInt());
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &HelpDialog::reject);
  resize(720, 620);
  // With nothing searched for yet, the list is the manual's table of contents.
  for (std::size_t s = 0; s < index_.sections().size(); ++s) {
    const ManualSection& section = index_.sections()[s];
    auto* item = new QListWidgetItem(QString(2 * (section.level - 1), ' ') +
                                     QString::fromStdString(section.title));
    item->setData(kSectionRole, static_cast<int>(s));
    hits_->addItem(item);
  }
}

void HelpDialog::Search(const QString& words) {
  if (words.trimmed().isEmpty()) return;
  hits_->clear();
  for (const ManualHit& hit : index_.Search(words.toStdString())) {
    const ManualSection& section = index_.sections()[static_cast<std::size_t>(hit.section)];
    QString text = QString::fromStdString(section.title);
    if (!hit.excerpt.empty()) text += " \u2014 " + QString::fromStdString(hit.excerpt);
    auto* item = new QListWidgetItem(text);
    item->setData(kSectionRole, hit.section);
    hits_->addItem(item);
  }
  if (hits_->count() > 0) {
    hits_->setCurrentRow(0);
  } else {
    view_->setPlainText("No section of the manual holds all of these words.");
  }
}

void HelpDialog::ShowSection(int section) {
  if (section < 0 || section >= static_cast<int>(index_.sections().size())) return;
  const std::string& text = index_.sections()[static_cast<std::size_t>(section)].text;
  if (index_.format() == ManualFormat::kHtml) {
    view_->setHtml(QString::fromStdString(text));
  } else {
    view_->setMarkdown(QString::fromStdString(text));
  }
  for (int row = 0; row < hits_->count(); ++row) {
    if (hits_->item(row)->data(kSectionRole).toInt() == section && hits_->currentRow() != row) {
      const QSignalBlocker block(hits_);
      hits_->setCurrentRow(row);
    }
  }
}

std::unique_ptr<HelpDialog> MakeHelpDialog(MessageSink& sink, QWidget* parent) {
  std::string why;
  std::optional<ManualIndex> index = ReadManual(ManualPath(), why);
  if (!index) {
    sink.Warning("", why);
    return nullptr;
  }
  return std::make_unique<HelpDialog>(std::move(*index), parent);
}

void AddHelpButton(QDialogButtonBox* buttons, const char* section, MessageSink& sink) {
  QPushButton* help = buttons->addButton(QDialogButtonBox::Help);
  // Enter in a field never opens the manual.
  help->setAutoDefault(false);
  help->setToolTip(QString("Opens the user manual at \u201c%1\u201d.").arg(section));
  const std::string title = section;
  QObject::connect(buttons, &QDialogButtonBox::helpRequested, buttons, [buttons, title, &sink] {
    std::unique_ptr<HelpDialog> dialog = MakeHelpDialog(sink, buttons->window());
    if (dialog == nullptr) return;
    dialog->ShowSection(dialog->index().FindSection(title));
    dialog->exec();
  });
}

}  // namespace vireon

#include "app/add_on_modules_dialog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/qt_message_sink.h"

namespace vireon {
namespace {

constexpr const char* kExecutableFilter = "Executable files (*)";
constexpr const char* kAllFilesFilter = "All Files (*)";
// Where the choosers start when the field is empty.
constexpr const char* kProgramsFolder = "/usr/bin";

}  // namespace

AddOnModulesDialog::AddOnModulesDialog(const HelperPaths& helpers, QWidget* parent)
    : QDialog(parent), helpers_(helpers) {
  setWindowTitle("Add-On Modules");
  gnuplot_ = new QLineEdit(ToQString(helpers_.gnuplot));
  textEditor_ = new QLineEdit(ToQString(helpers_.textEditor));
  gnuplot_->setMinimumWidth(320);
  auto* gnuplotLabel = new QLabel("&gnuplot path");
  gnuplotLabel->setBuddy(gnuplot_);
  auto* editorLabel = new QLabel("&Text editor path");
  editorLabel->setBuddy(textEditor_);
  auto* browseGnuplot = new QPushButton("Browse");
  auto* browseEditor = new QPushButton("Browse");

  auto* grid = new QGridLayout;
  grid->addWidget(gnuplotLabel, 0, 0, 1, 2);
  grid->addWidget(gnuplot_, 1, 0);
  grid->addWidget(browseGnuplot, 1, 1);
  grid->addWidget(editorLabel, 2, 0, 1, 2);
  grid->addWidget(textEditor_, 3, 0);
  grid->addWidget(browseEditor, 3, 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addStretch();
  layout->addWidget(buttons);
  connect(browseGnuplot, &QPushButton::clicked, this,
          [this] { Browse(gnuplot_, kGnuplotChooserTitle); });
  connect(browseEditor, &QPushButton::clicked, this,
          [this] { Browse(textEditor_, kTextEditorChooserTitle); });
  connect(buttons, &QDialogButtonBox::accepted, this, &AddOnModulesDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &AddOnModulesDialog::reject);
}

void AddOnModulesDialog::Browse(QLineEdit* field, const char* title) {
  const QString current = field->text();
  QFileDialog chooser(this, title, current.isEmpty() ? kProgramsFolder : QFileInfo(current).path());
  chooser.setFileMode(QFileDialog::ExistingFile);
  // Programs on this system carry no extension: the first filter lists the
  // files the user may run, the second every file. The executable test needs
  // Qt's own chooser.
  chooser.setOption(QFileDialog::DontUseNativeDialog);
  chooser.setNameFilters({kExecutableFilter, kAllFilesFilter});
  const QDir::Filters folders = QDir::AllDirs | QDir::NoDotAndDotDot;
  chooser.setFilter(folders | QDir::Files | QDir::Executable);
  connect(&chooser, &QFileDialog::filterSelected, &chooser, [&chooser, folders](const QString& f) {
    chooser.setFilter(folders | QDir::Files | (f == kExecutableFilter ? QDir::Executable
                                                                       : QDir::Filters()));
  });
  if (chooser.exec() == QDialog::Accepted && !chooser.selectedFiles().isEmpty()) {
    field->setText(chooser.selectedFiles().first());
  }
}

void AddOnModulesDialog::accept() {
  helpers_.gnuplot = gnuplot_->text().trimmed().toStdString();
  helpers_.textEditor = textEditor_->text().trimmed().toStdString();
  QDialog::accept();
}

}  // namespace vireon

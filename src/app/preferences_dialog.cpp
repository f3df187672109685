#include "app/preferences_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/qt_message_sink.h"

namespace vireon {

PreferencesDialog::PreferencesDialog(const Preferences& preferences, QWidget* parent)
    : QDialog(parent), preferences_(preferences) {
  setWindowTitle("Preferences");
  loadReport_ = new QCheckBox("Load report after stop of each run");
  loadReport_->setChecked(preferences_.loadReport != 0);
  sound_ = new QCheckBox("Enabled");
  sound_->setChecked(preferences_.soundEnabled != 0);
  soundFile_ = new QLineEdit(ToQString(preferences_.stopSound));
  soundFile_->setMinimumWidth(320);
  auto* browse = new QPushButton("Browse");

  auto* soundBox = new QGroupBox("Sound");
  auto* soundLayout = new QVBoxLayout(soundBox);
  soundLayout->addWidget(sound_);
  soundLayout->addWidget(new QLabel("Stop sound .wav file"));
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(soundFile_, 1);
  fileRow->addWidget(browse);
  soundLayout->addLayout(fileRow);

  // 0 shows as "one per core"; the run takes ScanThreads of the value.
  scanThreads_ = new QSpinBox;
  scanThreads_->setToolTip("How many scan points run at once, each on a thread of its own.");
  scanThreads_->setRange(0, kMaxScanThreads);
  scanThreads_->setSpecialValueText("one per core");
  scanThreads_->setValue(ScanThreads(preferences_.scanThreads, 0) == preferences_.scanThreads
                             ? preferences_.scanThreads
                             : 0);
  auto* threadsRow = new QHBoxLayout;
  threadsRow->addWidget(new QLabel("Scan threads"));
  threadsRow->addWidget(scanThreads_);
  threadsRow->addStretch();

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(loadReport_);
  layout->addWidget(soundBox);
  layout->addLayout(threadsRow);
  layout->addStretch();
  layout->addWidget(buttons);
  connect(browse, &QPushButton::clicked, this, &PreferencesDialog::BrowseSound);
  connect(buttons, &QDialogButtonBox::accepted, this, &PreferencesDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &PreferencesDialog::reject);
}

void PreferencesDialog::BrowseSound() {
  QFileDialog chooser(this, "Stop sound .wav file", QFileInfo(soundFile_->text()).path(),
                      kSoundFileFilter);
  chooser.setFileMode(QFileDialog::ExistingFile);
  chooser.setDefaultSuffix("wav");
  if (chooser.exec() == QDialog::Accepted && !chooser.selectedFiles().isEmpty()) {
    soundFile_->setText(chooser.selectedFiles().first());
  }
}

void PreferencesDialog::accept() {
  preferences_.loadReport = loadReport_->isChecked() ? 1 : 0;
  preferences_.soundEnabled = sound_->isChecked() ? 1 : 0;
  preferences_.stopSound = soundFile_->text().toStdString();
  preferences_.scanThreads = scanThreads_->value();
  QDialog::accept();
}

}  // namespace vireon

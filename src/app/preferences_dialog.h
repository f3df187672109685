#pragma once
// The "Preferences" dialog (Options > "&Preferences..."): what happens when
// a run stops - the report opened in the text editor, the stop sound and
// its .wav file - and the threads a scan is solved on. It edits a copy; OK hands it back for the caller to store.

#include <QDialog>

#include "settings/settings.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QSpinBox;

namespace vireon {

// The sound file chooser's filter.
inline constexpr const char* kSoundFileFilter = "Sounds (*.wav);;All Files (*)";

class PreferencesDialog : public QDialog {
  Q_OBJECT

 public:
  explicit PreferencesDialog(const Preferences& preferences, QWidget* parent = nullptr);

  // The preferences after OK.
  const Preferences& preferences() const { return preferences_; }
  QCheckBox* loadReportBox() const { return loadReport_; }
  QCheckBox* soundBox() const { return sound_; }
  QLineEdit* soundFileField() const { return soundFile_; }
  QSpinBox* scanThreadsField() const { return scanThreads_; }

  void accept() override;

 private:
  void BrowseSound();

  Preferences preferences_;
  QCheckBox* loadReport_ = nullptr;
  QCheckBox* sound_ = nullptr;
  QLineEdit* soundFile_ = nullptr;
  QSpinBox* scanThreads_ = nullptr;
};

}  // namespace vireon

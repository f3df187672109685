#pragma once
// Help > Search and the dialogs' Help buttons: the user manual's sections
// (ManualIndex) found by the words typed, the chosen one shown below the
// list. The rules of cutting and searching live in the index.

#include <QDialog>
#include <memory>

#include "document/manual_index.h"

class QDialogButtonBox;
class QLineEdit;
class QListWidget;
class QTextBrowser;

namespace vireon {

class MessageSink;

class HelpDialog : public QDialog {
  Q_OBJECT

 public:
  explicit HelpDialog(ManualIndex index, QWidget* parent = nullptr);

  // Lists the sections that hold every word of `words`, best first, and
  // shows the first.
  void Search(const QString& words);
  // Shows one section (an index into the manual's sections).
  void ShowSection(int section);

  QLineEdit* searchField() const { return search_; }
  QListWidget* hitList() const { return hits_; }
  QTextBrowser* sectionView() const { return view_; }
  const ManualIndex& index() const { return index_; }

 private:
  ManualIndex index_;
  QLineEdit* search_ = nullptr;
  QListWidget* hits_ = nullptr;
  QTextBrowser* view_ = nullptr;
};

// Reads the running program's manual; null, with the reason told to the
// sink, when it cannot be read.
std::unique_ptr<HelpDialog> MakeHelpDialog(MessageSink& sink, QWidget* parent);

// Adds a "Help" button to a dialog's button box that opens the manual at
// the section whose title begins with `section`.
void AddHelpButton(QDialogButtonBox* buttons, const char* section, MessageSink& sink);

}  // namespace vireon

#pragma once
// The shape of the dialogs that edit a list of things, each thing in a
// dialog of its own (the output functions, the user-defined kinetic types,
// the parameter links): the list on the left and a column of buttons on
// the right, with "&Close" (the default button) at its foot. Each dialog
// adds its own buttons and forwards them to its editor.

#include <QDialog>
#include <functional>

class QListWidget;
class QPushButton;
class QVBoxLayout;

namespace vireon {

class ListEditorDialog : public QDialog {
  Q_OBJECT

 public:
  ListEditorDialog(const QString& title, const QString& listTip, QWidget* parent = nullptr);

 protected:
  QListWidget* list() const { return list_; }
  // Adds a button to the column, below those added before and above Close.
  QPushButton* AddAction(const QString& text, const QString& tip, std::function<void()> action);

 private:
  QListWidget* list_ = nullptr;
  QVBoxLayout* column_ = nullptr;
  QPushButton* close_ = nullptr;
  QWidget* lastInTabOrder_ = nullptr;
  int actions_ = 0;
};

}  // namespace vireon

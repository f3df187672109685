#pragma once
// The "User-Defined Functions" dialog (the page's "Fu&nctions"): a view
// over an OutputFunctionListEditor on the document's functions. "&Add" and
// "&Edit" open the "New Function" dialog.

#include <QDialog>
#include <functional>

#include "app/list_editor_dialog.h"
#include "output/output_function_editor.h"

class QListWidget;
class QPushButton;

namespace vireon {

class FunctionDialog;

class FunctionsDialog : public ListEditorDialog {
  Q_OBJECT

 public:
  FunctionsDialog(std::vector<OutputFunction>& functions, const Model& model, MessageSink& sink,
                  QWidget* parent = nullptr);

  OutputFunctionListEditor& editor() { return editor_; }
  QListWidget* functionList() const { return list_; }

  // How the function dialog is shown: modal by default; tests and
  // screenshots put their own here (it returns whether the dialog ended
  // with OK).
  using ShowFunctionDialog = std::function<bool(FunctionDialog&)>;
  void SetShowFunctionDialog(ShowFunctionDialog show) { show_ = std::move(show); }

  void Add();
  void EditSelected();
  void DeleteSelected();

 private:
  void Refresh();

  OutputFunctionListEditor editor_;
  const Model& model_;
  MessageSink& sink_;
  ShowFunctionDialog show_;
  QListWidget* list_ = nullptr;
  QPushButton* edit_ = nullptr;
  QPushButton* delete_ = nullptr;
};

}  // namespace vireon

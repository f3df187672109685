#pragma once
// The "Parameter Links" dialog (the page's "&Links"): a view over a
// ParameterLinkListEditor on the document's links, in their order of
// application. "&Add" opens the "Parameter Link" dialog.

#include <QDialog>
#include <functional>

#include "app/list_editor_dialog.h"
#include "scan/parameter_link_editor.h"

class QListWidget;

namespace vireon {

class LinkDialog;
struct Document;

class LinksDialog : public ListEditorDialog {
  Q_OBJECT

 public:
  LinksDialog(Document& document, MessageSink& sink, QWidget* parent = nullptr);

  ParameterLinkListEditor& editor() { return editor_; }
  QListWidget* linkList() const { return list_; }

  // How the link dialog is shown: modal by default; tests and screenshots
  // put their own here (it returns whether the dialog ended with OK).
  using ShowLinkDialog = std::function<bool(LinkDialog&)>;
  void SetShowLinkDialog(ShowLinkDialog show) { show_ = std::move(show); }

  void Add();
  void DeleteSelected();
  void MoveUp();
  void MoveDown();

 private:
  void Refresh();

  Document& document_;
  ParameterLinkListEditor editor_;
  MessageSink& sink_;
  ShowLinkDialog show_;
  QListWidget* list_ = nullptr;
};

}  // namespace vireon

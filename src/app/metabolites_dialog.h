#pragma once
// The "Metabolites" dialog: a view over a MetaboliteEditor, one table row per
// metabolite with its name, initial concentration, "Fixed" box and
// compartment. OK hands the rows to the editor, which commits them.

#include <QDialog>

#include "model/metabolite_editor.h"

class QTableWidget;

namespace vireon {

struct Document;

class MetabolitesDialog : public QDialog {
  Q_OBJECT

 public:
  MetabolitesDialog(Document& document, MessageSink& sink, QWidget* parent = nullptr);

  MetaboliteEditor& editor() { return editor_; }
  QTableWidget* table() const { return table_; }

  // The name field of a row was left: a name against the rule is warned
  // about and the focus returns to it. False for such a name.
  bool CheckNameCell(int row);
  void accept() override;

 private:
  // Copies the table into the editor's rows.
  void ReadRows();

  Document& document_;
  MetaboliteEditor editor_;
  QTableWidget* table_ = nullptr;
};

}  // namespace vireon

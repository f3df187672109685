#pragma once
// The "Model Definition" page: the model's title and comments, its units,
// and the thirteen buttons that open the model's dialogs. After a dialog has
// changed the model the page marks the document modified and has every item
// that names a model quantity checked against the new model.

#include <QWidget>
#include <functional>

class QDialog;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace vireon {

struct AppStartup;
struct Document;
class MessageSink;

class ModelPage : public QWidget {
  Q_OBJECT

 public:
  ModelPage(Document& document, AppStartup& app, MessageSink& sink, QWidget* parent = nullptr);

  // Shows the document's values again.
  void Refresh();

  QLineEdit* titleField() const { return title_; }
  QPlainTextEdit* commentsField() const { return comments_; }
  QLabel* unitsLine() const { return units_; }
  // The button with this text ("&Reactions", "Kinetic T&ypes", ...), or null.
  QPushButton* button(const QString& text) const;

  // How the page shows a dialog: modal by default. Tests and screenshots put
  // their own here; it returns whether the dialog ended with OK.
  using ShowDialog = std::function<bool(QDialog&)>;
  void SetShowDialog(ShowDialog show) { show_ = std::move(show); }

  // The buttons' actions.
  void OpenReactions();
  void OpenKinetics();
  void OpenKineticTypes();
  void OpenMetabolites();
  void OpenMoieties();
  void OpenCompartments();
  void OpenGlobalQuantities();
  void OpenRules();
  void OpenEvents();
  void OpenMethods();
  void OpenLinks();
  void OpenFunctions();
  void OpenUnits();

 signals:
  // The model was changed through one of the dialogs, named by `edit`
  // ("Reactions", "Units"); the change is committed (CommitModelChange).
  void modelChanged(const QString& edit);
  // The title or the comments were edited (the document is marked modified).
  void documentEdited();

 private:
  void MarkEdited();
  // After the dialog named `edit` changed the model, its settings or its lists.
  void DocumentChangedByDialog(const char* edit);

  Document& document_;
  AppStartup& app_;
  MessageSink& sink_;
  ShowDialog show_;
  QLineEdit* title_ = nullptr;
  QPlainTextEdit* comments_ = nullptr;
  QLabel* units_ = nullptr;
  QLabel* summary_ = nullptr;
  QList<QPushButton*> buttons_;
};

// The units line: "%s, %s, %s/%s, %s" with the time, concentration,
// concentration, time and volume units.
QString UnitsLine(const Document& document);

}  // namespace vireon

#pragma once
// The "Model Definition" page: the model's title and comments, its units,
// and the buttons that open the model's dialogs.

#include <QWidget>

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
  QPushButton* reactionsButton() const { return reactions_; }

 signals:
  // The model was changed through one of the dialogs (the document is
  // marked modified).
  void modelChanged();
  // The title or the comments were edited (the document is marked modified).
  void documentEdited();

 private:
  void MarkEdited();
  void ModelDialogAccepted();
  void OpenReactions();
  void OpenMetabolites();
  void OpenKinetics();

  Document& document_;
  AppStartup& app_;
  MessageSink& sink_;
  QLineEdit* title_ = nullptr;
  QPlainTextEdit* comments_ = nullptr;
  QLabel* units_ = nullptr;
  QLabel* summary_ = nullptr;
  QPushButton* reactions_ = nullptr;
  QPushButton* kinetics_ = nullptr;
  QPushButton* metabolites_ = nullptr;
};

// The units line: "%s, %s, %s/%s, %s" with the time, concentration,
// concentration, time and volume units.
QString UnitsLine(const Document& document);

}  // namespace vireon

#include "app/qt_message_sink.h"

#include <QMessageBox>

namespace vireon {
namespace {

QString TitleOr(std::string_view title) {
  return title.empty() ? QString(kAppMessageTitle) : ToQString(title);
}

}  // namespace

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void QtMessageSink::Information(std::string_view text) {
  QMessageBox::information(parent_, kAppMessageTitle, ToQString(text));
}

void QtMessageSink::Warning(std::string_view title, std::string_view text) {
  QMessageBox::warning(parent_, TitleOr(title), ToQString(text));
}

void QtMessageSink::Error(std::string_view title, std::string_view text) {
  QMessageBox::critical(parent_, TitleOr(title), ToQString(text));
}

Answer QtMessageSink::AskYesNo(std::string_view text) {
  const auto button = QMessageBox::question(parent_, kAppMessageTitle, ToQString(text),
                                            QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
  return button == QMessageBox::Yes ? Answer::kYes : Answer::kNo;
}

Answer QtMessageSink::AskAbortRetryIgnore(std::string_view text) {
  QMessageBox box(QMessageBox::Warning, kAppMessageTitle, ToQString(text),
                  QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore, parent_);
  box.setDefaultButton(QMessageBox::Retry);
  switch (box.exec()) {
    case QMessageBox::Retry:
      return Answer::kRetry;
    case QMessageBox::Ignore:
      return Answer::kIgnore;
    default:
      return Answer::kAbort;
  }
}

Answer QtMessageSink::AskSaveChanges(std::string_view text) {
  QMessageBox box(QMessageBox::Warning, kAppMessageTitle, ToQString(text),
                  QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent_);
  box.setDefaultButton(QMessageBox::Save);
  box.setEscapeButton(QMessageBox::Cancel);
  switch (box.exec()) {
    case QMessageBox::Save:
      return Answer::kYes;
    case QMessageBox::Discard:
      return Answer::kNo;
    default:
      return Answer::kCancel;
  }
}

}  // namespace vireon

#pragma once
// Shows the core's messages in message boxes over a parent window.

#include <QPointer>
#include <QWidget>

#include "model/message_sink.h"

namespace vireon {

// The title of boxes whose message comes without one.
inline constexpr const char* kAppMessageTitle = "Vireon";

class QtMessageSink : public MessageSink {
 public:
  explicit QtMessageSink(QWidget* parent = nullptr) : parent_(parent) {}

  void SetParent(QWidget* parent) { parent_ = parent; }

  void Information(std::string_view text) override;
  void Warning(std::string_view title, std::string_view text) override;
  void Error(std::string_view title, std::string_view text) override;
  Answer AskYesNo(std::string_view text) override;
  Answer AskAbortRetryIgnore(std::string_view text) override;
  // Save, Discard and Cancel buttons; Save is the default, Escape cancels.
  Answer AskSaveChanges(std::string_view text) override;

 private:
  QPointer<QWidget> parent_;
};

// A std::string_view as a QString (the core's texts are UTF-8).
QString ToQString(std::string_view text);

}  // namespace vireon

#pragma once
// A message sink that keeps what was said, for the exception that follows:
// warnings and errors as text, questions answered No (nobody can be asked).

#include <string>
#include <string_view>

#include "model/message_sink.h"

namespace vireon::python {

class CollectingSink : public MessageSink {
 public:
  void Information(std::string_view text) override { Add(text); }
  void Warning(std::string_view, std::string_view text) override { Add(text); }
  void Error(std::string_view, std::string_view text) override { Add(text); }
  Answer AskYesNo(std::string_view text) override {
    Add(text);
    return Answer::kNo;
  }
  Answer AskAbortRetryIgnore(std::string_view text) override {
    Add(text);
    return Answer::kAbort;
  }

  // Everything said, one message a line.
  const std::string& text() const { return text_; }

 private:
  void Add(std::string_view text) {
    if (!text_.empty()) text_ += '\n';
    text_ += text;
  }

  std::string text_;
};

}  // namespace vireon::python

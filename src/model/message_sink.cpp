#include "model/message_sink.h"

#include <cstdio>

namespace vireon {

Answer MessageSink::AskSaveChanges(std::string_view) {
  return Answer::kCancel;
}

void RecordingSink::Information(std::string_view text) {
  messages_.push_back({Kind::kInformation, "", std::string(text)});
}

void RecordingSink::Warning(std::string_view title, std::string_view text) {
  messages_.push_back({Kind::kWarning, std::string(title), std::string(text)});
}

void RecordingSink::Error(std::string_view title, std::string_view text) {
  messages_.push_back({Kind::kError, std::string(title), std::string(text)});
}

Answer RecordingSink::AskYesNo(std::string_view text) {
  messages_.push_back({Kind::kYesNo, "", std::string(text)});
  return NextAnswer(Answer::kNo);
}

Answer RecordingSink::AskAbortRetryIgnore(std::string_view text) {
  messages_.push_back({Kind::kAbortRetryIgnore, "", std::string(text)});
  return NextAnswer(Answer::kAbort);
}

Answer RecordingSink::AskSaveChanges(std::string_view text) {
  messages_.push_back({Kind::kSaveChanges, "", std::string(text)});
  return NextAnswer(Answer::kCancel);
}

Answer RecordingSink::NextAnswer(Answer fallback) {
  if (answers_.empty()) return fallback;
  Answer answer = answers_.front();
  answers_.erase(answers_.begin());
  return answer;
}

std::vector<std::string> RecordingSink::Texts() const {
  std::vector<std::string> texts;
  for (const Message& m : messages_) texts.push_back(m.text);
  return texts;
}

bool RecordingSink::Said(std::string_view text) const {
  for (const Message& m : messages_) {
    if (m.text == text) return true;
  }
  return false;
}

namespace {

void Print(std::string_view label, std::string_view title, std::string_view text) {
  if (title.empty()) {
    std::fprintf(stderr, "vireon: %.*s: %.*s\n", static_cast<int>(label.size()), label.data(),
                 static_cast<int>(text.size()), text.data());
  } else {
    std::fprintf(stderr, "vireon: %.*s (%.*s): %.*s\n", static_cast<int>(label.size()),
                 label.data(), static_cast<int>(title.size()), title.data(),
                 static_cast<int>(text.size()), text.data());
  }
}

}  // namespace

void StderrSink::Information(std::string_view text) { Print("note", "", text); }
void StderrSink::Warning(std::string_view title, std::string_view text) {
  Print("warning", title, text);
}
void StderrSink::Error(std::string_view title, std::string_view text) {
  Print("error", title, text);
}
Answer StderrSink::AskYesNo(std::string_view text) {
  Print("question", "", text);
  return yesNo_;
}
Answer StderrSink::AskAbortRetryIgnore(std::string_view text) {
  Print("question", "", text);
  return abortRetryIgnore_;
}

}  // namespace vireon

#pragma once
// Core code never shows anything itself: it says what the user must see
// through a MessageSink that its caller hands in. The command line prints
// to stderr, the GUI shows message boxes, tests record what was said.

#include <string>
#include <string_view>
#include <vector>

namespace vireon {

enum class Answer { kYes, kNo, kAbort, kRetry, kIgnore, kCancel };

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual void Information(std::string_view text) = 0;
  virtual void Warning(std::string_view title, std::string_view text) = 0;
  virtual void Error(std::string_view title, std::string_view text) = 0;
  // Returns kYes or kNo.
  virtual Answer AskYesNo(std::string_view text) = 0;
  // Returns kAbort, kRetry or kIgnore.
  virtual Answer AskAbortRetryIgnore(std::string_view text) = 0;
  // The question before unsaved changes would go: kYes to save them, kNo to
  // discard them, kCancel to keep the document as it is. A sink that cannot
  // ask anybody keeps the document.
  virtual Answer AskSaveChanges(std::string_view text);
};

// Records every message, and answers questions from a queue of scripted
// answers (No, Abort or Cancel when the queue is empty).
class RecordingSink : public MessageSink {
 public:
  enum class Kind { kInformation, kWarning, kError, kYesNo, kAbortRetryIgnore, kSaveChanges };
  struct Message {
    Kind kind;
    std::string title;
    std::string text;
  };

  void Information(std::string_view text) override;
  void Warning(std::string_view title, std::string_view text) override;
  void Error(std::string_view title, std::string_view text) override;
  Answer AskYesNo(std::string_view text) override;
  Answer AskAbortRetryIgnore(std::string_view text) override;
  Answer AskSaveChanges(std::string_view text) override;

  void QueueAnswer(Answer answer) { answers_.push_back(answer); }
  const std::vector<Message>& messages() const { return messages_; }
  // All texts said so far, in order.
  std::vector<std::string> Texts() const;
  bool Said(std::string_view text) const;
  void Clear() { messages_.clear(); }

 private:
  Answer NextAnswer(Answer fallback);

  std::vector<Message> messages_;
  std::vector<Answer> answers_;
};

// Prints every message to stderr; questions take the answer given at
// construction (a batch run cannot ask anybody).
class StderrSink : public MessageSink {
 public:
  explicit StderrSink(Answer yesNo = Answer::kNo, Answer abortRetryIgnore = Answer::kAbort)
      : yesNo_(yesNo), abortRetryIgnore_(abortRetryIgnore) {}

  void Information(std::string_view text) override;
  void Warning(std::string_view title, std::string_view text) override;
  void Error(std::string_view title, std::string_view text) override;
  Answer AskYesNo(std::string_view text) override;
  Answer AskAbortRetryIgnore(std::string_view text) override;

 private:
  Answer yesNo_;
  Answer abortRetryIgnore_;
};

}  // namespace vireon

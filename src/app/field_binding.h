#pragma once
// The one sequence every entry field of the pages follows: when the user
// leaves a field whose text they changed, the editor takes the text, the
// field shows what the editor then holds (the value as stored, or the old
// one after a refusal), and the page goes on (marks the document changed).
// A refused text may keep the focus in the field, its text selected, so
// that the user can correct it at once.

#include <QString>
#include <functional>

class QLineEdit;

namespace vireon {

enum class OnRefusal {
  kLeave,     // the focus goes where the user sent it
  kRefocus,   // the focus comes back, the text selected
};

struct FieldBinding {
  // Gives the editor the typed text; false when it refuses it.
  std::function<bool(const QString& text)> set;
  // The text the field shows afterwards.
  std::function<QString()> show;
  // Runs after every change the user made, taken or refused.
  std::function<void()> after;
  OnRefusal onRefusal = OnRefusal::kLeave;
};

// Connects the field's editingFinished to the sequence. Text the user did
// not change (the field not modified) is never given to the editor.
void BindField(QLineEdit* field, FieldBinding binding);

}  // namespace vireon

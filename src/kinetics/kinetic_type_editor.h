#pragma once
// The rules of the "New Kinetic Type" dialog, without the drawing. The user
// names a type, types its rate law, accepts it (which parses it and lists its
// symbols), gives every symbol a role and the numbers of substrates and
// products, and ends with OK, which enters the new type in the catalogue.
// The same dialog opens on an existing type, whose rate law starts accepted.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "kinetics/kinetic_catalogue.h"
#include "kinetics/kinetic_function.h"
#include "model/message_sink.h"

namespace vireon {

// The message that refuses a count of substrates or products that is not a
// whole number from 0.
inline constexpr const char* kCountNotANumber =
    "The numbers of substrates and products must be whole numbers, 0 or more.";

class KineticTypeEditor {
 public:
  struct Symbol {
    std::string name;
    SymbolRole role;
  };

  // A new type: the rate law is editable, no symbols, OK disabled.
  explicit KineticTypeEditor(const KineticCatalogue& catalogue);
  // An existing type whose rate law was taken from it: the rate law starts
  // accepted and read only, the symbols show their bound roles, OK reads
  // "Close" and Cancel is disabled. A symbol whose role cannot be found is
  // reported as a processing error.
  KineticTypeEditor(const KineticCatalogue& catalogue, std::unique_ptr<KineticFunction> function,
                    int substrates, int products, bool reversible, MessageSink& sink);

  const std::string& name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }
  const std::string& expression() const { return expression_; }
  // Ignored while the rate law is accepted (the text is read only then).
  void SetExpression(std::string text);
  bool reversible() const { return reversible_; }
  void SetReversible(bool reversible) { reversible_ = reversible; }

  int substrates() const { return substrates_; }
  int products() const { return products_; }
  // Whole numbers from 0 on; a negative number is refused (false).
  bool SetSubstrates(int count);
  bool SetProducts(int count);
  // The checks made when a count field loses the focus: a number below the
  // count of symbols with that role is refused with its message (false).
  bool LeaveSubstrates(MessageSink& sink) const;
  bool LeaveProducts(MessageSink& sink) const;
  // The same for the text of the field: a whole number from 0 (blanks
  // around it allowed) is taken and then checked; any other text is refused
  // with kCountNotANumber and the count stays as it was.
  bool LeaveSubstrates(std::string_view text, MessageSink& sink);
  bool LeaveProducts(std::string_view text, MessageSink& sink);

  const std::vector<Symbol>& symbols() const { return symbols_; }
  // Gives a symbol a role; the numbers of substrates and products are
  // raised to the counts of symbols with those roles.
  void SetRole(int symbol, SymbolRole role);

  bool functionAccepted() const { return function_ != nullptr; }
  bool expressionEditable() const { return !functionAccepted(); }
  bool rolesEnabled() const { return functionAccepted(); }
  bool okEnabled() const { return functionAccepted(); }
  bool cancelEnabled() const { return !editingExisting_; }
  bool editingExisting() const { return editingExisting_; }
  // "&Accept Function", "&Edit function" once accepted, "&Accept function"
  // while the rate law is edited again.
  std::string functionButtonText() const;
  // "A&dd" for a new type, "Close" for an existing one.
  std::string okButtonText() const;

  // The function button: accepts or edits the rate law.
  bool PressFunctionButton(MessageSink& sink);
  // Checks the name, removes the line breaks from the text, parses it and
  // lists its distinct symbols, each a constant. False, with the message,
  // for a missing or taken name or a syntax error.
  bool AcceptFunction(MessageSink& sink);
  // Drops the accepted rate law: no symbols, both numbers 0, OK disabled,
  // the text editable again.
  void EditFunction();

  // OK: binds every listed symbol with its role in list order, builds the
  // user-defined type and enters it in the catalogue (at `position`, or at
  // the end). Null, with a message where there is one, when the rate law is
  // not accepted or its name has meanwhile been taken.
  const KineticType* Ok(KineticCatalogue& catalogue, MessageSink& sink, int position = -1);

  // Cancel on an existing type: hands its original rate law back (null once
  // OK has used it, or for a new type).
  std::unique_ptr<KineticFunction> TakeOriginalFunction();

  // Takes back the type that OK built and that its caller then refused (it
  // is out of the catalogue again): the dialog shows its rate law and roles
  // as they were before OK, so that the user can change them.
  void Reopen(std::unique_ptr<KineticType> type);

 private:
  int CountRole(SymbolRole role) const;
  void ListSymbols(MessageSink* sink);

  const KineticCatalogue& catalogue_;
  std::string name_;
  std::string expression_;
  bool reversible_ = false;
  int substrates_ = 0;
  int products_ = 0;
  std::vector<Symbol> symbols_;
  bool editingExisting_ = false;
  bool editedAgain_ = false;
  // The accepted rate law; for an existing type at first the original one.
  std::unique_ptr<KineticFunction> function_;
  // An existing type's own rate law while a new one is being accepted, kept
  // so that Cancel can give it back.
  std::unique_ptr<KineticFunction> original_;
  bool functionIsOriginal_ = false;
};

// The typed text with its line breaks removed: a carriage return and the
// character after it, and any other line feed.
std::string RemoveLineBreaks(std::string_view text);

}  // namespace vireon

#include "kinetics/kinetic_type_editor.h"

#include <algorithm>
#include <optional>

#include "kinetics/expression_fault.h"
#include "model/messages.h"
#include "model/number_text.h"

namespace vireon {

std::string RemoveLineBreaks(std::string_view text) {
  std::string joined;
  joined.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      ++i;  // the line feed that follows it
      continue;
    }
    if (text[i] == '\n') continue;
    joined += text[i];
  }
  return joined;
}

KineticTypeEditor::KineticTypeEditor(const KineticCatalogue& catalogue) : catalogue_(catalogue) {}

KineticTypeEditor::KineticTypeEditor(const KineticCatalogue& catalogue,
                                     std::unique_ptr<KineticFunction> function, int substrates,
                                     int products, bool reversible, MessageSink& sink)
    : catalogue_(catalogue),
      reversible_(reversible),
      substrates_(std::max(substrates, 0)),
      products_(std::max(products, 0)),
      editingExisting_(true),
      function_(std::move(function)),
      functionIsOriginal_(true) {
  if (!function_) {
    functionIsOriginal_ = false;
    return;
  }
  name_ = function_->name();
  expression_ = function_->description();
  ListSymbols(&sink);
}

std::unique_ptr<KineticFunction> KineticTypeEditor::TakeOriginalFunction() {
  if (functionIsOriginal_) {
    functionIsOriginal_ = false;
    return std::move(function_);
  }
  return std::move(original_);
}

void KineticTypeEditor::SetExpression(std::string text) {
  if (expressionEditable()) expression_ = std::move(text);
}

bool KineticTypeEditor::SetSubstrates(int count) {
  if (count < 0) return false;
  substrates_ = count;
  return true;
}

bool KineticTypeEditor::SetProducts(int count) {
  if (count < 0) return false;
  products_ = count;
  return true;
}

int KineticTypeEditor::CountRole(SymbolRole role) const {
  return static_cast<int>(std::count_if(symbols_.begin(), symbols_.end(),
                                        [role](const Symbol& s) { return s.role == role; }));
}

bool KineticTypeEditor::LeaveSubstrates(MessageSink& sink) const {
  if (substrates_ >= CountRole(SymbolRole::kSubstrate)) return true;
  sink.Information(messages::kSubstrateCountTooLow);
  return false;
}

bool KineticTypeEditor::LeaveProducts(MessageSink& sink) const {
  if (products_ >= CountRole(SymbolRole::kProduct)) return true;
  sink.Information(messages::kProductCountTooLow);
  return false;
}

namespace {

// A whole number from 0, blanks around it allowed.
std::optional<int> CountFromText(std::string_view text) {
  const std::optional<int> count = ParseInteger(text);
  if (!count || *count < 0) return std::nullopt;
  return count;
}

}  // namespace

bool KineticTypeEditor::LeaveSubstrates(std::string_view text, MessageSink& sink) {
  const std::optional<int> count = CountFromText(text);
  if (!count) {
    sink.Information(kCountNotANumber);
    return false;
  }
  SetSubstrates(*count);
  return LeaveSubstrates(sink);
}

bool KineticTypeEditor::LeaveProducts(std::string_view text, MessageSink& sink) {
  const std::optional<int> count = CountFromText(text);
  if (!count) {
    sink.Information(kCountNotANumber);
    return false;
  }
  SetProducts(*count);
  return LeaveProducts(sink);
}

void KineticTypeEditor::SetRole(int symbol, SymbolRole role) {
  if (!rolesEnabled() || symbol < 0 || symbol >= static_cast<int>(symbols_.size())) return;
  const int code = static_cast<int>(role);
  if (code < 0 || code > static_cast<int>(SymbolRole::kConstant)) return;
  symbols_[static_cast<std::size_t>(symbol)].role = role;
  substrates_ = std::max(substrates_, CountRole(SymbolRole::kSubstrate));
  products_ = std::max(products_, CountRole(SymbolRole::kProduct));
}

std::string KineticTypeEditor::functionButtonText() const {
  if (functionAccepted()) return "&Edit function";
  return editedAgain_ ? "&Accept function" : "&Accept Function";
}

std::string KineticTypeEditor::okButtonText() const {
  return editingExisting_ ? "Close" : "A&dd";
}

bool KineticTypeEditor::PressFunctionButton(MessageSink& sink) {
  if (functionAccepted()) {
    EditFunction();
    return true;
  }
  return AcceptFunction(sink);
}

void KineticTypeEditor::ListSymbols(MessageSink* sink) {
  symbols_.clear();
  bool warned = false;
  for (std::string& symbol : function_->SymbolNames()) {
    SymbolRole role = SymbolRole::kConstant;
    if (editingExisting_ && functionIsOriginal_) {
      const int code = function_->RoleOfSymbol(symbol);
      if (code >= 0 && code <= static_cast<int>(SymbolRole::kConstant)) {
        role = static_cast<SymbolRole>(code);
      } else if (sink != nullptr && !warned) {
        sink->Information(messages::kKineticTypeProcessingError);
        warned = true;
      }
    }
    symbols_.push_back({std::move(symbol), role});
  }
}

bool KineticTypeEditor::AcceptFunction(MessageSink& sink) {
  if (functionAccepted()) return true;
  if (name_.empty()) {
    sink.Information(messages::kKineticTypeNameMissing);
    return false;
  }
  // An edited type is out of the catalogue while it is edited, so its own
  // name passes; another type's name is refused for it as for a new type.
  if (catalogue_.Contains(name_)) {
    sink.Information(messages::kKineticTypeNameTaken);
    return false;
  }
  auto function = std::make_unique<KineticFunction>(name_, RemoveLineBreaks(expression_));
  if (function->ParseKineticFunction() != 0) {
    sink.Information(ExpressionFaultMessage(function->description(), KineticExpressionDialect()));
    return false;
  }
  function_ = std::move(function);
  ListSymbols(nullptr);
  return true;
}

void KineticTypeEditor::EditFunction() {
  if (!functionAccepted()) return;
  if (functionIsOriginal_) {
    original_ = std::move(function_);
    functionIsOriginal_ = false;
  }
  function_.reset();
  symbols_.clear();
  substrates_ = 0;
  products_ = 0;
  editedAgain_ = true;
}

const KineticType* KineticTypeEditor::Ok(KineticCatalogue& catalogue, MessageSink& sink,
                                         int position) {
  if (!functionAccepted()) return nullptr;
  if (catalogue.Contains(function_->name())) {
    sink.Information(messages::kKineticTypeNameTaken);
    return nullptr;
  }
  function_->ResetBindings();
  for (const Symbol& symbol : symbols_) function_->BindSymbol(symbol.name, symbol.role);
  function_->set_reversible(reversible_ ? 1 : 0);
  functionIsOriginal_ = false;
  auto type = std::make_unique<KineticType>(std::move(function_), substrates_, products_);
  symbols_.clear();
  return catalogue.Insert(std::move(type), position);
}

void KineticTypeEditor::Reopen(std::unique_ptr<KineticType> type) {
  if (!type || !type->function) return;
  function_ = std::move(type->function);
  symbols_.clear();
  for (std::string& symbol : function_->SymbolNames()) {
    const int code = function_->RoleOfSymbol(symbol);
    const SymbolRole role = code >= 0 && code <= static_cast<int>(SymbolRole::kConstant)
                                ? static_cast<SymbolRole>(code)
                                : SymbolRole::kConstant;
    symbols_.push_back({std::move(symbol), role});
  }
}

}  // namespace vireon

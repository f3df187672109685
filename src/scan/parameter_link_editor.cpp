#include "scan/parameter_link_editor.h"

#include <utility>

#include "model/messages.h"
#include "model/number_text.h"

namespace vireon {

namespace {

OutputItem Unbound(const OutputItem& entry) {
  OutputItem item = entry;
  item.value = nullptr;
  return item;
}

}  // namespace

void ParameterLinkEditor::SetTarget(const OutputItem& entry) {
  target_ = Unbound(entry);
}
void ParameterLinkEditor::SetSource(const OutputItem& entry) {
  source_ = Unbound(entry);
}

bool ParameterLinkEditor::SetFactorText(std::string_view text, MessageSink& sink) {
  if (const std::optional<double> factor = ParseReal(text, NumberExtent::kPrefix)) {
    factor_ = *factor;
    return true;
  }
  sink.Warning("", kLinkFactorNotANumber);
  return false;
}

std::optional<ParameterLink> ParameterLinkEditor::Link() const {
  if (!OkEnabled()) return std::nullopt;
  ParameterLink link;
  link.target = *target_;
  link.source = *source_;
  link.constant = factor_;
  return link;
}

ParameterLinkListEditor::ParameterLinkListEditor(std::vector<ParameterLink>& links,
                                                 MessageSink& sink)
    : links_(links), sink_(sink) {}

std::vector<std::string> ParameterLinkListEditor::Lines() const {
  std::vector<std::string> lines;
  for (const ParameterLink& link : links_) lines.push_back(link.DisplayLine());
  return lines;
}

void ParameterLinkListEditor::Select(int index) {
  selected_ = index >= 0 && index < static_cast<int>(links_.size()) ? index : -1;
}

void ParameterLinkListEditor::Added(std::optional<ParameterLink> link) {
  modified_ = true;
  if (!link) {
    sink_.Warning("", messages::kLinkNotAdded);
    return;
  }
  links_.push_back(std::move(*link));
  selected_ = static_cast<int>(links_.size()) - 1;
}

bool ParameterLinkListEditor::Delete() {
  if (selected_ < 0 || selected_ >= static_cast<int>(links_.size())) return false;
  links_.erase(links_.begin() + selected_);
  if (selected_ >= static_cast<int>(links_.size())) {
    selected_ = static_cast<int>(links_.size()) - 1;
  }
  modified_ = true;
  return true;
}

bool ParameterLinkListEditor::MoveUp() {
  if (selected_ <= 0 || selected_ >= static_cast<int>(links_.size())) return false;
  std::swap(links_[selected_], links_[selected_ - 1]);
  --selected_;
  modified_ = true;
  return true;
}

bool ParameterLinkListEditor::MoveDown() {
  if (selected_ < 0 || selected_ + 1 >= static_cast<int>(links_.size())) return false;
  std::swap(links_[selected_], links_[selected_ + 1]);
  ++selected_;
  modified_ = true;
  return true;
}

}  // namespace vireon

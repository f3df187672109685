#pragma once
// The rules of the two dialogs that edit parameter links, without the
// drawing: "Parameter Links" (the document's ordered list: add, delete, up,
// down) and "Parameter Link" (target "=" factor "X" source, each end set
// from the chosen entry of the tree of available items).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/message_sink.h"
#include "output/output_item.h"
#include "scan/parameter_link.h"

namespace vireon {

// The warning for a factor that is not a number.
inline constexpr const char* kLinkFactorNotANumber = "Please enter a number as the factor.";

class ParameterLinkEditor {
 public:
  // Factor 1.0, both ends empty.
  ParameterLinkEditor() = default;

  // The "Set" buttons: the chosen entry of the items list (its text is the
  // end's title) becomes the target or the source.
  void SetTarget(const OutputItem& entry);
  void SetSource(const OutputItem& entry);
  const std::optional<OutputItem>& target() const { return target_; }
  const std::optional<OutputItem>& source() const { return source_; }
  double factor() const { return factor_; }
  void SetFactor(double factor) { factor_ = factor; }
  // The factor field on OK, read like "%lf": text that holds no finite
  // number is refused with a warning (false) and the factor stays.
  bool SetFactorText(std::string_view text, MessageSink& sink);

  // OK is enabled only when both ends are set.
  bool OkEnabled() const { return target_.has_value() && source_.has_value(); }
  // The link made on OK, none while an end is missing.
  std::optional<ParameterLink> Link() const;

 private:
  std::optional<OutputItem> target_;
  std::optional<OutputItem> source_;
  double factor_ = 1.0;
};

class ParameterLinkListEditor {
 public:
  ParameterLinkListEditor(std::vector<ParameterLink>& links, MessageSink& sink);

  // The list's lines, "%s = %lg * %s", in the order of application.
  std::vector<std::string> Lines() const;
  void Select(int index);
  int selected() const { return selected_; }

  // "&Add", after the link dialog was left with OK: the document is marked
  // modified; the link is appended, or message 5034 says it was not added.
  void Added(std::optional<ParameterLink> link);
  // "&Delete", "&Up", "Dow&n" on the selected link (the order of the list is
  // the order of application). False when there is nothing to do.
  bool Delete();
  bool MoveUp();
  bool MoveDown();

  bool modified() const { return modified_; }

 private:
  std::vector<ParameterLink>& links_;
  MessageSink& sink_;
  int selected_ = -1;
  bool modified_ = false;
};

}  // namespace vireon

#pragma once
// The model file's sections of global quantities and rules. They follow
// every other section of the file and are written only for a model that has
// a global quantity or a rule, so that any other model's file is what it
// always was, and a file that ends after the parameter links has none:
//
//   Global quantities
//   Items=2
//   Quantity=k1                      name
//   Value=2.500000e-01               value ("%le", or 17 digits when needed)
//   Quantity=V
//   Value=1.000000e+00
//   Rules
//   Items=1
//   Rule=assignment                  assignment | rate | initial assignment
//   TargetType=global quantity       global quantity | volume | metabolite |
//                                    kinetic constant
//   Target=k1                        the target's name (a kinetic constant's step)
//   Expression=V*time/(1+time)       one line, in the rate-law dialect
//
// A kinetic-constant target has one more line after its step's name,
// "Constant=" and the constant's name in the step's kinetic type.
//
// Reading checks the names of the quantities (the metabolite name rule,
// none reserved by expressions, none shared with another record of the
// model) and then the rules as a whole (rules/rule_order.h); a fault is an
// error naming the line of its record.

#include <string>

#include "model/message_sink.h"
#include "model/model.h"
#include "model/record_cursor.h"
#include "output/record_section.h"

namespace vireon {

inline constexpr const char* kGlobalQuantitiesSection = "Global quantities";
inline constexpr const char* kRulesSection = "Rules";

inline constexpr const char* kBadGlobalQuantity =
    "Error: the global quantity at line %d cannot be read: %s\nLoading aborted.";
inline constexpr const char* kUnknownRuleKind =
    "Error: the file specifies an unknown kind of rule at line %d.\nLoading aborted.";
inline constexpr const char* kUnknownRuleTarget =
    "Error: the file specifies an unknown kind of rule target at line %d.\nLoading aborted.";
inline constexpr const char* kBadRule = "Error in the rule at line %d: %s\nLoading aborted.";

// Appends both sections when the model has a global quantity, a rule, an
// event or a fast step, and then the events (document/events_section.h)
// and the fast steps (document/fast_steps_section.h).
void SaveRulesSections(const Model& model, std::string& out);

struct RulesSectionsLoad {
  SelectionLoadStatus status = SelectionLoadStatus::kOk;
  int line = 0;  // where reading failed: a bad count's line, or the bad record's first line
};

// Reads both sections into the model when the cursor stands at the first
// one's header (after the parameter links); any other text, or none, leaves
// the model without global quantities and rules, as files have always been
// read. A bad header or count is kBadCount (for the caller's "Error in
// line"); a bad record or rule has been reported and is kBadRecord.
RulesSectionsLoad LoadRulesSections(RecordCursor& cursor, MessageSink& sink, Model& model);

}  // namespace vireon

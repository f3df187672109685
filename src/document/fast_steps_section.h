#pragma once
// The model file's section of fast steps. It follows the events (or the
// rules, when the model has no event) and is written only for a model that
// has a fast step (the sections of global quantities and rules are then
// written too, empty if need be), so that any other model's file is what
// it always was:
//
//   Fast steps
//   Items=1
//   Step=binding                     the name of a step that is fast
//
// A file without the section has no fast step. A name that is no step of
// the model is an error naming its line.

#include <string>

#include "model/message_sink.h"
#include "model/model.h"
#include "model/record_cursor.h"
#include "output/record_section.h"

namespace vireon {

inline constexpr const char* kFastStepsSection = "Fast steps";

inline constexpr const char* kUnknownFastStep =
    "Error: the fast step at line %d is no step of the model.\nLoading aborted.";

// Appends the section when the model has a fast step.
void SaveFastStepsSection(const Model& model, std::string& out);

struct FastStepsSectionLoad {
  SelectionLoadStatus status = SelectionLoadStatus::kOk;
  int line = 0;  // where reading failed: a bad count's line, or the bad record's line
};

// Marks the steps the section names as fast when the cursor stands at its
// header (after the rules and events); any other text, or none, leaves
// every step as it was read, not fast. The steps must have been read.
FastStepsSectionLoad LoadFastStepsSection(RecordCursor& cursor, MessageSink& sink, Model& model);

}  // namespace vireon

#pragma once
// The model file's section of events. It follows the rules section and is
// written only for a model that has an event (the sections of global
// quantities and rules are then written too, empty if need be), so that any
// other model's file is what it always was:
//
//   Events
//   Items=1
//   Event=dose                       name
//   Trigger=geq(time,10)             one line, in the rate-law dialect
//   Delay=                           empty: none
//   Priority=                        empty: none
//   InitialValue=1                   the trigger's value before time 0 (1 true, 0 false)
//   Persistent=1                     1: a pending execution survives a false trigger
//   TriggerTimeValues=1              1: values of the moment it fires
//   Assignments=1
//   TargetType=metabolite            as in the rules section
//   Target=S
//   Expression=S+5
//
// A kinetic-constant target has "Constant=" and the constant's name after
// its step's name. Reading checks the events as a whole
// (rules/event_check.h); a fault is an error naming the line of its event.

#include <string>

#include "model/message_sink.h"
#include "model/model.h"
#include "model/record_cursor.h"
#include "output/record_section.h"

namespace vireon {

inline constexpr const char* kEventsSection = "Events";

inline constexpr const char* kUnknownEventTarget =
    "Error: the file specifies an unknown kind of event target at line %d.\nLoading aborted.";
inline constexpr const char* kBadEvent = "Error in the event at line %d: %s\nLoading aborted.";

// Appends the section when the model has an event.
void SaveEventsSection(const Model& model, std::string& out);

struct EventsSectionLoad {
  SelectionLoadStatus status = SelectionLoadStatus::kOk;
  int line = 0;  // where reading failed: a bad count's line, or the bad record's first line
};

// Reads the section into the model when the cursor stands at its header
// (after the rules section); any other text, or none, leaves the model
// without events. The rules must have been read and checked.
EventsSectionLoad LoadEventsSection(RecordCursor& cursor, MessageSink& sink, Model& model);

}  // namespace vireon

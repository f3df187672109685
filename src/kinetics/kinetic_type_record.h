#pragma once
// The text record of a kinetic type, shared by the kinetics database and
// model files:
//
//   UDKType=<name>
//   User-defined=1
//   Reversible=0|1
//   Substrates=%d  Products=%d  Modifiers=%d  Constants=%d   (one per line)
//   Modifier0=<role name> ...  Constant0=<constant name> ...
//   the rate law's "FunctionName=" record
//
// Everything after the "User-defined" line is written only for user-defined
// types.

#include <memory>
#include <ostream>

#include "kinetics/kinetic_type.h"
#include "model/message_sink.h"
#include "model/record_cursor.h"

namespace vireon {

void WriteKineticTypeRecord(const KineticType& type, std::ostream& out);

// Reads one record from the cursor's current line on and leaves the cursor
// after it. Returns the user-defined type, with `rate` set to
// EvaluateUserDefinedRate, or null when a line is short or missing (the line
// reader's message has then gone to `sink`), when the record is not that of
// a user-defined type, or when its rate law does not read back. The law's
// text is the law its nodes compute: a description that does not parse into
// the stored nodes is replaced by the text of the nodes, with a warning that
// quotes both, and nodes that no text reads back into refuse the record
// with an error. Memory grows only with the lines actually read, whatever
// counts the record claims.
std::unique_ptr<KineticType> ReadKineticTypeRecord(RecordCursor& cursor, MessageSink& sink);

}  // namespace vireon

#pragma once
// The section of a model file that carries copies of the user-defined
// kinetic types the model uses, so that the model opens on another
// installation: "TotalUDKinetics=%d" and that many kinetic type records.

#include <ostream>

#include "kinetics/kinetic_catalogue.h"
#include "model/message_sink.h"
#include "model/model.h"
#include "model/record_cursor.h"

namespace vireon {

// Writes the distinct user-defined types that the model's steps use (found
// by their stored type names), in order of first use.
void WriteUserKineticsSection(const Model& model, const KineticCatalogue& catalogue,
                              std::ostream& out);

// Reads the section and merges it into the catalogue: a type the catalogue
// lacks is entered; a user-defined type of the same name and the same
// expression text is already there and the copy is dropped; any other type of
// that name is a clash, which is reported and refuses the whole section.
// Nothing is entered unless every record reads and none clashes. Returns
// false when the load must be abandoned (the message has been shown).
bool ReadUserKineticsSection(RecordCursor& cursor, KineticCatalogue& catalogue, MessageSink& sink);

}  // namespace vireon

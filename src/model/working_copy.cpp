#include "model/working_copy.h"

#include "model/equation_parser.h"

namespace vireon {

void ApplyWorkingCopy(Model& document, const Model& working, const ModelHook& analyse) {
  if (&document != &working) document = working;
  RebuildEquations(document);
  if (analyse) analyse(document);
}

}  // namespace vireon

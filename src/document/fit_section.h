#pragma once
// The model file's section of the fit. It follows every other section and
// is written only for a document that stores a fit, so that any other
// model's file is what it always was:
//
//   Fit
//   Method=global                    local | global | direct
//   Starts=20
//   Seed=1
//   ScaleColumns=0
//   Experiments=2
//   File=run1.csv                    from the model file's folder unless absolute
//   File=titration.txt
//   Parameters=1
//   Title=R1(k)                      a scan item's title
//   Lower=0.01                       empty: no bound
//   Upper=
//   Scale=auto                       auto | linear | log
//
// Numbers are written so that they read back exactly. A line that is not
// the one expected, or a value that cannot be read, is an error naming its
// line.

#include <string>

#include "fit/fit_settings.h"
#include "model/message_sink.h"
#include "model/record_cursor.h"
#include "output/record_section.h"

namespace vireon {

inline constexpr const char* kFitSection = "Fit";

inline constexpr const char* kBadFitLine =
    "Error: line %d of the fit cannot be read: %s\nLoading aborted.";

// Appends the section when the fit is not empty.
void SaveFitSection(const FitSettings& fit, std::string& out);

struct FitSectionLoad {
  SelectionLoadStatus status = SelectionLoadStatus::kOk;
  int line = 0;  // the line that failed
};

// Reads the section into `fit` when the cursor stands at its header; any
// other text, or none, leaves the fit empty.
FitSectionLoad LoadFitSection(RecordCursor& cursor, MessageSink& sink, FitSettings& fit);

}  // namespace vireon

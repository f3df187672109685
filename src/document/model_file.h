#pragma once
// The model file (.vrn): one document in one text file, a fixed sequence of
// key=value lines read back in exactly the order they were written:
//
//   Version=3.00301          the program's version
//   EndTime= ... SSFile=     the task, output and numerical settings
//   Title= ... EndComments   the model: counts, stoichiometry, the
//                            user-defined kinetic types the steps use,
//                            metabolites, moieties, steps, compartments,
//                            comments
//   PlotType= ... PlotZ%d=   the plot settings
//   User-defined functions, Interactive time course, Time-course output,
//   Steady-state output, Scan, Parameter Links: the sections of the lists
//   Global quantities, Rules: only in the file of a model that has any
//                            (document/rules_sections.h)
//
// Lines end with a line feed alone; the comments keep their carriage
// returns. A real that its printf format would not give back exactly (an
// end time of 1.23456789, a constant of 1e-20 in "%.16lf") is written with
// 17 significant digits in exponent form instead, which every reader of the
// format accepts, so that saving never changes a value. Exponents have the
// C library's two digits at least ("EndTime=1.000000e+01"), not the three
// of the reports and data files.
//
// A file whose lines end in a carriage return and a line feed (one edited
// on Windows) reads as well: values end before the carriage return, and its
// comments end at "EndComments" followed by one.

#include <string>

#include "document/document.h"
#include "kinetics/kinetic_catalogue.h"
#include "model/message_sink.h"
#include "settings/settings.h"

namespace vireon {

// The model section's messages (errors under the file error title,
// warnings under the file warning title).
inline constexpr const char* kNegativeMetabolites =
    "Error: the file specifies a negative number of metabolites.\nLoading aborted.";
inline constexpr const char* kNegativeSteps =
    "Error: the file specifies a negative number of steps.\nLoading aborted.";
inline constexpr const char* kInvalidMoieties =
    "Error: the file specifies an invalid number of conserved moieties.\nLoading aborted.";
inline constexpr const char* kInvalidCompartments =
    "Error: the file specifies an invalid number compartments.\nLoading aborted.";
inline constexpr const char* kNonExistingCompartment =
    "Warning: the file specifies a non-existing compartment for %s.\nReset to the default "
    "compartment.";
inline constexpr const char* kNonExistingType =
    "Warning: the file specifies a non-existing type for %s.\nReset to internal metabolite.";
inline constexpr const char* kNegativeConcentration =
    "Warning: the file specifies a negative concentration for %s.\nReset to default.";
inline constexpr const char* kNullVolume =
    "Warning: the file specifies a negative or null volume for compartment %s.\nReset to unity.";
// The step record's messages (error boxes without a title of their own).
inline constexpr const char* kUnknownKineticType =
    "Error: the file specifies a kinetic type that does not exist in the database\nLoad aborted.";
inline constexpr const char* kNegativeSubstrates =
    "Error: the file specifies a negative number of substrates for %s.\nLoad aborted.";
inline constexpr const char* kNegativeProducts =
    "Error: the file specifies a negative number of products for %s.\nLoad aborted.";
inline constexpr const char* kNegativeModifiers =
    "Error: the file specifies a negative number of modifiers for %s.\nLoad aborted.";
inline constexpr const char* kNegativeConstants =
    "Error: the file specifies a negative number of constants for %s.\nLoad aborted.";
inline constexpr const char* kNegativeSubstrate =
    "Error: the file specifies a negative number for substrate %d of %s.\nLoad aborted.";
inline constexpr const char* kNegativeProduct =
    "Error: the file specifies a negative number for product %d of %s.\nLoad aborted.";
inline constexpr const char* kNegativeModifier =
    "Error: the file specifies a negative number for modifier %d of %s.\nLoad aborted.";
// Indices and counts that the file cannot hold: refused before they are
// used or allocated.
inline constexpr const char* kMissingSubstrate =
    "Error: the file specifies a non-existing metabolite for substrate %d of %s.\nLoad aborted.";
inline constexpr const char* kMissingProduct =
    "Error: the file specifies a non-existing metabolite for product %d of %s.\nLoad aborted.";
inline constexpr const char* kMissingModifier =
    "Error: the file specifies a non-existing metabolite for modifier %d of %s.\nLoad aborted.";
inline constexpr const char* kListLongerThanFile =
    "Error: the file specifies more %s for %s than it holds.\nLoad aborted.";
inline constexpr const char* kModelLongerThanFile =
    "Error: the file specifies more metabolites, steps, moieties or compartments than it "
    "holds.\nLoading aborted.";
inline constexpr const char* kModelTooLarge =
    "Error: the file specifies a model too large to be loaded.\nLoading aborted.";
// The top level's message, with the line number.
inline constexpr const char* kErrorInLine = "Error in line %d";
// Appended to the file error text of a failed save or open.
inline constexpr const char* kFileNotSaved = "\nThe file could not be saved.";
inline constexpr const char* kFileNotOpened = "\nThe file could not be opened.";
// Follows the message of a data file name that breaks the rules of
// output/output_file_names.h, when a model file is loaded.
inline constexpr const char* kDataFileNotWritten =
    "\nA run will not write this file until the name is changed on the Tasks page.";

// The structural matrices of a model hold nMetabolites x nMetabolites and
// nMetabolites x nSteps entries; a file that asks for more than this many
// is refused rather than allocated.
inline constexpr long long kMaxModelMatrixEntries = 1LL << 26;

// The text WriteModelFile writes for the document, with the distinct
// user-defined kinetic types of its steps taken from the catalogue.
std::string ModelFileText(const Document& document, const KineticCatalogue& catalogue);

// Saves the document at `path`. First the report file name is derived again
// from the document's path name (from `path` itself for a document that has
// never been saved). The text goes to a temporary file in the same folder,
// which then replaces `path`, so that a failed save leaves the previous file
// as it was. A failure shows the file error text followed by "\nThe file
// could not be saved." and returns false. On success the document's path
// name and folder become those of `path`, and it holds no unsaved changes.
bool WriteModelFile(Document& document, const std::string& path, const KineticCatalogue& catalogue,
                    MessageSink& sink);

// Loads the model file at `path` into the document, which is first made new
// (NewDocument). The file is read through ReadInputFile
// (model/file_access.h): a FIFO, a device or a folder is refused at once,
// as is a file beyond kMaxRecordFileSize. A file that cannot be read shows
// the file error text followed by "\nThe file could not be opened.". A data
// file name that breaks the rules of output/output_file_names.h is named in
// a warning (the load goes on, and a run will not write that file). On
// success the document's path name and folder are those of the file; after
// any failure the document is made new again, and the user-defined kinetic
// types that the file had entered in the catalogue are taken out again.
bool ReadModelFile(Document& document, const std::string& path, KineticCatalogue& catalogue,
                   const DefaultValues& defaults, MessageSink& sink);

// Parses a model file's text into the document (which should be new).
// Returns 0 on success, else the number of the line at which reading
// stopped. Warnings replace the offending value and reading goes on; every
// failure has been reported through the sink. `defaults` supplies the
// values that replace invalid settings and concentrations. The structural
// analysis runs on the model once it has been read.
int ParseModelBuffer(Document& document, std::string buffer, KineticCatalogue& catalogue,
                     const DefaultValues& defaults, MessageSink& sink);

}  // namespace vireon

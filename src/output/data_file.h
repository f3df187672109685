#pragma once
// The time-course and steady-state data files: plain columns of numbers, one
// column per item of the file's selection, with an optional titles line.
//
//   [A]t         [B]t           titles: each cut or padded to the width
//    1.0000e+000  2.5000e-001   values: "% -*.*le", width w, precision w - 8
//
// Columns are separated by the file's separator character (none before the
// first column); titles may be quoted (the quotes are not counted in the
// width); values are never quoted.

#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/file_access.h"
#include "output/output_item.h"

namespace vireon {

struct TaskSettings;

// The column widths the Tasks page offers.
inline constexpr int kMinColumnWidth = 8;
inline constexpr int kMaxColumnWidth = 25;

// How one data file lays out its columns.
struct DataFileLayout {
  int columnWidth = 12;
  char separator = ' ';
  bool quotes = false;
};

// The layouts of the two files from the document's settings. The stored
// width is used as it is, also outside the 8 ... 25 that the Tasks page
// offers (a negative width counts as 0, one above kMaxFieldWidth as that).
DataFileLayout TimeCourseLayout(const TaskSettings& settings);
DataFileLayout SteadyStateLayout(const TaskSettings& settings);

// The Tasks page's lists. "Col. width" offers 8 ... 25: a width's entry is
// width - 8, and a width outside the list shows as the first entry (the
// stored value is not changed by showing it). "Separator" offers "space",
// "tab" and "comma"; any other entry stores a blank, and a stored character
// other than these three shows as "space".
int ColumnWidthEntry(int width);
int ColumnWidthFromEntry(int entry);
int SeparatorEntry(char separator);
char SeparatorFromEntry(int entry);

// One titles line or one values line for the items, ending in "\n". An empty
// selection gives "\n". An unbound item's value is written as 0.
std::string FormatTitlesLine(std::span<const OutputItem> items, const DataFileLayout& layout);
std::string FormatValuesLine(std::span<const OutputItem> items, const DataFileLayout& layout);

// The folder of a model file: its path up to and including the last "/"
// (empty for a bare name or a model never saved, meaning the current folder).
std::string ModelFolder(std::string_view modelPath);

// One data file of a run. Created at the start of the run when its task is
// on and it has a name, through OpenOutputFile (model/file_access.h): never
// through a symbolic link, only as a regular file, never over a protected
// file. A file that cannot be created is named, with the reason, in the
// run's error log, and the run goes on without it.
class DataFile {
 public:
  DataFile() = default;
  ~DataFile();
  DataFile(const DataFile&) = delete;
  DataFile& operator=(const DataFile&) = delete;

  // Closes any file still open, then, when `enabled` and `name` is not empty,
  // creates (or truncates) folder + name. `description` names the file in the
  // error log ("time-course", "steady-state"). A file among protectedFiles is
  // refused; the opened file's identity is added to them. Returns whether
  // it is open.
  bool Open(bool enabled, std::string_view folder, std::string_view name,
            std::string_view description, std::string& errorLog,
            std::vector<ProtectedFile>* protectedFiles = nullptr);
  bool IsOpen() const { return file_ != nullptr; }
  const std::string& path() const { return path_; }
  // Writes the text when the file is open; does nothing otherwise. A failed
  // write is remembered and reported when the file is closed.
  void Write(std::string_view text);
  // Closes the file; a write or close that failed is named in the error log,
  // and false returned.
  bool Close(std::string& errorLog);

 private:
  std::FILE* file_ = nullptr;
  std::string path_;
  std::string description_;
  int writeError_ = 0;  // errno of the first failed write
};

// The four writers of a run. Each writes one line to its file when the file
// is open, with the layout of that file's settings; the titles writers only
// when that file's titles are switched on ("DynTitles", "SSTitles").
void WriteDynTitles(DataFile& file, std::span<const OutputItem> selection,
                    const TaskSettings& settings);
void WriteDynRow(DataFile& file, std::span<const OutputItem> selection,
                 const TaskSettings& settings);
void WriteSSTitles(DataFile& file, std::span<const OutputItem> selection,
                   const TaskSettings& settings);
void WriteSSRow(DataFile& file, std::span<const OutputItem> selection,
                const TaskSettings& settings);

// The blank lines a scan writes after each point of its outermost loop: one
// for a regular grid, two for random values (the block separators of
// gnuplot's data files).
void WriteScanSeparator(DataFile& file, bool randomLoop);

// Both data files of a run, opened from the document's settings: the
// time-course file when "Dynamics" is on and "DynamicsFile" is set, the
// steady-state file when "SteadyState" is on and "SSFile" is set, each in the
// folder of the model file. A name that breaks the rules of
// output/output_file_names.h is refused with its message in the error log;
// neither file is ever written over the model, the report (when
// `reportPath` is given) or the other data file.
struct RunDataFiles {
  DataFile timeCourse;
  DataFile steadyState;
  // The model and the data files opened: what the report must not replace.
  std::vector<ProtectedFile> protectedFiles;
  // The files the settings ask for, and how many of them were refused, not
  // created or not completely written (counted as the run closes them).
  int planned = 0;
  int failed = 0;
  // Whether each file was opened and, once closed, completely written.
  bool timeCourseWritten = false;
  bool steadyStateWritten = false;

  void Open(const TaskSettings& settings, std::string_view modelPath, std::string_view reportPath,
            std::string& errorLog);
  void Close(std::string& errorLog);
};

}  // namespace vireon

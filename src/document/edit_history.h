#pragma once
// The edits of a document that can be undone and redone: every edit the
// user commits through a dialog or a page is recorded with its name
// ("Reactions", "Units"), and Undo and Redo move between the states of the
// document before and after each. A state holds everything such an edit
// may change: the model, the task and numerical settings, the plot
// choices, the output selections, the output functions, the scan, the
// parameter links and the fit; never the engine's data or where the file lives. The
// model's title and comments and the window's pace ("SleepTime",
// "RealTime") are typed on their pages rather than committed: Undo and
// Redo leave them as they are.

#include <cstddef>
#include <string>
#include <vector>

#include "document/document.h"

namespace vireon {

class KineticCatalogue;

// What follows every edit the user commits: the structural analysis of the
// model, the document's items checked against it (AnalyseChangedModel)
// and the modified flag. The one place a committed edit passes.
void CommitModelChange(Document& document);

// How many edits can be undone; older ones are forgotten.
inline constexpr std::size_t kUndoLimit = 100;

class EditHistory {
 public:
  // Forgets every edit: the document as it is now (new, just loaded) is
  // where the history starts.
  void Reset(const Document& document);
  // After an edit named `name` was committed to the document: it can be
  // undone, and nothing can be redone any more.
  void Record(const Document& document, std::string name);

  bool CanUndo() const { return !undo_.empty(); }
  bool CanRedo() const { return !redo_.empty(); }
  // The name of the edit Undo (Redo) takes back (does again); empty when
  // there is none.
  std::string UndoName() const;
  std::string RedoName() const;

  // Puts the document back to its state before the last edit (after the
  // edit undone last), commits that as a change (CommitModelChange) and
  // binds every step again to the catalogue's kinetic type of its name,
  // which may have changed meanwhile (BindMissingKineticTypes). False when
  // there is nothing to undo (redo).
  bool Undo(Document& document, const KineticCatalogue& catalogue, double defaultConstant);
  bool Redo(Document& document, const KineticCatalogue& catalogue, double defaultConstant);

 private:
  struct State {
    Model model;
    TaskSettings settings;
    PlotSettings plot;
    OutputSelections selections;
    std::vector<OutputFunction> functions;
    ScanList scan;
    std::vector<ParameterLink> links;
    FitSettings fit;
  };
  struct Entry {
    std::string name;
    State state;  // the document's state on the other side of the edit
  };
  static State Take(const Document& document);
  void Restore(const State& state, Document& document, const KineticCatalogue& catalogue,
               double defaultConstant) const;

  State current_;
  std::vector<Entry> undo_;  // the latest last
  std::vector<Entry> redo_;  // the next to redo last
};

}  // namespace vireon

#include "document/edit_history.h"

#include <utility>

#include "kinetics/kinetic_binding.h"

namespace vireon {

void CommitModelChange(Document& document) {
  AnalyseChangedModel(document);
  document.modified = true;
}

EditHistory::State EditHistory::Take(const Document& document) {
  return State{document.model,     document.settings, document.plot,  document.selections,
               document.functions, document.scan,     document.links, document.fit};
}

void EditHistory::Restore(const State& state, Document& document,
                          const KineticCatalogue& catalogue, double defaultConstant) const {
  // The title and the comments are typed on the page, not committed as
  // edits, and the pace of the window is the Time course page's: they
  // stay as they are, as does the report-comments flag of the defaults.
  const std::string title = document.model.title;
  const std::string comments = document.model.comments;
  const TaskSettings kept = document.settings;
  document.model = state.model;
  document.model.title = title;
  document.model.comments = comments;
  document.settings = state.settings;
  document.settings.reportComments = kept.reportComments;
  document.settings.sleepTime = kept.sleepTime;
  document.settings.realTime = kept.realTime;
  document.plot = state.plot;
  document.selections = state.selections;
  document.functions = state.functions;
  document.scan = state.scan;
  document.links = state.links;
  document.fit = state.fit;
  BindMissingKineticTypes(document.model, catalogue, defaultConstant);
  CommitModelChange(document);
}

void EditHistory::Reset(const Document& document) {
  current_ = Take(document);
  undo_.clear();
  redo_.clear();
}

void EditHistory::Record(const Document& document, std::string name) {
  undo_.push_back(Entry{std::move(name), std::move(current_)});
  if (undo_.size() > kUndoLimit) undo_.erase(undo_.begin());
  redo_.clear();
  current_ = Take(document);
}

std::string EditHistory::UndoName() const {
  return undo_.empty() ? std::string() : undo_.back().name;
}

std::string EditHistory::RedoName() const {
  return redo_.empty() ? std::string() : redo_.back().name;
}

bool EditHistory::Undo(Document& document, const KineticCatalogue& catalogue,
                       double defaultConstant) {
  if (undo_.empty()) return false;
  Entry step = std::move(undo_.back());
  undo_.pop_back();
  Restore(step.state, document, catalogue, defaultConstant);
  redo_.push_back(Entry{step.name, std::move(current_)});
  current_ = std::move(step.state);
  return true;
}

bool EditHistory::Redo(Document& document, const KineticCatalogue& catalogue,
                       double defaultConstant) {
  if (redo_.empty()) return false;
  Entry step = std::move(redo_.back());
  redo_.pop_back();
  Restore(step.state, document, catalogue, defaultConstant);
  undo_.push_back(Entry{step.name, std::move(current_)});
  current_ = std::move(step.state);
  return true;
}

}  // namespace vireon

#include "output/plot_page_editor.h"

#include "model/message_sink.h"
#include "model/messages.h"

namespace vireon {

std::string PlotDataPath(const PlotSettings& settings, const PlotPageDocument& document) {
  return document.folder + (settings.plotDyn != 0 ? document.dynamicsFile : document.steadyStateFile);
}

PlotSource PlotSourceOf(const PlotSettings& settings, const PlotPageDocument& document) {
  PlotSource source;
  source.dataPath = PlotDataPath(settings, document);
  source.columnTitles =
      settings.plotDyn != 0 ? document.timeCourseTitles : document.steadyStateTitles;
  source.modelTitle = document.modelTitle;
  return source;
}

PlotPageEditor::PlotPageEditor(PlotSettings& settings, PlotPageDocument document)
    : settings_(settings), document_(std::move(document)), controls_(settings) {}

void PlotPageEditor::Activate(MessageSink& sink) {
  activated_ = true;
  controls_ = settings_;
  const bool noTimeCourse = document_.timeCourseTitles.empty();
  const bool noSteadyState = document_.steadyStateTitles.empty();
  if (document_.timeCourseTask && document_.steadyStateTask && noTimeCourse && noSteadyState) {
    sink.Information(messages::kPlotNeedsSelection);
    enabled_ = false;
    titles_.clear();
    xSelection_ = kNoPlotEntry;
    ySelected_.clear();
    zSelected_.clear();
    return;
  }
  enabled_ = true;
  timeCourseChoiceEnabled_ = true;
  steadyStateChoiceEnabled_ = true;
  if (!document_.timeCourseTask || noTimeCourse) {
    controls_.plotDyn = 0;
    timeCourseChoiceEnabled_ = false;
  } else if (!document_.steadyStateTask || noSteadyState) {
    controls_.plotDyn = 1;
    steadyStateChoiceEnabled_ = false;
  }
  FillLists();
}

void PlotPageEditor::FillLists() {
  titles_ = controls_.plotDyn != 0 ? document_.timeCourseTitles : document_.steadyStateTitles;
  const int count = static_cast<int>(titles_.size());
  const auto within = [count](int entry) { return entry >= 0 && entry < count; };
  xSelection_ = within(controls_.plotXEntry) ? controls_.plotXEntry : kNoPlotEntry;
  ySelected_.assign(titles_.size(), false);
  zSelected_.assign(titles_.size(), false);
  for (int entry : controls_.plotY) {
    if (within(entry)) ySelected_[entry] = true;
  }
  for (int entry : controls_.plotZ) {
    if (within(entry)) zSelected_[entry] = true;
  }
}

std::vector<int> PlotPageEditor::SelectedEntries(const std::vector<bool>& selected) {
  std::vector<int> entries;
  for (std::size_t i = 0; i < selected.size(); ++i) {
    if (selected[i]) entries.push_back(static_cast<int>(i));
  }
  if (entries.empty()) entries.push_back(kNoPlotEntry);
  return entries;
}

void PlotPageEditor::Deactivate() {
  if (!activated_) return;
  controls_.plotXEntry = xSelection_;
  controls_.plotY = SelectedEntries(ySelected_);
  controls_.plotZ = SelectedEntries(zSelected_);
  settings_ = controls_;
}

void PlotPageEditor::ChooseTimeCourse(bool timeCourse) {
  if (!enabled_) return;
  if (timeCourse && !timeCourseChoiceEnabled_) return;
  if (!timeCourse && !steadyStateChoiceEnabled_) return;
  const int source = timeCourse ? 1 : 0;
  if (controls_.plotDyn == source) return;
  // The positions chosen so far stay chosen where the other list has them.
  controls_.plotXEntry = xSelection_;
  controls_.plotY = SelectedEntries(ySelected_);
  controls_.plotZ = SelectedEntries(zSelected_);
  controls_.plotDyn = source;
  FillLists();
}

void PlotPageEditor::Choose3d(bool threeD) {
  controls_.plot3d = threeD ? 1 : 0;
  if (threeD) {
    bool first = true;
    for (std::size_t i = 0; i < ySelected_.size(); ++i) {
      if (ySelected_[i] && !first) ySelected_[i] = false;
      if (ySelected_[i]) first = false;
    }
  } else {
    zSelected_.assign(zSelected_.size(), false);
  }
}

void PlotPageEditor::SetStyle(int style) {
  if (style >= 0 && style < kPlotStyleCount) controls_.plotType = style;
}

void PlotPageEditor::SetContour(bool on) {
  if (controls_.plot3d != 0) controls_.plotContour = on ? 1 : 0;
}

void PlotPageEditor::SetHidden3d(bool on) {
  if (controls_.plot3d != 0) controls_.plotHidden3d = on ? 1 : 0;
}

void PlotPageEditor::SetLogZ(bool on) {
  if (controls_.plot3d != 0) controls_.plotLogZ = on ? 1 : 0;
}

void PlotPageEditor::SelectX(int index) {
  xSelection_ = index >= 0 && index < static_cast<int>(titles_.size()) ? index : kNoPlotEntry;
}

void PlotPageEditor::SetYSelected(int index, bool selected) {
  if (index < 0 || index >= static_cast<int>(ySelected_.size())) return;
  if (selected && controls_.plot3d != 0) ySelected_.assign(ySelected_.size(), false);
  ySelected_[index] = selected;
}

void PlotPageEditor::SetZSelected(int index, bool selected) {
  if (controls_.plot3d == 0) return;
  if (index < 0 || index >= static_cast<int>(zSelected_.size())) return;
  zSelected_[index] = selected;
}

std::string PlotPageEditor::BuildScript(std::string_view terminal) {
  Deactivate();
  if (!enabled_) return {};
  return BuildPlotCommands(settings_, PlotSourceOf(settings_, document_), terminal);
}

}  // namespace vireon

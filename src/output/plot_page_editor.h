#pragma once
// The rules of the Plot page without the page: which controls are enabled,
// what the three axis lists hold and which of their entries are selected,
// and how the page's state goes back into the document's plot settings.
// The page draws this object and forwards the user's actions to it.

#include <string>
#include <string_view>
#include <vector>

#include "output/gnuplot_script.h"
#include "output/plot_settings.h"

namespace vireon {

class MessageSink;

// What the page needs to know of the document.
struct PlotPageDocument {
  bool timeCourseTask = false;                 // "Dynamics"
  bool steadyStateTask = false;                // "SteadyState"
  std::vector<std::string> timeCourseTitles;   // titles of the time-course selection
  std::vector<std::string> steadyStateTitles;  // titles of the steady-state selection
  std::string folder;  // the model file's folder, ending in a separator (or empty)
  std::string dynamicsFile;
  std::string steadyStateFile;
  std::string modelTitle;
};

// The data file a script of these settings reads: the folder followed by
// the time-course or steady-state file name.
std::string PlotDataPath(const PlotSettings& settings, const PlotPageDocument& document);
// The source of a script: that path, the titles of the matching selection
// and the model's title.
PlotSource PlotSourceOf(const PlotSettings& settings, const PlotPageDocument& document);

class PlotPageEditor {
 public:
  // `settings` is the document's; the page writes it on Deactivate and
  // whenever a script is built.
  PlotPageEditor(PlotSettings& settings, PlotPageDocument document);

  // Page activation: with both tasks on and both selections empty, message
  // 5031 and a disabled page with empty lists; otherwise the controls take
  // the settings, a data source whose task is off or whose selection is
  // empty cannot be chosen, and the lists are filled and selected.
  void Activate(MessageSink& sink);
  // Copies the check boxes, the style and the list selections into the
  // settings (an empty y or z selection stores the single entry -1). Does
  // nothing before the first activation.
  void Deactivate();

  // The user's actions.
  void ChooseTimeCourse(bool timeCourse);  // the data source; the lists are refilled
  // "2D" disables the Z list and the 3-D options and clears the Z
  // selection; "3D" keeps only the first selected y item.
  void Choose3d(bool threeD);
  void SetStyle(int style);
  void SetGrid(bool on) { controls_.plotGrid = on ? 1 : 0; }
  void SetKey(bool on) { controls_.plotKey = on ? 1 : 0; }
  void SetTitles(bool on) { controls_.plotTitles = on ? 1 : 0; }
  void SetMultiplot(bool on) { controls_.plotMultiplot = on ? 1 : 0; }
  void SetContour(bool on);   // ignored in 2-D
  void SetHidden3d(bool on);  // ignored in 2-D
  void SetLogX(bool on) { controls_.plotLogX = on ? 1 : 0; }
  void SetLogY(bool on) { controls_.plotLogY = on ? 1 : 0; }
  void SetLogZ(bool on);  // ignored in 2-D
  // Selects entry `index` of the X list (-1: none); an index outside the
  // list selects nothing.
  void SelectX(int index);
  // The Y list allows several entries in 2-D and one in 3-D.
  void SetYSelected(int index, bool selected);
  void SetZSelected(int index, bool selected);  // ignored in 2-D

  // "&Plot!" and "Cmd file" build their script here: the page's state goes
  // into the settings first.
  std::string BuildScript(std::string_view terminal = kScreenTerminal);

  // What the page shows.
  bool enabled() const { return enabled_; }
  bool timeCourseChoiceEnabled() const { return enabled_ && timeCourseChoiceEnabled_; }
  bool steadyStateChoiceEnabled() const { return enabled_ && steadyStateChoiceEnabled_; }
  bool zListEnabled() const { return enabled_ && controls_.plot3d != 0; }
  // Contour, hidden lines and the Z "Log" box.
  bool threeDOptionsEnabled() const { return zListEnabled(); }
  // The check boxes, style and data source as the page shows them (the
  // entry fields are not used: the lists hold the selections).
  const PlotSettings& controls() const { return controls_; }
  // The three lists hold the same titles.
  const std::vector<std::string>& listTitles() const { return titles_; }
  int xSelection() const { return xSelection_; }
  const std::vector<bool>& ySelected() const { return ySelected_; }
  const std::vector<bool>& zSelected() const { return zSelected_; }
  const PlotPageDocument& document() const { return document_; }

 private:
  void FillLists();
  static std::vector<int> SelectedEntries(const std::vector<bool>& selected);

  PlotSettings& settings_;
  PlotPageDocument document_;
  PlotSettings controls_;
  bool activated_ = false;
  bool enabled_ = false;
  bool timeCourseChoiceEnabled_ = true;
  bool steadyStateChoiceEnabled_ = true;
  std::vector<std::string> titles_;
  int xSelection_ = kNoPlotEntry;
  std::vector<bool> ySelected_;
  std::vector<bool> zSelected_;
};

}  // namespace vireon

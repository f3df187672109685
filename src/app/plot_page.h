#pragma once
// The "Plot" page: the data source, 2-D or 3-D, the style and decorations,
// and the columns for the three axes of a gnuplot plot of the last run's
// data; "&Plot!" hands the script to gnuplot and "Cmd file" saves it. A
// view over a PlotPageEditor, which is made anew each time the page is
// shown and writes the settings back when the page is left.

#include <QWidget>
#include <array>
#include <memory>
#include <optional>
#include <string>

#include "output/gnuplot_launcher.h"
#include "output/plot_page_editor.h"

class QButtonGroup;
class QDialog;
class QCheckBox;
class QComboBox;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTemporaryFile;

namespace vireon {

struct Document;
class MessageSink;

class PlotPage : public QWidget {
  Q_OBJECT

 public:
  PlotPage(Document& document, MessageSink& sink, QWidget* parent = nullptr);
  ~PlotPage() override;

  // The gnuplot program "&Plot!" starts.
  void SetGnuplotPath(const std::string& path) {
    gnuplotPath_ = path;
    terminal_.reset();
  }
  // The page is shown: the editor takes the document; the page is left:
  // the choices go back into the document's plot settings.
  void Activate();
  void Deactivate();

  // The script of the page's state, as "&Plot!" and "Cmd file" build it.
  std::string BuildScript();
  // "&Plot!" and "Cmd file" (the latter asks for a name unless one is given).
  // "&Plot!" asks the gnuplot program once which terminals it has and
  // draws with the one ChoosePlotTerminal picks: in gnuplot's window, or
  // as a picture shown in a window of the page. It returns once gnuplot
  // has started; when gnuplot fails, what it said is shown.
  bool PlotNow();
  bool SaveCommandFile(const QString& path = {});

  PlotPageEditor* editor() { return editor_.get(); }
  QListWidget* xList() const { return lists_[0]; }
  QListWidget* yList() const { return lists_[1]; }
  QListWidget* zList() const { return lists_[2]; }
  QComboBox* styleList() const { return style_; }
  QPushButton* plotButton() const { return plot_; }
  // The script "&Plot!" wrote last, and the window that shows a plot drawn
  // as a picture (null until one was drawn).
  const std::string& lastPlotScript() const { return lastPlotScript_; }
  QDialog* pictureWindow() const { return picture_; }

 signals:
  void documentChanged();
  // gnuplot, started by "&Plot!", has ended (well or not).
  void plotEnded(bool drawn);

 private:
  void Show();
  void ReadLists();
  bool FindTerminal();
  void ShowPicture(const QString& path);

  Document& document_;
  MessageSink& sink_;
  std::string gnuplotPath_;
  std::unique_ptr<PlotPageEditor> editor_;
  std::unique_ptr<QTemporaryFile> scriptFile_;
  std::optional<PlotTerminal> terminal_;
  std::string lastPlotScript_;
  QDialog* picture_ = nullptr;

  QWidget* controls_ = nullptr;
  QRadioButton* timeCourse_ = nullptr;
  QRadioButton* steadyState_ = nullptr;
  QRadioButton* twoD_ = nullptr;
  QRadioButton* threeD_ = nullptr;
  QComboBox* style_ = nullptr;
  QCheckBox* grid_ = nullptr;
  QCheckBox* key_ = nullptr;
  QCheckBox* titles_ = nullptr;
  QCheckBox* multiplot_ = nullptr;
  QCheckBox* contour_ = nullptr;
  QCheckBox* hidden3d_ = nullptr;
  std::array<QListWidget*, 3> lists_{};
  std::array<QCheckBox*, 3> logs_{};
  QPushButton* plot_ = nullptr;
  QPushButton* commandFile_ = nullptr;
};

}  // namespace vireon

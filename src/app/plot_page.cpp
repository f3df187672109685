#include "app/plot_page.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTemporaryFile>
#include <QVBoxLayout>

#include "document/document.h"
#include "output/gnuplot_launcher.h"

namespace vireon {
namespace {

constexpr const char* kStyleNames[kPlotStyleCount] = {"Dots",   "Points",  "Lines",
                                                      "Lines+Points", "Splines",
                                                      "Splines+Points"};
constexpr const char* kAxisNames[3] = {"X-axis", "Y-Axis", "Z-axis"};
// How long the page waits for gnuplot to start or to name its terminals.
constexpr int kGnuplotAnswerMilliseconds = 5000;

}  // namespace

PlotPage::PlotPage(Document& document, MessageSink& sink, QWidget* parent)
    : QWidget(parent), document_(document), sink_(sink) {
  timeCourse_ = new QRadioButton("Time course");
  steadyState_ = new QRadioButton("Steady state");
  auto* source = new QButtonGroup(this);
  source->addButton(timeCourse_);
  source->addButton(steadyState_);
  twoD_ = new QRadioButton("2D");
  threeD_ = new QRadioButton("3D");
  auto* dimension = new QButtonGroup(this);
  dimension->addButton(twoD_);
  dimension->addButton(threeD_);
  style_ = new QComboBox;
  for (const char* name : kStyleNames) style_->addItem(name);
  grid_ = new QCheckBox("Grid");
  key_ = new QCheckBox("Key");
  titles_ = new QCheckBox("Titles");
  multiplot_ = new QCheckBox("Multiplot");
  contour_ = new QCheckBox("Contour");
  hidden3d_ = new QCheckBox("Hidden Lines");

  auto* options = new QGroupBox("Plot");
  auto* optionGrid = new QGridLayout(options);
  optionGrid->addWidget(timeCourse_, 0, 0);
  optionGrid->addWidget(steadyState_, 1, 0);
  optionGrid->addWidget(twoD_, 0, 1);
  optionGrid->addWidget(threeD_, 1, 1);
  optionGrid->addWidget(new QLabel("Style:"), 0, 2);
  optionGrid->addWidget(style_, 1, 2);
  optionGrid->addWidget(grid_, 0, 3);
  optionGrid->addWidget(key_, 1, 3);
  optionGrid->addWidget(titles_, 0, 4);
  optionGrid->addWidget(multiplot_, 1, 4);
  optionGrid->addWidget(contour_, 0, 5);
  optionGrid->addWidget(hidden3d_, 1, 5);

  auto* axes = new QHBoxLayout;
  for (int a = 0; a < 3; ++a) {
    lists_[a] = new QListWidget;
    lists_[a]->setToolTip(a == 0 ? "The column drawn along the x axis"
                                 : "The columns drawn along this axis; several may be chosen");
    lists_[a]->setSelectionMode(a == 0 ? QAbstractItemView::SingleSelection
                                       : QAbstractItemView::MultiSelection);
    logs_[a] = new QCheckBox("Log");
    auto* column = new QVBoxLayout;
    column->addWidget(new QLabel(kAxisNames[a]));
    column->addWidget(lists_[a], 1);
    column->addWidget(logs_[a]);
    axes->addLayout(column);
  }

  plot_ = new QPushButton("&Plot!");
  commandFile_ = new QPushButton("Cmd file");
  auto* commands = new QHBoxLayout;
  commands->addStretch();
  commands->addWidget(plot_);
  commands->addWidget(commandFile_);

  controls_ = new QWidget;
  auto* controlsLayout = new QVBoxLayout(controls_);
  controlsLayout->setContentsMargins(0, 0, 0, 0);
  controlsLayout->addWidget(options);
  controlsLayout->addLayout(axes, 1);
  controlsLayout->addLayout(commands);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(controls_);

  // Every control goes to the editor, and the page then shows what it says.
  auto forward = [this](auto action) {
    return [this, action](auto&&... args) {
      if (!editor_) return;
      action(*editor_, args...);
      Show();
      emit documentChanged();
    };
  };
  connect(timeCourse_, &QRadioButton::clicked, this,
          forward([](PlotPageEditor& e, bool) { e.ChooseTimeCourse(true); }));
  connect(steadyState_, &QRadioButton::clicked, this,
          forward([](PlotPageEditor& e, bool) { e.ChooseTimeCourse(false); }));
  connect(twoD_, &QRadioButton::clicked, this,
          forward([](PlotPageEditor& e, bool) { e.Choose3d(false); }));
  connect(threeD_, &QRadioButton::clicked, this,
          forward([](PlotPageEditor& e, bool) { e.Choose3d(true); }));
  connect(style_, &QComboBox::activated, this,
          forward([](PlotPageEditor& e, int style) { e.SetStyle(style); }));
  connect(grid_, &QCheckBox::clicked, this,
          forward([](PlotPageEditor& e, bool on) { e.SetGrid(on); }));
  connect(key_, &QCheckBox::clicked, this,
          forward([](PlotPageEditor& e, bool on) { e.SetKey(on); }));
  connect(titles_, &QCheckBox::clicked, this,
          forward([](PlotPageEditor& e, bool on) { e.SetTitles(on); }));
  connect(multiplot_, &QCheckBox::clicked, this,
          forward([](PlotPageEditor& e, bool on) { e.SetMultiplot(on); }));
  connect(contour_, &QCheckBox::clicked, this,
          forward([](PlotPageEditor& e, bool on) { e.SetContour(on); }));
  connect(hidden3d_, &QCheckBox::clicked, this,
          forward([](PlotPageEditor& e, bool on) { e.SetHidden3d(on); }));
  connect(logs_[0], &QCheckBox::clicked, this,
          forward([](PlotPageEditor& e, bool on) { e.SetLogX(on); }));
  connect(logs_[1], &QCheckBox::clicked, this,
          forward([](PlotPageEditor& e, bool on) { e.SetLogY(on); }));
  connect(logs_[2], &QCheckBox::clicked, this,
          forward([](PlotPageEditor& e, bool on) { e.SetLogZ(on); }));
  for (QListWidget* list : lists_) {
    connect(list, &QListWidget::itemSelectionChanged, this, [this] {
      ReadLists();
      emit documentChanged();
    });
  }
  connect(plot_, &QPushButton::clicked, this, [this] { PlotNow(); });
  connect(commandFile_, &QPushButton::clicked, this, [this] { SaveCommandFile(); });
  controls_->setEnabled(false);
}

PlotPage::~PlotPage() = default;

void PlotPage::Activate() {
  editor_ = std::make_unique<PlotPageEditor>(document_.plot, PlotPageDocumentOf(document_));
  editor_->Activate(sink_);
  Show();
}

void PlotPage::Deactivate() {
  if (editor_) editor_->Deactivate();
}

void PlotPage::Show() {
  const PlotPageEditor& e = *editor_;
  const PlotSettings& c = e.controls();
  controls_->setEnabled(e.enabled());
  timeCourse_->setEnabled(e.timeCourseChoiceEnabled());
  steadyState_->setEnabled(e.steadyStateChoiceEnabled());
  timeCourse_->setChecked(c.plotDyn != 0);
  steadyState_->setChecked(c.plotDyn == 0);
  twoD_->setChecked(c.plot3d == 0);
  threeD_->setChecked(c.plot3d != 0);
  style_->setCurrentIndex(c.plotType >= 0 && c.plotType < kPlotStyleCount ? c.plotType : 0);
  grid_->setChecked(c.plotGrid != 0);
  key_->setChecked(c.plotKey != 0);
  titles_->setChecked(c.plotTitles != 0);
  multiplot_->setChecked(c.plotMultiplot != 0);
  contour_->setChecked(c.plotContour != 0);
  hidden3d_->setChecked(c.plotHidden3d != 0);
  contour_->setEnabled(e.threeDOptionsEnabled());
  hidden3d_->setEnabled(e.threeDOptionsEnabled());
  logs_[0]->setChecked(c.plotLogX != 0);
  logs_[1]->setChecked(c.plotLogY != 0);
  logs_[2]->setChecked(c.plotLogZ != 0);
  logs_[2]->setEnabled(e.threeDOptionsEnabled());
  lists_[1]->setSelectionMode(c.plot3d != 0 ? QAbstractItemView::SingleSelection
                                            : QAbstractItemView::MultiSelection);
  lists_[2]->setEnabled(e.zListEnabled());

  for (int a = 0; a < 3; ++a) {
    const QSignalBlocker blocker(lists_[a]);
    lists_[a]->clear();
    for (const std::string& title : e.listTitles()) {
      lists_[a]->addItem(QString::fromStdString(title));
    }
    for (int row = 0; row < lists_[a]->count(); ++row) {
      bool selected = false;
      if (a == 0) selected = row == e.xSelection();
      if (a == 1) selected = row < static_cast<int>(e.ySelected().size()) && e.ySelected()[row];
      if (a == 2) selected = row < static_cast<int>(e.zSelected().size()) && e.zSelected()[row];
      lists_[a]->item(row)->setSelected(selected);
    }
  }
}

void PlotPage::ReadLists() {
  if (!editor_) return;
  int x = kNoPlotEntry;
  for (int row = 0; row < lists_[0]->count(); ++row) {
    if (lists_[0]->item(row)->isSelected()) x = row;
  }
  editor_->SelectX(x);
  for (int row = 0; row < lists_[1]->count(); ++row) {
    editor_->SetYSelected(row, lists_[1]->item(row)->isSelected());
  }
  for (int row = 0; row < lists_[2]->count(); ++row) {
    editor_->SetZSelected(row, lists_[2]->item(row)->isSelected());
  }
  // The editor may have refused a choice (one y item in 3-D, no z in 2-D).
  Show();
}

std::string PlotPage::BuildScript() {
  if (!editor_) Activate();
  return editor_->BuildScript();
}

bool PlotPage::FindTerminal() {
  QProcess probe;
  probe.setProcessChannelMode(QProcess::MergedChannels);
  probe.start(QString::fromStdString(gnuplotPath_), {"-e", kGnuplotTerminalsArgument});
  if (!probe.waitForStarted(kGnuplotAnswerMilliseconds)) {
    sink_.Error("", "The gnuplot program " + gnuplotPath_ + " could not be started.\n" +
                        probe.errorString().toStdString());
    return false;
  }
  if (!probe.waitForFinished(kGnuplotAnswerMilliseconds)) {
    probe.kill();
    probe.waitForFinished();
    sink_.Error("", "The gnuplot program " + gnuplotPath_ + " did not say which terminals it has.");
    return false;
  }
  const std::string words = probe.readAll().toStdString();
  terminal_ = ChoosePlotTerminal(words);
  if (!terminal_) sink_.Error("", NoPlotTerminalMessage(gnuplotPath_, words));
  return terminal_.has_value();
}

bool PlotPage::PlotNow() {
  if (!editor_) Activate();
  if (!terminal_ && !FindTerminal()) return false;
  if (!scriptFile_) {
    // The program's temporary file: made once, removed when the page goes.
    scriptFile_ = std::make_unique<QTemporaryFile>(QDir::tempPath() + "/vrnXXXXXX.plt");
    if (!scriptFile_->open()) {
      scriptFile_.reset();
      return WriteGnuplotScript(std::string(), BuildScript(), sink_);
    }
    scriptFile_->close();
  }
  const QString scriptPath = scriptFile_->fileName();
  const QString picture =
      terminal_->window ? QString() : scriptPath + (terminal_->name == "svg" ? ".svg" : ".png");
  if (!picture.isEmpty()) QFile::remove(picture);
  lastPlotScript_ = editor_->BuildScript(PlotTerminalLines(*terminal_, picture.toStdString()));
  if (!WriteGnuplotScript(scriptPath.toStdString(), lastPlotScript_, sink_)) return false;

  auto* gnuplot = new QProcess(this);
  gnuplot->setStandardOutputFile(QProcess::nullDevice());
  connect(gnuplot, &QProcess::finished, this,
          [this, gnuplot, picture](int exitCode, QProcess::ExitStatus status) {
            const std::string said = gnuplot->readAllStandardError().toStdString();
            gnuplot->deleteLater();
            const bool failed = status == QProcess::CrashExit || exitCode != 0;
            if (failed) {
              sink_.Error("", GnuplotFailureMessage(
                                  status == QProcess::CrashExit ? -1 : exitCode, said));
            } else if (!picture.isEmpty()) {
              ShowPicture(picture);
            }
            emit plotEnded(!failed);
          });
  gnuplot->start(QString::fromStdString(gnuplotPath_), {"-persist", scriptPath});
  if (!gnuplot->waitForStarted(kGnuplotAnswerMilliseconds)) {
    sink_.Error("", "The gnuplot program " + gnuplotPath_ + " could not be started.\n" +
                        gnuplot->errorString().toStdString());
    gnuplot->disconnect(this);
    gnuplot->deleteLater();
    return false;
  }
  return true;
}

void PlotPage::ShowPicture(const QString& path) {
  const QPixmap pixmap(path);
  if (pixmap.isNull()) {
    sink_.Error("", "gnuplot drew no picture that can be shown (" + path.toStdString() + ").");
    return;
  }
  if (picture_ == nullptr) {
    picture_ = new QDialog(this);
    picture_->setWindowTitle("Plot");
    auto* layout = new QVBoxLayout(picture_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel);
  }
  picture_->findChild<QLabel*>()->setPixmap(pixmap);
  picture_->adjustSize();
  picture_->show();
  picture_->raise();
}

bool PlotPage::SaveCommandFile(const QString& path) {
  const std::string script = BuildScript();
  QString chosen = path;
  if (chosen.isEmpty()) {
    const QString folder = QString::fromStdString(document_.folder);
    chosen = QFileDialog::getSaveFileName(this, kCommandFileDialogTitle,
                                          folder + kCommandFileProposedName, kCommandFileFilter);
    if (chosen.isEmpty()) return false;
  }
  return vireon::SaveCommandFile(chosen.toStdString(), script, sink_);
}

}  // namespace vireon

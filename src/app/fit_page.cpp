#include "app/fit_page.h"

#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QListWidget>
#include <QLogValueAxis>
#include <QPushButton>
#include <QScatterSeries>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <climits>
#include <cmath>

#include "app/qt_message_sink.h"
#include "document/document.h"
#include "document/edit_history.h"
#include "fit/fit_report.h"
#include "output/number_format.h"

namespace vireon {
namespace {

constexpr int kPathRole = Qt::UserRole;
// The parameter table's columns.
constexpr int kTitleColumn = 0;
constexpr int kLowerColumn = 1;
constexpr int kUpperColumn = 2;
constexpr int kScaleColumn = 3;
constexpr FitMethod kMethods[] = {FitMethod::kLocal, FitMethod::kGlobal, FitMethod::kDirect};
constexpr const char* kMethodNames[] = {"Local (Levenberg-Marquardt)",
                                        "Global (local fits from many starts)",
                                        "Direct (DIRECT-L, then local)"};
constexpr ParameterScale kScales[] = {ParameterScale::kAuto, ParameterScale::kLinear,
                                      ParameterScale::kLog};
constexpr const char* kScaleNames[] = {"auto", "linear", "log"};
constexpr const char* kDataFileFilter = "Data files (*.csv *.txt *.tsv);;All files (*)";
// What marks a mistake, and a poorly determined value.
// Whether the program runs in a dark palette: the mistakes' colours and the
// charts' theme follow it, so that both stay readable.
bool DarkPalette() {
  return QGuiApplication::palette().color(QPalette::Window).lightness() < 128;
}
QColor MistakeColor() { return DarkPalette() ? QColor(255, 138, 138) : QColor(176, 0, 32); }
QColor MistakeBackground() { return DarkPalette() ? QColor(96, 24, 32) : QColor(255, 228, 228); }
// The data points' size on the charts, in pixels.
constexpr qreal kMarkerSize = 8.0;
// The log axis of the objective reaches this factor beyond its values.
constexpr double kLogMargin = 2.0;
// An objective of 0 is drawn at this, the log axis having no 0.
constexpr double kSmallestObjective = 1e-300;
// The smallest the chart views become, in pixels.
constexpr int kChartMinimumHeight = 200;
// The rows the list of experiments shows; the preview below gets the rest.
constexpr int kListRows = 4;

QString Text(double value) {
  return std::isfinite(value) ? ToQString(FormatGeneral(value)) : QString();
}

QTableWidgetItem* ReadOnlyItem(const QString& text) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(item->flags() & ~Qt::ItemIsEditable);
  return item;
}

// Replaces the view's chart with `chart`: one whose axes were replaced
// while drawn keeps stale ranges, so every drawing gets a chart of its own.
void SetChart(QChartView* view, QChart* chart) {
  QChart* previous = view->chart();
  view->setChart(chart);
  delete previous;
}

QChart* NewChart(const QString& title) {
  auto* chart = new QChart;
  chart->setTheme(DarkPalette() ? QChart::ChartThemeDark : QChart::ChartThemeLight);
  chart->setTitle(title);
  chart->legend()->setAlignment(Qt::AlignRight);
  return chart;
}

// Axes over the chart's series, with round numbers at their ticks.
void TitleAxes(QChart* chart, const QString& x, const QString& y) {
  chart->createDefaultAxes();
  for (QAbstractAxis* axis : chart->axes()) {
    if (auto* values = qobject_cast<QValueAxis*>(axis)) {
      values->applyNiceNumbers();
      values->setLabelFormat("%.3g");
    }
    axis->setTitleText(axis->orientation() == Qt::Horizontal ? x : y);
  }
}

}  // namespace

FitPage::FitPage(Document& document, int jobs, QWidget* parent)
    : QWidget(parent), document_(document) {
  editor_ = std::make_unique<FitEditor>(document_, jobs);

  // Experiments: the files, and the preview of the one chosen.
  experiments_ = new QListWidget;
  experiments_->setToolTip("The data files the model is fitted to; choose one to see its columns");
  experiments_->setMaximumHeight(experiments_->fontMetrics().height() * kListRows);
  addExperiment_ = new QPushButton("&Add file...");
  removeExperiment_ = new QPushButton("Remo&ve");
  preview_ = new QTableWidget;
  preview_->setToolTip("The first rows of the chosen file, and what each column sets or measures "
                       "in the model");
  preview_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  preview_->verticalHeader()->setDefaultSectionSize(preview_->fontMetrics().height() + 6);
  experimentMessage_ = new QLabel;
  experimentMessage_->setWordWrap(true);
  experimentMessage_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* fileButtons = new QHBoxLayout;
  fileButtons->addWidget(addExperiment_);
  fileButtons->addWidget(removeExperiment_);
  fileButtons->addStretch();
  auto* experimentBox = new QGroupBox("Experiments");
  auto* experimentLayout = new QVBoxLayout(experimentBox);
  experimentLayout->addWidget(experiments_);
  experimentLayout->addLayout(fileButtons);
  experimentLayout->addWidget(preview_, 2);
  experimentLayout->addWidget(experimentMessage_);

  // Parameters: the scan's tree of quantities and the chosen ones.
  tree_ = new QTreeWidget;
  tree_->setToolTip("The quantities a fit can change; double-click one or use Add parameter");
  tree_->setHeaderLabel("Available quantities");
  addParameter_ = new QPushButton("Add &parameter");
  removeParameter_ = new QPushButton("Remove parameter");
  parameters_ = new QTableWidget(0, 4);
  parameters_->setToolTip("The parameters fitted, with their bounds (empty: none) and the scale "
                          "they are searched in");
  parameters_->setHorizontalHeaderLabels({"Parameter", "Lower", "Upper", "Scale"});
  parameters_->horizontalHeader()->setSectionResizeMode(kTitleColumn, QHeaderView::Stretch);
  parameters_->verticalHeader()->hide();
  parameters_->setSelectionBehavior(QAbstractItemView::SelectRows);
  parameters_->setSelectionMode(QAbstractItemView::SingleSelection);
  auto* parameterButtons = new QHBoxLayout;
  parameterButtons->addWidget(addParameter_);
  parameterButtons->addWidget(removeParameter_);
  parameterButtons->addStretch();
  auto* parameterBox = new QGroupBox("Parameters");
  auto* parameterLayout = new QVBoxLayout(parameterBox);
  parameterLayout->addWidget(tree_, 3);
  parameterLayout->addLayout(parameterButtons);
  parameterLayout->addWidget(parameters_, 2);

  // The method.
  method_ = new QComboBox;
  for (const char* name : kMethodNames) method_->addItem(name);
  starts_ = new QSpinBox;
  starts_->setRange(1, kMaxFitStarts);
  seed_ = new QSpinBox;
  seed_->setRange(0, INT_MAX);
  jobs_ = new QSpinBox;
  jobs_->setRange(1, kMaxFitJobs);
  scaleColumns_ = new QCheckBox("Scale columns");
  scaleColumns_->setToolTip(
      "Divide each column without standard deviations by the root of its mean square, so that "
      "quantities of different magnitudes count alike");
  auto* methodRow = new QHBoxLayout;
  auto* methodLabel = new QLabel("&Method");
  methodLabel->setBuddy(method_);
  methodRow->addWidget(methodLabel);
  methodRow->addWidget(method_);
  auto* startsLabel = new QLabel("Starts");
  startsLabel->setBuddy(starts_);
  methodRow->addWidget(startsLabel);
  methodRow->addWidget(starts_);
  auto* seedLabel = new QLabel("Seed");
  seedLabel->setBuddy(seed_);
  methodRow->addWidget(seedLabel);
  methodRow->addWidget(seed_);
  auto* jobsLabel = new QLabel("Threads");
  jobsLabel->setBuddy(jobs_);
  methodRow->addWidget(jobsLabel);
  methodRow->addWidget(jobs_);
  methodRow->addWidget(scaleColumns_);
  methodRow->addStretch();

  auto* setupSplitter = new QSplitter(Qt::Horizontal);
  setupSplitter->addWidget(experimentBox);
  setupSplitter->addWidget(parameterBox);
  setupSplitter->setChildrenCollapsible(false);
  setup_ = new QWidget;
  auto* setupLayout = new QVBoxLayout(setup_);
  setupLayout->setContentsMargins(0, 0, 0, 0);
  setupLayout->addWidget(setupSplitter, 1);
  setupLayout->addLayout(methodRow);

  // Running, and the results.
  run_ = new QPushButton("&Run fit");
  run_->setToolTip("Fit the parameters to the experiments (F5 on this page)");
  stop_ = new QPushButton("S&top");
  stop_->setToolTip("End the fit at its best point so far (Esc)");
  apply_ = new QPushButton("Appl&y to model");
  apply_->setToolTip("Give the model's parameters their fitted values (Edit > Undo takes them back)");
  status_ = new QLabel;
  status_->setWordWrap(true);
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* runRow = new QHBoxLayout;
  runRow->addWidget(run_);
  runRow->addWidget(stop_);
  runRow->addWidget(status_, 1);
  runRow->addWidget(apply_);

  progressView_ = new QChartView(NewChart("Best objective"));
  progressView_->setRenderHint(QPainter::Antialiasing);
  values_ = new QTableWidget(0, 4);
  values_->setToolTip("The fitted values with their standard deviations; a poorly determined "
                      "one is marked");
  values_->setHorizontalHeaderLabels({"Parameter", "Value", "Std. dev.", "Note"});
  values_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  values_->verticalHeader()->hide();
  values_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  chartChoice_ = new QComboBox;
  fitView_ = new QChartView(NewChart("Data and fitted model"));
  fitView_->setRenderHint(QPainter::Antialiasing);
  residualView_ = new QChartView(NewChart("Residuals"));
  residualView_->setRenderHint(QPainter::Antialiasing);
  for (QChartView* view : {progressView_, fitView_, residualView_}) {
    view->setMinimumHeight(kChartMinimumHeight);
  }
  auto* chartsPage = new QWidget;
  auto* chartsLayout = new QVBoxLayout(chartsPage);
  auto* chooserRow = new QHBoxLayout;
  auto* chooserLabel = new QLabel("E&xperiment");
  chooserLabel->setBuddy(chartChoice_);
  chooserRow->addWidget(chooserLabel);
  chooserRow->addWidget(chartChoice_, 1);
  chartsLayout->addLayout(chooserRow);
  auto* chartsSplitter = new QSplitter(Qt::Horizontal);
  chartsSplitter->addWidget(fitView_);
  chartsSplitter->addWidget(residualView_);
  chartsLayout->addWidget(chartsSplitter, 1);
  results_ = new QTabWidget;
  results_->addTab(progressView_, "Progress");
  results_->addTab(values_, "Values");
  results_->addTab(chartsPage, "Data and fit");

  auto* resultsPane = new QWidget;
  auto* resultsLayout = new QVBoxLayout(resultsPane);
  resultsLayout->setContentsMargins(0, 0, 0, 0);
  resultsLayout->addLayout(runRow);
  resultsLayout->addWidget(results_, 1);
  auto* pageSplitter = new QSplitter(Qt::Vertical);
  pageSplitter->addWidget(setup_);
  pageSplitter->addWidget(resultsPane);
  pageSplitter->setChildrenCollapsible(false);
  pageSplitter->setStretchFactor(0, 1);
  pageSplitter->setStretchFactor(1, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(pageSplitter);

  connect(addExperiment_, &QPushButton::clicked, this, [this] {
    const QString path = QFileDialog::getOpenFileName(
        this, "Add experiment", ToQString(document_.folder), kDataFileFilter);
    if (!path.isEmpty()) AddExperimentFile(path);
  });
  connect(removeExperiment_, &QPushButton::clicked, this, [this] {
    const int row = experiments_->currentRow();
    if (row < 0 || !editor_->RemoveExperiment(static_cast<std::size_t>(row))) return;
    ShowExperiments();
    experiments_->setCurrentRow(std::min(row, experiments_->count() - 1));
    Changed();
  });
  connect(experiments_, &QListWidget::currentRowChanged, this, [this] { ShowPreview(); });
  connect(addParameter_, &QPushButton::clicked, this, [this] {
    const QTreeWidgetItem* current = tree_->currentItem();
    if (current != nullptr) AddParameter(current->text(0));
  });
  connect(tree_, &QTreeWidget::itemDoubleClicked, this,
          [this](QTreeWidgetItem* item) { AddParameter(item->text(0)); });
  connect(removeParameter_, &QPushButton::clicked, this, [this] {
    const int row = parameters_->currentRow();
    if (row < 0 || !editor_->RemoveParameter(static_cast<std::size_t>(row))) return;
    ShowParameters();
    Changed();
  });
  connect(parameters_, &QTableWidget::cellChanged, this, &FitPage::ReadBound);
  connect(method_, &QComboBox::activated, this, [this](int index) {
    editor_->SetMethod(kMethods[std::clamp(index, 0, 2)]);
    ShowMethod();
    Changed();
  });
  connect(starts_, &QSpinBox::valueChanged, this, [this](int value) {
    if (showing_) return;
    editor_->SetStarts(value);
    Changed();
  });
  connect(seed_, &QSpinBox::valueChanged, this, [this](int value) {
    if (showing_) return;
    editor_->SetSeed(static_cast<std::uint32_t>(value));
    Changed();
  });
  connect(jobs_, &QSpinBox::valueChanged, this, [this](int value) {
    if (!showing_) editor_->SetJobs(value);
  });
  connect(scaleColumns_, &QCheckBox::clicked, this, [this](bool on) {
    editor_->SetScaleColumns(on);
    Changed();
  });
  connect(run_, &QPushButton::clicked, this, [this] { Run(); });
  connect(stop_, &QPushButton::clicked, this, &FitPage::Stop);
  connect(apply_, &QPushButton::clicked, this, [this] { Apply(); });
  connect(chartChoice_, &QComboBox::currentIndexChanged, this, [this] { ShowCharts(); });
  Refresh();
}

FitPage::~FitPage() {
  // The run's thread may still report: it ends before the page goes.
  fit_.reset();
}

void FitPage::Refresh() {
  editor_ = std::make_unique<FitEditor>(document_, editor_->jobs());
  available_ = editor_->ParameterTree();
  tree_->clear();
  for (int n = 0; n < static_cast<int>(available_.size()); ++n) {
    auto* node = new QTreeWidgetItem(tree_, {ToQString(available_[n].text)});
    node->setFlags(node->flags() & ~Qt::ItemIsSelectable);
    for (int e = 0; e < static_cast<int>(available_[n].entries.size()); ++e) {
      auto* entry = new QTreeWidgetItem(node, {ToQString(available_[n].entries[e].title)});
      entry->setData(0, kPathRole, QPoint(n, e));
    }
  }
  tree_->expandAll();
  ShowExperiments();
  ShowParameters();
  ShowMethod();
  UpdateEnabled();
}

void FitPage::ShowExperiments() {
  const int current = experiments_->currentRow();
  {
    const QSignalBlocker blocker(experiments_);
    experiments_->clear();
    for (const FitExperimentPreview& preview : editor_->experiments()) {
      auto* item = new QListWidgetItem(ToQString(preview.file));
      if (!preview.ok()) {
        item->setForeground(MistakeColor());
        item->setToolTip(preview.error.empty() ? "A column names nothing the fit can use"
                                               : ToQString(preview.error));
      } else {
        item->setToolTip(ToQString(preview.path));
      }
      experiments_->addItem(item);
    }
    const int count = experiments_->count();
    experiments_->setCurrentRow(count == 0 ? -1 : std::clamp(current, 0, count - 1));
  }
  ShowPreview();
  ShowProblem();
}

void FitPage::ShowPreview() {
  preview_->clear();
  preview_->setRowCount(0);
  preview_->setColumnCount(0);
  experimentMessage_->clear();
  const int row = experiments_->currentRow();
  removeExperiment_->setEnabled(row >= 0 && !running_ && !taskRunning_);
  if (row < 0 || row >= static_cast<int>(editor_->experiments().size())) return;
  const FitExperimentPreview& preview = editor_->experiments()[static_cast<std::size_t>(row)];
  QPalette palette = experimentMessage_->palette();
  if (!preview.error.empty()) {
    palette.setColor(QPalette::WindowText, MistakeColor());
    experimentMessage_->setPalette(palette);
    experimentMessage_->setText(ToQString(preview.error));
    return;
  }
  const int columns = static_cast<int>(preview.columns.size());
  std::size_t shown = 0;
  for (const FitColumnPreview& column : preview.columns) shown = std::max(shown, column.cells.size());
  preview_->setColumnCount(columns);
  preview_->setRowCount(static_cast<int>(shown) + 1);
  QStringList rowTitles{"is"};
  for (std::size_t r = 0; r < shown; ++r) rowTitles << QString::number(r + 1);
  preview_->setVerticalHeaderLabels(rowTitles);
  QStringList problems;
  for (int c = 0; c < columns; ++c) {
    const FitColumnPreview& column = preview.columns[static_cast<std::size_t>(c)];
    preview_->setHorizontalHeaderItem(c, new QTableWidgetItem(ToQString(column.title)));
    auto* meaning = new QTableWidgetItem(
        ToQString(column.problem.empty() ? column.meaning : "not understood"));
    QFont bold = meaning->font();
    bold.setItalic(true);
    meaning->setFont(bold);
    if (!column.problem.empty()) {
      meaning->setForeground(MistakeColor());
      meaning->setBackground(MistakeBackground());
      meaning->setToolTip(ToQString(column.problem));
      problems << QString("Column %1: %2").arg(c + 1).arg(ToQString(column.problem));
    }
    preview_->setItem(0, c, meaning);
    for (std::size_t r = 0; r < column.cells.size(); ++r) {
      preview_->setItem(static_cast<int>(r) + 1, c, new QTableWidgetItem(Text(column.cells[r])));
    }
  }
  preview_->resizeColumnsToContents();
  QString summary =
      QString("%1, %2 rows")
          .arg(preview.kind == ExperimentKind::kTimeCourse ? "A time course" : "Steady states")
          .arg(preview.rows);
  if (preview.rows > shown) summary += QString(" (the first %1 shown)").arg(shown);
  palette.setColor(QPalette::WindowText,
                   problems.isEmpty() ? this->palette().color(QPalette::WindowText)
                                      : MistakeColor());
  experimentMessage_->setPalette(palette);
  experimentMessage_->setText(problems.isEmpty() ? summary + "."
                                                 : summary + ".\n" + problems.join("\n"));
}

void FitPage::ShowParameters() {
  const int current = parameters_->currentRow();
  const QSignalBlocker blocker(parameters_);
  parameters_->setRowCount(0);
  const std::vector<FitParameter>& parameters = editor_->fit().parameters;
  parameters_->setRowCount(static_cast<int>(parameters.size()));
  for (int r = 0; r < static_cast<int>(parameters.size()); ++r) {
    const FitParameter& parameter = parameters[static_cast<std::size_t>(r)];
    parameters_->setItem(r, kTitleColumn, ReadOnlyItem(ToQString(parameter.title)));
    parameters_->setItem(r, kLowerColumn,
                         new QTableWidgetItem(ToQString(FitEditor::BoundText(parameter.lower))));
    parameters_->setItem(r, kUpperColumn,
                         new QTableWidgetItem(ToQString(FitEditor::BoundText(parameter.upper))));
    auto* scale = new QComboBox;
    for (const char* name : kScaleNames) scale->addItem(name);
    for (int k = 0; k < 3; ++k) {
      if (kScales[k] == parameter.scale) scale->setCurrentIndex(k);
    }
    scale->setToolTip("auto: in log space when the parameter is positive");
    connect(scale, &QComboBox::activated, this, [this, r](int index) {
      editor_->SetScale(static_cast<std::size_t>(r), kScales[std::clamp(index, 0, 2)]);
      Changed();
    });
    parameters_->setCellWidget(r, kScaleColumn, scale);
  }
  parameters_->resizeColumnToContents(kScaleColumn);
  if (current >= 0 && current < parameters_->rowCount()) parameters_->selectRow(current);
}

void FitPage::ShowMethod() {
  showing_ = true;
  const FitSettings& fit = editor_->fit();
  for (int k = 0; k < 3; ++k) {
    if (kMethods[k] == fit.method) method_->setCurrentIndex(k);
  }
  starts_->setValue(fit.starts);
  seed_->setValue(static_cast<int>(std::min<std::uint32_t>(fit.seed, INT_MAX)));
  jobs_->setValue(editor_->jobs());
  scaleColumns_->setChecked(fit.scaleColumns);
  starts_->setEnabled(fit.method == FitMethod::kGlobal);
  showing_ = false;
}

void FitPage::ShowProblem() {
  if (running_) return;
  const std::string problem = editor_->Problem();
  canRun_ = problem.empty();
  QPalette palette = status_->palette();
  palette.setColor(QPalette::WindowText,
                   problem.empty() ? this->palette().color(QPalette::WindowText) : MistakeColor());
  status_->setPalette(palette);
  if (!problem.empty()) {
    status_->setText("Cannot fit: " + ToQString(problem));
  } else if (haveResult_) {
    status_->setText(QString("%1: objective %2 over %3 points, %4 evaluations")
                         .arg(ToQString(FitStatusText(result_.status)))
                         .arg(Text(result_.objective))
                         .arg(result_.points)
                         .arg(result_.evaluations));
  } else {
    status_->setText("Ready to fit.");
  }
  UpdateEnabled();
}

bool FitPage::AddExperimentFile(const QString& path) {
  const std::string refused = editor_->AddExperiment(path.toStdString());
  if (!refused.empty()) {
    QPalette palette = experimentMessage_->palette();
    palette.setColor(QPalette::WindowText, MistakeColor());
    experimentMessage_->setPalette(palette);
    experimentMessage_->setText(ToQString(refused));
    return false;
  }
  ShowExperiments();
  experiments_->setCurrentRow(experiments_->count() - 1);
  Changed();
  return true;
}

bool FitPage::AddParameter(const QString& title) {
  for (const OutputDataNode& node : available_) {
    for (const OutputItem& item : node.entries) {
      if (ToQString(item.title) != title) continue;
      const std::string refused = editor_->AddParameter(item);
      if (!refused.empty()) {
        status_->setText(ToQString(refused));
        return false;
      }
      ShowParameters();
      parameters_->selectRow(parameters_->rowCount() - 1);
      Changed();
      return true;
    }
  }
  return false;
}

void FitPage::ReadBound(int row, int column) {
  if (column != kLowerColumn && column != kUpperColumn) return;
  QTableWidgetItem* cell = parameters_->item(row, column);
  if (cell == nullptr || row < 0 || row >= static_cast<int>(editor_->fit().parameters.size())) {
    return;
  }
  const auto index = static_cast<std::size_t>(row);
  const std::string text = cell->text().toStdString();
  const std::string refused = column == kLowerColumn ? editor_->SetLowerText(index, text)
                                                     : editor_->SetUpperText(index, text);
  const FitParameter& parameter = editor_->fit().parameters[index];
  {
    const QSignalBlocker blocker(parameters_);
    cell->setText(ToQString(
        FitEditor::BoundText(column == kLowerColumn ? parameter.lower : parameter.upper)));
  }
  Changed();
  if (!refused.empty()) {
    QPalette palette = status_->palette();
    palette.setColor(QPalette::WindowText, MistakeColor());
    status_->setPalette(palette);
    status_->setText(ToQString(refused));
  }
}

void FitPage::Changed() {
  ShowProblem();
  if (!editor_->modified()) return;
  editor_->ClearModified();
  if (editor_->Commit(document_)) emit documentChanged();
}

bool FitPage::Run() {
  if (running_ || taskRunning_) return false;
  FitProblemResult built = editor_->BuildProblem();
  if (!built.problem) {
    ShowProblem();
    return false;
  }
  ClearResult();
  running_ = true;
  const FitOptions options = editor_->Options();
  progressTotal_ = options.method == FitMethod::kGlobal ? std::max(options.starts, 1) : 1;
  status_->setPalette(palette());
  status_->setText("Fitting...");
  results_->setCurrentIndex(0);
  // The run reports on its own thread; each report becomes a call on the
  // page's, which Qt drops when the page has gone meanwhile.
  fit_ = std::make_unique<FitRun>(
      std::move(built.problem), options,
      [this](int done, int total, double best) {
        QMetaObject::invokeMethod(
            this, [this, done, total, best] { ShowProgress(done, total, best); },
            Qt::QueuedConnection);
      },
      [this] { QMetaObject::invokeMethod(this, [this] { FitEnded(); }, Qt::QueuedConnection); });
  UpdateEnabled();
  emit runningChanged(true);
  return true;
}

void FitPage::Stop() {
  if (running_ && fit_ != nullptr) {
    fit_->Stop();
    status_->setText("Stopping: the fit ends at its best point so far...");
  }
}

void FitPage::ShowProgress(int done, int total, double best) {
  if (!running_) return;
  progressTotal_ = std::max(total, 1);
  if (std::isfinite(best)) progress_.emplace_back(done, std::max(best, kSmallestObjective));
  status_->setText(QString("Fitting: %1 of %2 starts done, best objective %3")
                       .arg(done)
                       .arg(total)
                       .arg(std::isfinite(best) ? Text(best) : QString("not yet had")));
  QChart* chart = NewChart("Best objective (log scale)");
  chart->legend()->hide();
  auto* series = new QLineSeries;
  series->setPointsVisible(true);
  double low = INFINITY;
  double high = 0.0;
  for (const auto& [x, y] : progress_) {
    series->append(x, y);
    low = std::min(low, y);
    high = std::max(high, y);
  }
  chart->addSeries(series);
  auto* xAxis = new QValueAxis;
  xAxis->setTitleText("starts done");
  xAxis->setRange(0, progressTotal_);
  xAxis->setLabelFormat("%d");
  xAxis->setTickCount(std::min(progressTotal_, 10) + 1);
  auto* yAxis = new QLogValueAxis;
  yAxis->setTitleText("objective");
  yAxis->setLabelFormat("%.3g");
  if (high > 0.0) yAxis->setRange(low / kLogMargin, high * kLogMargin);
  chart->addAxis(xAxis, Qt::AlignBottom);
  chart->addAxis(yAxis, Qt::AlignLeft);
  series->attachAxis(xAxis);
  series->attachAxis(yAxis);
  SetChart(progressView_, chart);
}

void FitPage::FitEnded() {
  if (fit_ == nullptr) return;
  result_ = fit_->Wait();
  if (std::isfinite(result_.objective) && !result_.parameters.empty()) {
    ShowProgress(progressTotal_, progressTotal_, result_.objective);
  }
  haveResult_ = true;
  running_ = false;
  ShowResult();
  emit runningChanged(false);
}

void FitPage::ShowResult() {
  ShowProblem();
  if (result_.status == FitStatus::kFailed || result_.parameters.empty()) {
    QPalette palette = status_->palette();
    palette.setColor(QPalette::WindowText, MistakeColor());
    status_->setPalette(palette);
    status_->setText("The fit failed: " + ToQString(result_.message));
  } else if (result_.status == FitStatus::kStopped) {
    status_->setText(status_->text() + " (stopped: the best point so far)");
  }
  const std::vector<FitValueRow> rows = FitValueRows(result_);
  values_->setRowCount(static_cast<int>(rows.size()));
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    const FitValueRow& row = rows[static_cast<std::size_t>(r)];
    const QString values[] = {ToQString(row.title), ToQString(row.value), ToQString(row.sd),
                              ToQString(row.note)};
    for (int c = 0; c < 4; ++c) {
      QTableWidgetItem* item = ReadOnlyItem(values[c]);
      if (c == 1 || c == 2) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      if (row.poorlyDetermined) {
        item->setForeground(MistakeColor());
        item->setBackground(MistakeBackground());
      }
      values_->setItem(r, c, item);
    }
  }
  {
    const QSignalBlocker blocker(chartChoice_);
    chartChoice_->clear();
    if (fit_ != nullptr) {
      for (const FitExperiment& experiment : fit_->problem().experiments) {
        chartChoice_->addItem(QFileInfo(ToQString(experiment.path)).fileName(),
                              ToQString(experiment.path));
      }
    }
  }
  ShowCharts();
  if (!rows.empty()) results_->setCurrentIndex(1);
  UpdateEnabled();
}

void FitPage::ShowCharts() {
  if (fit_ == nullptr || !haveResult_) return;
  const std::vector<FitExperimentChart> charts = FitCharts(fit_->problem(), result_);
  const int chosen = chartChoice_->currentIndex();
  if (chosen < 0 || chosen >= static_cast<int>(charts.size())) {
    SetChart(fitView_, NewChart("Data and fitted model"));
    SetChart(residualView_, NewChart("Residuals"));
    return;
  }
  const FitExperimentChart& drawn = charts[static_cast<std::size_t>(chosen)];
  QChart* fit = NewChart("Data and fitted model");
  QChart* residuals = NewChart("Residuals (model - data)");
  double low = INFINITY;
  double high = -INFINITY;
  for (const FitChartSeries& series : drawn.series) {
    auto* data = new QScatterSeries;
    data->setName(ToQString(series.title));
    data->setMarkerSize(kMarkerSize);
    for (const auto& [x, y] : series.data) data->append(x, y);
    fit->addSeries(data);
    auto* model = new QLineSeries;
    model->setName(ToQString(series.title) + " fitted");
    for (const auto& [x, y] : series.model) {
      model->append(x, y);
      low = std::min(low, x);
      high = std::max(high, x);
    }
    model->setColor(data->color());
    fit->addSeries(model);
    auto* residual = new QScatterSeries;
    residual->setName(ToQString(series.title));
    residual->setMarkerSize(kMarkerSize);
    residual->setColor(data->color());
    for (const auto& [x, y] : series.residuals) residual->append(x, y);
    residuals->addSeries(residual);
  }
  if (std::isfinite(low)) {
    auto* zero = new QLineSeries;
    zero->append(low, 0.0);
    zero->append(high, 0.0);
    zero->setColor(Qt::gray);
    residuals->addSeries(zero);
    for (QLegendMarker* marker : residuals->legend()->markers(zero)) marker->setVisible(false);
  }
  // One column's residuals need no key; several are told apart by it.
  residuals->legend()->setVisible(drawn.series.size() > 1);
  TitleAxes(fit, ToQString(drawn.xTitle), "value");
  TitleAxes(residuals, ToQString(drawn.xTitle), "residual");
  SetChart(fitView_, fit);
  SetChart(residualView_, residuals);
}

void FitPage::ClearResult() {
  haveResult_ = false;
  result_ = FitResult{};
  progress_.clear();
  values_->setRowCount(0);
  {
    const QSignalBlocker blocker(chartChoice_);
    chartChoice_->clear();
  }
  SetChart(fitView_, NewChart("Data and fitted model"));
  SetChart(residualView_, NewChart("Residuals"));
  SetChart(progressView_, NewChart("Best objective"));
}

bool FitPage::Apply() {
  if (!apply_->isEnabled() || fit_ == nullptr) return false;
  ApplyFitValues(document_, fit_->problem(), result_);
  CommitModelChange(document_);
  emit modelChanged("Fitted Values");
  return true;
}

void FitPage::SetTaskRunning(bool running) {
  taskRunning_ = running;
  UpdateEnabled();
}

void FitPage::UpdateEnabled() {
  const bool idle = !running_ && !taskRunning_;
  setup_->setEnabled(idle);
  run_->setEnabled(idle && canRun_);
  stop_->setEnabled(running_);
  removeExperiment_->setEnabled(idle && experiments_->currentRow() >= 0);
  // The values apply while the document fits the parameters they are of.
  bool same = fit_ != nullptr && haveResult_ && !result_.parameters.empty() &&
              result_.status != FitStatus::kFailed &&
              result_.parameters.size() == editor_->fit().parameters.size();
  for (std::size_t j = 0; same && j < result_.parameters.size(); ++j) {
    same = result_.parameters[j].title == editor_->fit().parameters[j].title;
  }
  apply_->setEnabled(idle && same);
}

QChart* FitPage::progressChart() const {
  return progressView_->chart();
}

QChart* FitPage::fitChart() const {
  return fitView_->chart();
}

QChart* FitPage::residualChart() const {
  return residualView_->chart();
}

}  // namespace vireon

#include "app/results_page.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QHeaderView>
#include <QLogValueAxis>
#include <QTableWidget>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSvgGenerator>
#include <QToolTip>
#include <QCursor>
#include <QValueAxis>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <limits>

#include "document/document.h"
#include "model/message_sink.h"
#include "model/number_text.h"
#include "model/replace_file.h"

namespace vireon {
namespace {

// What the page says while a run goes on.
constexpr const char* kResultsWhenRunEnds = "A run is going on: its results are drawn when it ends.";
constexpr const char* kResultsOfPreviousRun =
    "A run is going on: the chart shows the previous run until this one ends.";
// How much one notch of the mouse wheel zooms.
constexpr double kWheelZoomFactor = 1.25;
// How far one arrow key pans, in pixels.
constexpr int kKeyPanPixels = 20;
// The colours the curves take in turn (a scan's pieces share their column's).
const QColor kCurveColours[] = {QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28),
                                QColor(0x2c, 0xa0, 0x2c), QColor(0xff, 0x7f, 0x0e),
                                QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b),
                                QColor(0xe3, 0x77, 0xc2), QColor(0x7f, 0x7f, 0x7f)};

// The most event executions drawn as lines; the others are counted in the
// label under the chart.
constexpr int kMaxDrawnEventMarks = 200;
// How far beyond the value axis's range an event line reaches, in spans of
// the range (in decades on a logarithmic axis), so that a zoomed-out chart
// still shows it from top to bottom.
constexpr double kEventLineReach = 100.0;
// The pixels of a marked point.
constexpr double kPointMarkSize = 4.0;
// The significant digits of an event's time in its tooltip.
constexpr int kEventTimeDigits = 6;

// A chart view that zooms with the wheel and a left-dragged rectangle and
// pans with the right button and the arrow keys.
class ZoomingChartView : public QChartView {
 public:
  explicit ZoomingChartView(QChart* chart) : QChartView(chart) {
    setRubberBand(QChartView::RectangleRubberBand);
    setRenderHint(QPainter::Antialiasing);
    setFocusPolicy(Qt::StrongFocus);
  }

 protected:
  void wheelEvent(QWheelEvent* event) override {
    const double notches = event->angleDelta().y() / 120.0;
    if (notches != 0.0) chart()->zoom(std::pow(kWheelZoomFactor, notches));
    event->accept();
  }
  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() == Qt::RightButton) {
      panning_ = true;
      last_ = event->position();
      event->accept();
      return;
    }
    QChartView::mousePressEvent(event);
  }
  void mouseMoveEvent(QMouseEvent* event) override {
    if (panning_) {
      const QPointF delta = event->position() - last_;
      chart()->scroll(-delta.x(), delta.y());
      last_ = event->position();
      event->accept();
      return;
    }
    QChartView::mouseMoveEvent(event);
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() == Qt::RightButton) {
      panning_ = false;
      event->accept();
      return;
    }
    QChartView::mouseReleaseEvent(event);
  }
  void keyPressEvent(QKeyEvent* event) override {
    switch (event->key()) {
      case Qt::Key_Left: chart()->scroll(-kKeyPanPixels, 0); break;
      case Qt::Key_Right: chart()->scroll(kKeyPanPixels, 0); break;
      case Qt::Key_Up: chart()->scroll(0, kKeyPanPixels); break;
      case Qt::Key_Down: chart()->scroll(0, -kKeyPanPixels); break;
      case Qt::Key_Plus: chart()->zoomIn(); break;
      case Qt::Key_Minus: chart()->zoomOut(); break;
      default: QChartView::keyPressEvent(event); return;
    }
    event->accept();
  }

 private:
  bool panning_ = false;
  QPointF last_;
};

// The chart in the theme the palette gives: dark on a dark window, so that
// the chart does not glare out of a dark desktop.
void FollowPalette(QChart* chart, const QPalette& palette) {
  const bool dark = palette.color(QPalette::Window).lightness() < 128;
  chart->setTheme(dark ? QChart::ChartThemeDark : QChart::ChartThemeLight);
  chart->legend()->setAlignment(Qt::AlignRight);
}

// An axis of the chart over the range: linear with round numbers, or
// logarithmic in decades.
QAbstractAxis* MakeAxis(bool logarithmic, const AxisRange& range) {
  if (logarithmic) {
    auto* axis = new QLogValueAxis;
    axis->setBase(10.0);
    axis->setLabelFormat("%.3g");
    axis->setMinorTickCount(-1);
    axis->setRange(std::pow(10.0, std::floor(std::log10(range.lower))),
                   std::pow(10.0, std::ceil(std::log10(range.upper))));
    return axis;
  }
  auto* axis = new QValueAxis;
  axis->setLabelFormat("%.4g");
  axis->setRange(range.lower, range.upper);
  axis->applyNiceNumbers();
  return axis;
}

}  // namespace

ResultsPage::ResultsPage(Document& document, MessageSink& sink, QWidget* parent)
    : QWidget(parent), document_(document), sink_(sink) {
  timeCourse_ = new QRadioButton("Time course");
  steadyState_ = new QRadioButton("Steady state");
  auto* source = new QButtonGroup(this);
  source->addButton(timeCourse_);
  source->addButton(steadyState_);
  x_ = new QComboBox;
  columns_ = new QListWidget;
  columns_->setToolTip("The columns of the data file drawn against the x axis; right-click one "
                       "to mark its points");
  problem_ = new QLabel;
  problem_->setWordWrap(true);
  running_ = new QLabel;
  running_->setWordWrap(true);
  running_->setVisible(false);
  resetZoom_ = new QPushButton("Reset zoom");
  logX_ = new QCheckBox("Logarithmic x");
  logY_ = new QCheckBox("Logarithmic y");
  logX_->setToolTip("Decades on the x axis; values not above zero are left out.");
  logY_->setToolTip("Decades on the y axis, so that 1e-4 and 1e4 are both seen; values not "
                    "above zero are left out.");
  points_ = new QCheckBox("Mark points");
  points_->setToolTip("Each value of the data file as a dot on its curve. Right-click a column "
                      "in the list to mark the points of that curve alone.");
  events_ = new QLabel;
  events_->setWordWrap(true);
  events_->setVisible(false);
  tableBox_ = new QCheckBox("As a table");
  tableBox_->setToolTip("The values of the data file as a table. A file of a single row (a "
                        "steady state without a scan) is always shown so.");
  table_ = new QTableWidget;
  table_->setToolTip("The values of the data file, one row per line of the file");
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setVisible(false);
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  export_ = new QPushButton("E&xport...");
  export_->setToolTip("The chart as a PNG picture or an SVG drawing, or the values of its curves "
                      "as CSV.");

  auto* chart = new QChart;
  // On the right the legend has room for long titles, one under another.
  FollowPalette(chart, palette());
  chartView_ = new ZoomingChartView(chart);
  chartView_->setMinimumSize(420, 300);

  auto* side = new QVBoxLayout;
  side->addWidget(new QLabel("Data file:"));
  side->addWidget(timeCourse_);
  side->addWidget(steadyState_);
  side->addWidget(new QLabel("X axis:"));
  side->addWidget(x_);
  side->addWidget(new QLabel("Drawn:"));
  side->addWidget(columns_, 1);
  side->addWidget(logX_);
  side->addWidget(logY_);
  side->addWidget(points_);
  side->addWidget(tableBox_);
  side->addWidget(resetZoom_);
  side->addWidget(export_);
  auto* hint = new QLabel("Wheel or drag: zoom. Right button or arrows: pan.");
  hint->setWordWrap(true);
  side->addWidget(hint);
  auto* main = new QVBoxLayout;
  main->addWidget(running_);
  main->addWidget(problem_);
  main->addWidget(chartView_, 1);
  main->addWidget(events_);
  main->addWidget(table_, 1);
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(side);
  layout->addLayout(main, 1);
  side->setContentsMargins(0, 0, 0, 0);
  columns_->setMaximumWidth(220);
  x_->setMaximumWidth(220);

  connect(timeCourse_, &QRadioButton::clicked, this, [this] {
    view_.SetSource(ResultsSource::kTimeCourse);
    ShowChoices();
    Draw();
  });
  connect(steadyState_, &QRadioButton::clicked, this, [this] {
    view_.SetSource(ResultsSource::kSteadyState);
    ShowChoices();
    Draw();
  });
  connect(x_, &QComboBox::activated, this, [this](int column) {
    view_.SetXColumn(column);
    Draw();
  });
  connect(columns_, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
    view_.SetYChosen(columns_->row(item), item->checkState() == Qt::Checked);
    Draw();
  });
  connect(resetZoom_, &QPushButton::clicked, this, [this] { chartView_->chart()->zoomReset(); });
  connect(logX_, &QCheckBox::toggled, this, [this] { Draw(); });
  connect(logY_, &QCheckBox::toggled, this, [this] { Draw(); });
  connect(points_, &QCheckBox::toggled, this, [this](bool on) {
    view_.SetAllPointsMarked(on);
    Draw();
  });
  columns_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(columns_, &QListWidget::customContextMenuRequested, this, &ResultsPage::ShowColumnMenu);
  connect(tableBox_, &QCheckBox::toggled, this, [this](bool on) {
    view_.AskForTable(on);
    Draw();
  });
  connect(export_, &QPushButton::clicked, this, &ResultsPage::Export);
  Reload();
}

void ResultsPage::SetRunning(bool running) {
  const bool shown = view_.HasData(view_.source());
  running_->setText(shown ? kResultsOfPreviousRun : kResultsWhenRunEnds);
  running_->setVisible(running);
  if (running) problem_->setVisible(false);
}

QChart* ResultsPage::chart() const {
  return chartView_->chart();
}

void ResultsPage::Reload() {
  view_.Load(document_);
  ShowChoices();
  Draw();
}

void ResultsPage::ShowChoices() {
  const QSignalBlocker b1(x_), b2(columns_);
  timeCourse_->setChecked(view_.source() == ResultsSource::kTimeCourse);
  steadyState_->setChecked(view_.source() == ResultsSource::kSteadyState);
  x_->clear();
  columns_->clear();
  const std::vector<std::string>& titles = view_.Columns();
  for (int k = 0; k < static_cast<int>(titles.size()); ++k) {
    const QString title = QString::fromStdString(titles[k]);
    x_->addItem(title);
    auto* item = new QListWidgetItem(title, columns_);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(view_.YChosen(k) ? Qt::Checked : Qt::Unchecked);
    const std::string unit = view_.ColumnUnit(k);
    item->setToolTip(unit.empty() ? title : QString::fromStdString(view_.ColumnTitleWithUnit(k)));
  }
  x_->setCurrentIndex(view_.xColumn());
  bool allMarked = !titles.empty();
  for (int k = 0; k < static_cast<int>(titles.size()); ++k) allMarked &= view_.PointsMarked(k);
  const QSignalBlocker b3(points_);
  points_->setChecked(allMarked);
}

void ResultsPage::Draw() {
  // A chart of its own for every drawing: one whose axes were replaced while
  // the view was behind the table kept drawing the old axes' labels.
  auto* chart = new QChart;
  FollowPalette(chart, palette());
  QChart* previous = chartView_->chart();
  chartView_->setChart(chart);
  delete previous;
  eventLines_.clear();
  events_->setVisible(false);
  const ResultsSource source = view_.source();
  const bool hasData = view_.HasData(source);
  problem_->setText(QString::fromStdString(view_.Problem(source)));
  problem_->setVisible(!hasData && running_->isHidden());
  export_->setEnabled(hasData);
  const QString file = QString::fromStdString(view_.DataPath(source));
  chart->setTitle(hasData ? QString::fromStdString(document_.model.title) +
                                (source == ResultsSource::kTimeCourse ? " - time course"
                                                                      : " - steady states") +
                                (view_.scan() ? " of the scan" : "")
                          : QString());
  setToolTip(file);
  const bool table = view_.ShowsTable();
  table_->setVisible(table);
  chartView_->setVisible(!table);
  resetZoom_->setEnabled(!table);
  logX_->setEnabled(!table);
  logY_->setEnabled(!table);
  points_->setEnabled(!table);
  if (table) {
    ShowTable();
    return;
  }
  if (!hasData) return;

  const bool logX = logX_->isChecked();
  const bool logY = logY_->isChecked();
  QAbstractAxis* xAxis = MakeAxis(logX, view_.XRange(logX, logY));
  xAxis->setTitleText(QString::fromStdString(view_.XAxisTitle()));
  chart->addAxis(xAxis, Qt::AlignBottom);
  const bool twoAxes = view_.TwoValueAxes();
  const AxisRange leftRange = view_.YRange(logX, logY, twoAxes ? kLeftAxis : kEveryAxis);
  QAbstractAxis* yAxes[2] = {MakeAxis(logY, leftRange), nullptr};
  yAxes[kLeftAxis]->setTitleText(QString::fromStdString(view_.YAxisTitle(kLeftAxis)));
  chart->addAxis(yAxes[kLeftAxis], Qt::AlignLeft);
  if (twoAxes) {
    yAxes[kRightAxis] = MakeAxis(logY, view_.YRange(logX, logY, kRightAxis));
    yAxes[kRightAxis]->setTitleText(QString::fromStdString(view_.YAxisTitle(kRightAxis)));
    // The left axis's grid serves both: a second grid would cross it.
    yAxes[kRightAxis]->setGridLineVisible(false);
    yAxes[kRightAxis]->setMinorGridLineVisible(false);
    chart->addAxis(yAxes[kRightAxis], Qt::AlignRight);
  }

  int colour = 0;
  for (const ResultsCurve& curve : view_.Curves(logX, logY)) {
    const QColor shade = kCurveColours[colour++ % std::size(kCurveColours)];
    QAbstractAxis* yAxis = yAxes[curve.axis == kRightAxis && twoAxes ? kRightAxis : kLeftAxis];
    bool first = true;
    for (const auto& piece : curve.pieces) {
      auto* series = new QLineSeries;
      series->setName(QString::fromStdString(curve.title));
      QPen pen(shade);
      pen.setWidthF(1.6);
      // A curve on the right axis is dashed, so that it reads without colour.
      if (twoAxes && curve.axis == kRightAxis) pen.setStyle(Qt::DashLine);
      series->setPen(pen);
      series->setMarkerSize(kPointMarkSize);
      series->setPointsVisible(curve.pointsMarked);
      QList<QPointF> points;
      points.reserve(static_cast<qsizetype>(piece.size()));
      for (const auto& [x, y] : piece) points.append(QPointF(x, y));
      series->replace(points);
      chart->addSeries(series);
      series->attachAxis(xAxis);
      series->attachAxis(yAxis);
      // One legend entry per column, however many pieces a scan gave it.
      if (!first) {
        for (QLegendMarker* marker : chart->legend()->markers(series)) marker->setVisible(false);
      }
      first = false;
    }
  }
  DrawEventMarks(chart, xAxis, yAxes[kLeftAxis], leftRange, logY);
  chart->legend()->setVisible(true);
}

void ResultsPage::DrawEventMarks(QChart* chart, QAbstractAxis* xAxis, QAbstractAxis* yAxis,
                                 const AxisRange& yRange, bool logY) {
  const std::vector<ResultsEventMark> marks = view_.EventMarks(logX_->isChecked());
  const long long notDrawn =
      std::max<long long>(static_cast<long long>(marks.size()) - kMaxDrawnEventMarks, 0) +
      view_.eventMarksLeftOut();
  if (marks.empty()) {
    events_->setVisible(false);
  } else {
    const long long total = static_cast<long long>(marks.size()) + view_.eventMarksLeftOut();
    QString text = QString("%1 event execution%2 marked by dashed lines (hover for the name)")
                       .arg(total - notDrawn)
                       .arg(total - notDrawn == 1 ? "" : "s");
    if (notDrawn > 0) text += QString("; %1 more not marked").arg(notDrawn);
    events_->setText(text + ".");
    events_->setVisible(true);
  }
  // From far below to far above the axis's range, so that the line crosses
  // the whole plot however it is zoomed.
  double low = yRange.lower, high = yRange.upper;
  if (logY) {
    low /= std::pow(10.0, kEventLineReach);
    high *= std::pow(10.0, kEventLineReach);
  } else {
    const double span = yRange.upper - yRange.lower;
    low -= kEventLineReach * span;
    high += kEventLineReach * span;
  }
  QPen pen(palette().color(QPalette::WindowText));
  pen.setStyle(Qt::DashLine);
  pen.setWidthF(1.0);
  const int drawn = std::min(static_cast<int>(marks.size()), kMaxDrawnEventMarks);
  for (int k = 0; k < drawn; ++k) {
    const ResultsEventMark& mark = marks[static_cast<std::size_t>(k)];
    auto* line = new QLineSeries;
    line->setName(QString::fromStdString(mark.name));
    line->setPen(pen);
    line->append(mark.time, low);
    line->append(mark.time, high);
    chart->addSeries(line);
    line->attachAxis(xAxis);
    line->attachAxis(yAxis);
    for (QLegendMarker* marker : chart->legend()->markers(line)) marker->setVisible(false);
    const QString tip = QString::fromStdString(mark.name) + " at " +
                        QString::fromStdString(WithUnit(
                            RealText(mark.time, kEventTimeDigits), view_.ColumnUnit(view_.xColumn())));
    connect(line, &QLineSeries::hovered, this, [this, tip](const QPointF&, bool state) {
      if (state) {
        QToolTip::showText(QCursor::pos(), tip, chartView_);
      } else {
        QToolTip::hideText();
      }
    });
    eventLines_.append(line);
  }
}

QList<QLineSeries*> ResultsPage::curveSeries() const {
  QList<QLineSeries*> curves;
  for (QAbstractSeries* series : chart()->series()) {
    auto* line = static_cast<QLineSeries*>(series);
    if (!eventLines_.contains(line)) curves.append(line);
  }
  return curves;
}

void ResultsPage::SetEventFirings(std::vector<EventFiring> firings, long long leftOut) {
  view_.SetEventFirings(std::move(firings), leftOut);
}

bool ResultsPage::showsTable() const {
  return view_.ShowsTable();
}

void ResultsPage::ShowTable() {
  const ResultsTable values = view_.Table();
  table_->clear();
  table_->setColumnCount(static_cast<int>(values.headers.size()));
  table_->setRowCount(static_cast<int>(values.rows.size()));
  QStringList headers;
  for (const std::string& header : values.headers) headers << QString::fromStdString(header);
  table_->setHorizontalHeaderLabels(headers);
  for (int r = 0; r < static_cast<int>(values.rows.size()); ++r) {
    const std::vector<std::string>& row = values.rows[r];
    for (int c = 0; c < static_cast<int>(row.size()); ++c) {
      auto* cell = new QTableWidgetItem(QString::fromStdString(row[c]));
      // Numbers line up on the right, names on the left.
      const bool name = values.byColumn && c == 0;
      cell->setTextAlignment(name ? Qt::AlignLeft | Qt::AlignVCenter
                                  : Qt::AlignRight | Qt::AlignVCenter);
      table_->setItem(r, c, cell);
    }
  }
}

bool ResultsPage::ExportPng(const QString& path) const {
  return chartView_->grab().save(path, "PNG");
}

bool ResultsPage::ExportSvg(const QString& path) const {
  QSvgGenerator generator;
  generator.setFileName(path);
  generator.setSize(chartView_->size());
  generator.setViewBox(QRect(QPoint(0, 0), chartView_->size()));
  generator.setTitle(chart()->title());
  QPainter painter;
  if (!painter.begin(&generator)) return false;
  chartView_->render(&painter);
  return painter.end();
}

bool ResultsPage::ExportCsv(const QString& path, QString* error) const {
  const std::string csv = view_.ChartCsv(logX_->isChecked(), logY_->isChecked());
  if (csv.empty()) {
    if (error != nullptr) *error = "there are no values to write";
    return false;
  }
  std::string errorText;
  if (!ReplaceFileContents(path.toStdString(), csv, errorText)) {
    if (error != nullptr) *error = QString::fromStdString(errorText);
    return false;
  }
  return true;
}

void ResultsPage::ShowColumnMenu(const QPoint& position) {
  QListWidgetItem* item = columns_->itemAt(position);
  if (item == nullptr) return;
  const int column = columns_->row(item);
  QMenu menu(this);
  QAction* mark = menu.addAction("Mark the points of " + item->text());
  mark->setCheckable(true);
  mark->setChecked(view_.PointsMarked(column));
  if (menu.exec(columns_->viewport()->mapToGlobal(position)) == mark) {
    view_.SetPointsMarked(column, mark->isChecked());
    Draw();
  }
}

void ResultsPage::Export() {
  const QString folder = QString::fromStdString(document_.folder);
  QString selectedFilter;
  const QString path = QFileDialog::getSaveFileName(
      this, "Export chart", folder + "chart.png",
      "PNG picture (*.png);;SVG drawing (*.svg);;Values of the curves, CSV (*.csv)",
      &selectedFilter);
  if (path.isEmpty()) return;
  // The name's extension decides; without a known one, the chosen filter.
  auto is = [&path, &selectedFilter](const char* extension) {
    if (path.endsWith(QString(".") + extension, Qt::CaseInsensitive)) return true;
    const bool known = path.endsWith(".png", Qt::CaseInsensitive) ||
                       path.endsWith(".svg", Qt::CaseInsensitive) ||
                       path.endsWith(".csv", Qt::CaseInsensitive);
    return !known && selectedFilter.contains(QString("*.") + extension);
  };
  QString error;
  bool written = false;
  if (is("csv")) {
    written = ExportCsv(path, &error);
  } else if (is("svg")) {
    written = ExportSvg(path);
  } else {
    written = ExportPng(path);
  }
  if (!written) {
    QString text = "The chart could not be written to " + path;
    text += error.isEmpty() ? QString(".") : ": " + error + ".";
    sink_.Warning("Export chart", text.toStdString());
  }
}

}  // namespace vireon

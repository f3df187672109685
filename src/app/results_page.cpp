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
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSvgGenerator>
#include <QValueAxis>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <limits>

#include "document/document.h"

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

ResultsPage::ResultsPage(Document& document, QWidget* parent)
    : QWidget(parent), document_(document) {
  timeCourse_ = new QRadioButton("Time course");
  steadyState_ = new QRadioButton("Steady state");
  auto* source = new QButtonGroup(this);
  source->addButton(timeCourse_);
  source->addButton(steadyState_);
  x_ = new QComboBox;
  columns_ = new QListWidget;
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
  tableBox_ = new QCheckBox("As a table");
  tableBox_->setToolTip("The values of the data file as a table. A file of a single row (a "
                        "steady state without a scan) is always shown so.");
  table_ = new QTableWidget;
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setVisible(false);
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  export_ = new QPushButton("E&xport...");

  auto* chart = new QChart;
  // On the right the legend has room for long titles, one under another.
  chart->legend()->setAlignment(Qt::AlignRight);
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
  }
  x_->setCurrentIndex(view_.xColumn());
}

void ResultsPage::Draw() {
  // A chart of its own for every drawing: one whose axes were replaced while
  // the view was behind the table kept drawing the old axes' labels.
  auto* chart = new QChart;
  chart->legend()->setAlignment(Qt::AlignRight);
  QChart* previous = chartView_->chart();
  chartView_->setChart(chart);
  delete previous;
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
  if (table) {
    ShowTable();
    return;
  }
  if (!hasData) return;

  const bool logX = logX_->isChecked();
  const bool logY = logY_->isChecked();
  QAbstractAxis* xAxis = MakeAxis(logX, view_.XRange(logX, logY));
  QAbstractAxis* yAxis = MakeAxis(logY, view_.YRange(logX, logY));
  xAxis->setTitleText(QString::fromStdString(view_.XTitle()));
  chart->addAxis(xAxis, Qt::AlignBottom);
  chart->addAxis(yAxis, Qt::AlignLeft);

  int colour = 0;
  for (const ResultsCurve& curve : view_.Curves(logX, logY)) {
    const QColor shade = kCurveColours[colour++ % std::size(kCurveColours)];
    bool first = true;
    for (const auto& piece : curve.pieces) {
      auto* series = new QLineSeries;
      series->setName(QString::fromStdString(curve.title));
      QPen pen(shade);
      pen.setWidthF(1.6);
      series->setPen(pen);
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
  chart->legend()->setVisible(true);
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

void ResultsPage::Export() {
  const QString folder = QString::fromStdString(document_.folder);
  QString selectedFilter;
  const QString path = QFileDialog::getSaveFileName(
      this, "Export chart", folder + "chart.png", "PNG picture (*.png);;SVG drawing (*.svg)",
      &selectedFilter);
  if (path.isEmpty()) return;
  const bool svg = path.endsWith(".svg", Qt::CaseInsensitive) ||
                   (!path.endsWith(".png", Qt::CaseInsensitive) && selectedFilter.contains("svg"));
  if (!(svg ? ExportSvg(path) : ExportPng(path))) {
    QMessageBox::warning(this, "Export chart", "The chart could not be written to " + path + ".");
  }
}

}  // namespace vireon

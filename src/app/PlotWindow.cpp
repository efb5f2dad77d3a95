#include "app/PlotWindow.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QSvgGenerator>
#include <QThread>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app/CommonDialog.h"
#include "app/PlotMapping.h"
#include "app/TextDecoding.h"

namespace vorlet::app {

namespace {

// Records looked at to choose the field shown first; enough to pass a few gaps.
constexpr std::int32_t kSampleRecords = 1000;

// The first record is a heading when it holds a text that is not a number above a number.
bool hasHeading(const vorlet::CellTable& table) {
  const std::int32_t fields = *table.upperBound(1);
  const std::int32_t records = *table.upperBound(2);
  for (std::int32_t f = 1; f <= fields; ++f) {
    std::string_view text;
    const bool word =
        table.textAt(f, 1, text) && !text.empty() && std::isnan(plotValue(table, f, 1));
    if (word && (records < 2 || !std::isnan(plotValue(table, f, 2)))) return true;
  }
  return false;
}

// Whether the first records hold a number in `field`, and whether those never decrease.
struct FieldSample {
  bool numbers = false;
  bool nonDecreasing = true;
};

FieldSample sample(const vorlet::CellTable& table, std::int32_t field, std::int32_t first,
                   std::int32_t last) {
  FieldSample found;
  double previous = -std::numeric_limits<double>::infinity();
  for (std::int32_t r = first; r <= std::min(last, first + kSampleRecords - 1); ++r) {
    const double value = plotValue(table, field, r);
    if (std::isnan(value)) continue;
    found.numbers = true;
    found.nonDecreasing = found.nonDecreasing && value >= previous;
    previous = value;
  }
  return found;
}

// The first field holding numbers, passing over a first field that looks like the x axis (a time
// column plotted against itself says nothing) when another field holds numbers.
std::int32_t defaultField(const vorlet::CellTable& table, std::int32_t first, std::int32_t last) {
  const std::int32_t fields = *table.upperBound(1);
  std::int32_t chosen = 0;
  for (std::int32_t f = 1; f <= fields; ++f) {
    const FieldSample found = sample(table, f, first, last);
    if (!found.numbers) continue;
    if (f > 1 || !found.nonDecreasing || fields == 1) return f;
    chosen = f;
  }
  return chosen > 0 ? chosen : 1;
}

// A time column: every value a number, none below the one before. Its samples (as sampleX
// takes them) are kept on the way. Two threads read one half each.
bool isTimeColumn(const PlotColumn& column, const std::atomic<bool>& stop, XSamples& samples) {
  const std::int64_t count = column.count();
  if (count < 2) return false;
  samples.assign(static_cast<std::size_t>((count + (1 << kXSampleShift) - 1) >> kXSampleShift), 0);
  const auto check = [&](std::int64_t from, std::int64_t to) {
    double previous = -std::numeric_limits<double>::infinity();
    for (std::int64_t i = from; i < to; ++i) {
      if ((i & 0xFFFF) == 0 && stop.load(std::memory_order_relaxed)) return false;
      const double value = column.value(i);
      if (!(value >= previous)) return false;  // a gap (NaN) fails too
      if ((i & ((1 << kXSampleShift) - 1)) == 0)
        samples[static_cast<std::size_t>(i >> kXSampleShift)] = value;
      previous = value;
    }
    return true;
  };
  // On a sample boundary, so that each half writes samples of its own.
  const std::int64_t middle = (count / 2) & ~std::int64_t{(1 << kXSampleShift) - 1};
  bool secondHalf = false;
  bool firstHalf = false;
  {
    std::jthread second([&] { secondHalf = check(middle, count); });
    firstHalf = check(0, middle);
  }
  return firstHalf && secondHalf &&
         (middle == 0 || column.value(middle - 1) <= column.value(middle));
}

QString legendModeName(vorlet::ThinMode mode) {
  switch (mode) {
    case vorlet::ThinMode::Simple:
      return QStringLiteral("単純");
    case vorlet::ThinMode::Average:
      return QStringLiteral("平均");
    case vorlet::ThinMode::Peak:
      return QStringLiteral("ピーク");
    case vorlet::ThinMode::Minimum:
      return QStringLiteral("最小");
    case vorlet::ThinMode::Maximum:
      return QStringLiteral("最大");
  }
  return {};
}

QString coordinate(double value) {
  return QString::number(value, 'g', 10);
}

}  // namespace

// One worker run: a copy of a field's cells in, a pyramid or the time-column check out. The
// runs go one at a time, so that at most one copy is alive.
struct PlotWindow::Build {
  enum class Job { TimeAxis, Source, Result };
  std::uint64_t generation = 0;
  Job job = Job::Source;
  PlotColumn values;
  std::optional<PlotPyramid> pyramid;
  bool timeAxis = false;
  XSamples xSamples;  // of a time column
};

PlotWindow::PlotWindow(FileDialogBackend& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window),
      dialogs_(dialogs),
      canvas_(new PlotCanvas),
      fields_(new QComboBox),
      cursor_(new QLabel),
      status_(new QLabel),
      save_(new QPushButton(QStringLiteral("画像を保存..."))) {
  setObjectName(QStringLiteral("plotWindow"));
  setWindowTitle(QStringLiteral("グラフ - Vorlet"));
  fields_->setObjectName(QStringLiteral("plotField"));
  fields_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  status_->setObjectName(QStringLiteral("plotStatus"));
  cursor_->setObjectName(QStringLiteral("plotCursor"));
  save_->setObjectName(QStringLiteral("plotSave"));

  auto* top = new QHBoxLayout;
  top->addWidget(new QLabel(QStringLiteral("フィールド")));
  top->addWidget(fields_);
  top->addStretch(1);
  top->addWidget(save_);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(status_);
  bottom->addStretch(1);
  bottom->addWidget(cursor_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(canvas_, 1);
  layout->addLayout(bottom);
  resize(1000, 640);

  // Keys go to the plot (Home there shows everything; in the combo box it would pick field 1).
  setFocusProxy(canvas_);
  connect(fields_, &QComboBox::activated, this, [this](int index) {
    showField(static_cast<std::int32_t>(index + 1));
    canvas_->setFocus();
  });
  connect(save_, &QPushButton::clicked, this, &PlotWindow::saveImageAsked);
  connect(canvas_, &PlotCanvas::cursorMoved, this, [this](std::optional<QPointF> at) {
    cursor_->setText(
        at ? QStringLiteral("x = %1   y = %2").arg(coordinate(at->x()), coordinate(at->y()))
           : QString());
  });
  canvas_->setPlaceholder(QStringLiteral("ファイルを開くとグラフが表示されます。"));
  updateStatus();
}

PlotWindow::~PlotWindow() {
  stopBuild();
}

void PlotWindow::setSource(const vorlet::CellTable& table, vorlet::TextEncoding encoding) {
  stopBuild();
  source_ = table.isDimensioned() && table.fieldCount() > 0 ? &table : nullptr;
  encoding_ = encoding;
  result_ = nullptr;  // a result of the file before would be drawn against the wrong data
  sourcePyramid_.reset();
  resultPyramid_.reset();
  sourceSamples_.reset();
  resultSamples_.reset();
  xKnown_ = timeAxis_ = false;
  field_ = 0;
  if (source_) {
    first_ = hasHeading(table) ? 2 : 1;
    last_ = *table.upperBound(2);
    field_ = defaultField(table, first_, last_);
  }
  listFields();
  updateStatus();
  startBuild();
}

void PlotWindow::setResult(const vorlet::CellTable& table, const vorlet::ThinSettings& settings) {
  stopBuild();
  result_ = table.isDimensioned() ? &table : nullptr;
  settings_ = settings;
  resultPyramid_.reset();
  resultSamples_.reset();
  updateStatus();
  startBuild();
}

void PlotWindow::showField(std::int32_t field) {
  if (!source_ || field == field_ || field < 1 || field > *source_->upperBound(1)) return;
  stopBuild();
  field_ = field;
  fields_->setCurrentIndex(field - 1);
  sourcePyramid_.reset();
  resultPyramid_.reset();
  resultSamples_.reset();
  startBuild();
}

void PlotWindow::listFields() {
  fields_->clear();
  if (!source_) return;
  const std::int32_t fields = *source_->upperBound(1);
  for (std::int32_t f = 1; f <= fields; ++f) {
    std::string_view heading;
    if (first_ == 2 && source_->textAt(f, 1, heading) && !heading.empty()) {
      fields_->addItem(QStringLiteral("%1: %2").arg(f).arg(decodeForDisplay(heading, encoding_)));
    } else {
      fields_->addItem(QStringLiteral("フィールド %1").arg(f));
    }
  }
  fields_->setCurrentIndex(field_ - 1);
}

void PlotWindow::startBuild() {
  updateSeries();
  building_ = false;
  if (!source_) return;
  using Job = Build::Job;
  auto build = std::make_shared<Build>();
  build->generation = ++generation_;
  if (!xKnown_) {
    build->job = Job::TimeAxis;
    build->values = PlotColumn::copyOf(*source_, 1, first_, last_);
  } else if (!sourcePyramid_) {
    build->job = Job::Source;
    build->values = PlotColumn::copyOf(*source_, field_, first_, last_);
  } else if (result_ && !resultPyramid_ && field_ <= *result_->upperBound(1)) {
    build->job = Job::Result;
    build->values = PlotColumn::copyOf(*result_, field_, 1, *result_->upperBound(2));
  } else {
    return;
  }
  building_ = true;
  if (build->job != Job::Result) {
    canvas_->setPlaceholder(QStringLiteral("グラフを準備しています..."));
  }
  stop_ = false;
  worker_ = std::jthread([this, build] {
    if (build->job == Job::TimeAxis) {
      build->timeAxis = isTimeColumn(build->values, stop_, build->xSamples);
    } else {
      build->pyramid = PlotPyramid::build(build->values, stop_);
    }
    if (stop_) return;
    QMetaObject::invokeMethod(
        this, [this, build] { adopt(build); }, Qt::QueuedConnection);
  });
}

void PlotWindow::stopBuild() {
  stop_ = true;
  if (worker_.joinable()) worker_.join();
  building_ = false;
}

void PlotWindow::adopt(const std::shared_ptr<Build>& build) {
  if (build->generation != generation_) return;  // overtaken by a later request
  const std::size_t built = build->pyramid ? build->pyramid->bytes() : 0;
  peakBytes_ = std::max(peakBytes_, build->values.bytes() + plotBytes() + built);
  build->values = {};  // the copy goes before the next one is made
  using Job = Build::Job;
  switch (build->job) {
    case Job::TimeAxis:
      xKnown_ = true;
      timeAxis_ = build->timeAxis;
      if (timeAxis_) sourceSamples_ = std::make_shared<const XSamples>(std::move(build->xSamples));
      break;
    case Job::Source:
      sourcePyramid_ = std::make_shared<const PlotPyramid>(std::move(*build->pyramid));
      if (sourcePyramid_->count() == 0) {
        canvas_->setPlaceholder(QStringLiteral("このフィールドには数値がありません。"));
      }
      break;
    case Job::Result:
      resultPyramid_ = std::make_shared<const PlotPyramid>(std::move(*build->pyramid));
      if (timeAxis_) {
        resultSamples_ =
            std::make_shared<const XSamples>(sampleX(resultPyramid_->count(), resultX()));
      }
      break;
  }
  startBuild();  // the next piece, if any
  if (build->job == Job::Source) canvas_->showAll();
}

bool PlotWindow::waitForBuild(int milliseconds) {
  QElapsedTimer timer;
  timer.start();
  while (building_ && timer.elapsed() < milliseconds) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    if (building_) QThread::msleep(1);
  }
  return !building_;
}

XOf PlotWindow::sourceX() const {
  if (timeAxis_) {
    return [column = PlotColumn::viewOf(*source_, 1, first_, last_)](std::int64_t i) {
      return column.value(i);
    };
  }
  return [first = first_](std::int64_t i) { return static_cast<double>(first + i); };
}

XOf PlotWindow::resultX() const {
  const bool time = timeAxis_;
  const double first = first_;
  const double lastIndex = last_ - first_;
  return [settings = settings_, x = sourceX(), time, first, lastIndex](std::int64_t j) {
    const double position = sourcePosition(settings, j + 1);
    if (!time) return position;
    // Between two records of a time column, the time in between.
    const double q = std::clamp(position - first, 0.0, lastIndex);
    const auto i = static_cast<std::int64_t>(q);
    const double before = x(i);
    const double within = q - static_cast<double>(i);
    return within == 0 ? before : before + (x(i + 1) - before) * within;
  };
}

void PlotWindow::updateSeries() {
  if (!source_) {
    canvas_->setSource({});
    canvas_->setResult({}, {});
    return;
  }
  canvas_->setSource({sourcePyramid_, PlotColumn::viewOf(*source_, field_, first_, last_),
                      sourceX(), timeAxis_ ? sourceSamples_ : nullptr});
  if (!resultPyramid_ || !result_) {
    canvas_->setResult({}, {});
    return;
  }
  canvas_->setResult(
      {resultPyramid_, PlotColumn::viewOf(*result_, field_, 1, *result_->upperBound(2)), resultX(),
       resultSamples_},
      QStringLiteral("間引き後 (%1, N = %2)")
          .arg(legendModeName(settings_.mode))
          .arg(settings_.interval));
}

void PlotWindow::updateStatus() {
  status_->setText(statusText());
}

QString PlotWindow::statusText() const {
  if (!source_) return {};
  const QLocale locale(QLocale::English);
  const std::int64_t records = source_->recordCount();
  const int n = smallestIntervalFitting(settings_, records);
  return QStringLiteral("レコード数 %1    %2 行に収まる最小の間引き間隔 N = %3")
      .arg(locale.toString(static_cast<qlonglong>(records)),
           locale.toString(static_cast<qlonglong>(kSpreadsheetRows)),
           n > 0 ? QString::number(n) : QStringLiteral("なし"));
}

std::size_t PlotWindow::plotBytes() const noexcept {
  std::size_t bytes = 0;
  for (const auto& pyramid : {sourcePyramid_, resultPyramid_}) {
    if (pyramid) bytes += pyramid->bytes();
  }
  return bytes;
}

bool PlotWindow::saveImage(const QString& path) {
  const QSize size = canvas_->size();
  QPainter painter;
  if (path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive)) {
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setTitle(windowTitle());
    if (!painter.begin(&svg)) return false;
    canvas_->paintView(painter, size);
    return painter.end();
  }
  QImage image(size, QImage::Format_RGB32);
  if (!painter.begin(&image)) return false;
  canvas_->paintView(painter, size);
  painter.end();
  return image.save(path, "PNG");
}

void PlotWindow::saveImageAsked() {
  const FileDialogRequest request{
      QStringLiteral("*.png"),
      {QStringLiteral("PNG 画像 (*.png)"), QStringLiteral("SVG 画像 (*.svg)")},
      QStringLiteral("png")};
  const std::optional<QString> path = dialogs_.chooseFileToSave(request);
  if (!path || (QFileInfo::exists(*path) && !dialogs_.confirmReplace(*path))) return;
  if (!saveImage(*path)) {
    QMessageBox::warning(this, QStringLiteral("Vorlet"),
                         QStringLiteral("画像を保存できませんでした。\n%1").arg(*path));
  }
}

}  // namespace vorlet::app

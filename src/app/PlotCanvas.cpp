#include "app/PlotCanvas.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPolygonF>
#include <QWheelEvent>
#include <cmath>
#include <vector>

namespace vorlet::app {

namespace {

constexpr int kLeft = 84;
constexpr int kRight = 18;
constexpr int kTop = 34;
constexpr int kBottom = 42;
// Result markers are drawn only when the points stand at least this many pixels apart.
constexpr int kMarkerSpacing = 7;
constexpr double kYMargin = 0.05;
constexpr int kPanThreshold = 8;

const QColor kSourceColour(60, 100, 170);
const QColor kResultColour(235, 90, 10);
const QColor kGridColour(225, 225, 225);

// Data units to pixels for one picture.
struct Mapping {
  QRect area;
  AxisRange x;
  AxisRange y;
  double px(double value) const { return area.left() + (value - x.lo) / x.width() * area.width(); }
  double py(double value) const {
    return area.top() + area.height() - (value - y.lo) / y.width() * area.height();
  }
};

// A series seen through the current x range: its envelope per pixel column and where the
// columns begin among its values.
struct View {
  std::vector<Envelope> columns;
  std::vector<std::int64_t> firsts;
  std::int64_t visible() const { return firsts.back() - firsts.front(); }
};

View viewOf(const PlotSeries& series, const AxisRange& x, int width) {
  View view;
  view.columns = columnEnvelopes(*series.pyramid, series.values, series.x, x, width,
                                 series.xSamples.get(), &view.firsts);
  return view;
}

// No more values in view than pixel columns: a line through each of them (and one beyond either
// edge), broken at gaps.
void drawPoints(QPainter& painter, const PlotSeries& series, const View& view, const Mapping& m,
                bool markers) {
  const std::int64_t count = series.pyramid->count();
  const std::int64_t first = std::max<std::int64_t>(view.firsts.front() - 1, 0);
  const std::int64_t last = std::min(view.firsts.back(), count - 1);
  QPolygonF line;
  std::vector<QPointF> points;
  const auto flush = [&] {
    if (line.size() > 1) painter.drawPolyline(line);
    line.clear();
  };
  for (std::int64_t i = first; i <= last; ++i) {
    const double value = series.values.value(i);
    if (std::isnan(value)) {
      flush();
      continue;
    }
    const QPointF point(m.px(series.x(i)), m.py(value));
    line << point;
    points.push_back(point);
  }
  flush();
  if (points.size() == 1 || markers) {
    painter.setBrush(painter.pen().color());
    for (const QPointF& point : points) painter.drawEllipse(point, 2.5, 2.5);
    painter.setBrush(Qt::NoBrush);
  }
}

// Many values in view: per pixel column a stroke from its smallest to its largest value, reaching
// to the column before so that the signal reads as one line.
void drawEnvelope(QPainter& painter, const View& view, const Mapping& m) {
  std::vector<QLineF> strokes;
  strokes.reserve(view.columns.size());
  const Envelope* previous = nullptr;
  for (std::size_t c = 0; c < view.columns.size(); ++c) {
    const Envelope& column = view.columns[c];
    if (column.empty()) {
      previous = nullptr;
      continue;
    }
    double lo = column.min;
    double hi = column.max;
    if (previous) {
      lo = std::min(lo, previous->max);
      hi = std::max(hi, previous->min);
    }
    const double x = m.area.left() + static_cast<double>(c) + 0.5;
    const double top = m.py(hi);
    const double bottom = std::max(m.py(lo), top + 1);
    strokes.emplace_back(x, top, x, bottom);
    previous = &column;
  }
  painter.drawLines(strokes.data(), static_cast<int>(strokes.size()));
}

void drawSeries(QPainter& painter, const PlotSeries& series, const View& view, const Mapping& m,
                const QPen& pen, bool markers) {
  painter.setPen(pen);
  const int width = m.area.width();
  if (view.visible() <= width) {
    painter.setRenderHint(QPainter::Antialiasing, true);
    drawPoints(painter, series, view, m, markers && view.visible() * kMarkerSpacing <= width);
    painter.setRenderHint(QPainter::Antialiasing, false);
  } else {
    drawEnvelope(painter, view, m);
  }
}

void drawAxes(QPainter& painter, const Mapping& m) {
  const QRect& area = m.area;
  const QFontMetrics metrics = painter.fontMetrics();
  const Ticks xTicks = niceTicks(m.x, std::max(2, area.width() / 110));
  const Ticks yTicks = niceTicks(m.y, std::max(2, area.height() / 45));
  for (int i = 0; i < xTicks.count; ++i) {
    const double px = std::round(m.px(xTicks.at(i))) + 0.5;
    painter.setPen(kGridColour);
    painter.drawLine(QLineF(px, area.top(), px, area.bottom()));
    painter.setPen(Qt::black);
    painter.drawLine(QLineF(px, area.bottom() + 1, px, area.bottom() + 5));
    const QString label = QString::fromStdString(tickLabel(xTicks.at(i), xTicks));
    const int w = metrics.horizontalAdvance(label);
    // The last label stays inside the picture.
    const double left = std::min(px - w / 2.0, area.right() + kRight - 2.0 - w);
    painter.drawText(QPointF(left, area.bottom() + 7 + metrics.ascent()), label);
  }
  for (int i = 0; i < yTicks.count; ++i) {
    const double py = std::round(m.py(yTicks.at(i))) + 0.5;
    painter.setPen(kGridColour);
    painter.drawLine(QLineF(area.left(), py, area.right(), py));
    painter.setPen(Qt::black);
    painter.drawLine(QLineF(area.left() - 5, py, area.left() - 1, py));
    const QString label = QString::fromStdString(tickLabel(yTicks.at(i), yTicks));
    const int w = metrics.horizontalAdvance(label);
    painter.drawText(QPointF(area.left() - 8 - w, py + metrics.ascent() / 2.0 - 1), label);
  }
}

void drawLegendEntry(QPainter& painter, int& x, int y, const QColor& colour, const QString& text) {
  painter.setPen(QPen(colour, 2));
  painter.drawLine(x, y, x + 22, y);
  painter.setPen(Qt::black);
  const QFontMetrics metrics = painter.fontMetrics();
  painter.drawText(QPointF(x + 28, y + metrics.ascent() / 2.0 - 1), text);
  x += 28 + metrics.horizontalAdvance(text) + 24;
}

}  // namespace

PlotCanvas::PlotCanvas(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("plotCanvas"));
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setMinimumSize(320, 200);
}

void PlotCanvas::setSource(PlotSeries source) {
  source_ = std::move(source);
  update();
}

void PlotCanvas::setResult(PlotSeries result, QString legend) {
  result_ = std::move(result);
  resultLegend_ = std::move(legend);
  update();
}

void PlotCanvas::setPlaceholder(QString text) {
  placeholder_ = std::move(text);
  update();
}

void PlotCanvas::showAll() {
  x_ = fullX();
  autoY_ = true;
  update();
}

void PlotCanvas::setXRange(const AxisRange& range) {
  x_ = range;
  update();
}

AxisRange PlotCanvas::fullX() const {
  double lo = std::numeric_limits<double>::infinity();
  double hi = -lo;
  for (const PlotSeries* series : {&source_, &result_}) {
    if (!series->ready()) continue;
    lo = std::min(lo, series->x(0));
    hi = std::max(hi, series->x(series->pyramid->count() - 1));
  }
  return fitted(lo, hi, 0);
}

QRect PlotCanvas::plotArea(const QSize& size) const {
  return QRect(kLeft, kTop, std::max(size.width() - kLeft - kRight, 1),
               std::max(size.height() - kTop - kBottom, 1));
}

QRect PlotCanvas::dragged() const {
  return {QPoint(std::min(pressed_.x(), current_.x()), std::min(pressed_.y(), current_.y())),
          QSize(std::abs(current_.x() - pressed_.x()), std::abs(current_.y() - pressed_.y()))};
}

QPointF PlotCanvas::toData(const QPointF& pixel) const {
  return {x_.lo + (pixel.x() - area_.left()) / area_.width() * x_.width(),
          y_.lo + (area_.top() + area_.height() - pixel.y()) / area_.height() * y_.width()};
}

void PlotCanvas::paintView(QPainter& painter, const QSize& size) {
  painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
  area_ = plotArea(size);
  painter.setPen(Qt::black);
  if (!source_.ready()) {
    painter.drawText(QRect(QPoint(0, 0), size), Qt::AlignCenter, placeholder_);
    return;
  }
  const int width = area_.width();
  const View source = viewOf(source_, x_, width);
  std::optional<View> result;
  if (result_.ready()) result = viewOf(result_, x_, width);
  if (autoY_) {
    Envelope all;
    for (const Envelope& column : source.columns) all.add(column);
    if (result) {
      for (const Envelope& column : result->columns) all.add(column);
    }
    if (!all.empty()) y_ = fitted(all.min, all.max, kYMargin);
  }
  const Mapping m{area_, x_, y_};
  drawAxes(painter, m);
  painter.save();
  painter.setClipRect(area_);
  drawSeries(painter, source_, source, m, QPen(kSourceColour, 1), false);
  if (result) drawSeries(painter, result_, *result, m, QPen(kResultColour, 1.5), true);
  painter.restore();

  painter.setPen(Qt::black);
  painter.drawRect(area_.adjusted(0, 0, -1, -1));
  int legendX = area_.left();
  drawLegendEntry(painter, legendX, kTop / 2, kSourceColour, QStringLiteral("元データ"));
  if (result) drawLegendEntry(painter, legendX, kTop / 2, kResultColour, resultLegend_);
  if (drag_ == Drag::Band) {
    painter.setPen(QPen(Qt::black, 1, Qt::DashLine));
    painter.drawRect(dragged());
  }
}

void PlotCanvas::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  paintView(painter, size());
}

void PlotCanvas::wheelEvent(QWheelEvent* event) {
  if (!source_.ready()) return;
  const QPointF at = toData(event->position());
  const double factor = std::pow(0.8, event->angleDelta().y() / 120.0);
  const AxisRange x = zoomedAround(x_, at.x(), factor);
  if (!(x.width() > 0) || !std::isfinite(x.width())) return;  // as far as doubles reach
  x_ = x;
  if (!autoY_) y_ = zoomedAround(y_, at.y(), factor);
  update();
  event->accept();
}

void PlotCanvas::mousePressEvent(QMouseEvent* event) {
  if (!source_.ready() || !area_.contains(event->pos())) return;
  pressed_ = current_ = event->pos();
  pressedX_ = x_;
  pressedY_ = y_;
  const bool pan = event->button() == Qt::MiddleButton ||
                   (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ShiftModifier));
  if (pan) {
    drag_ = Drag::Pan;
    setCursor(Qt::ClosedHandCursor);
  } else if (event->button() == Qt::LeftButton) {
    drag_ = Drag::Band;
  }
}

void PlotCanvas::mouseMoveEvent(QMouseEvent* event) {
  current_ = event->pos();
  if (drag_ == Drag::Pan) {
    const QPoint moved = current_ - pressed_;
    const double dx = moved.x() * pressedX_.width() / area_.width();
    x_ = {pressedX_.lo - dx, pressedX_.hi - dx};
    // A vertical pull fixes y; a sideways one leaves it following the data.
    if (!autoY_ || std::abs(moved.y()) > kPanThreshold) {
      autoY_ = false;
      const double dy = moved.y() * pressedY_.width() / area_.height();
      y_ = {pressedY_.lo + dy, pressedY_.hi + dy};
    }
  }
  if (drag_ != Drag::None) update();
  if (source_.ready() && area_.contains(current_)) {
    emit cursorMoved(toData(current_));
  } else {
    emit cursorMoved(std::nullopt);
  }
}

void PlotCanvas::mouseReleaseEvent(QMouseEvent* /*event*/) {
  if (drag_ == Drag::Band) {
    const QRect band = dragged().intersected(area_);
    if (band.width() > 4 && band.height() > 4) {
      const QPointF topLeft = toData(band.topLeft());
      const QPointF bottomRight =
          toData(QPointF(band.x() + band.width(), band.y() + band.height()));
      x_ = {topLeft.x(), bottomRight.x()};
      y_ = {bottomRight.y(), topLeft.y()};
      autoY_ = false;
    }
  }
  if (drag_ == Drag::Pan) unsetCursor();
  drag_ = Drag::None;
  update();
}

void PlotCanvas::mouseDoubleClickEvent(QMouseEvent* /*event*/) {
  showAll();
}

void PlotCanvas::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Home) {
    showAll();
  } else {
    QWidget::keyPressEvent(event);
  }
}

void PlotCanvas::leaveEvent(QEvent* /*event*/) {
  emit cursorMoved(std::nullopt);
}

}  // namespace vorlet::app

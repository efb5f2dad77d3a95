#pragma once

#include <QPoint>
#include <QRect>
#include <QString>
#include <QWidget>
#include <memory>
#include <optional>

#include "app/PlotAxes.h"
#include "app/PlotPyramid.h"

class QPainter;

namespace vorlet::app {

// A series to draw: its values, their pyramid (null while it is being built) and their x.
struct PlotSeries {
  std::shared_ptr<const PlotPyramid> pyramid;
  PlotColumn values;
  XOf x;
  std::shared_ptr<const XSamples> xSamples;  // when x is read from a table
  bool ready() const noexcept { return pyramid && pyramid->count() > 0; }
};

// The plot: the source as an envelope per pixel column, the result over it as a line, axes,
// legend, and the mouse and keys that move the view. The view model stays in data units; the
// picture is made afresh from the pyramids on every paint.
class PlotCanvas final : public QWidget {
  Q_OBJECT

 public:
  explicit PlotCanvas(QWidget* parent = nullptr);

  void setSource(PlotSeries source);
  void setResult(PlotSeries result, QString legend);
  // A word in place of the plot while there is nothing to draw.
  void setPlaceholder(QString text);
  // Both axes back to everything the series hold.
  void showAll();

  bool hasResult() const noexcept { return result_.ready(); }
  const AxisRange& xRange() const noexcept { return x_; }
  // The y range of the last picture.
  const AxisRange& yRange() const noexcept { return y_; }
  void setXRange(const AxisRange& range);

  // Paints the current view at `size`: the window, an image file and the benchmarks all use it.
  void paintView(QPainter& painter, const QSize& size);

 signals:
  // The data coordinates under the pointer, or nothing when it is outside the plot.
  void cursorMoved(std::optional<QPointF> at);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  enum class Drag { None, Band, Pan };

  QRect plotArea(const QSize& size) const;
  QPointF toData(const QPointF& pixel) const;
  // The rectangle dragged so far, `current_` excluded.
  QRect dragged() const;
  AxisRange fullX() const;

  PlotSeries source_;
  PlotSeries result_;
  QString resultLegend_;
  QString placeholder_;
  AxisRange x_;
  AxisRange y_;
  bool autoY_ = true;  // y follows the visible data until a rectangle or vertical pan fixes it
  QRect area_;         // the plot area of the last picture
  Drag drag_ = Drag::None;
  QPoint pressed_;
  QPoint current_;
  AxisRange pressedX_;
  AxisRange pressedY_;
};

}  // namespace vorlet::app

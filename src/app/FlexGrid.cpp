#include "app/FlexGrid.h"

#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPalette>
#include <QToolTip>

#include "app/Fonts.h"

namespace vorlet::app {

namespace {

const QColor kBeyondCells(128, 128, 128);
const QColor kGridLines(192, 192, 192);
constexpr int kEdgeGrip = 3;     // pixels either side of a column edge that grab it
constexpr int kCellPadding = 6;  // the style's margins around a cell's text
constexpr int kNarrowestColumn = 8;

}  // namespace

FlexGrid::FlexGrid(QWidget* parent) : QTableWidget(kRows, kCols, parent) {
  setFont(arialFont(11.25));
  horizontalHeader()->hide();
  verticalHeader()->hide();
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setTabKeyNavigation(false);  // Tab moves on to the next control, not to the next cell
  setWordWrap(false);
  setMouseTracking(true);  // the pointer changes over a column edge before any button is down

  // The cells keep the system's window colours while the viewport around them turns grey: the
  // view's Base fills the area beyond the last row and column, each cell paints its own.
  const QBrush cellBrush = QApplication::palette().brush(QPalette::Base);
  QPalette look = palette();
  look.setColor(QPalette::Base, kBeyondCells);
  setPalette(look);
  // Styles pick their own grid line colour; a style sheet rule is the one setting all obey.
  setStyleSheet(QStringLiteral("QTableView { gridline-color: %1; }").arg(kGridLines.name()));

  horizontalHeader()->setDefaultSectionSize(64);
  verticalHeader()->setMinimumSectionSize(1);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);

  for (int r = 0; r < kRows; ++r) {
    for (int c = 0; c < kCols; ++c) {
      auto* item = new QTableWidgetItem;  // the table takes ownership
      item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
      item->setBackground(cellBrush);
      setItem(r, c, item);
    }
  }
}

void FlexGrid::setText(const QString& text) {
  if (QTableWidgetItem* cell = item(row_, col_)) cell->setText(text);
}

QString FlexGrid::textAt(int row, int col) const {
  const QTableWidgetItem* cell = item(row, col);
  return cell ? cell->text() : QString();
}

void FlexGrid::clearCells() {
  for (int r = 0; r < kRows; ++r) {
    for (int c = 0; c < kCols; ++c) item(r, c)->setText(QString());
  }
}

void FlexGrid::refresh() {
  viewport()->repaint();
}

QString FlexGrid::cutTextAt(const QPoint& point) const {
  const QModelIndex index = indexAt(point);
  if (!index.isValid()) return {};
  const QString text = textAt(index.row(), index.column());
  const bool cut =
      fontMetrics().horizontalAdvance(text) + kCellPadding > columnWidth(index.column());
  return cut ? text : QString();
}

bool FlexGrid::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    const auto* help = static_cast<QHelpEvent*>(event);
    const QString text = cutTextAt(help->pos());
    if (text.isEmpty()) {
      QToolTip::hideText();
    } else {
      QToolTip::showText(help->globalPos(), text, viewport());
    }
    return true;
  }
  return QTableWidget::viewportEvent(event);
}

int FlexGrid::edgeAt(int x) const {
  for (int c = 0; c < kCols; ++c) {
    const int edge = columnViewportPosition(c) + columnWidth(c);
    if (std::abs(x - edge) <= kEdgeGrip) return c;
  }
  return -1;
}

void FlexGrid::mousePressEvent(QMouseEvent* event) {
  const int column =
      event->button() == Qt::LeftButton ? edgeAt(event->position().toPoint().x()) : -1;
  if (column < 0) {
    QTableWidget::mousePressEvent(event);
    return;
  }
  resizing_ = column;
  dragStart_ = event->position().toPoint().x();
  widthAtStart_ = columnWidth(column);
}

void FlexGrid::mouseMoveEvent(QMouseEvent* event) {
  const int x = event->position().toPoint().x();
  if (resizing_ >= 0) {
    setColumnWidth(resizing_, std::max(kNarrowestColumn, widthAtStart_ + x - dragStart_));
    return;
  }
  // Over an edge the pointer says it can be dragged.
  if (edgeAt(x) >= 0) {
    viewport()->setCursor(Qt::SplitHCursor);
  } else {
    viewport()->unsetCursor();
  }
  QTableWidget::mouseMoveEvent(event);
}

void FlexGrid::mouseReleaseEvent(QMouseEvent* event) {
  if (resizing_ >= 0) {
    resizing_ = -1;
    return;
  }
  QTableWidget::mouseReleaseEvent(event);
}

}  // namespace vorlet::app

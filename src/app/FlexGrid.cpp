#include "app/FlexGrid.h"

#include <QApplication>
#include <QHeaderView>
#include <QPalette>

#include "app/Fonts.h"

namespace vorlet::app {

namespace {

const QColor kBeyondCells(128, 128, 128);
const QColor kGridLines(192, 192, 192);

}  // namespace

FlexGrid::FlexGrid(QWidget* parent) : QTableWidget(kRows, kCols, parent) {
  setFont(arialFont(11.25));
  horizontalHeader()->hide();
  verticalHeader()->hide();
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setTabKeyNavigation(false);  // Tab moves on to the next control, not to the next cell
  setWordWrap(false);

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

}  // namespace vorlet::app

#pragma once

#include <QString>
#include <QTableWidget>

namespace vorlet::app {

// The preview grid: a fixed 50 × 5 table of read-only texts without header rows or columns, so
// row 0 and column 0 hold data. Callers write a cell by choosing the row, then the column, then
// setting the text, as they would on the grid control the window was designed around. A column
// is widened by dragging its right edge; a cut cell shows its whole text as tooltip.
class FlexGrid : public QTableWidget {
 public:
  static constexpr int kRows = 50;
  static constexpr int kCols = 5;

  explicit FlexGrid(QWidget* parent);

  void setRow(int row) { row_ = row; }
  void setCol(int col) { col_ = col; }
  // Sets the text of the cell at the chosen row and column; no other cell changes.
  void setText(const QString& text);
  QString textAt(int row, int col) const;
  // Empties every cell; the shape, the chosen cell and the look stay.
  void clearCells();
  // Repaints now rather than when the event loop next runs.
  void refresh();
  // The whole text of the cell at a viewport point when the cell shows only part of it (its
  // tooltip), else nothing.
  QString cutTextAt(const QPoint& point) const;

 protected:
  bool viewportEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  // The column whose right edge is under a viewport x (a few pixels either side), or -1.
  int edgeAt(int x) const;

  int row_ = 0;
  int col_ = 0;
  int resizing_ = -1;  // the column being widened by dragging its edge
  int dragStart_ = 0;
  int widthAtStart_ = 0;
};

}  // namespace vorlet::app

#pragma once

#include <QFont>
#include <QLabel>
#include <QRect>
#include <QString>
#include <cstdint>
#include <optional>

class QFontMetrics;

namespace vorlet::app {

// A label of the window: its text wraps inside it, breaking anywhere, and what does not fit is
// cut off.
class FormLabel : public QLabel {
 public:
  using QLabel::QLabel;

 protected:
  void paintEvent(QPaintEvent* event) override;
  virtual QString shownText() const { return text(); }
  bool wrapAnywhere_ = false;  // else at word boundaries where there are some
};

// The file name label: shows the path in the lines that fit in its top `height` pixels, so it
// never runs into the row below. A path that needs more loses the middle of its folder part, so the
// file name always shows; the whole path is the tooltip.
class PathLabel final : public FormLabel {
 public:
  PathLabel(QWidget* parent, int height) : FormLabel(parent), height_(height) {
    wrapAnywhere_ = true;
  }
  void setPath(const QString& path);
  QString shownText() const override;

 private:
  int height_;
};

// The path as it fits in `lines` lines of `width` pixels, wrapped anywhere: whole when it fits,
// else with "…" in place of the middle of the folder part (of the file name too, when the name
// alone does not fit).
QString fitPath(const QString& path, const QFontMetrics& metrics, int width, int lines);

// One "columns × rows" row of a frame: the two counts and the "×" between them, where the window
// design puts them. A count wider than its label widens it, moving "×" and the rows label right,
// up to the frame's inner edge; beyond that both counts' fonts shrink until they fit. Every digit
// stays visible; each count is its label's tooltip.
struct CountRow {
  QLabel* fields = nullptr;
  QLabel* times = nullptr;
  QLabel* records = nullptr;
  QRect fieldsPlace, timesPlace, recordsPlace;
  QFont fieldsFont, recordsFont;
  int rightEdge = 0;  // the frame's inner edge, in the frame's coordinates
};

CountRow countRow(QLabel* fields, QLabel* times, QLabel* records, int rightEdge);
void showCounts(const CountRow& row, std::optional<std::int64_t> fields,
                std::optional<std::int64_t> records);

}  // namespace vorlet::app

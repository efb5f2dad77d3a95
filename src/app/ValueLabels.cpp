#include "app/ValueLabels.h"

#include <QDir>
#include <QFontMetrics>
#include <QPainter>
#include <QTextOption>
#include <algorithm>

namespace vorlet::app {

namespace {

constexpr int kWrapFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWrapAnywhere;

bool fits(const QString& text, const QFontMetrics& metrics, int width, int lines) {
  const QRect needed = metrics.boundingRect(QRect(0, 0, width, 1 << 20), kWrapFlags, text);
  return needed.height() <= lines * metrics.lineSpacing() && needed.width() <= width;
}

// The most characters of `middle` that can go, keeping `keep(k)` fitting; k characters kept,
// half from each end.
QString elideMiddle(const QString& head, const QString& middle, const QString& tail,
                    const QFontMetrics& metrics, int width, int lines) {
  const auto withKept = [&](qsizetype kept) {
    const qsizetype front = (kept + 1) / 2;
    return head + middle.left(front) + QStringLiteral("…") + middle.right(kept - front) + tail;
  };
  qsizetype low = 0, high = middle.size();  // withKept(low) is the fallback
  while (low < high) {
    const qsizetype mid = (low + high + 1) / 2;
    if (fits(withKept(mid), metrics, width, lines)) {
      low = mid;
    } else {
      high = mid - 1;
    }
  }
  return withKept(low);
}

int textWidth(const QFont& font, const QString& text) {
  return QFontMetrics(font).horizontalAdvance(text) + 2;
}

QFont scaled(const QFont& font, qreal scale) {
  QFont smaller = font;
  smaller.setPointSizeF(font.pointSizeF() * scale);
  return smaller;
}

QString countText(std::optional<std::int64_t> count) {
  return count ? QString::number(*count) : QString();
}

}  // namespace

void FormLabel::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.setPen(palette().color(foregroundRole()));
  QTextOption option(Qt::AlignLeft | Qt::AlignTop);
  option.setWrapMode(wrapAnywhere_ ? QTextOption::WrapAnywhere
                                   : QTextOption::WrapAtWordBoundaryOrAnywhere);
  painter.drawText(QRectF(contentsRect()), shownText(), option);
}

void PathLabel::setPath(const QString& path) {
  setText(path);
  setToolTip(QDir::toNativeSeparators(path));
}

QString PathLabel::shownText() const {
  const int lines = std::max(1, height_ / fontMetrics().lineSpacing());
  return fitPath(QDir::toNativeSeparators(text()), fontMetrics(), contentsRect().width(), lines);
}

QString fitPath(const QString& path, const QFontMetrics& metrics, int width, int lines) {
  if (fits(path, metrics, width, lines)) return path;
  const qsizetype slash = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
  const QString folder = path.left(slash + 1);
  const QString name = path.mid(slash + 1);
  if (fits(QStringLiteral("…") + name, metrics, width, lines)) {
    // Keep the folder's first character (the root) when it fits, then as much as fits.
    return elideMiddle({}, folder, name, metrics, width, lines);
  }
  return elideMiddle({}, path, {}, metrics, width, lines);
}

CountRow countRow(QLabel* fields, QLabel* times, QLabel* records, int rightEdge) {
  return {fields,
          times,
          records,
          fields->geometry(),
          times->geometry(),
          records->geometry(),
          fields->font(),
          records->font(),
          rightEdge};
}

void showCounts(const CountRow& row, std::optional<std::int64_t> fields,
                std::optional<std::int64_t> records) {
  const QString fieldsText = countText(fields), recordsText = countText(records);
  row.fields->setText(fieldsText);
  row.records->setText(recordsText);
  row.fields->setToolTip(fieldsText);
  row.records->setToolTip(recordsText);

  // Shrinking stops at 60 %: the smallest face still read without effort.
  for (qreal scale = 1.0;; scale -= 0.05) {
    const QFont fieldsFont = scaled(row.fieldsFont, scale);
    const QFont recordsFont = scaled(row.recordsFont, scale);
    // The fields count must end before "×"; whatever it needs beyond moves the rest right.
    const int fieldsEnd = row.fieldsPlace.left() + textWidth(fieldsFont, fieldsText);
    const int shift = std::max(0, fieldsEnd - row.timesPlace.left());
    const QRect times = row.timesPlace.translated(shift, 0);
    const QRect recordsPlace = row.recordsPlace.translated(shift, 0);
    const int recordsWidth = std::max(recordsPlace.width(), textWidth(recordsFont, recordsText));
    const bool fitsRow = recordsPlace.left() + recordsWidth <= row.rightEdge;
    if (fitsRow || scale < 0.62) {
      QRect fieldsRect = row.fieldsPlace;
      if (shift > 0) fieldsRect.setRight(times.left() - 1);
      row.fields->setGeometry(fieldsRect);
      row.fields->setFont(fieldsFont);
      row.times->setGeometry(times);
      row.records->setGeometry(recordsPlace.left(), recordsPlace.top(),
                               std::min(recordsWidth, row.rightEdge - recordsPlace.left()),
                               recordsPlace.height());
      row.records->setFont(recordsFont);
      return;
    }
  }
}

}  // namespace vorlet::app

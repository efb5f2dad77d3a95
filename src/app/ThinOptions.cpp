#include "app/ThinOptions.h"

#include <QSettings>

namespace vorlet::app {

namespace {

const QString kHeaderLines = QStringLiteral("thinning/headerLines");
const QString kNumbersOnly = QStringLiteral("thinning/numbersOnly");
const QString kFirstFieldKept = QStringLiteral("thinning/firstFieldKept");
const QString kDoublePrecision = QStringLiteral("thinning/doublePrecision");

}  // namespace

vorlet::ThinSettings toThinSettings(const ThinOptions& options, std::int16_t interval,
                                    vorlet::ThinMode mode) {
  vorlet::ThinSettings settings;
  settings.interval = interval;
  settings.mode = mode;
  settings.headerLines = options.headerLines;
  settings.numbersOnly = options.numbersOnly;
  if (options.firstFieldKept) settings.firstRecordFields = {1};
  settings.doublePrecision = options.doublePrecision;
  return settings;
}

ThinOptions loadThinOptions(QSettings& settings) {
  ThinOptions options;
  bool ok = false;
  const int header = settings.value(kHeaderLines, 0).toInt(&ok);
  if (ok && header >= 0 && header <= ThinOptions::kMaxHeaderLines) options.headerLines = header;
  options.numbersOnly = settings.value(kNumbersOnly, false).toBool();
  options.firstFieldKept = settings.value(kFirstFieldKept, false).toBool();
  options.doublePrecision = settings.value(kDoublePrecision, false).toBool();
  return options;
}

void storeThinOptions(QSettings& settings, const ThinOptions& options) {
  settings.setValue(kHeaderLines, options.headerLines);
  settings.setValue(kNumbersOnly, options.numbersOnly);
  settings.setValue(kFirstFieldKept, options.firstFieldKept);
  settings.setValue(kDoublePrecision, options.doublePrecision);
}

}  // namespace vorlet::app

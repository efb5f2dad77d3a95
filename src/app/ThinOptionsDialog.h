#pragma once

#include <QDialog>

#include "app/ThinOptions.h"

class QCheckBox;
class QSpinBox;

namespace vorlet::app {

// "間引きの詳細設定": collects the thinning options; the window stores and applies them.
class ThinOptionsDialog final : public QDialog {
 public:
  ThinOptionsDialog(const ThinOptions& options, QWidget* parent);

  ThinOptions options() const;

  QSpinBox* headerLines;
  QCheckBox* numbersOnly;
  QCheckBox* firstFieldKept;
  QCheckBox* doublePrecision;
};

}  // namespace vorlet::app

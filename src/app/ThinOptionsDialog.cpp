#include "app/ThinOptionsDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace vorlet::app {

namespace {

QCheckBox* checkBox(QWidget* parent, const char* name, const QString& caption, bool checked) {
  auto* box = new QCheckBox(caption, parent);
  box->setObjectName(QString::fromLatin1(name));
  box->setChecked(checked);
  return box;
}

}  // namespace

ThinOptionsDialog::ThinOptionsDialog(const ThinOptions& options, QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("ThinOptionsDialog"));
  setWindowTitle(QStringLiteral("間引きの詳細設定"));
  setModal(true);

  headerLines = new QSpinBox(this);
  headerLines->setObjectName(QStringLiteral("headerLines"));
  headerLines->setRange(0, ThinOptions::kMaxHeaderLines);
  headerLines->setValue(options.headerLines);
  numbersOnly = checkBox(this, "numbersOnly", QStringLiteral("平均は数値のセルだけで求める"),
                         options.numbersOnly);
  firstFieldKept =
      checkBox(this, "firstFieldKept", QStringLiteral("1列目は各グループの最初の値をそのまま使う"),
               options.firstFieldKept);
  doublePrecision = checkBox(this, "doublePrecision", QStringLiteral("倍精度で平均する"),
                             options.doublePrecision);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  // Named here, so the dialog reads the same with or without Qt's translations.
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("見出し行数"), headerLines);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(numbersOnly);
  layout->addWidget(firstFieldKept);
  layout->addWidget(doublePrecision);
  layout->addWidget(buttons);
}

ThinOptions ThinOptionsDialog::options() const {
  ThinOptions chosen;
  chosen.headerLines = headerLines->value();
  chosen.numbersOnly = numbersOnly->isChecked();
  chosen.firstFieldKept = firstFieldKept->isChecked();
  chosen.doublePrecision = doublePrecision->isChecked();
  return chosen;
}

}  // namespace vorlet::app

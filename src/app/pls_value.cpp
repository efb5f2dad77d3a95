#include "app/pls_value.h"

#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include "app/Fonts.h"
#include "app/Twips.h"

namespace vorlet::app {

pls_value::pls_value() : QWidget(nullptr, Qt::Window) {
  setObjectName(QStringLiteral("pls_value"));
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("エラー"));
  const QIcon stopSign(QStringLiteral(":/icons/stop.svg"));
  setWindowIcon(stopSign);
  setFixedSize(twips(4140), twips(1185));

  Picture1 = new QLabel(this);  // children belong to the window
  Picture1->setObjectName(QStringLiteral("Picture1"));
  Picture1->setGeometry(twipsRect(240, 240, 615, 615));
  Picture1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Picture1->setAutoFillBackground(true);
  QPalette grey = Picture1->palette();
  grey.setColor(QPalette::Window, QColor(192, 192, 192));
  Picture1->setPalette(grey);
  Picture1->setPixmap(stopSign.pixmap(32, 32));

  Label1 = new QLabel(standardMessage(), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setGeometry(twipsRect(1080, 240, 2655, 375));
  Label1->setFont(interfaceFont(9.75));
  Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Label1->setWordWrap(true);

  Command1 = new QPushButton(QStringLiteral("確認"), this);
  Command1->setObjectName(QStringLiteral("Command1"));
  Command1->setGeometry(twipsRect(2760, 720, 1335, 375));
  Command1->setAutoDefault(true);  // Enter presses it while it has the focus
  connect(Command1, &QPushButton::clicked, this, &QWidget::close);
  Command1->setFocus();

  setGeometry(
      QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen()->availableGeometry()));
}

QString pls_value::standardMessage() {
  return QStringLiteral("　間引き間隔は、2以上の整数を指定してください。");
}

void pls_value::setMessage(const QString& message) {
  Label1->setText(message);
}

}  // namespace vorlet::app

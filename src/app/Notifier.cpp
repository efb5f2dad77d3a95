#include "app/Notifier.h"

#include <QMessageBox>

namespace vorlet::app {

void MessageBoxNotifier::notify(const QString& message) {
  QMessageBox box(QMessageBox::Warning, QStringLiteral("Vorlet"), message, QMessageBox::Ok, owner_);
  box.exec();
}

}  // namespace vorlet::app

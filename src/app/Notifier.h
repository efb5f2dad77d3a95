#pragma once

#include <QString>

class QWidget;

namespace vorlet::app {

// Where the commands' messages go: a modal box for the user, a recorder in tests.
class Notifier {
 public:
  virtual ~Notifier() = default;
  virtual void notify(const QString& message) = 0;
};

// A modal warning box titled with the program's name, with one OK button.
class MessageBoxNotifier final : public Notifier {
 public:
  explicit MessageBoxNotifier(QWidget* owner) : owner_(owner) {}
  void notify(const QString& message) override;

 private:
  QWidget* owner_;
};

}  // namespace vorlet::app

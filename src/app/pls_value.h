#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace vorlet::app {

// The interval error notice: a window of its own, without owner, that says the interval must
// be an integer of 2 or more. Its button and its close box both close and destroy it.
class pls_value final : public QWidget {
 public:
  pls_value();

  // "　間引き間隔は、2以上の整数を指定してください。"
  static QString standardMessage();
  // The refusal's own words: the standard message, or one that names a limit.
  void setMessage(const QString& message);

  QLabel* Picture1;
  QLabel* Label1;
  QPushButton* Command1;
};

}  // namespace vorlet::app

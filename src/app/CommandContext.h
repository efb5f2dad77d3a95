#pragma once

#include <functional>

#include "app/Form1Controls.h"
#include "delimited/FileRoad.h"
#include "thinning/SharedVariables.h"

class QWidget;

namespace vorlet::app {

class CommonDialog;
class Notifier;

// The window's data: the shared variables and, beside each table, the encoding of the file its
// texts came from, to show them and to save a result the way its source was written.
struct Workspace {
  vorlet::SharedVariables vars;
  vorlet::TextEncoding sourceEncoding = vorlet::TextEncoding::Utf8;
  vorlet::TextEncoding resultEncoding = vorlet::TextEncoding::Utf8;
};

// The values of the window's mouse pointer property.
inline constexpr int kDefaultPointer = 0;
inline constexpr int kHourglass = 11;

// What the commands reach of the window.
struct CommandContext {
  Workspace& workspace;
  Form1Controls& controls;
  CommonDialog& dialog;
  Notifier& notifier;
  QWidget& window;
  std::function<void(int)> setMousePointer;
  std::function<void()> showIntervalError;
};

// Shows the hourglass once asked to and puts the default pointer back on every way out.
class BusyPointer {
 public:
  explicit BusyPointer(const std::function<void(int)>& setPointer) : setPointer_(setPointer) {}
  BusyPointer(const BusyPointer&) = delete;
  BusyPointer& operator=(const BusyPointer&) = delete;
  ~BusyPointer() { done(); }

  void hourglass() {
    setPointer_(kHourglass);
    busy_ = true;
  }
  void done() {
    if (busy_) setPointer_(kDefaultPointer);
    busy_ = false;
  }

 private:
  const std::function<void(int)>& setPointer_;
  bool busy_ = false;
};

}  // namespace vorlet::app

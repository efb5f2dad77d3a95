#pragma once

#include <QString>
#include <functional>

#include "app/Form1Controls.h"
#include "app/ThinOptions.h"
#include "app/Workspace.h"

class QWidget;

namespace vorlet::app {

class CommonDialog;
class Notifier;

// The values of the window's mouse pointer property.
inline constexpr int kDefaultPointer = 0;
inline constexpr int kHourglass = 11;

// What the commands reach of the window. The model steps they call take the workspace alone;
// the rest is for asking the user and showing what the steps report.
struct CommandContext {
  Workspace& workspace;
  Form1Controls& controls;
  CommonDialog& dialog;
  Notifier& notifier;
  QWidget& window;
  std::function<void(vorlet::IntervalCheck)> showIntervalError;
  std::function<ThinOptions()> thinOptions;
  // Runs `work` off the window's thread with the hourglass, `status` and the percentage that
  // `work` counts in the progress it is given in the status bar, the commands' inputs blocked,
  // and returns when it is done. The window repaints meanwhile.
  using Work = std::function<void(vorlet::Progress& progress)>;
  std::function<void(const QString& status, const Work& work)> runBusy;
  // A lasting message in the status bar.
  std::function<void(const QString& message)> showStatus;
};

}  // namespace vorlet::app

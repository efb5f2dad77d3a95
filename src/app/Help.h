#pragma once

#include <QString>

#include <functional>
#include <memory>

class QFileInfo;
class QWidget;

namespace vorlet::app {

// The help file's path in `folder`: one separator between them, also when the folder is a root
// ("/", "C:\") that already ends with one.
QString helpPathIn(const QString& folder);

// The help-file setting: the full path of the help file in `programFolder` when an ordinary file
// is there (a folder of that name, a hidden file, or a failed existence test does not count),
// else in `programFolder`/../share/vorlet where an installed program keeps it, else the bare name.
QString lookUpHelpFile(const QString& programFolder);

// As above, with hidden-ness asked of `isHidden`: Linux hides only dot-files, so a file named
// like the help file is never hidden there, and tests stand in for another system's attribute.
QString lookUpHelpFile(const QString& programFolder,
                       const std::function<bool(const QFileInfo&)>& isHidden);

// Where help requests go. The window makes one request per help command and reports nothing
// itself; whatever the viewer finds or misses is for the viewer to show.
class HelpDesk {
 public:
  virtual ~HelpDesk() = default;
  virtual void showHelp(const QString& helpFile) = 0;
  // Closes the viewer's window, if one is open; the program is ending.
  virtual void closeViewer() {}
};

// The program's own help viewer: opens (or raises) one help window on the top of the given file.
// A bare name is looked for in the program folder, then in the current folder.
std::unique_ptr<HelpDesk> makeHelpViewerDesk();

// "Vorlet Version 0.43a", CR LF, "Programed by Orrey".
QString versionMessageText();

// The version message: modal, titled "Vorlet", one OK button, no icon.
void showVersionMessage(QWidget* parent);

}  // namespace vorlet::app

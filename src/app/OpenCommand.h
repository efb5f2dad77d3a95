#pragma once

#include <QString>

namespace vorlet::app {

struct CommandContext;
struct Form1Controls;
struct Workspace;

// Asks for a file, then opens it.
void runOpenCommand(CommandContext& context);

// Reads the file into a fresh table and, only when that worked, makes it the source and shows
// its path, its size and a preview of its first 50 records and 5 fields. A file that cannot be
// read changes nothing, the dialog's file name included, and the user is told why. The file
// dialog, the program's argument and a dropped file all come here.
bool openFile(CommandContext& context, const QString& path);

// The view of the source: its path, its size and its preview.
void showSource(Form1Controls& controls, const Workspace& workspace);

}  // namespace vorlet::app

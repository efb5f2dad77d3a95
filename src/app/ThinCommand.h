#pragma once

namespace vorlet::app {

struct CommandContext;
struct Form1Controls;
struct Workspace;

// Thins the source by the interval in Text1 in the mode of the option buttons with the options
// in force, then shows the result's size and a preview of its first 50 records and 5 fields. An
// interval that is not a number of at least 2 fitting 16 bits shows the interval error notice
// and changes nothing.
void runThinCommand(CommandContext& context);

// The view of the result: its size and its preview.
void showResult(Form1Controls& controls, const Workspace& workspace);

}  // namespace vorlet::app

#pragma once

namespace vorlet::app {

struct CommandContext;

// Saves the thinned result under a name the user confirms, in the encoding of the file it came
// from. The dialog proposes a new name beside the source; choosing the source itself is asked
// with a warning of its own. With no result yet it says so before any dialog; a failed save
// names the file and the reason and leaves the file as it was; a finished one says so in the
// status bar.
void runSaveCommand(CommandContext& context);

}  // namespace vorlet::app

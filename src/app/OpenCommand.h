#pragma once

namespace vorlet::app {

struct CommandContext;

// Asks for a file, reads it into a fresh table and, only when that worked, makes it the source:
// its path, its bounds and a preview of its first 50 records and 5 fields. A cancelled dialog
// changes nothing; a file that cannot be read leaves everything as it was and says why.
void runOpenCommand(CommandContext& context);

}  // namespace vorlet::app

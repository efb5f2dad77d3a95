#pragma once

namespace vorlet::app {

struct CommandContext;

// Thins the source by the interval in Text1 in the mode of the option buttons, then shows the
// result's bounds and a preview of its first 50 records and 5 fields. An interval that is not a
// number of at least 2 fitting 16 bits shows the interval error notice and changes nothing.
void runThinCommand(CommandContext& context);

}  // namespace vorlet::app

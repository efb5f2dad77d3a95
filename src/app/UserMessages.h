#pragma once

#include <QString>
#include <cstdint>

#include "delimited/FileRoad.h"

namespace vorlet::app {

// The commands' messages, in Japanese. Each names the file and says why.
QString openFailedMessage(const vorlet::FileError& error);
QString saveFailedMessage(const vorlet::FileError& error);
QString nothingToSaveMessage();
QString outOfMemoryMessage();
// The interval error notice's text for an interval too large for 16 bits.
QString intervalTooLargeMessage();
// The status bar after a save: the file and how many records it holds.
QString savedStatusMessage(const QString& path, std::int64_t records);

}  // namespace vorlet::app

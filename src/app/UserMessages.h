#pragma once

#include <QString>

#include "delimited/FileRoad.h"

namespace vorlet::app {

// The commands' messages, in Japanese. Each names the file and says why.
QString openFailedMessage(const vorlet::FileError& error);
QString saveFailedMessage(const vorlet::FileError& error);
QString nothingToSaveMessage();
QString outOfMemoryMessage();

}  // namespace vorlet::app

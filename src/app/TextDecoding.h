#pragma once

#include <QString>
#include <string_view>

#include "delimited/FileRoad.h"

namespace vorlet::app {

// Cells hold the file's own bytes; this turns them into text for the screen.
QString decodeForDisplay(std::string_view bytes, vorlet::TextEncoding encoding);

}  // namespace vorlet::app

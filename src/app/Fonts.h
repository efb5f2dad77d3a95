#pragma once

#include <QFont>

namespace vorlet::app {

// The window asks for Windows faces by name. These map them to installed look-alikes, so the
// look does not depend on how the machine's fontconfig is set up.
void registerFontSubstitutes();

// Registers the substitutes and makes the interface font every widget's default.
void installProgramFonts();

// "ＭＳ Ｐゴシック", the face of every control that names no other.
QFont interfaceFont(qreal pointSize = 9.0, bool bold = false);
QFont arialFont(qreal pointSize, bool bold = false);

}  // namespace vorlet::app

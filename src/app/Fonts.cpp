#include "app/Fonts.h"

#include <QApplication>
#include <QStringList>

namespace vorlet::app {

namespace {

const QString kInterfaceFace = QStringLiteral("ＭＳ Ｐゴシック");
const QString kArialFace = QStringLiteral("Arial");

QFont makeFont(const QString& face, qreal pointSize, bool bold) {
  QFont font(face);
  font.setPointSizeF(pointSize);
  font.setBold(bold);
  return font;
}

}  // namespace

void registerFontSubstitutes() {
  // IPA P Gothic is proportional like MS P Gothic; Noto covers machines without it.
  QFont::insertSubstitutions(kInterfaceFace,
                             {QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP")});
  // Liberation Sans has Arial's metrics, so texts take the room they were laid out for.
  QFont::insertSubstitution(kArialFace, QStringLiteral("Liberation Sans"));
}

void installProgramFonts() {
  registerFontSubstitutes();
  QApplication::setFont(interfaceFont());
}

QFont interfaceFont(qreal pointSize, bool bold) {
  return makeFont(kInterfaceFace, pointSize, bold);
}

QFont arialFont(qreal pointSize, bool bold) {
  return makeFont(kArialFace, pointSize, bold);
}

}  // namespace vorlet::app

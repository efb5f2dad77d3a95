#include "app/TextDecoding.h"

#include <QByteArrayView>
#include <QStringDecoder>

namespace vorlet::app {

namespace {

QStringDecoder decoderFor(vorlet::TextEncoding encoding) {
  // Stateless: every cell is decoded on its own, nothing carries over between cells.
  constexpr auto kStateless = QStringDecoder::Flag::Stateless;
  if (encoding != vorlet::TextEncoding::ShiftJis)
    return QStringDecoder(QStringDecoder::Utf8, kStateless);
  QStringDecoder shiftJis("Shift_JIS", kStateless);
  // A Qt built without ICU knows no Shift-JIS; on Japanese Windows the system code page is it.
  return shiftJis.isValid() ? std::move(shiftJis)
                            : QStringDecoder(QStringDecoder::System, kStateless);
}

}  // namespace

QString decodeForDisplay(std::string_view bytes, vorlet::TextEncoding encoding) {
  QStringDecoder decoder = decoderFor(encoding);
  return decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

}  // namespace vorlet::app

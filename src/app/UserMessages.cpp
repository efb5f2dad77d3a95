#include "app/UserMessages.h"

#include <QFile>

namespace vorlet::app {

namespace {

using Kind = vorlet::FileError::Kind;

QString atOffset(std::uint64_t offset) {
  return QStringLiteral("（先頭から %1 バイトの位置）").arg(offset);
}

QString openReason(const vorlet::FileError& error) {
  switch (error.kind) {
    case Kind::NotFound:
      return QStringLiteral("ファイルが見つかりません。");
    case Kind::NotRegular:
      return QStringLiteral("通常のファイルではありません（フォルダなど）。");
    case Kind::NoPermission:
      return QStringLiteral("ファイルを読む権限がありません。");
    case Kind::ReadFailed:
      return QStringLiteral("読み込み中にエラーが起きました。");
    case Kind::ChangedSize:
      return QStringLiteral(
          "読み込み中にファイルの大きさが変わりました。書き込みが終わってから開き直してください。");
    case Kind::Binary:
      return QStringLiteral("テキストファイルではありません。NUL 文字があります") +
             atOffset(error.offset) + u'。';
    case Kind::Undecodable:
      return QStringLiteral("UTF-8 としても Shift-JIS としても読めない文字があります") +
             atOffset(error.offset) + u'。';
    case Kind::NoRecords:
      return QStringLiteral("データがありません（空のファイルです）。");
    case Kind::TooLarge:
      return QStringLiteral("ファイルが大きすぎて、メモリに収まりません。");
    case Kind::WriteFailed:
      break;
  }
  return QStringLiteral("読み込めませんでした。");
}

QString saveReason(const vorlet::FileError& error) {
  switch (error.kind) {
    case Kind::NotFound:
      return QStringLiteral("保存先のフォルダが見つかりません。");
    case Kind::NotRegular:
      return QStringLiteral("保存先が通常のファイルではありません（フォルダなど）。");
    case Kind::NoPermission:
      return QStringLiteral("保存先に書き込む権限がありません。");
    case Kind::TooLarge:
      return QStringLiteral("メモリが足りません。");
    default:
      break;
  }
  return QStringLiteral("書き込みに失敗しました（ディスクの空き容量などを確かめてください）。");
}

QString compose(const QString& headline, const vorlet::FileError& error, const QString& reason) {
  QString message = headline + u'\n' + QFile::decodeName(error.path.c_str()) + u'\n' + reason;
  // The system's own words, for whoever has to look into it.
  if (!error.detail.empty()) {
    message += QStringLiteral("\n（詳細: %1）").arg(QString::fromLocal8Bit(error.detail.c_str()));
  }
  return message;
}

}  // namespace

QString openFailedMessage(const vorlet::FileError& error) {
  return compose(QStringLiteral("ファイルを開けませんでした。"), error, openReason(error));
}

QString saveFailedMessage(const vorlet::FileError& error) {
  return compose(QStringLiteral("ファイルを保存できませんでした。"), error, saveReason(error));
}

QString nothingToSaveMessage() {
  return QStringLiteral(
      "保存する間引き結果がありません。\n先に「間引くボタン」で間引いてください。");
}

QString outOfMemoryMessage() {
  return QStringLiteral("メモリが足りないため、処理を中止しました。");
}

}  // namespace vorlet::app

#include "app/UserMessages.h"

#ifndef _WIN32
#include <unistd.h>
#endif

#include <QFile>
#include <cerrno>
#include <system_error>

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

// Every write failure comes as WriteFailed with the step and the system's reason (strerror text)
// in `detail`; the reason picks the words.
bool failedWith(const std::string& detail, int code) {
  const std::string reason = std::generic_category().message(code);
  return detail.size() >= reason.size() &&
         detail.compare(detail.size() - reason.size(), reason.size(), reason) == 0;
}

// A read-only file system makes every file on it read-only; say which one it is.
bool onReadOnlyFileSystem(const std::string& path) {
#ifdef _WIN32
  (void)path;
  return false;
#else
  return ::access(path.c_str(), W_OK) != 0 && errno == EROFS;
#endif
}

QString saveReason(const vorlet::FileError& error) {
  const std::string& d = error.detail;
  if (d == "it is read-only") {
    return onReadOnlyFileSystem(error.path)
               ? QStringLiteral("保存先のフォルダーまたはファイルシステムが読み取り専用です。")
               : QStringLiteral(
                     "保存先のファイルが読み取り専用です（書き換えできないファイルです）。");
  }
  if (error.kind == Kind::NotRegular || d == "it is a folder" || d == "it is not a regular file")
    return QStringLiteral("保存先が通常のファイルではありません（フォルダーなど）。");
  if (failedWith(d, EROFS))
    return QStringLiteral("保存先のフォルダーまたはファイルシステムが読み取り専用です。");
  if (error.kind == Kind::NoPermission || failedWith(d, EACCES) || failedWith(d, EPERM))
    return QStringLiteral("保存先に書き込む権限がありません。");
  if (failedWith(d, ENOSPC) || failedWith(d, EDQUOT))
    return QStringLiteral("ディスクがいっぱいです。空き容量を増やしてから保存し直してください。");
  if (failedWith(d, ENAMETOOLONG)) return QStringLiteral("ファイル名またはパスが長すぎます。");
  if (error.kind == Kind::NotFound || failedWith(d, ENOENT) || failedWith(d, ENOTDIR))
    return QStringLiteral("保存先のフォルダーが見つかりません。");
  if (error.kind == Kind::TooLarge || d == "out of memory")
    return QStringLiteral("メモリが足りません。");
  return QStringLiteral("書き込みに失敗しました。");
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

QString intervalTooLargeMessage() {
  return QStringLiteral("　間引き間隔は、32767以下の整数を指定してください。");
}

QString savedStatusMessage(const QString& path, std::int64_t records) {
  return QStringLiteral("保存しました: %1（%2 行）").arg(path).arg(records);
}

}  // namespace vorlet::app

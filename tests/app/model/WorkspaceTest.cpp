// The window's model steps and messages, without a widget: open, thin and save on a workspace.
#include <gtest/gtest.h>

#include <QFile>
#include <QSettings>
#include <cerrno>
#include <system_error>

#include "app/UserMessages.h"
#include "app/Workspace.h"
#include "support/TempFolder.h"

using namespace vorlet::app;
using vorlet::IntervalCheck;
using vorlet::ThinMode;
using vorlet::testing_files::readBytes;
using vorlet::testing_files::TempFolder;
using vorlet::testing_files::writeBytes;

namespace {

QString qpath(const std::filesystem::path& path) {
  return QFile::decodeName(path.c_str());
}

}  // namespace

TEST(ThinRequest, FullWidthDigitsSignAndPointReadAsTheirAsciiForms) {
  const struct {
    QString text;
    IntervalCheck check;
    std::int16_t interval;
  } cases[] = {
      {QStringLiteral("10"), IntervalCheck::Ok, 10},
      {QStringLiteral("１９"), IntervalCheck::Ok, 19},  // with the rows below, every digit
      {QStringLiteral("＋８"), IntervalCheck::Ok, 8},
      {QStringLiteral("２．５"), IntervalCheck::Ok, 2},
      {QStringLiteral("３２７６７"), IntervalCheck::Ok, 32767},
      {QStringLiteral("－５"), IntervalCheck::BelowTwo, 0},
      {QStringLiteral("1"), IntervalCheck::BelowTwo, 0},
      {QStringLiteral("ten"), IntervalCheck::NotANumber, 0},
      {QStringLiteral("32768"), IntervalCheck::TooLarge, 0},
      {QStringLiteral("４００００"), IntervalCheck::TooLarge, 0},
  };
  for (const auto& c : cases) {
    const CheckedThinRequest checked = checkThinRequest({c.text, ThinMode::Simple, {}});
    EXPECT_EQ(checked.check, c.check) << c.text.toStdString();
    if (c.check == IntervalCheck::Ok) {
      EXPECT_EQ(checked.settings.interval, c.interval) << c.text.toStdString();
    }
  }
}

TEST(ThinRequest, TheModeAndTheOptionsReachTheEngineSettings) {
  const vorlet::ThinSettings set =
      checkThinRequest({QStringLiteral("4"), ThinMode::Average, ThinOptions{7, true, true, true}})
          .settings;
  EXPECT_EQ(set.mode, ThinMode::Average);
  EXPECT_EQ(set.headerLines, 7);
  EXPECT_TRUE(set.numbersOnly);
  EXPECT_EQ(set.firstRecordFields, std::vector<std::int32_t>{1});
  EXPECT_TRUE(set.doublePrecision);
}

TEST(ThinOptionsStore, OptionsPersistAndOutOfRangeValuesReadAsDefaults) {
  TempFolder folder;
  const QString file = qpath(folder / "settings.ini");
  const ThinOptions chosen{12, true, false, true};
  {
    QSettings settings(file, QSettings::IniFormat);
    EXPECT_EQ(loadThinOptions(settings), ThinOptions{});
    storeThinOptions(settings, chosen);
  }
  QSettings settings(file, QSettings::IniFormat);
  EXPECT_EQ(loadThinOptions(settings), chosen);
  settings.setValue(QStringLiteral("thinning/headerLines"), 10000);
  EXPECT_EQ(loadThinOptions(settings).headerLines, 0);
}

// Open, thin and save as the window does, with no window: "あ" in Shift-JIS and LF line ends come
// back as they were.
TEST(WorkspaceSteps, OpenThinAndSaveBesideTheSource) {
  TempFolder folder;
  const std::string source = "1,\x82\xa0\n2,b\n3,c\n4,d\n5,e\n";
  writeBytes(folder / "data.csv", source);
  Workspace workspace;
  ReadOutcome read = readSource(qpath(folder / "data.csv"));
  ASSERT_TRUE(std::holds_alternative<vorlet::OpenedTable>(read));
  adoptSource(workspace, std::get<vorlet::OpenedTable>(std::move(read)),
              qpath(folder / "data.csv"));
  EXPECT_EQ(sourceSize(workspace).records, 5);
  EXPECT_EQ(resultSize(workspace).records, std::nullopt);

  const CheckedThinRequest request = checkThinRequest({QStringLiteral("2"), ThinMode::Simple, {}});
  EXPECT_EQ(workspace.sourceLineEnd, vorlet::LineEnd::Lf);
  thinSource(workspace, request.settings);
  EXPECT_EQ(resultSize(workspace).fields, 2);
  EXPECT_EQ(resultSize(workspace).records, 2);
  EXPECT_EQ(workspace.resultLineEnd, vorlet::LineEnd::Lf);

  const QString proposed = proposedSaveName(workspace);
  EXPECT_EQ(proposed, qpath(folder / "data_n2_simple.csv"));
  EXPECT_FALSE(isResultSource(workspace, proposed));
  EXPECT_TRUE(isResultSource(workspace, qpath(folder.path() / "." / "data.csv")));
  EXPECT_EQ(saveResult(workspace, proposed), std::nullopt);
  EXPECT_EQ(readBytes(folder / "data_n2_simple.csv"), "1,\x82\xa0\n3,c\n\n");
  EXPECT_EQ(readBytes(folder / "data.csv"), source);
}

TEST(WorkspaceSteps, TheProposedNameSaysHowTheResultWasMade) {
  const struct {
    const char* source;
    std::int16_t interval;
    ThinMode mode;
    const char* proposed;
  } cases[] = {
      {"/d/data.csv", 10, ThinMode::Average, "/d/data_n10_average.csv"},
      {"/d/log.txt", 2, ThinMode::Simple, "/d/log_n2_simple.txt"},
      {"/d/scope", 5, ThinMode::Peak, "/d/scope_n5_peak.csv"},
      {"/d/run.2024.csv", 3, ThinMode::Simple, "/d/run.2024_n3_simple.csv"},
  };
  for (const auto& c : cases) {
    Workspace workspace;
    workspace.resultSourcePath = QString::fromUtf8(c.source);
    workspace.resultSettings.interval = c.interval;
    workspace.resultSettings.mode = c.mode;
    EXPECT_EQ(proposedSaveName(workspace), QString::fromUtf8(c.proposed)) << c.source;
  }
}

TEST(UserMessages, AnOpenRefusalNamesTheFileAndItsReason) {
  using Kind = vorlet::FileError::Kind;
  const struct {
    Kind kind;
    std::uint64_t offset;
    QString reason;
  } cases[] = {
      {Kind::NotFound, 0, QStringLiteral("ファイルが見つかりません")},
      {Kind::NotRegular, 0, QStringLiteral("通常のファイルではありません")},
      {Kind::NoPermission, 0, QStringLiteral("ファイルを読む権限がありません")},
      {Kind::ReadFailed, 0, QStringLiteral("読み込み中にエラーが起きました")},
      {Kind::ChangedSize, 0, QStringLiteral("読み込み中にファイルの大きさが変わりました")},
      {Kind::Binary, 6, QStringLiteral("NUL 文字があります（先頭から 6 バイトの位置）")},
      {Kind::Undecodable, 5,
       QStringLiteral(
           "UTF-8 としても Shift-JIS としても読めない文字があります（先頭から 5 バイトの位置）")},
      {Kind::NoRecords, 0, QStringLiteral("データがありません")},
      {Kind::TooLarge, 0, QStringLiteral("ファイルが大きすぎて、メモリに収まりません")},
  };
  for (const auto& c : cases) {
    const QString message = openFailedMessage({c.kind, "/d/in.csv", "", c.offset});
    EXPECT_TRUE(message.startsWith(QStringLiteral("ファイルを開けませんでした。\n/d/in.csv\n")))
        << message.toStdString();
    EXPECT_TRUE(message.contains(c.reason)) << message.toStdString();
  }
}

// A failed save names its real reason; only a full disk speaks of free space.
TEST(UserMessages, AFailedSaveNamesTheRealReason) {
  const auto failed = [](int code) {
    return "creating a temporary file beside it failed: " + std::generic_category().message(code);
  };
  const struct {
    std::string detail;
    QString reason;
  } cases[] = {
      {"it is read-only", QStringLiteral("保存先のファイルが読み取り専用です")},
      {failed(EROFS), QStringLiteral("フォルダーまたはファイルシステムが読み取り専用です")},
      {failed(EACCES), QStringLiteral("書き込む権限がありません")},
      {"renaming the temporary file over it failed: " + std::generic_category().message(EPERM),
       QStringLiteral("書き込む権限がありません")},
      {"writing failed: " + std::generic_category().message(ENOSPC),
       QStringLiteral("ディスクがいっぱいです")},
      {"writing failed: " + std::generic_category().message(EDQUOT),
       QStringLiteral("ディスクがいっぱいです")},
      {failed(ENAMETOOLONG), QStringLiteral("ファイル名またはパスが長すぎます")},
      {failed(ENOENT), QStringLiteral("保存先のフォルダーが見つかりません")},
      {"it is a folder", QStringLiteral("通常のファイルではありません")},
      {"out of memory", QStringLiteral("メモリが足りません")},
  };
  for (const auto& c : cases) {
    const QString message =
        saveFailedMessage({vorlet::FileError::Kind::WriteFailed, "/tmp/out.csv", c.detail, 0});
    EXPECT_TRUE(
        message.startsWith(QStringLiteral("ファイルを保存できませんでした。\n/tmp/out.csv\n")))
        << message.toStdString();
    EXPECT_TRUE(message.contains(c.reason)) << c.detail << ": " << message.toStdString();
    EXPECT_EQ(message.contains(QStringLiteral("空き容量")),
              c.reason.contains(QStringLiteral("ディスク")))
        << c.detail;
  }
}

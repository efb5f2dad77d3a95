// The open and thin commands through the window, with scripted dialogs and real files.
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTimer>

#include "AppTestSupport.h"
#include "app/FlexGrid.h"
#include "app/ThinOptionsDialog.h"
#include "app/pls_value.h"

using namespace vorlet::app;

namespace {

// Records of `fields` fields whose cells read "record-field".
std::string numbered(int records, int fields) {
  std::string text;
  for (int r = 1; r <= records; ++r) {
    for (int f = 1; f <= fields; ++f) {
      text += std::to_string(r) + "-" + std::to_string(f) + (f < fields ? "," : "\r\n");
    }
  }
  return text;
}

QString previewRow(int record, int fields) {
  QStringList cells;
  for (int f = 1; f <= 5; ++f) {
    cells << (f <= fields ? QStringLiteral("%1-%2").arg(record).arg(f) : QString());
  }
  return cells.join(u',');
}

}  // namespace

class OpenThinTest : public WindowTest {
 protected:
  std::vector<QString> resultPreview() const { return rows(*ui().MSFlexGrid2); }
  // Everything the open command may change, to show that a step changed none of it.
  std::vector<QString> source() const {
    std::vector<QString> state = rows(*ui().MSFlexGrid1);
    const auto& table = form->workspace().vars.SourceTable;
    state.insert(state.end(), {ui().Label5->text(), ui().Label7->text(), ui().Label8->text(),
                               form->commonDialog().fileName(), QString::number(table.fieldCount()),
                               QString::number(table.recordCount())});
    return state;
  }
};

// A second file of the same name is read afresh: nothing of the first one's preview stays.
TEST_F(OpenThinTest, OpenShowsPathBoundsAndTheFirst50RecordsOf5Fields) {
  const struct { int records, fields; } files[] = {{200, 8}, {3, 2}};
  for (const auto& file : files) {
    writeBytes(scratch("a.csv"), numbered(file.records, file.fields));
    open(path("a.csv"));
    EXPECT_EQ(ui().Label5->text(), path("a.csv"));
    EXPECT_EQ(ui().Label7->text(), QString::number(file.fields));
    EXPECT_EQ(ui().Label8->text(), QString::number(file.records));
    const std::vector<QString> preview = rows(*ui().MSFlexGrid1);
    ASSERT_EQ(preview.size(), static_cast<std::size_t>(std::min(file.records, 50)));
    EXPECT_EQ(preview.front(), previewRow(1, file.fields));
    EXPECT_EQ(preview.back(), previewRow(std::min(file.records, 50), file.fields));
    EXPECT_EQ(form->mousePointer(), 0);
  }
}

TEST_F(OpenThinTest, TheGridShowsCellsDecodedInTheirFilesEncoding) {
  // "時刻,ｱ" in Shift-JIS and in UTF-8.
  for (const char* heading : {"\x8e\x9e\x8d\x8f,\xb1", "\xe6\x99\x82\xe5\x88\xbb,\xef\xbd\xb1"}) {
    writeBytes(scratch("a.csv"), std::string(heading) + "\r\n1,2\r\n");
    open(path("a.csv"));
    EXPECT_EQ(rows(*ui().MSFlexGrid1).at(0), QStringLiteral("時刻,ｱ,,,"));
  }
}

// Cancelling, or a refused open (a picture here), changes nothing: not the source, its labels,
// its preview, nor the name the next dialog offers.
TEST_F(OpenThinTest, ARefusalKeepsTheSourceAndTheDialogsFileName) {
  cancelOpen();
  EXPECT_TRUE(ui().Label5->text().isEmpty());
  EXPECT_EQ(dialogs->openRequests.at(0).fileName, QStringLiteral("*.csv"));
  writeBytes(scratch("a.csv"), numbered(3, 2));
  open(path("a.csv"));
  const std::vector<QString> before = source();
  cancelOpen();
  EXPECT_EQ(source(), before);
  EXPECT_TRUE(notifier->messages.empty());
  writeBytes(scratch("picture.png"), std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
  open(path("picture.png"));
  ASSERT_EQ(notifier->messages.size(), 1u);
  EXPECT_TRUE(notifier->messages.front().contains(path("picture.png")));
  EXPECT_EQ(source(), before);
  EXPECT_EQ(form->mousePointer(), 0);
  cancelOpen();
  EXPECT_EQ(dialogs->openRequests.back().fileName, path("a.csv"));
}

// The same press again gives the same; a refused interval (each answer of the check that
// refuses once; CheckInterval has the rule's cases) shows the notice and keeps the result.
TEST_F(OpenThinTest, ThinningByFiveKeepsRecords1_6_11_16AndARefusedIntervalKeepsThat) {
  writeBytes(scratch("a.csv"), numbered(23, 2));
  open(path("a.csv"));
  const std::vector<QString> preview{previewRow(1, 2), previewRow(6, 2), previewRow(11, 2),
                                     previewRow(16, 2)};
  for (const char* interval : {"5", "5", "1.5", "abc", "32767.5"}) {
    if (form->intervalError()) form->intervalError()->Command1->click();
    thin(QString::fromLatin1(interval));
    SCOPED_TRACE(interval);
    EXPECT_EQ(form->intervalError() != nullptr, interval[0] != '5');
    EXPECT_EQ(ui().Label10->text(), QStringLiteral("2"));
    EXPECT_EQ(ui().Label11->text(), QStringLiteral("4"));
    EXPECT_EQ(resultPreview(), preview);
    EXPECT_EQ(form->workspace().vars.ResultTable.recordCount(), 5);
    EXPECT_EQ(form->mousePointer(), 0);
  }
}

TEST_F(OpenThinTest, AverageThinningShowsSinglePrecisionMeans) {
  writeBytes(scratch("a.csv"), "1,0.1\r\n2,0.2\r\n4,x\r\n");
  open(path("a.csv"));
  thin(QStringLiteral("2"), vorlet::ThinMode::Average);
  EXPECT_EQ(resultPreview(), (std::vector<QString>{QStringLiteral("1.5,0.15,,,")}));
}

// The settings persist, and a cancelled dialog keeps them.
TEST_F(OpenThinTest, PeakModeAndTheDetailSettingsReachTheEngine) {
  writeBytes(scratch("a.csv"), numbered(9, 2));
  open(path("a.csv"));
  const auto answerDetails = [](bool accept) {
    QTimer::singleShot(0, [accept] {
      auto* dialog = dynamic_cast<ThinOptionsDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      EXPECT_EQ(dialog->windowTitle(), QStringLiteral("間引きの詳細設定"));
      dialog->headerLines->setValue(accept ? 2 : 5);
      dialog->firstFieldKept->setChecked(true);
      dialog->doublePrecision->setChecked(true);
      accept ? dialog->accept() : dialog->reject();
    });
  };
  answerDetails(true);
  ui().thinDetails->trigger();
  answerDetails(false);
  ui().thinDetails->trigger();
  thin(QStringLiteral("3"), vorlet::ThinMode::Peak);
  const vorlet::ThinSettings& used = form->workspace().resultSettings;
  EXPECT_EQ(used.mode, vorlet::ThinMode::Peak);
  EXPECT_EQ(used.headerLines, 2);
  EXPECT_EQ(used.firstRecordFields, std::vector<std::int32_t>{1});
  EXPECT_TRUE(used.doublePrecision);

  QSettings stored(QFile::decodeName(scratch("settings.ini").c_str()), QSettings::IniFormat);
  EXPECT_EQ(loadThinOptions(stored), form->thinOptions());
}

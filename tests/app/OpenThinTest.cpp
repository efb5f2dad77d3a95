// The open and thin commands through the window, with scripted dialogs and real files.
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "AppTestSupport.h"
#include "app/FlexGrid.h"
#include "app/pls_value.h"

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

// Everything the open command may change, to show that a step changed none of it.
struct SourceState {
  QString label5, label7, label8;
  std::vector<QString> preview;
  std::int64_t fields, records;
  bool operator==(const SourceState&) const = default;
};

// Records every pointer shape the window shows, in order.
class PointerLog final : public QObject {
 public:
  explicit PointerLog(QWidget& window) : window_(window) { window.installEventFilter(this); }
  std::vector<Qt::CursorShape> shapes;

 protected:
  bool eventFilter(QObject* /*watched*/, QEvent* event) override {
    if (event->type() == QEvent::CursorChange) shapes.push_back(window_.cursor().shape());
    return false;
  }

 private:
  QWidget& window_;
};

class OpenThinTest : public WindowTest {
 protected:
  SourceState source() const {
    const auto& table = form->workspace().vars.SourceTable;
    return {ui().Label5->text(),     ui().Label7->text(), ui().Label8->text(),
            rows(*ui().MSFlexGrid1), table.fieldCount(),  table.recordCount()};
  }
  std::vector<QString> resultPreview() const { return rows(*ui().MSFlexGrid2); }
};

TEST_F(OpenThinTest, OpenShowsPathBoundsAndTheFirst50RecordsOf5Fields) {
  const struct { int records, fields; } files[] = {{3, 2}, {200, 8}};
  for (const auto& file : files) {
    const std::string name =
        std::to_string(file.records) + "x" + std::to_string(file.fields) + ".csv";
    writeFile(scratch(name), numbered(file.records, file.fields));
    open(path(name));
    EXPECT_EQ(ui().Label5->text(), path(name));
    EXPECT_EQ(ui().Label7->text(), QString::number(file.fields));
    EXPECT_EQ(ui().Label8->text(), QString::number(file.records));
    const std::vector<QString> preview = rows(*ui().MSFlexGrid1);
    ASSERT_EQ(preview.size(), static_cast<std::size_t>(std::min(file.records, 50)));
    EXPECT_EQ(preview.front(), previewRow(1, file.fields));
    EXPECT_EQ(preview.back(), previewRow(std::min(file.records, 50), file.fields));
    EXPECT_EQ(form->mousePointer(), 0);
  }
}

TEST_F(OpenThinTest, CancelChangesNothingNotEvenTheFileLabel) {
  cancelOpen();
  EXPECT_TRUE(ui().Label5->text().isEmpty());
  EXPECT_EQ(dialogs->openRequests.at(0).fileName, QStringLiteral("*.csv"));

  writeFile(scratch("a.csv"), numbered(3, 2));
  open(path("a.csv"));
  const SourceState before = source();
  cancelOpen();
  EXPECT_EQ(source(), before);
  EXPECT_EQ(dialogs->openRequests.at(2).fileName, path("a.csv"));
  EXPECT_TRUE(notifier->messages.empty());
}

TEST_F(OpenThinTest, ConfirmingTheSameFileAgainRereadsItAndClearsTheOldPreview) {
  writeFile(scratch("a.csv"), numbered(60, 8));
  open(path("a.csv"));
  writeFile(scratch("a.csv"), numbered(2, 3));
  open(path("a.csv"));
  EXPECT_EQ(ui().Label7->text(), QStringLiteral("3"));
  EXPECT_EQ(ui().Label8->text(), QStringLiteral("2"));
  EXPECT_EQ(rows(*ui().MSFlexGrid1), (std::vector<QString>{previewRow(1, 3), previewRow(2, 3)}));
}

TEST_F(OpenThinTest, AFileThatCannotBeReadKeepsEverythingAndSaysWhy) {
  std::filesystem::create_directory(scratch("folder.csv"));
  writeFile(scratch("empty.csv"), "");
  writeFile(scratch("binary.csv"), std::string("1,2\r\n3\0", 7));
  const struct {
    const char* name;
    QString reason;
  } failures[] = {
      {"missing.csv", QStringLiteral("見つかりません")},
      {"folder.csv", QStringLiteral("通常のファイルではありません")},
      {"empty.csv", QStringLiteral("データがありません")},
      {"binary.csv", QStringLiteral("先頭から 6 バイトの位置")},
  };
  writeFile(scratch("good.csv"), numbered(3, 2));
  open(path("good.csv"));
  const SourceState before = source();
  for (const auto& failure : failures) {
    notifier->messages.clear();
    open(path(failure.name));
    EXPECT_EQ(source(), before) << failure.name;
    ASSERT_EQ(notifier->messages.size(), 1u) << failure.name;
    const QString& message = notifier->messages.front();
    EXPECT_TRUE(message.startsWith(QStringLiteral("ファイルを開けませんでした。"))) << failure.name;
    EXPECT_TRUE(message.contains(path(failure.name))) << failure.name;
    EXPECT_TRUE(message.contains(failure.reason)) << message.toStdString();
    EXPECT_EQ(form->mousePointer(), 0);
  }
}

TEST_F(OpenThinTest, SimpleThinningOf23RecordsByFiveKeepsRecords1_6_11_16) {
  writeFile(scratch("a.csv"), numbered(23, 2));
  open(path("a.csv"));
  thin(QStringLiteral("5"));
  EXPECT_EQ(ui().Label10->text(), QStringLiteral("2"));
  EXPECT_EQ(ui().Label11->text(), QStringLiteral("4"));
  EXPECT_EQ(resultPreview(), (std::vector<QString>{previewRow(1, 2), previewRow(6, 2),
                                                   previewRow(11, 2), previewRow(16, 2)}));
  EXPECT_EQ(form->mousePointer(), 0);
  thin(QStringLiteral("5"));  // the same press again gives the same
  EXPECT_EQ(resultPreview().size(), 4u);
}

TEST_F(OpenThinTest, AverageThinningShowsSinglePrecisionMeans) {
  writeFile(scratch("a.csv"), "1,0.1\r\n2,0.2\r\n4,x\r\n");
  open(path("a.csv"));
  thin(QStringLiteral("2"), /*average=*/true);
  EXPECT_EQ(resultPreview(), (std::vector<QString>{QStringLiteral("1.5,0.15,,,")}));
}

TEST_F(OpenThinTest, IntervalTextDecidesBetweenThinningAndTheNotice) {
  writeFile(scratch("a.csv"), numbered(40, 1));
  open(path("a.csv"));
  // Label11 after thinning; null when the notice shows instead.
  const struct {
    QString text;
    const char* records;
  } cases[] = {
      {QStringLiteral("2"), "20"},          {QStringLiteral("2.4"), "20"},
      {QStringLiteral("2.5"), "20"},        {QStringLiteral("3.5"), "10"},
      {QStringLiteral("32767"), "0"},       {QStringLiteral("1"), nullptr},
      {QStringLiteral("1.5"), nullptr},     {QStringLiteral("-3"), nullptr},
      {QStringLiteral(""), nullptr},        {QStringLiteral("abc"), nullptr},
      {QStringLiteral("32767.5"), nullptr},
  };
  for (const auto& c : cases) {
    if (form->intervalError()) form->intervalError()->Command1->click();
    ui().Label11->clear();
    thin(c.text);
    SCOPED_TRACE(c.text.toStdString());
    EXPECT_EQ(form->intervalError() != nullptr, c.records == nullptr);
    EXPECT_EQ(ui().Label11->text(), c.records ? QString::fromLatin1(c.records) : QString());
  }
}

TEST_F(OpenThinTest, ARefusedIntervalLeavesTheResultItsLabelsAndItsPreview) {
  writeFile(scratch("a.csv"), numbered(23, 2));
  open(path("a.csv"));
  thin(QStringLiteral("5"));
  const std::vector<QString> preview = resultPreview();
  thin(QStringLiteral("1"));
  ASSERT_NE(form->intervalError(), nullptr);
  EXPECT_EQ(resultPreview(), preview);
  EXPECT_EQ(ui().Label10->text(), QStringLiteral("2"));
  EXPECT_EQ(ui().Label11->text(), QStringLiteral("4"));
  EXPECT_EQ(form->workspace().vars.ResultTable.recordCount(), 5);
  EXPECT_EQ(form->mousePointer(), 0);
}

TEST_F(OpenThinTest, TheHourglassShowsWhileFilesAreReadAndThinnedOnly) {
  writeFile(scratch("a.csv"), numbered(4, 1));
  PointerLog log(*form);
  const std::vector<Qt::CursorShape> busyThenIdle{Qt::WaitCursor, Qt::ArrowCursor};
  open(path("a.csv"));
  EXPECT_EQ(log.shapes, busyThenIdle);
  log.shapes.clear();
  thin(QStringLiteral("2"));
  EXPECT_EQ(log.shapes, busyThenIdle);
  log.shapes.clear();
  cancelOpen();
  thin(QStringLiteral("1"));
  open(path("missing.csv"));
  EXPECT_EQ(log.shapes, busyThenIdle);  // only the failed read was busy
}

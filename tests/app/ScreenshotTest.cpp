// Pictures of the window for reviewers, in <build>/screenshots.
#include <QDir>
#include <QPixmap>
#include <QTest>

#include "AppTestSupport.h"
#include "app/FlexGrid.h"
#include "app/pls_value.h"

using namespace vorlet::app;

TEST_F(WindowTest, SavesScreenshotsAtStartAfterThinningAShiftJisFileAndOfTheNotice) {
  const QString folder = QStringLiteral(VORLET_BINARY_DIR "/screenshots");
  ASSERT_TRUE(QDir().mkpath(folder));
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  EXPECT_TRUE(form->grab().save(folder + QStringLiteral("/start.png")));

  // A Japanese heading line, then 23 records of numbers, in code page 932:
  // "時刻,温度,湿度,気圧,風速,備考".
  std::string text =
      "\x8e\x9e\x8d\x8f,\x89\xb7\x93\x78,\x8e\xbc\x93\x78,\x8b\x43\x88\xb3,"
      "\x95\x97\x91\xac,\x94\xf5\x8d\x6c\r\n";
  for (int r = 1; r <= 23; ++r) {
    text += std::to_string(r) + "," + std::to_string(20 + r % 7) + ".5," + std::to_string(40 + r) +
            "," + std::to_string(1000 + r) + "," + std::to_string(r % 5) + ",\x82\xa0\r\n";
  }
  const std::string name = "\xe8\xa6\xb3\xe6\xb8\xac.csv";  // "観測.csv"
  writeBytes(scratch(name), text);
  open(path(name));
  thin(QStringLiteral("5"));
  ASSERT_EQ(ui().MSFlexGrid1->textAt(0, 0), QStringLiteral("時刻"));
  EXPECT_TRUE(form->grab().save(folder + QStringLiteral("/thinned.png")));

  thin(QStringLiteral("1"));
  ASSERT_NE(form->intervalError(), nullptr);
  EXPECT_TRUE(form->intervalError()->grab().save(folder + QStringLiteral("/notice.png")));
}

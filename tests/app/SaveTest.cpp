// The save command through the window: what it writes, and what it leaves alone.
#include <QStatusBar>

#include "AppTestSupport.h"

using namespace vorlet::app;

class SaveTest : public WindowTest {
 protected:
  // Opens a file of the given bytes and thins it by the interval.
  void thinned(const std::string& bytes, const QString& interval) {
    writeBytes(scratch("source.csv"), bytes);
    open(path("source.csv"));
    thin(interval);
  }
};

// The dialog proposes a new name beside the source, so Enter never replaces the source; picking
// the source itself is asked with a warning of its own, answered No unless the user says Yes.
TEST_F(SaveTest, TheDialogProposesANewNameAndTheSourceIsReplacedOnlyAfterItsOwnWarning) {
  thinned("1\r\n2\r\n", QStringLiteral("2"));
  dialogs->saveAnswers = {path("source.csv"), kCancel};
  dialogs->replaceSourceAnswers = {false};
  ui().n_save->trigger();
  ASSERT_EQ(dialogs->saveRequests.size(), 2u);
  EXPECT_EQ(dialogs->saveRequests.front().fileName, path("source_n2_simple.csv"));
  EXPECT_EQ(dialogs->saveRequests.front().defaultSuffix, QStringLiteral("csv"));
  EXPECT_EQ(dialogs->replaceSourceQuestions, (std::vector<QString>{path("source.csv")}));
  EXPECT_TRUE(dialogs->replaceQuestions.empty());
  EXPECT_EQ(readBytes(scratch("source.csv")), "1\r\n2\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(scratch("")), {}), 1);

  dialogs->replaceSourceAnswers = {true};
  save(path("source.csv"));
  EXPECT_EQ(readBytes(scratch("source.csv")), "1\r\n\r\n");
}

// A new file is written without a question, and the status bar says so; replacing one is
// asked, and declining returns to the dialog and leaves the file.
TEST_F(SaveTest, ReplacingAFileIsAskedFirst) {
  thinned("1\r\n2\r\n3\r\n4\r\n", QStringLiteral("2"));
  save(path("out.csv"));
  EXPECT_EQ(readBytes(scratch("out.csv")), "1\r\n3\r\n\r\n");
  EXPECT_EQ(ui().StatusBar1->currentMessage(),
            QStringLiteral("保存しました: %1（2 行）").arg(path("out.csv")));
  thin(QStringLiteral("4"));
  dialogs->saveAnswers = {path("out.csv"), kCancel};
  dialogs->replaceAnswers.push_back(false);
  ui().n_save->trigger();
  EXPECT_EQ(dialogs->replaceQuestions, (std::vector<QString>{path("out.csv")}));
  EXPECT_EQ(dialogs->saveRequests.back().fileName, path("out.csv"));
  EXPECT_EQ(readBytes(scratch("out.csv")), "1\r\n3\r\n\r\n");
  dialogs->replaceAnswers.push_back(true);
  save(path("out.csv"));
  EXPECT_EQ(readBytes(scratch("out.csv")), "1\r\n\r\n");
}

// The reasons' words are in WorkspaceTest; here the message is shown and nothing is lost.
TEST_F(SaveTest, AFailedSaveNamesTheFileLeavesItAndKeepsTheResult) {
  thinned("1\r\n2\r\n", QStringLiteral("2"));
  save(path("no-such-folder/out.csv"));
  ASSERT_EQ(notifier->messages.size(), 1u);
  EXPECT_TRUE(notifier->messages.front().startsWith(
      QStringLiteral("ファイルを保存できませんでした。\n") + path("no-such-folder/out.csv")));
  EXPECT_EQ(form->workspace().vars.ResultTable.recordCount(), 2);
  EXPECT_FALSE(std::filesystem::exists(scratch("no-such-folder")));
}

// The file dialog layer and the text decoding, apart from the window.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QTranslator>

#include "AppTestSupport.h"
#include "app/CommonDialog.h"
#include "app/TextDecoding.h"
#include "app/Translations.h"

using namespace vorlet::app;

TEST(NameFilters, WindowsFilterBecomesQtFiltersWithoutDoubledPatterns) {
  const struct {
    QString filter;
    QStringList expected;
  } cases[] = {
      {csvFilter(),
       {QStringLiteral("CSV File (*.csv)"), QStringLiteral("Text (*.txt)"),
        QStringLiteral("All Files (*)")}},
      {QStringLiteral("Data|*.csv;*.txt"), {QStringLiteral("Data (*.csv *.txt)")}},
      {QStringLiteral("Text (*.txt)|*.txt|dangling"), {QStringLiteral("Text (*.txt)")}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(toNameFilters(c.filter), c.expected) << c.filter.toStdString();
}

TEST(FileDialogSetUp, OffersTheFiltersTheSuffixAndTheLastFile) {
  QFileDialog dialog;
  configureFileDialog(
      dialog, {QStringLiteral("/tmp/data.csv"), toNameFilters(csvFilter()), QStringLiteral("csv")},
      QFileDialog::AcceptSave);
  EXPECT_EQ(dialog.defaultSuffix(), QStringLiteral("csv"));
  EXPECT_EQ(dialog.selectedNameFilter(), QStringLiteral("CSV File (*.csv)"));
  EXPECT_EQ(dialog.directory().absolutePath(), QStringLiteral("/tmp"));
  // The window asks before replacing, so the dialog must not ask a second time.
  EXPECT_TRUE(dialog.testOption(QFileDialog::DontConfirmOverwrite));
}

// Each cell is decoded on its own (OpenThinTest shows files decoded in the grid): a
// lead byte cut off at the end of one cell must not swallow the start of the next.
TEST(DisplayDecoding, DecodesEachCellOnItsOwn) {
  decodeForDisplay("\x93", vorlet::TextEncoding::ShiftJis);
  EXPECT_EQ(decodeForDisplay("A", vorlet::TextEncoding::ShiftJis), QStringLiteral("A"));
}

TEST(QtTranslations, TheJapaneseQtTextsAreLoadedAndUsed) {
  const QString file =
      QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_ja.qm");
  if (!QFileInfo::exists(file)) GTEST_SKIP() << "qtbase_ja.qm is missing (qt6-translations-l10n)";
  QTranslator translator;
  ASSERT_TRUE(installQtTranslations(translator));
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("キャンセル"));
  QCoreApplication::removeTranslator(&translator);
}

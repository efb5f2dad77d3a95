#include "AppTestSupport.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>

#include "app/FlexGrid.h"
#include "app/Fonts.h"

using namespace vorlet::app;

WindowTest::WindowTest() {
  auto scripted = std::make_unique<ScriptedFileDialogs>();
  auto recorder = std::make_unique<RecordingNotifier>();
  auto desk = std::make_unique<RecordingHelpDesk>();
  dialogs = scripted.get();
  notifier = recorder.get();
  helpDesk = desk.get();
  auto settings = std::make_unique<QSettings>(QFile::decodeName(scratch("settings.ini").c_str()),
                                              QSettings::IniFormat);
  form = std::make_unique<Form1>(Form1Services{std::move(scripted), std::move(recorder),
                                               std::move(desk), std::move(settings)});
}

QString WindowTest::path(const std::string& name) const {
  return QFile::decodeName(scratch(name).c_str());
}

void WindowTest::open(const QString& chosen) {
  dialogs->openAnswers.push_back(chosen);
  ui().open->trigger();
}

void WindowTest::thin(const QString& interval, vorlet::ThinMode mode) {
  ui().Text1->setText(interval);
  QRadioButton* option = mode == vorlet::ThinMode::Average ? ui().Option2
                         : mode == vorlet::ThinMode::Peak  ? ui().Option3
                                                           : ui().Option1;
  option->setChecked(true);
  ui().Command1->click();
}

void WindowTest::save(const QString& chosen) {
  dialogs->saveAnswers.push_back(chosen);
  ui().n_save->trigger();
}

std::vector<QString> WindowTest::rows(const FlexGrid& grid) {
  std::vector<QString> texts;
  for (int r = 0; r < FlexGrid::kRows; ++r) {
    QStringList cells;
    for (int c = 0; c < FlexGrid::kCols; ++c) cells << grid.textAt(r, c);
    texts.push_back(cells.join(u','));
  }
  while (!texts.empty() && texts.back() == QStringLiteral(",,,,")) texts.pop_back();
  return texts;
}

int main(int argc, char* argv[]) {
  // Tests never need a screen; this also lets test discovery run the program at build time.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Vorlet"));
  installProgramFonts();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

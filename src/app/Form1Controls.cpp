#include "app/Form1Controls.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>

#include "app/FlexGrid.h"
#include "app/Fonts.h"
#include "app/Twips.h"
#include "app/ValueLabels.h"

namespace vorlet::app {

namespace {

constexpr int kClientWidth = 10755;
constexpr int kClientHeight = 6225;
constexpr int kStatusBarTop = 5850;

template <class Widget>
Widget* placed(Widget* widget, const char* name, const QRect& place, const QFont& font) {
  widget->setObjectName(QString::fromLatin1(name));
  widget->setGeometry(place);
  widget->setFont(font);
  return widget;
}

// Qt parents own every widget made below.
QLabel* label(QWidget* parent, const char* name, const QString& caption, const QRect& place,
              const QFont& font = interfaceFont()) {
  auto* made = placed(new FormLabel(caption, parent), name, place, font);
  // Opaque, so a label laid over part of another (Label10 reaches under "×") hides what it
  // covers.
  made->setAutoFillBackground(true);
  return made;
}

QGroupBox* frame(QWidget* parent, const char* name, const QString& caption, const QRect& place) {
  auto* made = placed(new QGroupBox(caption, parent), name, place, interfaceFont());
  // The caption sits in the top border line, so the frame's top edge is where its children's
  // positions expect it; some styles would put the caption above the line instead.
  made->setStyleSheet(
      QStringLiteral("QGroupBox { border: 1px solid palette(mid); margin-top: 0.5em; }"
                     "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }"));
  return made;
}

QPushButton* button(QWidget* parent, const char* name, const QString& caption, const QRect& place) {
  auto* made = placed(new QPushButton(caption, parent), name, place, interfaceFont());
  // Enter presses the focused button; outside a dialog no button is ever the default one.
  made->setAutoDefault(true);
  return made;
}

QRadioButton* option(QWidget* parent, const char* name, const QString& caption,
                     const QRect& place) {
  return placed(new QRadioButton(caption, parent), name, place, interfaceFont());
}

QAction* item(QMenu* menu, const char* name, const QString& caption,
              const QKeySequence& shortcut = {}) {
  QAction* action = menu->addAction(caption);
  action->setObjectName(QString::fromLatin1(name));
  action->setShortcut(shortcut);
  return action;
}

QMenu* menu(QMenuBar* bar, const char* name, const QString& caption) {
  QMenu* made = bar->addMenu(caption);
  made->setObjectName(QString::fromLatin1(name));
  made->menuAction()->setObjectName(QString::fromLatin1(name));
  return made;
}

// Where a frame's children end on the right: inside its border line.
int innerEdge(const QGroupBox* frame) {
  return frame->width() - twips(60);
}

void buildFileFrame(QWidget* client, Form1Controls& c) {
  c.Frame2 =
      frame(client, "Frame2", QStringLiteral("csvファイル情報"), twipsRect(120, 360, 3255, 1335));
  c.Label4 =
      label(c.Frame2, "Label4", QStringLiteral("ファイル名："), twipsRect(120, 240, 975, 255));
  // The path shows in the lines that fit above the "列×行" row.
  constexpr int kRowTop = 840, kPathTop = 240;
  c.Label5 = placed(new PathLabel(c.Frame2, twips(kRowTop - kPathTop)), "Label5",
                    twipsRect(960, kPathTop, 2055, 735), interfaceFont(8.25));
  c.Label6 =
      label(c.Frame2, "Label6", QStringLiteral("　列×行　："), twipsRect(120, 840, 975, 375));
  c.Label7 = label(c.Frame2, "Label7", {}, twipsRect(1080, 840, 375, 255), arialFont(9.75, true));
  c.Label9 = label(c.Frame2, "Label9", QStringLiteral("×"), twipsRect(1440, 840, 255, 375),
                   interfaceFont(11.25, true));
  c.Label8 = label(c.Frame2, "Label8", {}, twipsRect(1800, 840, 735, 375), arialFont(9.75, true));
  c.sourceCounts = countRow(c.Label7, c.Label9, c.Label8, innerEdge(c.Frame2));
}

void buildResultFrame(QWidget* client, Form1Controls& c) {
  c.Frame3 = frame(client, "Frame3", QStringLiteral("結果情報"), twipsRect(5760, 360, 3255, 1335));
  c.Label12 =
      label(c.Frame3, "Label12", QStringLiteral("　列×行　："), twipsRect(120, 840, 975, 255));
  c.Label10 =
      label(c.Frame3, "Label10", {}, twipsRect(1200, 840, 495, 375), arialFont(11.25, true));
  c.Label13 = label(c.Frame3, "Label13", QStringLiteral("×"), twipsRect(1560, 840, 255, 255),
                    interfaceFont(11.25, true));
  c.Label11 =
      label(c.Frame3, "Label11", {}, twipsRect(1920, 840, 375, 375), arialFont(11.25, true));
  c.resultCounts = countRow(c.Label10, c.Label13, c.Label11, innerEdge(c.Frame3));
}

void buildSettings(QWidget* client, Form1Controls& c) {
  c.Frame1 = frame(client, "Frame1", QStringLiteral("設定"), twipsRect(3720, 2040, 1935, 2055));
  // The option buttons, the text box and the button belong to the window and lie over the
  // frame; sharing one parent makes the option buttons one exclusive group.
  c.Option1 =
      option(client, "Option1", QStringLiteral("単純間引き"), twipsRect(3960, 2400, 1335, 255));
  c.Option2 =
      option(client, "Option2", QStringLiteral("平均間引き"), twipsRect(3960, 2760, 1335, 255));
  c.Option3 =
      option(client, "Option3", QStringLiteral("ピーク保持"), twipsRect(3960, 3120, 1335, 255));
  c.Option1->setChecked(true);
  for (QRadioButton* choice : {c.Option1, c.Option2, c.Option3}) {
    // Tab stops at the selected one only; the arrow keys move between them.
    const auto stopAtSelected = [choice](bool selected) {
      choice->setFocusPolicy(selected ? Qt::StrongFocus : Qt::ClickFocus);
    };
    stopAtSelected(choice->isChecked());
    QObject::connect(choice, &QRadioButton::toggled, choice, stopAtSelected);
  }
  c.Label2 =
      label(c.Frame1, "Label2", QStringLiteral("間引き間隔"), twipsRect(240, 1440, 1095, 255));
  c.Text1 =
      placed(new QLineEdit(client), "Text1", twipsRect(4560, 3720, 495, 255), interfaceFont());
  c.Command1 =
      button(client, "Command1", QStringLiteral("間引くボタン"), twipsRect(3960, 4320, 1455, 585));
}

void buildPreviews(QWidget* client, Form1Controls& c) {
  c.Label1 = label(client, "Label1", QStringLiteral("CSVファイルプレビュー"),
                   twipsRect(240, 1800, 2055, 375));
  c.MSFlexGrid1 = placed(new FlexGrid(client), "MSFlexGrid1", twipsRect(240, 2040, 3375, 3495),
                         arialFont(11.25));
  c.Label3 =
      label(client, "Label3", QStringLiteral("結果プレビュー"), twipsRect(5880, 1800, 2295, 375));
  c.MSFlexGrid2 = placed(new FlexGrid(client), "MSFlexGrid2", twipsRect(5760, 2040, 3375, 3495),
                         arialFont(11.25));
}

void buildMenus(QMainWindow& window, Form1Controls& c) {
  QMenuBar* bar = window.menuBar();
  bar->setFont(interfaceFont());
  c.file = menu(bar, "file", QStringLiteral("ファイル"));
  c.open = item(c.file, "open", QStringLiteral("開く"), QKeySequence(Qt::CTRL | Qt::Key_O));
  c.n_save = item(c.file, "n_save", QStringLiteral("名前をつけて保存"),
                  QKeySequence(Qt::CTRL | Qt::Key_S));
  c.exit = item(c.file, "exit", QStringLiteral("終了"));

  // ---- menu "オプション": the thinning options ----------------------------------------------
  c.options = menu(bar, "options", QStringLiteral("オプション"));
  c.thinDetails = item(c.options, "thinDetails", QStringLiteral("間引きの詳細設定..."));
  // ---- end of menu "オプション" -------------------------------------------------------------

  c.help = menu(bar, "help", QStringLiteral("ヘルプ"));
  c.helpm = item(c.help, "helpm", QStringLiteral("ヘルプ"), QKeySequence(Qt::Key_F1));
  c.verinfo = item(c.help, "verinfo", QStringLiteral("バージョン情報"));
}

void buildStatusBar(QMainWindow& window, Form1Controls& c) {
  c.StatusBar1 = new QStatusBar;
  c.StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  c.StatusBar1->setSizeGripEnabled(false);
  c.StatusBar1->setFixedHeight(twips(kClientHeight - kStatusBarTop));
  auto* panel = new QLabel;
  panel->setObjectName(QStringLiteral("Panel1"));
  panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  panel->setFixedWidth(twips(1440));
  c.StatusBar1->addWidget(panel);
  window.setStatusBar(c.StatusBar1);  // the window takes ownership
}

void setKeyboardOrder(const Form1Controls& c) {
  // Labels and frames take no focus. The option buttons are one stop; the arrows move the
  // selection between them.
  QWidget* const order[] = {c.Command1, c.Option1,  c.Option2,     c.Option3,    c.Text1,
                            c.Command2, c.Command3, c.MSFlexGrid1, c.MSFlexGrid2};
  for (std::size_t i = 0; i + 1 < std::size(order); ++i)
    QWidget::setTabOrder(order[i], order[i + 1]);
}

}  // namespace

Form1Controls buildForm1Controls(QMainWindow& window) {
  Form1Controls c{};
  auto* client = new QWidget;
  client->setObjectName(QStringLiteral("ClientArea"));
  client->setFixedSize(twips(kClientWidth), twips(kStatusBarTop));
  window.setCentralWidget(client);  // the window takes ownership

  buildFileFrame(client, c);
  buildResultFrame(client, c);
  buildPreviews(client, c);
  buildSettings(client, c);
  c.Command3 = button(client, "Command3", QStringLiteral("Help"), twipsRect(9240, 4800, 1215, 375));
  c.Command2 = button(client, "Command2", QStringLiteral("終了"), twipsRect(9240, 5400, 1215, 375));
  buildMenus(window, c);
  buildStatusBar(window, c);
  setKeyboardOrder(c);

  const QMenuBar* bar = window.menuBar();
  const int menuHeight = bar->heightForWidth(client->width());
  window.setFixedSize(client->width(), (menuHeight > 0 ? menuHeight : bar->sizeHint().height()) +
                                           twips(kClientHeight));
  return c;
}

}  // namespace vorlet::app

#pragma once

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMainWindow;
class QMenu;
class QPushButton;
class QRadioButton;
class QStatusBar;

#include "app/ValueLabels.h"

namespace vorlet::app {

class FlexGrid;
class PathLabel;

// Every control of the main window, named as the window's design names them (the names are
// also the widgets' object names, for tests and accessibility tools). The window owns them.
struct Form1Controls {
  QGroupBox* Frame2;
  QLabel* Label4;
  PathLabel* Label5;
  QLabel* Label6;
  QLabel* Label7;
  QLabel* Label9;
  QLabel* Label8;
  QGroupBox* Frame3;
  QLabel* Label12;
  QLabel* Label10;
  QLabel* Label13;
  QLabel* Label11;
  QLabel* Label1;
  FlexGrid* MSFlexGrid1;
  QGroupBox* Frame1;
  QRadioButton* Option1;
  QRadioButton* Option2;
  QRadioButton* Option3;
  QLabel* Label2;
  QLineEdit* Text1;
  QPushButton* Command1;
  QLabel* Label3;
  FlexGrid* MSFlexGrid2;
  QPushButton* Command3;
  QPushButton* Command2;
  QStatusBar* StatusBar1;
  QMenu* file;
  QAction* open;
  QAction* n_save;
  QAction* exit;
  QMenu* options;
  QAction* thinDetails;
  QMenu* help;
  QAction* helpm;
  QAction* verinfo;
  // The "columns × rows" rows of the two frames, laid out afresh for every count shown.
  CountRow sourceCounts;
  CountRow resultCounts;
};

// Creates the controls at their places with their captions, fonts and keyboard order, and
// gives the window its fixed size.
Form1Controls buildForm1Controls(QMainWindow& window);

}  // namespace vorlet::app

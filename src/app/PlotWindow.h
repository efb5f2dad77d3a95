#pragma once

#include <QString>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <thread>

#include "app/PlotCanvas.h"
#include "app/PlotPyramid.h"
#include "delimited/FileRoad.h"
#include "thinning/GroupRules.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace vorlet::app {

class FileDialogBackend;

// The plot window: one field of the source and of the result on the same axes, chosen in a combo
// box, with the cursor's coordinates and the file's size in records below.
//
// The tables handed in are read on the GUI thread only (to list the fields and to copy the cells
// of the field shown, text bytes shared); pyramids are built from the copies on a worker thread,
// so the window stays responsive and the tables may change at any time after a call returns.
// Call setSource or setResult again whenever the table changes.
class PlotWindow final : public QWidget {
 public:
  // `dialogs` asks where to save a picture; it must outlive the window.
  explicit PlotWindow(FileDialogBackend& dialogs, QWidget* parent = nullptr);
  ~PlotWindow() override;

  void setSource(const vorlet::CellTable& table, vorlet::TextEncoding encoding);
  void setResult(const vorlet::CellTable& table, const vorlet::ThinSettings& settings);
  // Plots field `field` (from 1) of both tables; a field the source lacks changes nothing.
  void showField(std::int32_t field);
  std::int32_t field() const noexcept { return field_; }

  // True while a pyramid is being built.
  bool building() const noexcept { return building_; }
  // Processes events until the build running now is in; false after `milliseconds`.
  bool waitForBuild(int milliseconds = 30000);

  // Writes the current view: SVG when the name ends in .svg, else PNG.
  bool saveImage(const QString& path);

  PlotCanvas& canvas() const noexcept { return *canvas_; }
  QComboBox& fieldBox() const noexcept { return *fields_; }
  QString statusText() const;
  // The extra memory the field shown takes: its pyramids, once built.
  std::size_t plotBytes() const noexcept;
  // The most it took so far, while a copy of a field's cells was being read.
  std::size_t peakPlotBytes() const noexcept { return peakBytes_; }

 private:
  struct Build;

  void listFields();
  void startBuild();
  void adopt(const std::shared_ptr<Build>& build);
  void stopBuild();
  void updateSeries();
  void updateStatus();
  void saveImageAsked();
  XOf sourceX() const;
  XOf resultX() const;

  FileDialogBackend& dialogs_;
  PlotCanvas* canvas_;
  QComboBox* fields_;
  QLabel* cursor_;
  QLabel* status_;
  QPushButton* save_;

  const vorlet::CellTable* source_ = nullptr;
  vorlet::TextEncoding encoding_ = vorlet::TextEncoding::Utf8;
  std::int32_t first_ = 1;  // 2 when the first record is a heading
  std::int32_t last_ = 0;
  const vorlet::CellTable* result_ = nullptr;
  vorlet::ThinSettings settings_;
  std::int32_t field_ = 0;
  bool xKnown_ = false;    // whether the first field has been checked for a time column
  bool timeAxis_ = false;  // the first field's values are the x axis
  std::shared_ptr<const PlotPyramid> sourcePyramid_;
  std::shared_ptr<const PlotPyramid> resultPyramid_;
  std::shared_ptr<const XSamples> sourceSamples_;  // of a time column
  std::shared_ptr<const XSamples> resultSamples_;

  std::jthread worker_;
  std::atomic<bool> stop_{false};
  std::uint64_t generation_ = 0;
  bool building_ = false;
  std::size_t peakBytes_ = 0;
};

}  // namespace vorlet::app

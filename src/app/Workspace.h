#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <variant>

#include "app/ThinOptions.h"
#include "delimited/FileRoad.h"
#include "thinning/GroupRules.h"
#include "thinning/SharedVariables.h"

namespace vorlet::app {

// The window's data, without the window: the shared variables and, beside each table, where its
// texts came from, so they are shown and saved the way the source was written. The steps below
// change it; the commands show what they report. None of them touches a widget.
struct Workspace {
  vorlet::SharedVariables vars;
  QString sourcePath;  // the file opened last; empty until one is
  vorlet::TextEncoding sourceEncoding = vorlet::TextEncoding::Utf8;
  vorlet::LineEnd sourceLineEnd = vorlet::LineEnd::CrLf;
  std::uint64_t sourceSize = 0;
  vorlet::TextEncoding resultEncoding = vorlet::TextEncoding::Utf8;
  vorlet::LineEnd resultLineEnd = vorlet::LineEnd::CrLf;
  QString resultSourcePath;             // the file the result was thinned from
  vorlet::ThinSettings resultSettings;  // how it was thinned
};

// Open: reading touches no workspace, so it may run on any thread; adopting makes the table the
// source. A file that cannot be read is never adopted, so it changes nothing.
using ReadOutcome = std::variant<vorlet::OpenedTable, vorlet::FileError>;
// The steps that take long count their work in `progress` when given.
ReadOutcome readSource(const QString& path, vorlet::Progress* progress = nullptr);
void adoptSource(Workspace& workspace, vorlet::OpenedTable&& opened, const QString& path);

// Thin: the interval typed (full-width digits, sign and point read as their ASCII forms), the
// mode and the options, checked before anything is touched.
struct ThinRequest {
  QString intervalText;
  vorlet::ThinMode mode = vorlet::ThinMode::Simple;
  ThinOptions options;
};
struct CheckedThinRequest {
  vorlet::IntervalCheck check = vorlet::IntervalCheck::NotANumber;
  vorlet::ThinSettings settings;  // meaningful when check is Ok
};
CheckedThinRequest checkThinRequest(const ThinRequest& request);
// Thins the source into the result. The workspace must not be read elsewhere meanwhile.
void thinSource(Workspace& workspace, const vorlet::ThinSettings& settings,
                vorlet::Progress* progress = nullptr);

// What the result labels show: the result's fields and records (its upper bounds, as index 0
// stays empty); nothing before the first thinning.
struct TableSize {
  std::optional<std::int32_t> fields, records;
};
TableSize resultSize(const Workspace& workspace);
TableSize sourceSize(const Workspace& workspace);

// Save: the name the save dialog proposes, a new one beside the source that says how the result
// was made ("data.csv" thinned by 10 in average mode gives "data_n10_average.csv").
QString proposedSaveName(const Workspace& workspace);
// True when `path` names the file the result came from (saving there loses the source data).
bool isResultSource(const Workspace& workspace, const QString& path);
std::optional<vorlet::FileError> saveResult(const Workspace& workspace, const QString& path,
                                            vorlet::Progress* progress = nullptr);

}  // namespace vorlet::app

#include "app/Workspace.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <filesystem>

#include "thinning/ThinTable.h"

namespace vorlet::app {

namespace {

// A name from a dialog as a path for the core; lossless on every system.
std::filesystem::path toPath(const QString& name) {
  return std::filesystem::path(name.toStdU16String());
}

// An input method types digits, sign and point full-width ("１０"); the box means the same
// number. Files and vorlet-thin keep the strict number grammar.
QString asciiNumberText(QString text) {
  for (QChar& c : text) {
    const char16_t u = c.unicode();
    if (u >= u'０' && u <= u'９') {
      c = QChar(static_cast<char16_t>(u'0' + (u - u'０')));
    } else if (u == u'－' || u == u'−') {
      c = QChar(u'-');
    } else if (u == u'＋') {
      c = QChar(u'+');
    } else if (u == u'．') {
      c = QChar(u'.');
    }
  }
  return text;
}

std::optional<std::int32_t> upperBound(const vorlet::CellTable& table, int dimension) {
  const vorlet::Result<std::int32_t> bound = table.upperBound(dimension);
  return bound ? std::optional(*bound) : std::nullopt;
}

bool sameFile(const QString& a, const QString& b) {
  if (a.isEmpty() || b.isEmpty()) return false;
  const QFileInfo first(a), second(b);
  if (first.exists() && second.exists())
    return first.canonicalFilePath() == second.canonicalFilePath();
  return first.absoluteFilePath() == second.absoluteFilePath();
}

}  // namespace

ReadOutcome readSource(const QString& path, vorlet::Progress* progress) {
  return vorlet::readDelimitedFile(toPath(path), progress);
}

void adoptSource(Workspace& workspace, vorlet::OpenedTable&& opened, const QString& path) {
  vorlet::SharedVariables& vars = workspace.vars;
  vars.SourceTable = std::move(opened.table);
  vars.FieldMax = vorlet::Cell::integer32(*vars.SourceTable.upperBound(1));
  vars.RecordMax = vorlet::Cell::integer32(*vars.SourceTable.upperBound(2));
  workspace.sourcePath = path;
  workspace.sourceEncoding = opened.encoding;
  workspace.sourceLineEnd = opened.lineEnd;
  workspace.sourceSize = opened.fileSize;
}

CheckedThinRequest checkThinRequest(const ThinRequest& request) {
  const QByteArray text = asciiNumberText(request.intervalText).toUtf8();
  const vorlet::CheckedInterval interval = vorlet::checkInterval(
      vorlet::Cell::text({text.constData(), static_cast<std::size_t>(text.size())}));
  CheckedThinRequest checked;
  checked.check = interval.status;
  if (interval.status == vorlet::IntervalCheck::Ok) {
    checked.settings = toThinSettings(request.options, interval.value, request.mode);
  }
  return checked;
}

void thinSource(Workspace& workspace, const vorlet::ThinSettings& settings,
                vorlet::Progress* progress) {
  vorlet::thinTable(workspace.vars, settings, progress);
  workspace.resultEncoding = workspace.sourceEncoding;
  workspace.resultLineEnd = workspace.sourceLineEnd;
  workspace.resultSourcePath = workspace.sourcePath;
  workspace.resultSettings = settings;
}

TableSize resultSize(const Workspace& workspace) {
  const vorlet::CellTable& result = workspace.vars.ResultTable;
  return {upperBound(result, 1), upperBound(result, 2)};
}

TableSize sourceSize(const Workspace& workspace) {
  const vorlet::CellTable& source = workspace.vars.SourceTable;
  return {upperBound(source, 1), upperBound(source, 2)};
}

QString proposedSaveName(const Workspace& workspace) {
  if (workspace.resultSourcePath.isEmpty()) return {};
  const QFileInfo source(workspace.resultSourcePath);
  const QString suffix = source.suffix().isEmpty() ? QStringLiteral("csv") : source.suffix();
  const std::string_view mode = vorlet::modeName(workspace.resultSettings.mode);
  const QString name =
      QStringLiteral("%1_n%2_%3.%4")
          .arg(source.completeBaseName())
          .arg(workspace.resultSettings.interval)
          .arg(QString::fromLatin1(mode.data(), static_cast<qsizetype>(mode.size())), suffix);
  return source.dir().filePath(name);
}

bool isResultSource(const Workspace& workspace, const QString& path) {
  return sameFile(path, workspace.resultSourcePath) || sameFile(path, workspace.sourcePath);
}

std::optional<vorlet::FileError> saveResult(const Workspace& workspace, const QString& path,
                                            vorlet::Progress* progress) {
  // The result keeps its source's encoding and line ends.
  return vorlet::saveDelimitedFile(workspace.vars.ResultTable, workspace.resultEncoding,
                                   toPath(path), workspace.resultLineEnd, progress);
}

}  // namespace vorlet::app

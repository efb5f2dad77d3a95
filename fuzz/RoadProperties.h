#pragma once

// What the road must keep for any input bytes. The fuzz target aborts on a broken property; the
// regression tests run the inputs it found through the same checks. Linux only: the streaming
// road reads from a memfd (a regular file, so its two-pass reading is the one exercised) and
// from a pipe (read whole).

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "delimited/FileRoad.h"
#include "delimited/InputFile.h"
#include "delimited/JoinDelimited.h"
#include "delimited/ParseDelimited.h"
#include "delimited/StreamPipeline.h"
#include "delimited/TextEncoding.h"
#include "thinning/ThinTable.h"

namespace vorlet::fuzzing {

// Every input is thinned by each of these in both modes, and under a few settings drawn from
// the input (randomSettings).
inline constexpr std::int16_t kIntervals[] = {2, 3, 7};
inline constexpr ThinMode kModes[] = {ThinMode::Simple, ThinMode::Average};
inline constexpr std::size_t kRandomSettings = 4;

// Settings of every kind, drawn from `seed`: every mode, header lines (now and then more than
// the records), field lists reaching past F, means over numbers only and in double precision.
inline ThinSettings randomSettings(std::uint64_t seed) {
  const auto draw = [&seed](std::uint64_t n) {
    seed = seed * 6364136223846793005u + 1442695040888963407u;
    return static_cast<std::int32_t>((seed >> 33) % n);
  };
  ThinSettings settings;
  settings.interval = static_cast<std::int16_t>(2 + draw(6));
  settings.mode = static_cast<ThinMode>(draw(5));
  settings.headerLines = draw(3) == 0 ? 0 : draw(4) == 0 ? 1000 : draw(4);
  settings.numbersOnly = draw(2) == 0;
  settings.doublePrecision = draw(2) == 0;
  for (const std::int32_t field : {1, 2, 3, 5}) {
    if (draw(3) == 0) settings.firstRecordFields.push_back(field);
  }
  return settings;
}

inline std::string describe(const ThinSettings& s) {
  static const char* const kNames[] = {"simple", "average", "peak", "min", "max"};
  std::string text =
      std::string(kNames[static_cast<int>(s.mode)]) + " by " + std::to_string(s.interval);
  if (s.headerLines != 0) text += ", " + std::to_string(s.headerLines) + " header lines";
  if (s.numbersOnly) text += ", numbers only";
  if (s.doublePrecision) text += ", double";
  for (const std::int32_t field : s.firstRecordFields) text += ", first " + std::to_string(field);
  return text;
}

// The records a thinned table of R records holds at most.
inline std::int64_t thinnedRecords(const ThinSettings& s, std::int64_t records) {
  const std::int64_t header = std::clamp<std::int64_t>(s.headerLines, 0, records);
  return header + (records - header) / s.interval * (s.mode == ThinMode::Peak ? 2 : 1);
}

// Cells the texts table is cut into; larger ones are left out so that a run stays fast.
inline constexpr std::int64_t kMaxTextCells = 20000;

// What went wrong, for a person; empty when every property held.
using Finding = std::optional<std::string>;

using RoadOutput = std::variant<std::string, FileError>;

inline std::string outputText(const RoadOutput& output) {
  if (const auto* error = std::get_if<FileError>(&output)) return describe(*error);
  return "bytes of size " + std::to_string(std::get<std::string>(output).size());
}

// One in-memory regular file, refilled for each input: cheaper than a file on disk, and
// InputFile cannot tell the difference.
class MemoryFile {
 public:
  MemoryFile() : fd_(::memfd_create("vorlet-road", MFD_CLOEXEC)) {}
  ~MemoryFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  bool fill(std::string_view bytes) {
    if (fd_ < 0 || ::ftruncate(fd_, 0) != 0) return false;
    for (std::size_t at = 0; at < bytes.size();) {
      const ssize_t n = ::pwrite(fd_, bytes.data() + at, bytes.size() - at, static_cast<off_t>(at));
      if (n <= 0) return false;
      at += static_cast<std::size_t>(n);
    }
    return true;
  }
  int fd() const noexcept { return fd_; }

 private:
  int fd_;
};

// `startOver`: into a sink that can start over, as an output file under a temporary name can;
// the stream then settles the encoding on the way.
inline RoadOutput streamFrom(InputFile& input, const ThinSettings& thin, std::size_t chunkSize,
                             StreamSummary* summary, bool startOver = false) {
  std::string out;
  StreamSettings settings{thin, chunkSize};
  if (startOver) {
    settings.startOver = [&out] {
      out.clear();
      return std::optional<FileError>{};
    };
  }
  const auto result = thinStream(input, settings, [&out](std::string_view bytes) {
    out += bytes;
    return std::optional<FileError>{};
  });
  if (const auto* error = std::get_if<FileError>(&result)) return *error;
  if (summary != nullptr) *summary = std::get<StreamSummary>(result);
  return out;
}

inline RoadOutput streamMemoryFile(const MemoryFile& file, const ThinSettings& thin,
                                   std::size_t chunkSize, StreamSummary* summary = nullptr,
                                   bool startOver = false) {
  ::lseek(file.fd(), 0, SEEK_SET);
  auto input = InputFile::borrow(file.fd(), "input");
  if (auto* error = std::get_if<FileError>(&input)) return *error;
  return streamFrom(std::get<InputFile>(input), thin, chunkSize, summary, startOver);
}

// Through a pipe, which the road reads whole. Nothing when the bytes do not fit the pipe's
// buffer at once (no second thread here).
inline std::optional<RoadOutput> streamPipe(std::string_view bytes, const ThinSettings& thin,
                                            StreamSummary* summary = nullptr) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return std::nullopt;
  bool complete = true;
  for (std::size_t at = 0; at < bytes.size() && complete;) {
    const ssize_t n = ::write(ends[1], bytes.data() + at, bytes.size() - at);
    complete = n > 0;
    if (complete) at += static_cast<std::size_t>(n);
  }
  ::close(ends[1]);
  std::optional<RoadOutput> output;
  if (complete) {
    auto input = InputFile::borrow(ends[0], "pipe");
    if (auto* error = std::get_if<FileError>(&input)) {
      output = *error;
    } else {
      output = streamFrom(std::get<InputFile>(input), thin, 4096, summary);
    }
  }
  ::close(ends[0]);
  return output;
}

// The window's open road on bytes, step for step: the encoding check, then ParseDelimited.
struct OpenedBytes {
  std::optional<FileError> error;
  TextEncoding encoding = TextEncoding::Utf8;
  LineEnd lineEnd = LineEnd::CrLf;
  CellTable table;
};

inline OpenedBytes openBytes(std::string_view bytes) {
  OpenedBytes opened;
  const EncodingVerdict verdict = detectEncoding(bytes);
  if (auto refusal = refusalOf(verdict, "input")) {
    opened.error = refusal;
    return opened;
  }
  opened.encoding = encodingOf(verdict);
  const std::size_t begin = opened.encoding == TextEncoding::Utf8WithBom ? kUtf8Bom.size() : 0;
  if (bytes.size() == begin) {
    opened.error = FileError{FileError::Kind::NoRecords, "input", "", 0};
    return opened;
  }
  const CharSet charset = charSetOf(opened.encoding);
  opened.lineEnd = *lineEndOf(bytes.substr(begin), charset, true);
  const auto text = std::make_shared<const std::string>(bytes);
  const Result<std::int32_t> records =
      ParseDelimited(text, begin, opened.table, ",", lineEndText(opened.lineEnd), "\"", charset);
  if (!records) {
    const auto kind =
        opened.table.isDimensioned() ? FileError::Kind::TooLarge : FileError::Kind::NoRecords;
    opened.error = FileError{kind, "input", describe(records.fault()), 0};
  }
  return opened;
}

// A cell as the saved file shows it: nothing for an empty cell, a number's text for a number.
inline std::string shownText(const Cell& cell) {
  std::string text;
  if (cell.kind() != CellKind::Null) appendText(cell, text);
  return text;
}

// A double quote right before the line end ends a quoted field there. With CR LF the writer
// gets round it (see appendSavedField); with LF no quoting can, so such tables are not expected
// to round-trip.
inline bool holdsUnreadableText(const CellTable& table, LineEnd lineEnd) {
  if (lineEnd != LineEnd::Lf) return false;
  for (std::int32_t r = *table.lowerBound(2); r <= *table.upperBound(2); ++r) {
    for (std::int32_t f = *table.lowerBound(1); f <= *table.upperBound(1); ++f) {
      const Cell cell = table.cellAt(f, r);
      if (cell.isText() && cell.asText().find("\"\n") != std::string_view::npos) return true;
    }
  }
  return false;
}

// A result table (index 0 unused) saved, then read again with the same line ends, must give the
// same texts.
inline Finding checkRoundTrip(const CellTable& result, TextEncoding encoding, LineEnd lineEnd,
                              const std::string& saved) {
  if (!result.isDimensioned() || holdsUnreadableText(result, lineEnd)) return std::nullopt;
  const std::int32_t fields = *result.upperBound(1);
  const std::int32_t records = *result.upperBound(2);
  if (fields < 1 || records < 1) return std::nullopt;
  const std::size_t begin = encoding == TextEncoding::Utf8WithBom ? kUtf8Bom.size() : 0;
  CellTable reread;
  const auto read = ParseDelimited(std::make_shared<const std::string>(saved), begin, reread, ",",
                                   lineEndText(lineEnd), "\"", charSetOf(encoding));
  if (!read) return "the saved bytes could not be read again";
  // The final line end closes the last record and then reads as one more, empty.
  if (*reread.upperBound(2) != records + 1 || *reread.upperBound(1) != fields) {
    return "read again: " + std::to_string(*reread.upperBound(1)) + " fields by " +
           std::to_string(*reread.upperBound(2)) + " records instead of " + std::to_string(fields) +
           " by " + std::to_string(records) + " and an empty one";
  }
  for (std::int32_t r = 1; r <= records; ++r) {
    for (std::int32_t f = 1; f <= fields; ++f) {
      const std::string want = shownText(result.cellAt(f, r));
      const std::string got = shownText(reread.cellAt(f, r));
      if (want != got) {
        return "read again, cell " + std::to_string(f) + "," + std::to_string(r) + " is '" + got +
               "' instead of '" + want + "'";
      }
    }
  }
  return std::nullopt;
}

inline Finding sameOutput(const RoadOutput& table, const RoadOutput& stream,
                          const std::string& road) {
  const auto* tableError = std::get_if<FileError>(&table);
  const auto* streamError = std::get_if<FileError>(&stream);
  if (tableError != nullptr && streamError != nullptr) {
    if (tableError->kind == streamError->kind && tableError->offset == streamError->offset) {
      return std::nullopt;
    }
  } else if (tableError == nullptr && streamError == nullptr &&
             std::get<std::string>(table) == std::get<std::string>(stream)) {
    return std::nullopt;
  }
  std::string where;
  if (tableError == nullptr && streamError == nullptr) {
    const std::string& a = std::get<std::string>(table);
    const std::string& b = std::get<std::string>(stream);
    const auto differ = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    where = " (they part at byte " + std::to_string(differ.first - a.begin()) + ")";
  }
  return road + " gave " + outputText(stream) + ", the table road " + outputText(table) + where;
}

// Splits `bytes` into a table of texts: FF ends a field, FE a record. Neither byte occurs in
// UTF-8 or Shift-JIS text, so an input that is a CSV file gives one cell, and the fuzzer finds
// tables of any texts by adding them. The text no quoting brings back with LF line ends is
// mended, not skipped.
inline std::optional<CellTable> textsTable(std::string_view bytes, std::string& storage,
                                           LineEnd lineEnd) {
  std::vector<std::vector<std::string_view>> records(1);
  storage.assign(bytes);
  const std::string unreadable = lineEnd == LineEnd::Lf ? "\"\n" : "";
  for (std::size_t at = unreadable.empty() ? std::string::npos : storage.find(unreadable);
       at != std::string::npos; at = storage.find(unreadable, at + 1)) {
    storage[at] = '\'';
  }
  const std::string_view all = storage;
  std::size_t start = 0;
  for (std::size_t at = 0; at <= all.size(); ++at) {
    const bool end = at == all.size();
    const auto byte = end ? 0 : static_cast<unsigned char>(all[at]);
    if (!end && byte != 0xFF && byte != 0xFE) continue;
    records.back().push_back(all.substr(start, at - start));
    if (byte == 0xFE) records.emplace_back();
    start = at + 1;
  }
  std::size_t fields = 1;
  for (const auto& record : records) fields = std::max(fields, record.size());
  if (static_cast<std::int64_t>(fields * records.size()) > kMaxTextCells) return std::nullopt;
  CellTable table;
  table.dimension(0, static_cast<std::int32_t>(fields), 0,
                  static_cast<std::int32_t>(records.size()));
  for (std::size_t r = 0; r < records.size(); ++r) {
    for (std::size_t f = 0; f < records[r].size(); ++f) {
      table.set(static_cast<std::int32_t>(f + 1), static_cast<std::int32_t>(r + 1),
                Cell::text(records[r][f]));
    }
  }
  return table;
}

// Every property over one input; the first one broken, if any.
class RoadChecker {
 public:
  // The fuzz target streams one way per input; a regression test streams every way.
  enum class Streams : std::uint8_t { OneWay, EveryWay };
  explicit RoadChecker(Streams streams = Streams::OneWay)
      : everyWay_(streams == Streams::EveryWay) {}

  Finding check(std::string_view bytes) {
    if (auto finding = checkTexts(bytes)) return finding;
    if (!file_.fill(bytes)) return std::nullopt;  // the system refused: nothing to learn
    OpenedBytes opened = openBytes(bytes);
    if (opened.error) return checkRefused(bytes, *opened.error);
    return checkThinning(bytes, opened);
  }

 private:
  // An input without the cutting bytes is one text; a quarter of those is enough, as the
  // thinned tables' round trips cover texts out of the reader already.
  Finding checkTexts(std::string_view bytes) {
    const bool cut = bytes.find_first_of("\xFE\xFF") != std::string_view::npos;
    if (!cut && !everyWay_ && std::hash<std::string_view>{}(bytes) % 4 != 0) return std::nullopt;
    for (const LineEnd lineEnd : {LineEnd::CrLf, LineEnd::Lf}) {
      const auto table = textsTable(bytes, storage_, lineEnd);
      if (!table) return std::nullopt;
      std::string saved;
      appendSavedText(*table, saved, lineEnd);
      saved += lineEndText(lineEnd);
      if (auto finding = checkRoundTrip(*table, TextEncoding::Utf8, lineEnd, saved)) {
        return std::string(lineEnd == LineEnd::Lf ? "LF" : "CR LF") + " texts table: " + *finding;
      }
    }
    return std::nullopt;
  }

  // A refused input is refused alike by every road; the reader still has to survive it.
  Finding checkRefused(std::string_view bytes, const FileError& error) {
    CellTable table;
    ParseDelimited(bytes, table, ",", "\r\n", "\"",
                   bytes.size() % 2 == 0 ? CharSet::Utf8 : CharSet::ShiftJis);
    const RoadOutput expected = error;
    return sameOutput(expected, streamMemoryFile(file_, ThinSettings{}, 4096),
                      "the streaming road");
  }

  // Every variant goes through the table road. The streaming road, whose runs cost far more
  // under the sanitizers, takes one variant and one way per input, chosen by the input so that
  // all come up: from the memory file in small chunks (records straddle the reads) or in one,
  // or from a pipe.
  Finding checkThinning(std::string_view bytes, OpenedBytes& opened) {
    const std::int32_t fields = *opened.table.upperBound(1);
    const std::int32_t records = *opened.table.upperBound(2);
    SharedVariables vars;
    vars.SourceTable = std::move(opened.table);
    const std::size_t pick = std::hash<std::string_view>{}(bytes);
    std::vector<ThinSettings> variants;
    for (const ThinMode mode : kModes) {
      for (const std::int16_t interval : kIntervals) variants.push_back({interval, mode});
    }
    for (std::size_t i = 0; i < kRandomSettings; ++i) {
      variants.push_back(randomSettings(pick + i * 0x9E3779B97F4A7C15u));
    }
    const std::size_t streamed = (pick / 3) % variants.size();
    for (std::size_t variant = 0; variant < variants.size(); ++variant) {
      const ThinSettings& settings = variants[variant];
      const std::string name = describe(settings) + ": ";
      thinTable(vars, settings);
      const CellTable& result = vars.ResultTable;
      const std::int32_t kept = *result.upperBound(2);
      if (kept > thinnedRecords(settings, records)) {
        return name + std::to_string(kept) + " records from " + std::to_string(records);
      }
      const std::string saved = savedFileBytes(result, opened.encoding, opened.lineEnd);
      if (auto finding = checkRoundTrip(result, opened.encoding, opened.lineEnd, saved)) {
        return name + *finding;
      }
      if (variant != streamed && !everyWay_) continue;
      for (std::size_t way = 0; way < 3; ++way) {
        if (way != pick % 3 && !everyWay_) continue;
        if (auto finding =
                checkStream(bytes, pick, way, settings, saved, fields, records, opened.lineEnd)) {
          return name + *finding;
        }
      }
    }
    return std::nullopt;
  }

  Finding checkStream(std::string_view bytes, std::size_t pick, std::size_t way,
                      const ThinSettings& settings, const std::string& saved, std::int32_t fields,
                      std::int32_t records, LineEnd lineEnd) {
    StreamSummary summary;
    std::optional<RoadOutput> stream;
    if (way == 0) {
      // Small chunks; for a large input, chunks of a few hundred records, so that the buffer
      // moves while a helper thread may still be thinning part of a batch.
      const std::size_t chunk = bytes.size() < 16384 ? 4 + (pick >> 32) % 29 : 4096 + pick % 4096;
      stream = streamMemoryFile(file_, settings, chunk, &summary, (pick >> 8) % 2 == 0);
    } else if (way == 1) {
      stream = streamMemoryFile(file_, settings, bytes.size() + 1, &summary, (pick >> 8) % 2 == 0);
    } else {
      stream = streamPipe(bytes, settings, &summary);
    }
    if (!stream) return std::nullopt;
    if (auto finding = sameOutput(saved, *stream, "the streaming road")) return finding;
    if (summary.lineEnd != lineEnd) return "the streaming road found other line ends";
    if (summary.recordsRead != static_cast<std::uint64_t>(records) ||
        summary.fields != static_cast<std::uint64_t>(fields) ||
        summary.recordsWritten > static_cast<std::uint64_t>(thinnedRecords(settings, records))) {
      return "the streaming road counted " + std::to_string(summary.recordsRead) + " records of " +
             std::to_string(summary.fields) + " fields and wrote " +
             std::to_string(summary.recordsWritten);
    }
    return std::nullopt;
  }

  bool everyWay_ = false;
  MemoryFile file_;
  std::string storage_;
};

}  // namespace vorlet::fuzzing

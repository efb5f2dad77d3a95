#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "table/RecordBatch.h"
#include "thinning/GroupRules.h"
#include "thinning/WorkerThread.h"

namespace vorlet {

// Thinned records on their way out. Simple thinning writes a group's first record as soon as
// it reads it and takes it back should the group never complete: only the bytes before
// `committed` are final.
struct ThinnedBytes {
  std::string bytes;
  std::size_t committed = 0;
};

// Writes one field's text as the saved file has it (quoted where it must be).
using AppendField = void (*)(std::string& out, std::string_view text);

// Average thinning of a range of fields: their running sums, and the means of the groups they
// completed as text, the fields separated by commas. Fields are independent and each group's
// cells are added in record order, so ranges thinned on different threads give the same means.
class FieldRange {
 public:
  FieldRange(std::int16_t interval, std::size_t first, std::size_t last)
      : groups_(interval, last - first), first_(first), last_(last) {}

  // Records [from, to) of `batch`, fields beyond `fields` dropped; `clock` as it stood before
  // them.
  void add(const RecordBatch& batch, std::size_t from, std::size_t to, std::size_t fields,
           GroupClock clock);
  void closeGroup();

  std::size_t groups() const noexcept { return ends_.size(); }
  std::string_view group(std::size_t g) const noexcept {
    const std::size_t begin = g == 0 ? 0 : ends_[g - 1];
    return std::string_view(texts_).substr(begin, ends_[g] - begin);
  }
  void clearGroups() noexcept {
    texts_.clear();
    ends_.clear();
  }
  std::uint64_t notNumbers() const noexcept { return groups_.notNumbers(); }

 private:
  AverageGroups groups_;
  std::size_t first_;
  std::size_t last_;
  std::string texts_;
  std::vector<std::size_t> ends_;
};

// What a thinning run counted.
struct ThinCounts {
  std::uint64_t recordsRead = 0;
  std::uint64_t fields = 0;  // F, from the first record
  std::uint64_t recordsWritten = 0;
  std::uint64_t trailingDropped = 0;  // records of the last group, which never completed
  std::uint64_t notNumbers = 0;       // average mode: cells that added nothing to their group
};

// Thins records as they arrive and writes each result record, as a save writes it, into `out`
// the moment its group completes: fields through `appendField`, commas between, `lineEnd`
// after. A plain record's fields hold no comma or quote, so they are written as they stand
// unless one holds CR or LF.
class RecordThinner {
 public:
  RecordThinner(const ThinSettings& settings, std::string_view lineEnd, AppendField appendField,
                ThinnedBytes& out)
      : mode_(settings.mode),
        interval_(settings.interval),
        clock_(settings.interval),
        lineEnd_(lineEnd),
        appendField_(appendField),
        out_(out) {}

  // How many of the coming records simple thinning skips without looking at them.
  std::size_t skippable() const noexcept {
    if (mode_ != ThinMode::Simple || recordsRead_ == 0 || clock_.opensGroup()) return 0;
    return static_cast<std::size_t>(clock_.remaining());
  }
  // How many records the pipeline may hand over in one batch.
  std::size_t wanted() const noexcept;

  void skipped(std::size_t records) {
    recordsRead_ += records;
    if (clock_.advance(static_cast<std::int32_t>(records))) commit();
  }

  // The records of a batch. Average thinning splits the fields with the helper when there is
  // one.
  void add(const RecordBatch& batch);

  // Drops the first record of a group that never completed.
  void finish() { out_.bytes.resize(out_.committed); }

  ThinCounts counts() const noexcept;

 private:
  void start(std::size_t fields);
  void addSimple(const RecordBatch& batch, std::size_t record);
  void writeMeans();
  void commit() {
    out_.committed = out_.bytes.size();
    ++recordsWritten_;
  }

  ThinMode mode_;
  std::int16_t interval_;
  GroupClock clock_;
  std::string_view lineEnd_;
  AppendField appendField_;
  std::size_t fields_ = 0;
  std::vector<FieldRange> ranges_;  // average thinning: all fields, or two parts
  WorkerThread helper_;
  ThinnedBytes& out_;
  std::uint64_t recordsRead_ = 0;
  std::uint64_t recordsWritten_ = 0;
};

}  // namespace vorlet

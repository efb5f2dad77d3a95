#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "table/RecordBatch.h"
#include "thinning/GroupRules.h"
#include "thinning/TextGroups.h"
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

// Thinning of a range of fields by groups: their running state, and the output records of the
// groups they completed as text, the fields separated by commas. `Groups` is AverageGroups for
// plain average thinning, TextGroups under any other settings but simple thinning. Groups are
// independent, so runs of whole groups thinned by different FieldRanges on different threads
// give the same output as one FieldRange thinning them all.
template <class Groups>
class alignas(kCacheLine) FieldRange {  // the two threads' ranges on lines of their own
 public:
  FieldRange(const ThinSettings& settings, std::size_t first, std::size_t last,
             AppendField appendField);

  // Records [from, to) of `batch`, fields beyond `fields` dropped; `clock` as it stood before
  // them. What the open group needs of the batch is kept before it returns.
  void add(const RecordBatch& batch, std::size_t from, std::size_t to, std::size_t fields,
           GroupClock clock);

  // Output records completed and not yet written.
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
  // add() with what a number does to its group fixed.
  template <GroupReducer::Fold kFold>
  void addRecords(const RecordBatch& batch, std::size_t from, std::size_t to, std::size_t fields,
                  GroupClock clock);
  // Closes a group whose records from position `from` on are in the batch.
  template <class TextAt>
  void closeGroup(std::int32_t from, const TextAt& textAt);

  Groups groups_;
  std::size_t first_;
  std::size_t last_;
  std::int32_t rows_;  // output records per group
  AppendField appendField_;
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
// the moment its group completes (header lines as they arrive): fields through `appendField`,
// commas between, `lineEnd` after. A plain record's fields hold no comma or quote, so they are
// written as they stand unless one holds CR or LF.
class RecordThinner {
 public:
  RecordThinner(const ThinSettings& settings, std::string_view lineEnd, AppendField appendField,
                ThinnedBytes& out)
      : settings_(settings),
        mode_(settings.mode),
        clock_(settings.interval),
        headerLeft_(std::max(0, settings.headerLines)),
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

  // Whether add() may return while the helper still thins its part of the batch.
  enum class Overlap : std::uint8_t {
    Wait,     // add() returns with the batch thinned and written
    Allowed,  // the caller keeps the batch and the text it refers to unchanged until settle()
  };

  // The records of a batch. Thinning by groups splits them with the helper when there is one:
  // this thread takes the groups of the first part, the helper those of the rest. The output
  // of an earlier batch the helper was still thinning is written first.
  void add(const RecordBatch& batch, Overlap overlap = Overlap::Wait);
  // Waits for the helper's part of the last batch and writes its output; rethrows what the
  // helper threw.
  void settle();

  // Drops the first record of a group that never completed.
  void finish() {
    settle();
    out_.bytes.resize(out_.committed);
  }

  ThinCounts counts() const noexcept;

 private:
  void start(std::size_t fields);
  template <class Ranges>
  void addGroups(Ranges& ranges, const RecordBatch& batch, std::size_t from);
  void addSimple(const RecordBatch& batch, std::size_t record);
  // Writes a record as simple thinning copies it.
  void writeRecord(const RecordBatch& batch, std::size_t record);
  template <class Range>
  void writeGroups(Range& range);
  void commit() {
    out_.committed = out_.bytes.size();
    ++recordsWritten_;
  }

  ThinSettings settings_;
  ThinMode mode_;
  GroupClock clock_;
  std::int32_t headerLeft_;  // header lines still to come
  std::string_view lineEnd_;
  AppendField appendField_;
  std::size_t fields_ = 0;
  // Plain average thinning, or any other settings but simple thinning: one range of all fields,
  // or two that take turns, the one holding the open group starting each batch.
  std::vector<FieldRange<AverageGroups>> averages_;
  std::vector<FieldRange<TextGroups>> ruled_;
  std::size_t opening_ = 0;  // the range that holds the open group
  // The helper's part of the last batch, while it may still run: the range that thinned the
  // batch's first part (its output comes first) is the other one.
  std::function<void()> job_;
  bool pending_ = false;
  std::atomic<bool> helperDone_{false};
  // This thread's share of a batch's records, in 1/kShares: it also reads and scans the text,
  // so it takes less, and more or less as the helper turns out to wait for it or not.
  std::uint32_t share_ = 0;
  // After everything the helper's job uses, so that it goes first: its thread is joined once
  // the job it may still be running ends.
  WorkerThread helper_;
  ThinnedBytes& out_;
  std::uint64_t recordsRead_ = 0;
  std::uint64_t recordsWritten_ = 0;
};

}  // namespace vorlet

#include "thinning/RecordThinner.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <type_traits>

#include "table/NumberText.h"

namespace vorlet {
namespace {

// Cells a batch holds, about: enough that the two threads meet seldom, few enough that a batch
// and the next stay small beside the buffer.
constexpr std::size_t kBatchCells = std::size_t{3} << 15;
// Below this many records a batch is not worth handing half of to the helper.
constexpr std::size_t kRecordsForHelper = 256;
// This thread's share of a batch is counted in 1/kShares and moves by kShareStep a batch.
constexpr std::uint32_t kShares = 1024;
constexpr std::uint32_t kShareStep = 8;

// Eight bytes at a time: a byte equal to CR or LF leaves a zero byte in the exclusive or.
bool holdsLineEnd(const char* begin, const char* end) noexcept {
  constexpr std::uint64_t kOnes = 0x0101010101010101;
  constexpr std::uint64_t kHighs = kOnes << 7;
  for (; end - begin >= 8; begin += 8) {
    std::uint64_t word;
    std::memcpy(&word, begin, sizeof word);
    const std::uint64_t cr = word ^ (kOnes * '\r');
    const std::uint64_t lf = word ^ (kOnes * '\n');
    if ((((cr - kOnes) & ~cr) | ((lf - kOnes) & ~lf)) & kHighs) return true;
  }
  for (; begin != end; ++begin) {
    if (*begin == '\r' || *begin == '\n') return true;
  }
  return false;
}

template <class Groups>
Groups makeGroups(const ThinSettings& settings, std::size_t first, std::size_t last) {
  if constexpr (std::is_same_v<Groups, AverageGroups>) {
    return AverageGroups(settings.interval, last - first);
  } else {
    return TextGroups(settings, first, last);
  }
}

}  // namespace

template <class Groups>
FieldRange<Groups>::FieldRange(const ThinSettings& settings, std::size_t first, std::size_t last,
                               AppendField appendField)
    : groups_(makeGroups<Groups>(settings, first, last)),
      first_(first),
      last_(last),
      rows_(recordsPerGroup(settings.mode)),
      appendField_(appendField) {}

template <class Groups>
void FieldRange<Groups>::add(const RecordBatch& batch, std::size_t from, std::size_t to,
                             std::size_t fields, GroupClock clock) {
  using Fold = GroupReducer::Fold;
  if constexpr (std::is_same_v<Groups, TextGroups>) {
    switch (groups_.fold()) {
      case Fold::Extremes:
        return addRecords<Fold::Extremes>(batch, from, to, fields, clock);
      case Fold::SingleSum:
        return addRecords<Fold::SingleSum>(batch, from, to, fields, clock);
      case Fold::DoubleSum:
        return addRecords<Fold::DoubleSum>(batch, from, to, fields, clock);
    }
  } else {
    addRecords<Fold::SingleSum>(batch, from, to, fields, clock);
  }
}

template <class Groups>
template <GroupReducer::Fold kFold>
void FieldRange<Groups>::addRecords(const RecordBatch& batch, std::size_t from, std::size_t to,
                                    std::size_t fields, GroupClock clock) {
  constexpr bool kTexts = std::is_same_v<Groups, TextGroups>;
  // The batch record at the open group's position 0: before `from` when the group began in an
  // earlier batch, whose records are gone.
  auto open = static_cast<std::ptrdiff_t>(from) - clock.pending();
  const auto firstInBatch = [&] {
    return static_cast<std::int32_t>(
        std::max<std::ptrdiff_t>(0, static_cast<std::ptrdiff_t>(from) - open));
  };
  // A field of the open group's record at position `at`: the empty text when it lacks it.
  const auto textAt = [&](std::size_t f, std::int32_t at) {
    const auto record = static_cast<std::size_t>(open + at);
    return f < std::min(fields, batch.fieldCount(record)) ? batch.field(record, f)
                                                          : std::string_view();
  };
  for (std::size_t r = from; r < to; ++r) {
    const std::uint32_t first = batch.firstField(r);
    const std::uint32_t* ends = batch.fieldEnds.data() + first;
    const std::size_t present = std::min<std::size_t>(fields, batch.recordEnds[r] - first);
    // Fields lie one separator byte apart: walk them without looking up each start.
    const char* begin = batch.base + (first_ == 0 || present <= first_ ? batch.recordStarts[r]
                                                                       : ends[first_ - 1] + 1);
    const std::int32_t at = clock.pending();
    for (std::size_t f = first_; f < std::min(last_, present); ++f) {
      const char* end = batch.base + ends[f];
      const std::string_view text(begin, static_cast<std::size_t>(end - begin));
      if constexpr (kTexts) {
        groups_.template add<kFold>(f, text, at);
      } else {
        groups_.addText(f - first_, text);
      }
      begin = end + 1;
    }
    if (clock.advance()) {
      closeGroup(firstInBatch(), textAt);
      open = static_cast<std::ptrdiff_t>(r) + 1;
    }
  }
  if constexpr (kTexts) {
    if (clock.pending() > 0) groups_.keep(firstInBatch(), textAt);
  }
}

template <class Groups>
template <class TextAt>
void FieldRange<Groups>::closeGroup(std::int32_t from, const TextAt& textAt) {
  char text[kNumberTextMax];
  if constexpr (std::is_same_v<Groups, AverageGroups>) {
    // Numbers never need quotes.
    (void)from, (void)textAt;
    for (std::size_t f = 0; f < groups_.fields(); ++f) {
      if (f > 0) texts_ += ',';
      texts_.append(text, formatSingle(groups_.mean(f), text));
    }
    ends_.push_back(texts_.size());
  } else {
    for (std::int32_t row = 0; row < rows_; ++row) {
      for (std::size_t f = first_; f < last_; ++f) {
        if (f > first_) texts_ += ',';
        const auto [cell, number] = groups_.output(f, row, from, textAt);
        if (cell.isText()) {
          if (number) {
            texts_ += cell.asText();
          } else {
            appendField_(texts_, cell.asText());
          }
        } else if (cell.kind() == CellKind::Double) {
          texts_.append(text, formatDouble(cell.asDouble(), text));
        } else {
          texts_.append(text, formatSingle(cell.asSingle(), text));
        }
      }
      ends_.push_back(texts_.size());
    }
  }
  groups_.reset();
}

template class FieldRange<AverageGroups>;
template class FieldRange<TextGroups>;

std::size_t RecordThinner::wanted() const noexcept {
  if (mode_ == ThinMode::Simple) return 1;
  return std::clamp<std::size_t>(kBatchCells / std::max<std::size_t>(fields_, 1), kRecordsForHelper,
                                 kBatchCells / 6);
}

void RecordThinner::add(const RecordBatch& batch, Overlap overlap) {
  settle();
  if (batch.records() == 0) return;
  if (recordsRead_ == 0) start(batch.fieldCount(0));
  std::size_t from = 0;
  for (; from < batch.records() && headerLeft_ > 0; ++from, --headerLeft_) {
    ++recordsRead_;
    writeRecord(batch, from);
    commit();
  }
  if (mode_ == ThinMode::Simple) {
    for (std::size_t r = from; r < batch.records(); ++r) addSimple(batch, r);
  } else if (ruled_.empty()) {
    addGroups(averages_, batch, from);
  } else {
    addGroups(ruled_, batch, from);
  }
  if (overlap == Overlap::Wait) settle();
}

template <class Ranges>
void RecordThinner::addGroups(Ranges& ranges, const RecordBatch& batch, std::size_t from) {
  const std::size_t to = batch.records();
  if (from == to) return;
  const GroupClock before = clock_;
  for (std::size_t r = from; r < to; ++r) clock_.advance();
  recordsRead_ += to - from;
  auto& opening = ranges[opening_];
  // The split falls on a group boundary: the helper's range starts a group of its own.
  const auto interval = static_cast<std::size_t>(settings_.interval);
  const std::size_t boundary = from + (before.pending() == 0 ? 0 : before.remaining());
  const std::size_t wanted = from + (to - from) * share_ / kShares;
  const std::size_t split =
      boundary + (wanted > boundary ? (wanted - boundary) / interval * interval : 0);
  if (ranges.size() < 2 || to - from < kRecordsForHelper || split >= to) {
    opening.add(batch, from, to, fields_, before);
    writeGroups(opening);
    return;
  }
  auto& rest = ranges[1 - opening_];
  job_ = [this, &rest, &batch, split, to] {
    rest.add(batch, split, to, fields_, GroupClock(settings_.interval));
    helperDone_.store(true, std::memory_order_release);
  };
  helperDone_.store(false, std::memory_order_relaxed);
  helper_.post(job_);
  pending_ = true;
  if (split > from) opening.add(batch, from, split, fields_, before);
  opening_ = 1 - opening_;
}

void RecordThinner::settle() {
  if (!pending_) return;
  // Whoever finished first takes a little more of the next batch.
  const bool helperWasFirst = helperDone_.load(std::memory_order_acquire);
  pending_ = false;
  helper_.wait();
  if (helperWasFirst) {
    share_ = std::max(kShareStep, share_) - kShareStep;
  } else {
    share_ = std::min(kShares - kShareStep, share_ + kShareStep);
  }
  // The range that now holds the open group thinned the batch's second part.
  const auto write = [&](auto& ranges) {
    writeGroups(ranges[1 - opening_]);
    writeGroups(ranges[opening_]);
  };
  if (ruled_.empty()) {
    write(averages_);
  } else {
    write(ruled_);
  }
}

ThinCounts RecordThinner::counts() const noexcept {
  ThinCounts counts;
  counts.recordsRead = recordsRead_;
  counts.fields = fields_;
  counts.recordsWritten = recordsWritten_;
  counts.trailingDropped = static_cast<std::uint64_t>(clock_.pending());
  for (const auto& range : averages_) counts.notNumbers += range.notNumbers();
  for (const auto& range : ruled_) counts.notNumbers += range.notNumbers();
  return counts;
}

void RecordThinner::start(std::size_t fields) {
  fields_ = fields;
  if (mode_ == ThinMode::Simple) return;
  const bool plain = plainGroups(settings_, static_cast<std::int64_t>(fields));
  const std::size_t ranges = helper_.start() ? 2 : 1;
  for (std::size_t i = 0; i < ranges; ++i) {
    if (plain) {
      averages_.emplace_back(settings_, 0, fields, appendField_);
    } else {
      ruled_.emplace_back(settings_, 0, fields, appendField_);
    }
  }
  share_ = kShares / 3;
}

void RecordThinner::addSimple(const RecordBatch& batch, std::size_t record) {
  ++recordsRead_;
  if (clock_.opensGroup()) writeRecord(batch, record);
  if (clock_.advance()) commit();
}

// Fields beyond F are dropped; missing ones are written empty.
void RecordThinner::writeRecord(const RecordBatch& batch, std::size_t record) {
  const std::uint32_t first = batch.firstField(record);
  const std::uint32_t* ends = batch.fieldEnds.data() + first;
  const std::size_t present = std::min<std::size_t>(fields_, batch.recordEnds[record] - first);
  const char* start = batch.base + batch.recordStarts[record];
  const char* end = batch.base + ends[present - 1];
  if (batch.plain && !holdsLineEnd(start, end)) {
    out_.bytes.append(start, end);
  } else {
    for (std::size_t f = 0; f < present; ++f) {
      if (f > 0) out_.bytes += ',';
      const char* fieldEnd = batch.base + ends[f];
      appendField_(out_.bytes, std::string_view(start, static_cast<std::size_t>(fieldEnd - start)));
      start = fieldEnd + 1;
    }
  }
  out_.bytes.append(fields_ - present, ',');
  out_.bytes += lineEnd_;
}

// The output records a range completed.
template <class Range>
void RecordThinner::writeGroups(Range& range) {
  for (std::size_t g = 0; g < range.groups(); ++g) {
    out_.bytes += range.group(g);
    out_.bytes += lineEnd_;
    commit();
  }
  range.clearGroups();
}

}  // namespace vorlet

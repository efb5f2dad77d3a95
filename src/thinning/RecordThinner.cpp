#include "thinning/RecordThinner.h"

#include <algorithm>
#include <cstring>

#include "table/NumberText.h"

namespace vorlet {
namespace {

constexpr std::size_t kBatchRecords = 8192;
// Below this many records a batch is not worth handing half of to the helper.
constexpr std::size_t kRecordsForHelper = 256;

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

}  // namespace

void FieldRange::add(const RecordBatch& batch, std::size_t from, std::size_t to, std::size_t fields,
                     GroupClock clock) {
  for (std::size_t r = from; r < to; ++r) {
    const std::uint32_t first = batch.firstField(r);
    const std::uint32_t* ends = batch.fieldEnds.data() + first;
    const std::size_t present = std::min<std::size_t>(fields, batch.recordEnds[r] - first);
    // Fields lie one separator byte apart: walk them without looking up each start.
    const char* begin = batch.base + (first_ == 0 || present <= first_ ? batch.recordStarts[r]
                                                                       : ends[first_ - 1] + 1);
    for (std::size_t f = first_; f < std::min(last_, present); ++f) {
      const char* end = batch.base + ends[f];
      groups_.addText(f - first_, std::string_view(begin, static_cast<std::size_t>(end - begin)));
      begin = end + 1;
    }
    if (clock.advance()) closeGroup();
  }
}

// Numbers never need quotes.
void FieldRange::closeGroup() {
  char text[kNumberTextMax];
  for (std::size_t f = 0; f < groups_.fields(); ++f) {
    if (f > 0) texts_ += ',';
    texts_.append(text, formatSingle(groups_.mean(f), text));
  }
  ends_.push_back(texts_.size());
  groups_.reset();
}

std::size_t RecordThinner::wanted() const noexcept {
  return mode_ == ThinMode::Simple ? 1 : kBatchRecords;
}

void RecordThinner::add(const RecordBatch& batch) {
  if (batch.records() == 0) return;
  if (recordsRead_ == 0) start(batch.fieldCount(0));
  if (mode_ == ThinMode::Simple) {
    for (std::size_t r = 0; r < batch.records(); ++r) addSimple(batch, r);
    return;
  }
  const std::size_t to = batch.records();
  const GroupClock before = clock_;
  if (ranges_.size() == 2 && to >= kRecordsForHelper) {
    auto second = [&] { ranges_[1].add(batch, 0, to, fields_, before); };
    helper_.post(second);
    ranges_[0].add(batch, 0, to, fields_, before);
    helper_.wait();
  } else {
    for (FieldRange& range : ranges_) range.add(batch, 0, to, fields_, before);
  }
  for (std::size_t r = 0; r < to; ++r) clock_.advance();
  recordsRead_ += to;
  writeMeans();
}

ThinCounts RecordThinner::counts() const noexcept {
  ThinCounts counts;
  counts.recordsRead = recordsRead_;
  counts.fields = fields_;
  counts.recordsWritten = recordsWritten_;
  counts.trailingDropped = static_cast<std::uint64_t>(clock_.pending());
  for (const FieldRange& range : ranges_) counts.notNumbers += range.notNumbers();
  return counts;
}

void RecordThinner::start(std::size_t fields) {
  fields_ = fields;
  if (mode_ != ThinMode::Average) return;
  if (fields >= 2 && helper_.start()) {
    // This thread also reads and scans the text: it keeps a third of the fields.
    const std::size_t split = std::max<std::size_t>(1, fields / 3);
    ranges_.emplace_back(interval_, 0, split);
    ranges_.emplace_back(interval_, split, fields);
  } else {
    ranges_.emplace_back(interval_, 0, fields);
  }
}

// Fields beyond F are dropped; missing ones are written empty.
void RecordThinner::addSimple(const RecordBatch& batch, std::size_t record) {
  ++recordsRead_;
  if (clock_.opensGroup()) {
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
        appendField_(out_.bytes,
                     std::string_view(start, static_cast<std::size_t>(fieldEnd - start)));
        start = fieldEnd + 1;
      }
    }
    out_.bytes.append(fields_ - present, ',');
    out_.bytes += lineEnd_;
  }
  if (clock_.advance()) commit();
}

// The groups the field ranges completed, each a record.
void RecordThinner::writeMeans() {
  for (std::size_t g = 0; g < ranges_[0].groups(); ++g) {
    for (std::size_t i = 0; i < ranges_.size(); ++i) {
      if (i > 0) out_.bytes += ',';
      out_.bytes += ranges_[i].group(g);
    }
    out_.bytes += lineEnd_;
    commit();
  }
  for (FieldRange& range : ranges_) range.clearGroups();
}

}  // namespace vorlet

#include "delimited/StreamThinner.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include "delimited/JoinDelimited.h"
#include "delimited/PlainLines.h"
#include "delimited/RecordScanner.h"
#include "delimited/TextEncoding.h"
#include "table/NumberText.h"
#include "thinning/TextGroups.h"
#include "thinning/WorkerThread.h"

#if !defined(_WIN32)
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#define VORLET_POSITIONAL_READS 1
#endif

namespace vorlet {

namespace {

constexpr std::size_t kFlushAt = std::size_t{1} << 20;
// Thinned bytes held back while the encoding is still being checked; past half of this the pipeline
// waits for the check.
constexpr std::size_t kHoldAtMost = std::size_t{48} << 20;
constexpr std::size_t kBatchRecords = 8192;

// Thinned records on their way to the sink. Simple thinning writes a group's first record as
// soon as it reads it and takes it back should the group never complete: only the bytes before
// `committed` are final.
struct Output {
  std::string bytes;
  std::size_t committed = 0;
};

bool holdsLineEnd(const char* begin, const char* end) noexcept {
  for (; begin != end; ++begin) {
    if (*begin == '\r' || *begin == '\n') return true;
  }
  return false;
}

// Appends a cell of a group's output as a save writes it.
void appendOutput(std::string& out, const Cell& cell) {
  if (cell.isText()) {
    appendSavedField(out, cell.asText());
    return;
  }
  char text[kNumberTextMax];
  out.append(text, cell.kind() == CellKind::Double ? formatDouble(cell.asDouble(), text)
                                                   : formatSingle(cell.asSingle(), text));
}

// Field `field` (from 0) of record `record` of a batch of plain lines, fields beyond `fields`
// dropped: the empty text when the record lacks it.
std::string_view plainField(const char* base, const PlainBatch& batch, std::size_t record,
                            std::size_t field, std::size_t fields) noexcept {
  const std::uint32_t first = batch.firstField(record);
  const std::size_t present = std::min<std::size_t>(fields, batch.recordEnds[record] - first);
  if (field >= present) return {};
  const std::uint32_t* ends = batch.fieldEnds.data() + first;
  const std::size_t begin = field == 0 ? batch.recordStart(record) : ends[field - 1] + 1;
  return std::string_view(base + begin, ends[field] - begin);
}

// Thinning of a range of fields by groups: their running state, and the output records of the
// groups they completed as text, the fields separated by commas. `Groups` is AverageGroups for
// plain average thinning, TextGroups under any other settings. Fields are independent and each
// group's cells are added in record order, so ranges thinned on different threads give the
// same output.
template <class Groups>
class FieldRange {
 public:
  FieldRange(const ThinSettings& settings, std::size_t first, std::size_t last)
      : groups_(make(settings, first, last)),
        first_(first),
        last_(last),
        rows_(recordsPerGroup(settings.mode)) {}

  void add(const ScannedRecord& record, std::size_t present, const GroupClock& clock) {
    const std::int32_t at = clock.pending();
    for (std::size_t f = first_; f < std::min(last_, present); ++f) {
      addField(f, record.fields[f], at);
    }
    // The record's fields live until the next one is read: what the group needs of them is
    // kept at once.
    if constexpr (!std::is_same_v<Groups, AverageGroups>) {
      groups_.keep(at, [&](std::size_t f, std::int32_t) {
        return f < present ? record.fields[f] : std::string_view();
      });
    }
  }

  // Records [from, to) of a batch of plain lines whose offsets count from `base`, fields
  // beyond `fields` dropped; `clock` as it stood before them.
  void addPlain(const char* base, const PlainBatch& batch, std::size_t from, std::size_t to,
                std::size_t fields, GroupClock clock) {
    // The batch record at the open group's position 0; before `from` when the group began in
    // an earlier batch.
    auto open = static_cast<std::ptrdiff_t>(from) - clock.pending();
    const auto textAt = [&](std::size_t f, std::int32_t at) {
      return plainField(base, batch, static_cast<std::size_t>(open + at), f, fields);
    };
    const auto firstInBatch = [&] {
      return static_cast<std::int32_t>(
          std::max<std::ptrdiff_t>(0, static_cast<std::ptrdiff_t>(from) - open));
    };
    for (std::size_t r = from; r < to; ++r) {
      const std::uint32_t first = batch.firstField(r);
      const std::uint32_t* ends = batch.fieldEnds.data() + first;
      const std::size_t present = std::min<std::size_t>(fields, batch.recordEnds[r] - first);
      const char* begin =
          base + (first_ == 0 || present <= first_ ? batch.recordStart(r) : ends[first_ - 1] + 1);
      const std::int32_t at = clock.pending();
      for (std::size_t f = first_; f < std::min(last_, present); ++f) {
        const char* end = base + ends[f];
        addField(f, std::string_view(begin, static_cast<std::size_t>(end - begin)), at);
        begin = end + 1;
      }
      if (clock.advance()) {
        closeGroup(firstInBatch(), textAt);
        open = static_cast<std::ptrdiff_t>(r) + 1;
      }
    }
    if constexpr (!std::is_same_v<Groups, AverageGroups>) {
      if (clock.pending() > 0) groups_.keep(firstInBatch(), textAt);
    }
  }

  // Closes a group whose records were all kept.
  void closeGroup() {
    closeGroup(std::numeric_limits<std::int32_t>::max(),
               [](std::size_t, std::int32_t) { return std::string_view(); });
  }

  // Closes a group whose records from position `from` on are still in the batch.
  template <class TextAt>
  void closeGroup(std::int32_t from, const TextAt& textAt) {
    if constexpr (std::is_same_v<Groups, AverageGroups>) {
      // Numbers never need quotes.
      (void)from, (void)textAt;
      char text[kNumberTextMax];
      for (std::size_t f = 0; f < groups_.fields(); ++f) {
        if (f > 0) texts_ += ',';
        texts_.append(text, formatSingle(groups_.mean(f), text));
      }
      ends_.push_back(texts_.size());
    } else {
      for (std::int32_t row = 0; row < rows_; ++row) {
        for (std::size_t f = first_; f < last_; ++f) {
          if (f > first_) texts_ += ',';
          appendOutput(texts_, groups_.output(f, row, from, textAt));
        }
        ends_.push_back(texts_.size());
      }
    }
    groups_.reset();
  }

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
  static Groups make(const ThinSettings& settings, std::size_t first, std::size_t last) {
    if constexpr (std::is_same_v<Groups, AverageGroups>) {
      return AverageGroups(settings.interval, last - first);
    } else {
      return TextGroups(settings, first, last);
    }
  }
  void addField(std::size_t f, std::string_view text, std::int32_t at) {
    if constexpr (std::is_same_v<Groups, AverageGroups>) {
      (void)at;
      groups_.addText(f - first_, text);
    } else {
      groups_.add(f, text, at);
    }
  }

  Groups groups_;
  std::size_t first_;
  std::size_t last_;
  std::int32_t rows_;  // output records per group
  std::string texts_;
  std::vector<std::size_t> ends_;
};

// Below this many records a batch is not worth handing half of to the helper.
constexpr std::size_t kRecordsForHelper = 256;

// Thins records as they arrive and writes each result record, as a save writes it, into the
// output the moment its group completes. Header lines are written as they arrive.
class RecordThinner {
 public:
  RecordThinner(const StreamSettings& settings, Output& out)
      : settings_(settings.thin),
        mode_(settings.thin.mode),
        clock_(settings.thin.interval),
        headerLeft_(std::max(0, settings.thin.headerLines)),
        out_(out) {}

  // How many of the coming records simple thinning skips without looking at them.
  std::size_t skippable() const noexcept {
    if (mode_ != ThinMode::Simple || recordsRead_ == 0 || clock_.opensGroup()) return 0;
    return static_cast<std::size_t>(clock_.remaining());
  }
  // How many records the pipeline may hand over in one batch.
  std::size_t wanted() const noexcept { return mode_ == ThinMode::Simple ? 1 : kBatchRecords; }

  void skipped(std::size_t records) {
    recordsRead_ += records;
    if (clock_.advance(static_cast<std::int32_t>(records))) commit();
  }

  void add(const ScannedRecord& record) {
    if (recordsRead_++ == 0) start(record.fields.size());
    // Fields beyond F are dropped; missing ones are empty cells, which add nothing to a sum.
    const std::size_t present = std::min(fields_, record.fields.size());
    if (headerLeft_ > 0) {
      --headerLeft_;
      writeRecord(record, present);
      commit();
    } else if (mode_ == ThinMode::Simple) {
      if (clock_.opensGroup()) writeRecord(record, present);
      if (clock_.advance()) commit();
    } else if (ruled_.empty()) {
      addTo(ranges_, record, present);
    } else {
      addTo(ruled_, record, present);
    }
  }

  // The records of a batch of plain lines whose offsets count from `base`. Thinning by groups
  // splits the fields with the helper when there is one.
  void addPlain(const char* base, const PlainBatch& batch) {
    if (batch.records() == 0) return;
    if (recordsRead_ == 0) start(batch.recordEnds[0]);
    std::size_t from = 0;
    for (; from < batch.records() && headerLeft_ > 0; ++from, --headerLeft_) {
      ++recordsRead_;
      writePlainRecord(base, batch, from);
      commit();
    }
    if (mode_ == ThinMode::Simple) {
      for (std::size_t r = from; r < batch.records(); ++r) addSimple(base, batch, r);
    } else if (ruled_.empty()) {
      addPlainTo(ranges_, base, batch, from);
    } else {
      addPlainTo(ruled_, base, batch, from);
    }
  }

  // Drops the first record of a group that never completed.
  void finish() { out_.bytes.resize(out_.committed); }

  void summarise(StreamSummary& summary) const {
    summary.recordsRead = recordsRead_;
    summary.fields = fields_;
    summary.recordsWritten = recordsWritten_;
    summary.trailingDropped = static_cast<std::uint64_t>(clock_.pending());
    summary.notNumbers = 0;
    for (const auto& range : ranges_) summary.notNumbers += range.notNumbers();
    for (const auto& range : ruled_) summary.notNumbers += range.notNumbers();
  }

 private:
  void start(std::size_t fields) {
    fields_ = fields;
    if (mode_ == ThinMode::Simple) return;
    const bool plain = plainGroups(settings_, static_cast<std::int64_t>(fields));
    const auto addRange = [&](std::size_t first, std::size_t last) {
      if (plain) {
        ranges_.emplace_back(settings_, first, last);
      } else {
        ruled_.emplace_back(settings_, first, last);
      }
    };
    if (fields >= 2 && helper_.start()) {
      // This thread also reads and scans the text: it keeps a third of the fields.
      const std::size_t split = std::max<std::size_t>(1, fields / 3);
      addRange(0, split);
      addRange(split, fields);
    } else {
      addRange(0, fields);
    }
  }

  template <class Ranges>
  void addTo(Ranges& ranges, const ScannedRecord& record, std::size_t present) {
    for (auto& range : ranges) range.add(record, present, clock_);
    if (clock_.advance()) {
      for (auto& range : ranges) range.closeGroup();
      writeGroups(ranges);
    }
  }

  template <class Ranges>
  void addPlainTo(Ranges& ranges, const char* base, const PlainBatch& batch, std::size_t from) {
    const std::size_t to = batch.records();
    if (from == to) return;
    const GroupClock before = clock_;
    if (ranges.size() == 2 && to - from >= kRecordsForHelper) {
      auto second = [&] { ranges[1].addPlain(base, batch, from, to, fields_, before); };
      helper_.post(second);
      ranges[0].addPlain(base, batch, from, to, fields_, before);
      helper_.wait();
    } else {
      for (auto& range : ranges) range.addPlain(base, batch, from, to, fields_, before);
    }
    for (std::size_t r = from; r < to; ++r) clock_.advance();
    recordsRead_ += to - from;
    writeGroups(ranges);
  }

  // A record as simple thinning writes it: F fields, a missing one written as nothing.
  void writeRecord(const ScannedRecord& record, std::size_t present) {
    for (std::size_t f = 0; f < fields_; ++f) {
      if (f > 0) out_.bytes += ',';
      if (f < present) appendSavedField(out_.bytes, record.fields[f]);
    }
    out_.bytes += "\r\n";
  }

  void addSimple(const char* base, const PlainBatch& batch, std::size_t record) {
    ++recordsRead_;
    if (clock_.opensGroup()) writePlainRecord(base, batch, record);
    if (clock_.advance()) commit();
  }

  void writePlainRecord(const char* base, const PlainBatch& batch, std::size_t record) {
    const std::uint32_t first = batch.firstField(record);
    const std::size_t present = std::min<std::size_t>(fields_, batch.recordEnds[record] - first);
    writePlain(base + batch.recordStart(record), base, batch.fieldEnds.data() + first, present);
  }

  // A plain line has no quote, comma or record separator inside a field; unless it holds a
  // lone CR or LF, its first F fields are written as they stand.
  void writePlain(const char* start, const char* base, const std::uint32_t* ends,
                  std::size_t present) {
    const char* end = base + ends[present - 1];
    if (!holdsLineEnd(start, end)) {
      out_.bytes.append(start, end);
    } else {
      for (std::size_t f = 0; f < present; ++f) {
        if (f > 0) out_.bytes += ',';
        const char* fieldEnd = base + ends[f];
        appendSavedField(out_.bytes,
                         std::string_view(start, static_cast<std::size_t>(fieldEnd - start)));
        start = fieldEnd + 1;
      }
    }
    out_.bytes.append(fields_ - present, ',');
    out_.bytes += "\r\n";
  }

  // The output records the field ranges completed, each range giving its fields.
  template <class Ranges>
  void writeGroups(Ranges& ranges) {
    for (std::size_t g = 0; g < ranges[0].groups(); ++g) {
      for (std::size_t i = 0; i < ranges.size(); ++i) {
        if (i > 0) out_.bytes += ',';
        out_.bytes += ranges[i].group(g);
      }
      out_.bytes += "\r\n";
      commit();
    }
    for (auto& range : ranges) range.clearGroups();
  }

  void commit() {
    out_.committed = out_.bytes.size();
    ++recordsWritten_;
  }

  ThinSettings settings_;
  ThinMode mode_;
  GroupClock clock_;
  std::int32_t headerLeft_;  // header lines still to come
  std::size_t fields_ = 0;
  std::vector<FieldRange<AverageGroups>>
      ranges_;                                 // plain average thinning: all fields or two parts
  std::vector<FieldRange<TextGroups>> ruled_;  // any other settings, the same way
  WorkerThread helper_;
  Output& out_;
  std::uint64_t recordsRead_ = 0;
  std::uint64_t recordsWritten_ = 0;
};

FileError changedSize(const std::string& name) {
  return FileError{FileError::Kind::ChangedSize, name, "", 0};
}

// Settles the encoding of a regular file on a second thread, reading it at its own positions,
// while the pipeline reads and thins it: the file is read once on the pipeline's thread.
class EncodingCheck {
 public:
  struct Outcome {
    EncodingVerdict verdict;
    std::optional<FileError> error;
  };

  // False where positional reads or threads are not to be had; the pipeline then checks first.
  bool start(const InputFile& input) {
#if defined(VORLET_POSITIONAL_READS)
    input_ = &input;
    at_ = ::lseek(input.descriptor(), 0, SEEK_CUR);
    if (at_ < 0) return false;
    // Everything the thread needs is allocated here, and its stack is small: under a tight
    // address space limit the check runs first instead of failing halfway.
    buffer_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, input.size() + 1)));
    pthread_attr_t attributes;
    if (::pthread_attr_init(&attributes) != 0) return false;
    ::pthread_attr_setstacksize(&attributes, kStack);
    started_ = ::pthread_create(&thread_, &attributes, &EncodingCheck::run, this) == 0;
    ::pthread_attr_destroy(&attributes);
    return started_;
#else
    (void)input;
    return false;
#endif
  }

  ~EncodingCheck() {
    stop_.store(true, std::memory_order_relaxed);
    join();
  }

  bool finished() const noexcept {
    return finished_.load(std::memory_order_acquire);
  }

  const Outcome& wait() {
    join();
    return outcome_;
  }

 private:
#if defined(VORLET_POSITIONAL_READS)
  static constexpr std::size_t kBlock = std::size_t{256} << 10;  // stays in the cache
  static constexpr std::size_t kStack = std::size_t{256} << 10;

  static void* run(void* self) {
    auto& check = *static_cast<EncodingCheck*>(self);
    try {
      check.check();
    } catch (const std::bad_alloc&) {
      check.outcome_.error =
          FileError{FileError::Kind::TooLarge, check.input_->name(), "out of memory", 0};
    }
    check.finished_.store(true, std::memory_order_release);
    return nullptr;
  }

  void check() {
    EncodingDetector detector;
    std::uint64_t seen = 0;
    while (!detector.settled() && !stop_.load(std::memory_order_relaxed)) {
      const ssize_t got = ::pread(input_->descriptor(), buffer_.data(), buffer_.size(),
                                  at_ + static_cast<off_t>(seen));
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        outcome_.error = fileErrorFromErrno(errno, input_->name());
        return;
      }
      if (got == 0) break;
      detector.feed(std::string_view(buffer_.data(), static_cast<std::size_t>(got)));
      seen += static_cast<std::uint64_t>(got);
    }
    outcome_.verdict = detector.verdict();
    if (!detector.settled() && seen != input_->size()) outcome_.error = changedSize(input_->name());
  }

  void join() {
    if (started_) ::pthread_join(thread_, nullptr);
    started_ = false;
  }

  const InputFile* input_ = nullptr;
  off_t at_ = 0;
  std::vector<char> buffer_;
  pthread_t thread_{};
  bool started_ = false;
#else
  void join() {}
#endif
  std::atomic<bool> stop_{false};
  std::atomic<bool> finished_{false};
  Outcome outcome_;
};

// One run of the stream pipeline over one input.
class StreamPipeline {
 public:
  StreamPipeline(InputFile& input, const StreamSettings& settings, const ByteSink& sink)
      : input_(input), settings_(settings), sink_(sink) {
    // Room for the byte order mark in the first chunk, whatever the chunk size.
    buffer_.resize(std::max<std::size_t>(settings.chunkSize, 4));
  }

  std::variant<StreamSummary, FileError> run() {
    // What fits in one chunk is read once and checked in memory; so is what cannot be read twice.
    if (!input_.regular() || input_.size() < capacity()) return runWhole();
    // Room for the bytes held back is taken up front: where memory is that tight, the check
    // runs first instead.
    try {
      out_.bytes.reserve(std::min<std::uint64_t>(kHoldAtMost, input_.size()) + kFlushAt);
    } catch (const std::bad_alloc&) {
      return runChecked();
    }
    EncodingCheck check;
    if (!check.start(input_)) return runChecked();
    // Thin as if the text were UTF-8, its byte order mark read from the first bytes; only a
    // Shift-JIS verdict, which counts characters differently, makes the pipeline start again.
    if (auto error = fill()) return *error;
    const bool bom = std::string_view(buffer_.data(), end_).starts_with(kUtf8Bom);
    const TextEncoding guess = bom ? TextEncoding::Utf8WithBom : TextEncoding::Utf8;
    check_ = &check;
    auto result = thin(guess);
    // The check's findings come first, as they would have in a first pass.
    const EncodingCheck::Outcome& outcome = check.wait();
    if (outcome.error) return *outcome.error;
    if (auto error = refusalOf(outcome.verdict, input_.name())) return *error;
    if (!restart_) return result;
    check_ = nullptr;
    restart_ = false;
    if (auto error = input_.rewind()) return *error;
    pos_ = end_ = 0;
    bytesRead_ = 0;
    if (auto error = fill()) return *error;
    return thin(encodingOf(outcome.verdict));
  }

 private:
  std::variant<StreamSummary, FileError> runWhole() {
    EncodingVerdict verdict;
    if (auto error = readAll(verdict)) return *error;
    if (verdict.kind == EncodingVerdict::Kind::Binary) return *refusalOf(verdict, input_.name());
    if (input_.regular() && end_ != input_.size()) return changedSize(input_.name());
    if (auto error = refusalOf(verdict, input_.name())) return *error;
    return thin(encodingOf(verdict));
  }

  // Where no second thread checks, a first pass settles the encoding.
  std::variant<StreamSummary, FileError> runChecked() {
    EncodingVerdict verdict;
    if (auto error = checkFile(verdict)) return *error;
    if (auto error = refusalOf(verdict, input_.name())) return *error;
    if (auto error = fill()) return *error;
    return thin(encodingOf(verdict));
  }

  // Thins what the buffer holds and what follows; the first chunk is in.
  std::variant<StreamSummary, FileError> thin(TextEncoding encoding) {
    StreamSummary summary;
    summary.encoding = encoding;
    const std::size_t bom = encoding == TextEncoding::Utf8WithBom ? kUtf8Bom.size() : 0;
    if (final_ && end_ == bom) return FileError{FileError::Kind::NoRecords, input_.name(), "", 0};

    Output& out = out_;
    out.bytes.reserve(roomFor(kFlushAt + (kFlushAt >> 2)));
    out.bytes.assign(kUtf8Bom.substr(0, bom));
    out.committed = out.bytes.size();
    RecordThinner thinner(settings_, out);
    pos_ = std::min(bom, end_);
    if (auto error = thinRecords(charSetOf(encoding), thinner, out)) return *error;
    if (restart_) return FileError{};
    thinner.finish();
    thinner.summarise(summary);
    out.bytes += "\r\n";
    out.committed = out.bytes.size();
    if (auto error = flush(out, true)) return *error;
    return summary;
  }

  std::optional<FileError> thinRecords(CharSet charset, RecordThinner& thinner, Output& out) {
    RecordScanner scanner(charset);
    const PlainLines plain{Separators{}};
    ScannedRecord record;
    PlainBatch batch;
    batch.fieldEnds.reserve(roomFor(kBatchRecords * 16));
    batch.recordEnds.reserve(roomFor(kBatchRecords));
    for (;;) {
      const std::string_view text(buffer_.data(), end_);
      if (plain.usable()) {
        if (const std::size_t skippable = thinner.skippable(); skippable > 0) {
          std::size_t skipped = 0;
          pos_ = plain.skip(text, pos_, skippable, skipped);
          if (skipped > 0) {
            thinner.skipped(skipped);
            continue;
          }
        } else {
          pos_ = plain.read(text, pos_, thinner.wanted(), batch);
          thinner.addPlain(text.data() + batch.base, batch);
          if (batch.records() > 0) {
            if (auto error = flush(out, false)) return error;
            if (restart_) return std::nullopt;
            continue;
          }
        }
      }
      // A line with a quote, or the end of what has been read: the reading rules in full.
      const auto status = scanner.next(text, pos_, final_, record);
      if (status == RecordScanner::Status::Record) {
        thinner.add(record);
        if (auto error = flush(out, false)) return error;
        if (restart_) return std::nullopt;
      } else if (status == RecordScanner::Status::End || final_) {
        break;
      } else if (auto error = fill()) {
        return error;
      }
    }
    if (input_.regular() && bytesRead_ != input_.size()) return changedSize(input_.name());
    return std::nullopt;
  }

  // Hands the committed bytes to the sink once there are enough of them (all of them at the
  // end), but not before the encoding is settled: until then they are held, up to a limit.
  // Sets restart_ when the verdict calls for reading again.
  std::optional<FileError> flush(Output& out, bool last) {
    if (!last && out.committed < kFlushAt) return std::nullopt;
    if (check_ != nullptr) {
      // Half the room reserved: a record would have to be huge to make the bytes move.
      const bool room = out.committed < out.bytes.capacity() / 2;
      if (!last && !check_->finished() && room) return std::nullopt;
      const EncodingCheck::Outcome& outcome = check_->wait();
      if (outcome.error) return outcome.error;
      if (auto error = refusalOf(outcome.verdict, input_.name())) return error;
      if (outcome.verdict.kind == EncodingVerdict::Kind::ShiftJis) {
        restart_ = true;
        return std::nullopt;
      }
      check_ = nullptr;
    }
    if (auto error = sink_(std::string_view(out.bytes).substr(0, out.committed))) return error;
    out.bytes.erase(0, out.committed);
    out.committed = 0;
    return std::nullopt;
  }

  // Room worth reserving up front: `wanted`, or less when all of a small input is in the buffer.
  std::size_t roomFor(std::size_t wanted) const noexcept {
    return final_ ? std::min(wanted, 2 * end_ + 64) : wanted;
  }

  // First pass over a regular file: settle the encoding, chunk by chunk.
  std::optional<FileError> checkFile(EncodingVerdict& verdict) {
    EncodingDetector detector;
    std::uint64_t seen = 0;
    std::size_t got = 0;
    do {
      if (auto error = input_.read(buffer_.data(), capacity(), got)) return error;
      detector.feed(std::string_view(buffer_.data(), got));
      seen += got;
    } while (got == capacity() && !detector.settled());
    verdict = detector.verdict();
    if (!detector.settled() && seen != input_.size()) return changedSize(input_.name());
    return input_.rewind();
  }

  // The whole input in the buffer, its encoding settled up front. A NUL byte settles it at
  // once: the reading stops there rather than hold an endless binary stream in memory.
  std::optional<FileError> readAll(EncodingVerdict& verdict) {
    EncodingDetector detector;
    end_ = 0;
    for (;;) {
      if (end_ == capacity()) grow();
      const std::size_t wanted = capacity() - end_;
      std::size_t got = 0;
      if (auto error = input_.read(buffer_.data() + end_, wanted, got)) return error;
      detector.feed(std::string_view(buffer_.data() + end_, got));
      end_ += got;
      if (got < wanted || detector.settled()) break;
    }
    final_ = true;
    bytesRead_ = end_;
    verdict = detector.verdict();
    return std::nullopt;
  }

  // Keeps the unfinished record at the front and reads behind it until the buffer is full or
  // the input ends. A record that fills the whole buffer doubles it, so rescanning it stays
  // linear overall. Before it grows, the encoding check has its say: a binary file has no line
  // ends, and its one "record" would otherwise take all the memory there is before the check's
  // refusal is heard.
  std::optional<FileError> fill() {
    const std::size_t tail = end_ - pos_;
    if (pos_ > 0) std::memmove(buffer_.data(), buffer_.data() + pos_, tail);
    pos_ = 0;
    end_ = tail;
    if (end_ == capacity()) {
      if (check_ != nullptr) {
        const EncodingCheck::Outcome& outcome = check_->wait();
        if (outcome.error) return outcome.error;
        if (auto error = refusalOf(outcome.verdict, input_.name())) return error;
      }
      grow();
    }
    const std::size_t wanted = capacity() - end_;
    std::size_t got = 0;
    if (auto error = input_.read(buffer_.data() + end_, wanted, got)) return error;
    end_ += got;
    bytesRead_ += got;
    final_ = got < wanted;
    return std::nullopt;
  }

  std::size_t capacity() const noexcept { return buffer_.size(); }
  void grow() { buffer_.resize(buffer_.size() * 2); }

  InputFile& input_;
  const StreamSettings& settings_;
  const ByteSink& sink_;
  std::string buffer_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  bool final_ = false;
  std::uint64_t bytesRead_ = 0;
  Output out_;
  EncodingCheck* check_ = nullptr;  // the check still to be heard, if any
  bool restart_ = false;
};

}  // namespace

std::variant<StreamSummary, FileError> thinStream(InputFile& input, const StreamSettings& settings,
                                                  const ByteSink& sink) {
  try {
    return StreamPipeline(input, settings, sink).run();
  } catch (const std::bad_alloc&) {
    return FileError{FileError::Kind::TooLarge, input.name(), "out of memory", 0};
  }
}

}  // namespace vorlet

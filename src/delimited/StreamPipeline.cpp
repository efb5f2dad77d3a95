#include "delimited/StreamPipeline.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <string>

#include "delimited/EncodingCheck.h"
#include "delimited/JoinDelimited.h"
#include "delimited/RecordSource.h"
#include "delimited/TextEncoding.h"
#include "thinning/RecordThinner.h"

namespace vorlet {

namespace {

constexpr std::size_t kFlushAt = std::size_t{1} << 20;
// Thinned bytes held back while the encoding is still being checked; past half of this the pipeline
// waits for the check. Waiting costs time, not work: the check reads faster than the thinning.
constexpr std::size_t kHoldAtMost = std::size_t{4} << 20;
// Fields laid out at a time, about what the thinner asks for.
constexpr std::size_t kBatchFields = std::size_t{8192} * 16;

FileError changedSize(const std::string& name) {
  return FileError{FileError::Kind::ChangedSize, name, "", 0};
}

// One run of the stream pipeline over one input.
class StreamPipeline {
 public:
  // Room for the byte order mark in the first chunk, whatever the chunk size. Reads start at a
  // multiple of `align_` behind the unfinished record: a page, or less for small test chunks.
  StreamPipeline(InputFile& input, const StreamSettings& settings, const ByteSink& sink)
      : input_(input),
        settings_(settings),
        sink_(sink),
        chunk_(std::max<std::size_t>(settings.chunkSize, 4)),
        align_(std::clamp<std::size_t>(std::bit_floor(chunk_ / 16), 1, ReadBuffer::kPage)),
        buffer_(chunk_ + align_) {}

  std::variant<StreamSummary, FileError> run() {
    // What fits in one chunk is read once and checked in memory; so is what cannot be read twice.
    if (!input_.regular() || input_.size() < chunk_) return runWhole();
    if (settings_.startOver) return runOnce();
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
    if (!restart_) return settled(std::move(result), outcome.verdict);
    check_ = nullptr;
    restart_ = false;
    return again(encodingOf(outcome.verdict));
  }

 private:
  // One pass: the encoding is settled on the way, from every chunk read; the sink starts over
  // when the file must be thinned again.
  std::variant<StreamSummary, FileError> runOnce() {
    detector_.emplace();
    if (auto error = fill()) return *error;
    const bool bom = std::string_view(buffer_.data(), end_).starts_with(kUtf8Bom);
    auto result = thin(bom ? TextEncoding::Utf8WithBom : TextEncoding::Utf8);
    // The encoding's refusal comes first, as it would have in a first pass.
    if (std::holds_alternative<FileError>(result)) {
      const auto refusal = refusalOfRest();
      const bool refused = refusal && (refusal->kind == FileError::Kind::Binary ||
                                       refusal->kind == FileError::Kind::Undecodable);
      return refused ? *refusal : result;
    }
    const EncodingVerdict verdict = detector_->verdict();
    if (auto error = refusalOf(verdict, input_.name())) return *error;
    if (verdict.kind != EncodingVerdict::Kind::ShiftJis || !detector_->readingsMayDiffer()) {
      return settled(std::move(result), verdict);
    }
    detector_.reset();
    if (auto error = settings_.startOver()) return *error;
    return again(TextEncoding::ShiftJis);
  }

  // A run thinned as UTF-8 stands for the encoding the verdict found.
  static std::variant<StreamSummary, FileError> settled(
      std::variant<StreamSummary, FileError> result, const EncodingVerdict& verdict) {
    if (auto* summary = std::get_if<StreamSummary>(&result))
      summary->encoding = encodingOf(verdict);
    return result;
  }

  // Thins the whole input again from its start.
  std::variant<StreamSummary, FileError> again(TextEncoding encoding) {
    if (auto error = input_.rewind()) return *error;
    pos_ = end_ = 0;
    bytesRead_ = 0;
    if (auto error = fill()) return *error;
    return thin(encoding);
  }

  // Reads what the one pass has left of the input into the detector, until a NUL byte settles
  // it: the refusal, if the input is refused, or the error that stopped the reading.
  std::optional<FileError> refusalOfRest() {
    std::size_t got = buffer_.size();
    while (!detector_->settled() && got == buffer_.size()) {
      if (auto error = input_.read(buffer_.data(), buffer_.size(), got)) return error;
      detector_->feed(std::string_view(buffer_.data(), got));
    }
    return refusalOf(detector_->verdict(), input_.name());
  }

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

    ThinnedBytes& out = out_;
    out.bytes.reserve(roomFor(kFlushAt + (kFlushAt >> 2)));
    out.bytes.assign(kUtf8Bom.substr(0, bom));
    out.committed = out.bytes.size();
    pos_ = std::min(bom, end_);
    const CharSet charset = charSetOf(encoding);
    // The line ends are settled by the first record, read whole first.
    std::optional<LineEnd> lineEnd;
    while (!(lineEnd =
                 lineEndOf(std::string_view(buffer_.data(), end_).substr(pos_), charset, final_))) {
      if (auto error = fill()) return *error;
    }
    summary.lineEnd = *lineEnd;
    const std::string_view recordEnd = lineEndText(*lineEnd);
    // Two batches: the helper may still thin its part of one while the next is read into the
    // other. They outlive the thinner, which waits for the helper before it goes.
    RecordBatch batches[2];
    RecordThinner thinner(settings_.thin, recordEnd, savedFieldWriter(*lineEnd), out);
    if (auto error = thinRecords(charset, recordEnd, thinner, batches, out)) return *error;
    if (restart_) return FileError{};
    thinner.finish();
    const ThinCounts counts = thinner.counts();
    summary.recordsRead = counts.recordsRead;
    summary.fields = counts.fields;
    summary.recordsWritten = counts.recordsWritten;
    summary.trailingDropped = counts.trailingDropped;
    summary.notNumbers = counts.notNumbers;
    out.bytes += recordEnd;
    out.committed = out.bytes.size();
    if (auto error = flush(out, true)) return *error;
    return summary;
  }

  // Both batches refer into the buffer, so the helper must be done before it changes, and with
  // a batch laid out in the source's storage before the source's next call.
  std::optional<FileError> thinRecords(CharSet charset, std::string_view recordEnd,
                                       RecordThinner& thinner, RecordBatch (&batches)[2],
                                       ThinnedBytes& out) {
    RecordSource source(charset, Separators{',', recordEnd, '"'});
    for (RecordBatch& batch : batches) {
      batch.fieldEnds.reserve(roomFor(kBatchFields));
      batch.recordEnds.reserve(roomFor(thinner.wanted()));
      batch.recordStarts.reserve(roomFor(thinner.wanted()));
    }
    std::size_t current = 0;
    for (;;) {
      const std::string_view text(buffer_.data(), end_);
      RecordSource::Status status = RecordSource::Status::NeedMore;
      if (const std::size_t skippable = thinner.skippable(); skippable > 0) {
        std::size_t skipped = source.skip(text, pos_, skippable);
        if (skipped == 0) {
          // A line the fast path cannot pass: one record by the full rules.
          status = source.pass(text, pos_, final_);
          skipped = status == RecordSource::Status::Records ? 1 : 0;
        }
        if (skipped > 0) {
          thinner.skipped(skipped);
          continue;
        }
      } else {
        if (!batches[1 - current].plain) thinner.settle();
        RecordBatch& batch = batches[current];
        status = source.next(text, pos_, final_, thinner.wanted(), batch);
        if (status == RecordSource::Status::Records) {
          thinner.add(batch, RecordThinner::Overlap::Allowed);
          current = 1 - current;
          if (auto error = flush(out, false)) return error;
          if (restart_) return std::nullopt;
          continue;
        }
      }
      thinner.settle();
      if (status == RecordSource::Status::End || final_) {
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
  std::optional<FileError> flush(ThinnedBytes& out, bool last) {
    if (!last && out.committed < kFlushAt) return std::nullopt;
    if (check_ != nullptr) {
      // Half the room reserved: a record would have to be huge to make the bytes move.
      const bool room = out.committed < out.bytes.capacity() / 2;
      if (!last && !check_->finished() && room) return std::nullopt;
      const EncodingCheck::Outcome& outcome = check_->wait();
      if (outcome.error) return outcome.error;
      if (auto error = refusalOf(outcome.verdict, input_.name())) return error;
      if (outcome.verdict.kind == EncodingVerdict::Kind::ShiftJis && outcome.readingsMayDiffer) {
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
      if (end_ == capacity()) buffer_.grow(2 * capacity(), end_);
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

  // Moves the unfinished record to just before the next multiple of the alignment and reads
  // behind it until the buffer is full or the input ends. A record that leaves no room doubles
  // the buffer, so rescanning it stays linear overall. Before it grows, the encoding check has
  // its say: a binary file has no line ends, and its one "record" would otherwise take all the
  // memory there is before the refusal is heard.
  std::optional<FileError> fill() {
    const std::size_t tail = end_ - pos_;
    std::size_t readAt = (tail + align_ - 1) / align_ * align_;
    if (readAt >= capacity()) {
      if (check_ != nullptr) {
        const EncodingCheck::Outcome& outcome = check_->wait();
        if (outcome.error) return outcome.error;
        if (auto error = refusalOf(outcome.verdict, input_.name())) return error;
      }
      std::memmove(buffer_.data(), buffer_.data() + pos_, tail);
      pos_ = 0;
      buffer_.grow(2 * capacity(), tail);
      readAt = (tail + align_ - 1) / align_ * align_;
    }
    if (pos_ != readAt - tail)
      std::memmove(buffer_.data() + readAt - tail, buffer_.data() + pos_, tail);
    pos_ = readAt - tail;
    end_ = readAt;
    const std::size_t wanted = capacity() - end_;
    std::size_t got = 0;
    if (auto error = input_.read(buffer_.data() + end_, wanted, got)) return error;
    if (detector_) {
      // Nothing is thinned past a refusal.
      detector_->feed(std::string_view(buffer_.data() + end_, got));
      if (detector_->refused()) return refusalOfRest();
    }
    end_ += got;
    bytesRead_ += got;
    final_ = got < wanted;
    return std::nullopt;
  }

  std::size_t capacity() const noexcept { return buffer_.size(); }

  InputFile& input_;
  const StreamSettings& settings_;
  const ByteSink& sink_;
  const std::size_t chunk_;
  const std::size_t align_;
  ReadBuffer buffer_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  bool final_ = false;
  std::uint64_t bytesRead_ = 0;
  ThinnedBytes out_;
  EncodingCheck* check_ = nullptr;            // the check still to be heard, if any
  std::optional<EncodingDetector> detector_;  // the one pass's check
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

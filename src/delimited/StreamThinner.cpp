#include "delimited/StreamThinner.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "delimited/Module3.h"
#include "delimited/RecordScanner.h"
#include "delimited/TextEncoding.h"
#include "table/NumberText.h"

namespace vorlet {

namespace {

constexpr std::size_t kFlushAt = std::size_t{1} << 20;

// Thins records as they arrive and appends each result record, as a save writes it, the
// moment its group completes.
class RecordThinner {
 public:
  RecordThinner(const StreamSettings& settings, std::string& out)
      : mode_(settings.mode), interval_(settings.interval), clock_(settings.interval), out_(out) {}

  void add(const ScannedRecord& record) {
    if (recordsRead_++ == 0) start(record.fields.size());
    // Fields beyond F are dropped; missing ones are empty cells, which add nothing to a sum.
    const std::size_t present = std::min(fields_, record.fields.size());
    if (mode_ == ThinMode::Simple) {
      if (clock_.opensGroup()) keep(record, present);
      if (clock_.advance()) writeKept();
      return;
    }
    for (std::size_t f = 0; f < present; ++f) groups_->add(f, Cell::text(record.fields[f]));
    if (clock_.advance()) {
      writeMeans();
      groups_->reset();
    }
  }

  void summarise(StreamSummary& summary) const {
    summary.recordsRead = recordsRead_;
    summary.fields = fields_;
    summary.recordsWritten = recordsWritten_;
    summary.trailingDropped = static_cast<std::uint64_t>(clock_.pending());
    summary.notNumbers = groups_ ? groups_->notNumbers() : 0;
  }

 private:
  void start(std::size_t fields) {
    fields_ = fields;
    if (mode_ == ThinMode::Average) groups_.emplace(interval_, fields);
  }

  // The group's first record is written only when the group completes, after its views into
  // the input buffer are gone; so its bytes are copied.
  void keep(const ScannedRecord& record, std::size_t present) {
    kept_.clear();
    keptEnds_.clear();
    for (std::size_t f = 0; f < present; ++f) {
      kept_.append(record.fields[f]);
      keptEnds_.push_back(kept_.size());
    }
  }

  void writeKept() {
    std::size_t begin = 0;
    for (std::size_t f = 0; f < fields_; ++f) {
      if (f > 0) out_ += ',';
      if (f < keptEnds_.size()) {
        appendSavedField(out_, std::string_view(kept_).substr(begin, keptEnds_[f] - begin));
        begin = keptEnds_[f];
      }
    }
    endRecord();
  }

  void writeMeans() {
    char text[kNumberTextMax];
    for (std::size_t f = 0; f < fields_; ++f) {
      if (f > 0) out_ += ',';
      appendSavedField(out_, std::string_view(text, formatSingle(groups_->mean(f), text)));
    }
    endRecord();
  }

  void endRecord() {
    out_ += "\r\n";
    ++recordsWritten_;
  }

  ThinMode mode_;
  std::int16_t interval_;
  GroupClock clock_;
  std::optional<AverageGroups> groups_;
  std::size_t fields_ = 0;
  std::string kept_;
  std::vector<std::size_t> keptEnds_;
  std::string& out_;
  std::uint64_t recordsRead_ = 0;
  std::uint64_t recordsWritten_ = 0;
};

// One run of the road over one input.
class Road {
 public:
  Road(InputFile& input, const StreamSettings& settings, const ByteSink& sink)
      : input_(input), settings_(settings), sink_(sink) {
    // Room for the byte order mark in the first chunk, whatever the chunk size.
    buffer_.resize(std::max<std::size_t>(settings.chunkSize, 4));
  }

  std::variant<StreamSummary, FileError> run() {
    EncodingVerdict verdict;
    if (auto error = input_.regular() ? checkFile(verdict) : readAll(verdict)) return *error;
    if (auto error = refusalOf(verdict, input_.name())) return *error;
    StreamSummary summary;
    summary.encoding = encodingOf(verdict);
    const std::size_t bom = summary.encoding == TextEncoding::Utf8WithBom ? kUtf8Bom.size() : 0;
    if (input_.regular() && (input_.size() == bom)) return noRecords();
    if (!input_.regular() && end_ == bom) return noRecords();

    std::string out;
    out.reserve(kFlushAt + (kFlushAt >> 4));
    if (bom > 0) out = kUtf8Bom;
    RecordThinner thinner(settings_, out);
    if (auto error = thinRecords(summary.encoding, bom, thinner, out)) return *error;
    thinner.summarise(summary);
    out += "\r\n";
    if (auto error = sink_(out)) return *error;
    return summary;
  }

 private:
  // First pass over a regular file: settle the encoding, chunk by chunk.
  std::optional<FileError> checkFile(EncodingVerdict& verdict) {
    EncodingDetector detector;
    std::uint64_t seen = 0;
    std::size_t got = 0;
    do {
      if (auto error = input_.read(buffer_.data(), buffer_.size(), got)) return error;
      detector.feed(std::string_view(buffer_.data(), got));
      seen += got;
    } while (got == buffer_.size() && !detector.settled());
    verdict = detector.verdict();
    if (!detector.settled() && seen != input_.size()) return changedSize();
    return input_.rewind();
  }

  // Anything that cannot be read twice is held whole, so its encoding is settled up front.
  std::optional<FileError> readAll(EncodingVerdict& verdict) {
    end_ = 0;
    for (;;) {
      if (end_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);
      const std::size_t wanted = buffer_.size() - end_;
      std::size_t got = 0;
      if (auto error = input_.read(buffer_.data() + end_, wanted, got)) return error;
      end_ += got;
      if (got < wanted) break;
    }
    final_ = true;
    verdict = detectEncoding(std::string_view(buffer_.data(), end_));
    return std::nullopt;
  }

  std::optional<FileError> thinRecords(TextEncoding encoding, std::size_t bom,
                                       RecordThinner& thinner, std::string& out) {
    if (input_.regular()) {
      if (auto error = fill()) return error;
    }
    pos_ = std::min(bom, end_);
    RecordScanner scanner(charSetOf(encoding));
    ScannedRecord record;
    for (;;) {
      const auto status =
          scanner.next(std::string_view(buffer_.data(), end_), pos_, final_, record);
      if (status == RecordScanner::Status::Record) {
        thinner.add(record);
        if (out.size() >= kFlushAt) {
          if (auto error = sink_(out)) return error;
          out.clear();
        }
      } else if (status == RecordScanner::Status::End || final_) {
        break;
      } else if (auto error = fill()) {
        return error;
      }
    }
    if (input_.regular() && bytesRead_ != input_.size()) return changedSize();
    return std::nullopt;
  }

  // Keeps the unfinished record at the front and reads behind it until the buffer is full or
  // the input ends. A record that fills the whole buffer doubles it, so rescanning it stays
  // linear overall.
  std::optional<FileError> fill() {
    const std::size_t tail = end_ - pos_;
    if (pos_ > 0) std::memmove(buffer_.data(), buffer_.data() + pos_, tail);
    pos_ = 0;
    end_ = tail;
    if (end_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);
    const std::size_t wanted = buffer_.size() - end_;
    std::size_t got = 0;
    if (auto error = input_.read(buffer_.data() + end_, wanted, got)) return error;
    end_ += got;
    bytesRead_ += got;
    final_ = got < wanted;
    return std::nullopt;
  }

  FileError changedSize() const {
    return FileError{FileError::Kind::ReadFailed, input_.name(),
                     "the file changed size while being read", 0};
  }
  FileError noRecords() const {
    return FileError{FileError::Kind::NoRecords, input_.name(), "", 0};
  }

  InputFile& input_;
  const StreamSettings& settings_;
  const ByteSink& sink_;
  std::string buffer_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  bool final_ = false;
  std::uint64_t bytesRead_ = 0;
};

}  // namespace

std::variant<StreamSummary, FileError> thinStream(InputFile& input, const StreamSettings& settings,
                                                  const ByteSink& sink) {
  try {
    return Road(input, settings, sink).run();
  } catch (const std::bad_alloc&) {
    return FileError{FileError::Kind::TooLarge, input.name(), "out of memory", 0};
  }
}

}  // namespace vorlet

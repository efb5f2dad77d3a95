#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "delimited/RecordScanner.h"
#include "table/RecordBatch.h"

namespace vorlet {

// Where both pipelines get their records: the reading rules of RecordScanner, with a fast path
// for the common case of numeric files. A line without a quote byte is one record whose fields
// are cut at every field separator; runs of such lines are read 64 bytes at a time into one
// batch. A line with a quote, a line whose record separator is not in the text (yet), and every
// line when the separators do not suit the fast path (it wants a one-byte field separator and
// quote and a one- or two-byte record separator, all different bytes) go through RecordScanner,
// in batches of their own (a run of lines that start with a quote makes one batch); their
// fields are laid out in the source's own storage, one separator byte apart.
class RecordSource {
 public:
  enum class Status : std::uint8_t {
    Records,   // `batch` holds at least one record; `pos` is past them
    NeedMore,  // the next record may go on past the end of `text`; `pos` unchanged
    End,       // `final` and nothing left
  };

  // What a batch that is not plain holds: its fields laid out, as every consumer of batches
  // wants; or, for a reader that keeps the text and refers into it, only its field count
  // (fieldCount() and records() alone serve), the fields being read through fieldsAsRead().
  enum class ReadFields : std::uint8_t { LaidOut, AsRead };

  explicit RecordSource(CharSet charset = CharSet::Utf8, const Separators& separators = {},
                        ReadFields readFields = ReadFields::LaidOut);

  // Reads up to `maxRecords` (at least one) records from `pos` into `batch`. `final` says that
  // `text` ends the input. The batch refers into `text` or into the source's storage, valid
  // until the next call. Throws std::bad_alloc for a record whose fields pass 4 GB.
  Status next(std::string_view text, std::size_t& pos, bool final, std::size_t maxRecords,
              RecordBatch& batch);

  // The fields of the record in a batch that is not plain (with ReadFields::AsRead, one record
  // a batch), as the scanner read them: views into
  // `text` where a field's bytes are unchanged (a reader that keeps the text refers to those),
  // into the source's storage where they were rebuilt. Valid until the next call.
  const std::vector<std::string_view>& fieldsAsRead() const noexcept { return scanned_.fields; }

  // Passes over up to `count` plain lines from `pos` without reading their fields; returns how
  // many it passed. Stops early, where next() takes over, at a line it cannot be sure of.
  std::size_t skip(std::string_view text, std::size_t& pos, std::size_t count) const noexcept;

  // Passes over the record at `pos` by the full rules, without handing out its fields: for a
  // line skip() stops at.
  Status pass(std::string_view text, std::size_t& pos, bool final);

  // A bound on the records of `text` (one more at most), or 0 when it cannot tell cheaply.
  std::size_t countRecords(std::string_view text) const noexcept;

  // Scans with the instructions every x86-64 CPU has, even where this one has wider ones: for
  // tests and benchmarks, which compare the two.
  void useBaselineScan() noexcept { avx2_ = false; }

 private:
  std::uint32_t layOut(const ScannedRecord& record, RecordBatch& batch, std::uint32_t used);

  RecordScanner scanner_;
  ScannedRecord scanned_;
  std::string laidOut_;  // the fields of a record the scanner read
  char field_;
  char quote_;
  char first_;  // the record separator's bytes; second_ is first_ for a one-byte separator
  char second_;
  std::uint32_t recordSize_;
  bool usable_;  // whether the fast path serves these separators
  ReadFields readFields_;
  bool avx2_;  // whether the plain scans use AVX2
};

}  // namespace vorlet

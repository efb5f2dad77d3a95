#include "delimited/RecordSource.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define VORLET_RECORD_SOURCE_SSE2 1
#endif
// Where GCC or clang build for x86-64, AVX2 scans too, used where the CPU has them.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define VORLET_RECORD_SOURCE_AVX2 1
#endif

namespace vorlet {
namespace {

#define VORLET_PLAIN_SCAN baseline
#include "delimited/PlainScan.h"
#undef VORLET_PLAIN_SCAN

#if defined(VORLET_RECORD_SOURCE_AVX2)
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,bmi,bmi2,popcnt"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,bmi,bmi2,popcnt")
#endif
#define VORLET_PLAIN_SCAN avx2
#define VORLET_PLAIN_SCAN_AVX2 1
#include "delimited/PlainScan.h"
#undef VORLET_PLAIN_SCAN_AVX2
#undef VORLET_PLAIN_SCAN
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

bool cpuHasAvx2() noexcept {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2");
}
#else
bool cpuHasAvx2() noexcept {
  return false;
}
#endif

// The separators as the scans want them.
struct ScanBytes {
  char field, quote, first, second;
  std::uint32_t recordSize;
};

// Runs `scan` with the scans made for the record separator's size and the instruction set.
template <class Scan>
auto withPlainScan(bool avx2, const ScanBytes& b, const Scan& scan) {
#if defined(VORLET_RECORD_SOURCE_AVX2)
  if (avx2) {
    return b.recordSize == 2 ? scan(avx2::PlainScan<2>(b.field, b.quote, b.first, b.second))
                             : scan(avx2::PlainScan<1>(b.field, b.quote, b.first, b.second));
  }
#else
  (void)avx2;
#endif
  return b.recordSize == 2 ? scan(baseline::PlainScan<2>(b.field, b.quote, b.first, b.second))
                           : scan(baseline::PlainScan<1>(b.field, b.quote, b.first, b.second));
}

}  // namespace

RecordSource::RecordSource(CharSet charset, const Separators& separators, ReadFields readFields)
    : scanner_(charset, separators),
      field_(separators.field),
      quote_(separators.quote),
      first_(separators.record.empty() ? '\0' : separators.record[0]),
      second_(separators.record.size() == 2 ? separators.record[1] : first_),
      recordSize_(static_cast<std::uint32_t>(separators.record.size())),
      usable_((recordSize_ == 1 || recordSize_ == 2) && field_ != quote_ && field_ != first_ &&
              field_ != second_ && quote_ != first_ && quote_ != second_ &&
              (recordSize_ == 1 || first_ != second_)),
      readFields_(readFields),
      avx2_(cpuHasAvx2()) {}

RecordSource::Status RecordSource::next(std::string_view text, std::size_t& pos, bool final,
                                        std::size_t maxRecords, RecordBatch& batch) {
  batch.clear();
  if (usable_) {
    pos =
        withPlainScan(avx2_, ScanBytes{field_, quote_, first_, second_, recordSize_},
                      [&](const auto& plain) { return plain.read(text, pos, maxRecords, batch); });
    if (batch.records() > 0) return Status::Records;
  }
  // Lines that start with a quote are read by the full rules: a run of them is one batch.
  std::uint32_t used = 0;
  Status status = Status::Records;
  do {
    const RecordScanner::Status scanned = scanner_.next(text, pos, final, scanned_);
    if (scanned != RecordScanner::Status::Record) {
      status = scanned == RecordScanner::Status::NeedMore ? Status::NeedMore : Status::End;
      break;
    }
    used = layOut(scanned_, batch, used);
  } while (readFields_ == ReadFields::LaidOut && batch.records() < maxRecords &&
           pos < text.size() && text[pos] == quote_);
  batch.base = laidOut_.data();
  return batch.records() > 0 ? Status::Records : status;
}

// The fields one separator byte apart, as a plain line has them, from `used` on in the
// source's storage: consumers then walk every batch alike. Returns the bytes used after them.
std::uint32_t RecordSource::layOut(const ScannedRecord& record, RecordBatch& batch,
                                   std::uint32_t used) {
  batch.plain = false;
  const std::vector<std::string_view>& fields = record.fields;
  if (readFields_ == ReadFields::AsRead) {
    batch.recordEnds.push_back(static_cast<std::uint32_t>(fields.size()));
    return used;
  }
  std::size_t total = used + fields.size();
  for (const std::string_view field : fields) total += field.size();
  if (total > UINT32_MAX) throw std::bad_alloc();
  // The storage only grows: what lies past the batch's bytes is never looked at.
  if (laidOut_.size() < total) laidOut_.resize(std::max(total, 2 * laidOut_.size()));
  char* const out = laidOut_.data();
  const std::size_t first = batch.fieldEnds.size();
  batch.fieldEnds.resize(first + fields.size());
  std::uint32_t* const ends = batch.fieldEnds.data() + first;
  batch.recordStarts.push_back(used);
  std::uint32_t at = used;
  for (std::size_t f = 0; f < fields.size(); ++f) {
    if (!fields[f].empty()) std::memcpy(out + at, fields[f].data(), fields[f].size());
    at += static_cast<std::uint32_t>(fields[f].size());
    ends[f] = at;
    out[at++] = field_;
  }
  batch.recordEnds.push_back(static_cast<std::uint32_t>(batch.fieldEnds.size()));
  return at;
}

std::size_t RecordSource::skip(std::string_view text, std::size_t& pos,
                               std::size_t count) const noexcept {
  if (!usable_) return 0;
  return withPlainScan(avx2_, ScanBytes{field_, quote_, first_, second_, recordSize_},
                       [&](const auto& plain) { return plain.skip(text, pos, count); });
}

RecordSource::Status RecordSource::pass(std::string_view text, std::size_t& pos, bool final) {
  switch (scanner_.next(text, pos, final, scanned_)) {
    case RecordScanner::Status::Record:
      return Status::Records;
    case RecordScanner::Status::NeedMore:
      return Status::NeedMore;
    case RecordScanner::Status::End:
      break;
  }
  return Status::End;
}

std::size_t RecordSource::countRecords(std::string_view text) const noexcept {
  if (!usable_) return 0;
  const std::size_t ends =
      withPlainScan(avx2_, ScanBytes{field_, quote_, first_, second_, recordSize_},
                    [&](const auto& plain) { return plain.countLineEnds(text); });
  return ends + 1;
}

}  // namespace vorlet

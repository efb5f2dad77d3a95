#include "delimited/FileRoad.h"

#include <algorithm>
#include <fstream>
#include <limits>
#include <memory>
#include <new>
#include <utility>

#include "delimited/InputFile.h"
#include "delimited/JoinDelimited.h"
#include "delimited/ParseDelimited.h"
#include "delimited/Prefault.h"
#include "delimited/SafeFile.h"
#include "delimited/TextEncoding.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace vorlet {

namespace {

using Kind = FileError::Kind;

struct AlignedDelete {
  void operator()(char* bytes) const noexcept { ::operator delete (bytes, std::align_val_t{64}); }
};

// A numeric file's table takes about as many bytes as its text (8 per cell, a cell per 5 to 10
// bytes), and growing it briefly needs more.
constexpr double kMemoryPerFileByte = 2.5;

std::optional<std::uint64_t> linuxAvailableMemory() {
  std::ifstream meminfo("/proc/meminfo");
  std::string key;
  std::uint64_t kilobytes = 0;
  std::string unit;
  while (meminfo >> key >> kilobytes) {
    if (key == "MemAvailable:") return kilobytes * 1024;
    std::getline(meminfo, unit);
  }
  return std::nullopt;
}

// A cgroup's limit binds a process before the machine's memory does. Only its anonymous memory
// counts against the headroom: page cache is given back under pressure.
std::optional<std::uint64_t> cgroupHeadroom() {
  std::ifstream maxFile("/sys/fs/cgroup/memory.max");
  std::uint64_t limit = 0;
  if (!(maxFile >> limit)) return std::nullopt;  // no file, or "max": no limit
  std::ifstream stat("/sys/fs/cgroup/memory.stat");
  std::string key;
  std::uint64_t value = 0;
  while (stat >> key >> value) {
    if (key == "anon") return limit > value ? limit - value : 0;
  }
  return limit;
}

std::optional<std::uint64_t> availableMemory() {
#ifdef _WIN32
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  if (!GlobalMemoryStatusEx(&status)) return std::nullopt;
  return status.ullAvailPhys;
#else
  std::optional<std::uint64_t> available = linuxAvailableMemory();
  if (!available) {
    const long pages = ::sysconf(_SC_PHYS_PAGES), pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0) {
      available = static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
    }
  }
  if (const auto headroom = cgroupHeadroom(); headroom && (!available || *headroom < *available)) {
    available = headroom;
  }
  return available;
#endif
}

std::optional<FileError> checkFits(std::uint64_t size, const std::string& name) {
  const double needed = static_cast<double>(size) * kMemoryPerFileByte;
  const bool addressable = size < std::numeric_limits<std::size_t>::max() / 4;
  const std::optional<std::uint64_t> available = availableMemory();
  if (addressable && (!available || needed <= static_cast<double>(*available))) {
    return std::nullopt;
  }
  std::string detail = std::to_string(size / 1'000'000) + " MB of text need about " +
                       std::to_string(static_cast<std::uint64_t>(needed / 1e6)) + " MB";
  if (available) detail += ", " + std::to_string(*available / 1'000'000) + " MB are available";
  return FileError{Kind::TooLarge, name, detail, 0};
}

// Line feeds in `bytes`: every record but the last ends in one, whichever the line end.
std::size_t countLineFeeds(std::string_view bytes) noexcept {
  std::size_t count = 0;
  std::size_t at = 0;
#if defined(__SSE2__)
  // Byte counters, emptied into count before they can wrap.
  const __m128i feed = _mm_set1_epi8('\n');
  while (bytes.size() - at >= 16) {
    const std::size_t blocks = std::min<std::size_t>((bytes.size() - at) / 16, 255);
    __m128i counters = _mm_setzero_si128();
    for (std::size_t i = 0; i < blocks; ++i, at += 16) {
      const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data() + at));
      counters = _mm_sub_epi8(counters, _mm_cmpeq_epi8(chunk, feed));
    }
    const __m128i sums = _mm_sad_epu8(counters, _mm_setzero_si128());
    count += static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
             static_cast<std::size_t>(_mm_extract_epi16(sums, 4));
  }
#endif
  for (; at < bytes.size(); ++at) count += bytes[at] == '\n' ? 1 : 0;
  return count;
}

// What reading learns of the text on the way, while each piece is still in the cache.
struct ReadText {
  EncodingVerdict verdict;
  std::size_t lineFeeds = 0;
};

// Reads through a small buffer that stays in the cache and appends to the text: filling the text
// up front, only to overwrite it, would cost a pass over memory the size of the file. The buffer
// starts on a cache line: the system copies into a misaligned one several times as slowly.
std::variant<ReadText, FileError> readWhole(InputFile& input, std::string& bytes,
                                            Progress* progress) {
  const auto size = static_cast<std::size_t>(input.size());
  bytes.reserve(size);
  // The text's memory is faulted in on the helper thread while this one fills it.
  Prefault prefault;
  prefault.start(bytes.data(), bytes.capacity());
  constexpr std::align_val_t kLine{64};
  const std::size_t capacity = std::min<std::size_t>(size + 1, std::size_t{256} << 10);
  const std::unique_ptr<char, AlignedDelete> buffer(
      static_cast<char*>(::operator new(capacity, kLine)));
  EncodingDetector detector;
  ReadText read;
  bool grew = false;
  for (;;) {
    std::size_t got = 0;
    if (auto error = input.read(buffer.get(), capacity, got)) return *error;
    grew = bytes.size() + got > size;
    if (grew) break;
    const std::string_view piece(buffer.get(), got);
    bytes.append(piece);
    detector.feed(piece);
    read.lineFeeds += countLineFeeds(piece);
    if (progress != nullptr) progress->add(got);
    if (got < capacity) break;
  }
  if (grew || bytes.size() != size) {
    return FileError{Kind::ChangedSize, input.name(), "", 0};
  }
  read.verdict = detector.verdict();
  return read;
}

// Reading and parsing count a byte each: the total is twice the file's size.
std::variant<OpenedTable, FileError> parseFile(InputFile& input, Progress* progress) {
  const std::string& name = input.name();
  if (auto error = checkFits(input.size(), name)) return *error;
  if (progress != nullptr) progress->start(2 * input.size());
  auto bytes = std::make_shared<std::string>();
  const std::variant<ReadText, FileError> read = readWhole(input, *bytes, progress);
  if (const auto* error = std::get_if<FileError>(&read)) return *error;
  const EncodingVerdict verdict = std::get<ReadText>(read).verdict;
  if (auto error = refusalOf(verdict, name)) return *error;
  OpenedTable opened;
  opened.encoding = encodingOf(verdict);
  opened.fileSize = bytes->size();
  const std::size_t begin = opened.encoding == TextEncoding::Utf8WithBom ? kUtf8Bom.size() : 0;
  if (bytes->size() == begin) return FileError{Kind::NoRecords, name, "", 0};

  const TextBlock text = std::move(bytes);
  const CharSet charset = charSetOf(opened.encoding);
  opened.lineEnd = *lineEndOf(std::string_view(*text).substr(begin), charset, true);
  const Result<std::int32_t> records =
      ParseDelimited(text, begin, opened.table, ",", lineEndText(opened.lineEnd), "\"", charset,
                     progress, std::get<ReadText>(read).lineFeeds + 1);
  if (!records) {
    if (!opened.table.isDimensioned()) return FileError{Kind::NoRecords, name, "", 0};
    return FileError{Kind::TooLarge, name, describe(records.fault()), 0};
  }
  return opened;
}

}  // namespace

std::variant<OpenedTable, FileError> readDelimitedFile(const std::filesystem::path& path,
                                                       Progress* progress) {
  try {
    auto input = InputFile::open(path);
    if (auto* error = std::get_if<FileError>(&input)) return std::move(*error);
    return parseFile(std::get<InputFile>(input), progress);
  } catch (const std::bad_alloc&) {
    return FileError{Kind::TooLarge, pathText(path), "out of memory", 0};
  }
}

std::string savedFileBytes(const CellTable& result, TextEncoding encoding, LineEnd lineEnd) {
  std::string bytes;
  if (encoding == TextEncoding::Utf8WithBom) bytes = kUtf8Bom;
  appendSavedText(result, bytes, lineEnd);
  bytes += lineEndText(lineEnd);
  return bytes;
}

std::optional<FileError> saveDelimitedFile(const CellTable& result, TextEncoding encoding,
                                           const std::filesystem::path& path, LineEnd lineEnd,
                                           Progress* progress) {
  try {
    SafeFile file(path);
    if (auto error = file.open()) return error;
    const std::string bytes = savedFileBytes(result, encoding, lineEnd);
    if (progress != nullptr) progress->start(bytes.size());
    // Written in steps, so that the window can show how far it has got.
    constexpr std::size_t kStep = std::size_t{4} << 20;
    for (std::size_t at = 0; at < bytes.size(); at += kStep) {
      const std::string_view step = std::string_view(bytes).substr(at, kStep);
      if (auto error = file.write(step)) return error;
      if (progress != nullptr) progress->add(step.size());
    }
    return file.commit();
  } catch (const std::bad_alloc&) {
    return FileError{Kind::WriteFailed, pathText(path), "out of memory", 0};
  }
}

}  // namespace vorlet

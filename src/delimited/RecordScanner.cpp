#include "delimited/RecordScanner.h"

#include <algorithm>
#include <cstring>

namespace vorlet {
namespace {

constexpr std::size_t kUnknown = std::string_view::npos;

const char* findByte(const char* p, const char* end, char c) noexcept {
  if (p >= end) return end;
  const void* hit = std::memchr(p, c, static_cast<std::size_t>(end - p));
  return hit != nullptr ? static_cast<const char*>(hit) : end;
}

// Whether [p, end) begins with `text`. A loop: the text is a short separator, and a call of
// memcmp would cost more than the compare.
bool startsWith(const char* p, const char* end, std::string_view text) noexcept {
  if (static_cast<std::size_t>(end - p) < text.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (p[i] != text[i]) return false;
  }
  return true;
}

bool isShiftJisLead(unsigned char byte) noexcept {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

std::ptrdiff_t utf8SequenceLength(unsigned char lead) noexcept {
  if (lead >= 0xC0 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF7) return 4;
  return 1;
}

bool isContinuation(char c) noexcept {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Whether the bytes [p, end) are exactly one character.
bool isOneCharacter(const char* p, const char* end, CharSet charset) noexcept {
  const std::ptrdiff_t size = end - p;
  if (size == 1) return true;
  if (size < 2) return false;
  const auto lead = static_cast<unsigned char>(*p);
  if (charset == CharSet::ShiftJis) return size == 2 && isShiftJisLead(lead);
  return size <= utf8SequenceLength(lead) && std::all_of(p + 1, end, isContinuation);
}

enum class Outcome : std::uint8_t { AnotherField, RecordDone, NeedMore };

// How reading a field ended. `pos`: where the next field starts, or after
// RecordDone where the next record starts.
struct Step {
  Outcome outcome;
  std::size_t pos = 0;
};

}  // namespace

// Reads one record. Offsets are into the scanned text. Once known, the current line ends at
// lineEnd_, the next one starts at lineNext_, and lineCut_ says whether a record separator ended
// the line (otherwise it is the rest of the input).
class RecordScanner::Reader {
 public:
  Reader(RecordScanner& scanner, std::string_view text, bool final,
         std::vector<std::string_view>& fields) noexcept
      : scanner_(scanner), data_(text.data()), size_(text.size()), fields_(fields), final_(final) {}

  // Where the next record starts, or kUnknown when this one's end is not certain yet. Each
  // record's start hangs on the previous one's end, so positions travel in registers.
  std::size_t read(std::size_t pos) {
    for (;;) {
      if (lineEnd_ == kUnknown && !locateLine(pos)) return kUnknown;
      const bool quoted = pos < lineEnd_ && data_[pos] == scanner_.quote_;
      const Step step = quoted ? readQuoted(pos) : readPlain(pos);
      if (step.outcome != Outcome::AnotherField) {
        return step.outcome == Outcome::RecordDone ? step.pos : kUnknown;
      }
      pos = step.pos;
    }
  }

 private:
  enum class Search : std::uint8_t { Found, NotFound, NeedMore };

  // A quoted field's bytes: a stretch of the text, or rebuilt in scratch once a quote is
  // dropped or a record separator that is not in the text is appended.
  struct FieldBytes {
    std::size_t begin;
    bool rebuilt = false;
    std::size_t scratchBegin = 0;
  };

  Step readPlain(std::size_t pos);
  Step readQuoted(std::size_t pos);
  // A record separator cut short by the end of the text is no match; without `final` the search
  // then runs into the end of the text, which asks for more.
  bool separatorAt(std::size_t at) const noexcept {
    return startsWith(data_ + at, data_ + size_, scanner_.record_);
  }
  Search findSeparator(std::size_t from, std::size_t& at) const noexcept;
  bool locateLine(std::size_t from) noexcept;
  void setLine(std::size_t end, std::size_t next, bool cut) noexcept {
    lineEnd_ = end, lineNext_ = next, lineCut_ = cut;
  }
  std::size_t offset(const char* p) const noexcept { return static_cast<std::size_t>(p - data_); }
  void push(const char* begin, const char* end) {
    fields_.emplace_back(begin, static_cast<std::size_t>(end - begin));
  }
  void push(std::size_t begin, std::size_t end) { push(data_ + begin, data_ + end); }
  void cut(FieldBytes& bytes, std::size_t at, std::size_t resume);
  void finish(FieldBytes& bytes, std::size_t end);

  RecordScanner& scanner_;
  const char* data_;
  std::size_t size_;
  std::vector<std::string_view>& fields_;
  std::size_t lineEnd_ = kUnknown;
  std::size_t lineNext_ = kUnknown;
  bool lineCut_ = false;
  bool final_;
};

Step RecordScanner::Reader::readPlain(std::size_t pos) {
  const char* end = data_ + lineEnd_;
  const char* hit = findByte(data_ + pos, end, scanner_.field_);
  if (hit == end) {
    push(std::min(pos, lineEnd_), lineEnd_);
    return {Outcome::RecordDone, lineNext_};
  }
  push(data_ + pos, hit);
  return {Outcome::AnotherField, offset(hit) + 1};
}

Step RecordScanner::Reader::readQuoted(std::size_t pos) {
  const char quote = scanner_.quote_;
  const char field = scanner_.field_;
  FieldBytes bytes{pos + 1};
  std::size_t from = pos + 1;
  for (;;) {
    const char* lineEnd = data_ + lineEnd_;
    const char* hit = findByte(data_ + from, lineEnd, quote);
    if (hit != lineEnd) {
      const auto at = static_cast<std::size_t>(hit - data_);
      if (hit + 1 == lineEnd) {
        finish(bytes, at);
        return {Outcome::RecordDone, lineNext_};
      }
      if (isOneCharacter(hit + 1, lineEnd, scanner_.charset_)) {
        // The last character is dropped, and the field after it starts beyond the line.
        finish(bytes, at);
        push(lineEnd_, lineEnd_);
        return {Outcome::RecordDone, lineNext_};
      }
      if (hit[1] == field) {
        finish(bytes, at);
        return {Outcome::AnotherField, at + 2};
      }
      // A doubled quote keeps its second half; a quote before anything else is dropped.
      cut(bytes, at, at + 1);
      from = hit[1] == quote ? at + 2 : at + 1;
      continue;
    }
    // The field runs over the line's end and keeps the record separator. The last line of the
    // input has none in the text, so it is added.
    if (!lineCut_) {
      cut(bytes, lineEnd_, lineEnd_);
      scanner_.scratch_.append(scanner_.record_);
    }
    from = lineNext_;
    std::size_t at = 0;
    switch (findSeparator(from, at)) {
      case Search::Found:
        setLine(at, at + scanner_.record_.size(), true);
        break;
      case Search::NeedMore:
        return {Outcome::NeedMore};
      case Search::NotFound:
        setLine(size_, size_, false);
        // Without a field separator the rest is taken whole, quotes and all.
        if (findByte(data_ + from, data_ + size_, field) == data_ + size_) {
          finish(bytes, size_);
          return {Outcome::RecordDone, lineNext_};
        }
        break;
    }
  }
}

RecordScanner::Reader::Search RecordScanner::Reader::findSeparator(std::size_t from,
                                                                   std::size_t& at) const noexcept {
  const std::string_view record = scanner_.record_;
  if (!record.empty()) {
    const char* end = data_ + size_;
    for (const char* hit = findByte(data_ + from, end, record[0]); hit != end;
         hit = findByte(hit + 1, end, record[0])) {
      if (separatorAt(static_cast<std::size_t>(hit - data_))) {
        at = static_cast<std::size_t>(hit - data_);
        return Search::Found;
      }
    }
  }
  return final_ ? Search::NotFound : Search::NeedMore;
}

bool RecordScanner::Reader::locateLine(std::size_t from) noexcept {
  std::size_t at = 0;
  switch (findSeparator(from, at)) {
    case Search::Found:
      setLine(at, at + scanner_.record_.size(), true);
      return true;
    case Search::NotFound:
      setLine(size_, size_, false);
      return true;
    case Search::NeedMore:
      return false;
  }
  return false;
}

void RecordScanner::Reader::cut(FieldBytes& bytes, std::size_t at, std::size_t resume) {
  if (!bytes.rebuilt) {
    bytes.rebuilt = true;
    bytes.scratchBegin = scanner_.scratch_.size();
  }
  scanner_.scratch_.append(data_ + bytes.begin, at - bytes.begin);
  bytes.begin = resume;
}

void RecordScanner::Reader::finish(FieldBytes& bytes, std::size_t end) {
  if (!bytes.rebuilt) {
    push(bytes.begin, end);
    return;
  }
  std::string& scratch = scanner_.scratch_;
  scratch.append(data_ + bytes.begin, end - bytes.begin);
  scanner_.scratchFields_.push_back(
      {fields_.size(), bytes.scratchBegin, scratch.size() - bytes.scratchBegin});
  fields_.emplace_back();
}

RecordScanner::RecordScanner(CharSet charset, Separators separators)
    : charset_(charset),
      field_(separators.field),
      quote_(separators.quote),
      record_(separators.record) {}

RecordScanner::Status RecordScanner::next(std::string_view text, std::size_t& pos, bool final,
                                          ScannedRecord& out) {
  if (pos >= text.size()) return final ? Status::End : Status::NeedMore;
  out.fields.clear();
  scratch_.clear();
  scratchFields_.clear();
  Reader reader(*this, text, final, out.fields);
  const std::size_t after = reader.read(pos);
  if (after == kUnknown) return Status::NeedMore;
  const std::string_view scratch = scratch_;
  for (const ScratchField& field : scratchFields_) {
    out.fields[field.index] = scratch.substr(field.offset, field.length);
  }
  pos = after;
  return Status::Record;
}

}  // namespace vorlet

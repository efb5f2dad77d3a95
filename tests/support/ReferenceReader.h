#pragma once

// A deliberately simple reader of delimited text, written straight from the reading rules a
// character at a time: the oracle the fast paths are compared with.
#include <string>
#include <string_view>
#include <vector>

#include "delimited/RecordScanner.h"

namespace vorlet::testing {

// The rules: a record is a line, cut where the whole record separator stands (a part of it is
// content), plus the lines a quoted field runs over. A field is cut at the field separator. A
// field that starts with the quote ends at a quote that ends its line, or is followed by exactly
// one last character (dropped, and an empty field follows), or by the field separator; inside,
// a doubled quote is one quote, a quote before anything else is dropped, line ends are kept. A
// quoted field open when no record separator is left takes the rest of the input, whole and
// unprocessed when the rest holds no field separator.
class ReferenceReader {
 public:
  ReferenceReader(std::string_view text, CharSet charset, const Separators& separators)
      : text_(text), charset_(charset), s_(separators) {}

  std::vector<std::vector<std::string>> records() {
    std::vector<std::vector<std::string>> all;
    for (std::size_t pos = 0; pos < text_.size();) pos = readRecord(pos, all.emplace_back());
    return all;
  }

  // Where the record separator that ends the first record stands; npos when that record runs
  // to the end of the text.
  std::size_t firstRecordEnd() {
    std::vector<std::string> fields;
    readRecord(0, fields);
    return lineCut_ ? lineEnd_ : std::string_view::npos;
  }

 private:
  // The line from `from`: where it ends, where the next one starts, and whether a record
  // separator ended it.
  void findLine(std::size_t from) {
    lineEnd_ = lineNext_ = text_.size();
    lineCut_ = false;
    for (std::size_t at = from; at < text_.size() && !s_.record.empty(); ++at) {
      if (text_.substr(at, s_.record.size()) == s_.record) {
        lineEnd_ = at;
        lineNext_ = at + s_.record.size();
        lineCut_ = true;
        return;
      }
    }
  }

  bool oneCharacter(std::size_t from, std::size_t to) const {
    const std::size_t size = to - from;
    if (size == 1) return true;
    if (size < 2) return false;
    const auto lead = static_cast<unsigned char>(text_[from]);
    if (charset_ == CharSet::ShiftJis) {
      return size == 2 && ((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC));
    }
    const std::size_t announced = lead >= 0xF0 && lead <= 0xF7   ? 4
                                  : lead >= 0xE0 && lead <= 0xEF ? 3
                                  : lead >= 0xC0 && lead <= 0xDF ? 2
                                                                 : 1;
    if (size > announced) return false;
    for (std::size_t i = from + 1; i < to; ++i) {
      if ((static_cast<unsigned char>(text_[i]) & 0xC0) != 0x80) return false;
    }
    return true;
  }

  // Reads the record at `pos` into `fields`; returns where the next one starts.
  std::size_t readRecord(std::size_t pos, std::vector<std::string>& fields) {
    findLine(pos);
    for (;;) {
      if (pos < lineEnd_ && text_[pos] == s_.quote) {
        std::size_t next = 0;
        if (readQuoted(pos + 1, fields, next)) return next;
        pos = next;
        continue;
      }
      std::string& field = fields.emplace_back();
      for (; pos < lineEnd_ && text_[pos] != s_.field; ++pos) field += text_[pos];
      if (pos >= lineEnd_) return lineNext_;
      ++pos;
    }
  }

  // True when the record ended; `next` is then where the next record starts, else where the
  // next field does.
  bool readQuoted(std::size_t i, std::vector<std::string>& fields, std::size_t& next) {
    std::string field;
    for (;;) {
      while (i < lineEnd_) {
        if (text_[i] != s_.quote) {
          field += text_[i++];
        } else if (i + 1 == lineEnd_ || oneCharacter(i + 1, lineEnd_)) {
          fields.push_back(field);
          if (i + 1 < lineEnd_) fields.emplace_back();  // after the dropped last character
          next = lineNext_;
          return true;
        } else if (text_[i + 1] == s_.field) {
          fields.push_back(field);
          next = i + 2;
          return false;
        } else {
          if (text_[i + 1] == s_.quote) field += s_.quote;  // a doubled quote is one
          i += text_[i + 1] == s_.quote ? 2 : 1;            // any other quote is dropped
        }
      }
      // Over the line's end, which the field keeps: the text's separator, or one added.
      field += s_.record;
      const std::size_t from = lineNext_;
      findLine(from);
      if (!lineCut_ && text_.substr(from).find(s_.field) == std::string_view::npos) {
        fields.push_back(field + std::string(text_.substr(from)));
        next = text_.size();
        return true;
      }
      i = from;
    }
  }

  std::string_view text_;
  CharSet charset_;
  Separators s_;
  std::size_t lineEnd_ = 0;
  std::size_t lineNext_ = 0;
  bool lineCut_ = false;
};

// The line ends of a text: LF when its first record, read with LF ending records, ends at an LF
// that no CR stands before.
inline bool referenceLfLineEnds(std::string_view text, CharSet charset) {
  const std::size_t end = ReferenceReader(text, charset, {',', "\n", '"'}).firstRecordEnd();
  return end != std::string_view::npos && (end == 0 || text[end - 1] != '\r');
}

inline std::vector<std::vector<std::string>> referenceRecords(std::string_view text,
                                                              CharSet charset = CharSet::Utf8,
                                                              const Separators& separators = {}) {
  return ReferenceReader(text, charset, separators).records();
}

}  // namespace vorlet::testing

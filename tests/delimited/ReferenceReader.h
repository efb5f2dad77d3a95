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

  struct Record {
    std::size_t start;
    std::vector<std::string> fields;
  };

  std::vector<Record> records() {
    std::vector<Record> all;
    std::size_t pos = 0;
    while (pos < text_.size()) {
      Record record{pos, {}};
      pos = readRecord(pos, record.fields);
      all.push_back(std::move(record));
    }
    return all;
  }

 private:
  bool separatorAt(std::size_t at) const {
    return !s_.record.empty() && text_.substr(at, s_.record.size()) == s_.record;
  }

  // The line from `from`: where it ends, where the next one starts, and whether a record
  // separator ended it.
  void findLine(std::size_t from) {
    for (std::size_t at = from; at < text_.size(); ++at) {
      if (separatorAt(at)) {
        lineEnd_ = at;
        lineNext_ = at + s_.record.size();
        lineCut_ = true;
        return;
      }
    }
    lineEnd_ = lineNext_ = text_.size();
    lineCut_ = false;
  }

  bool oneCharacter(std::size_t from, std::size_t to) const {
    const std::size_t size = to - from;
    if (size == 1) return true;
    if (size < 2) return false;
    const auto lead = static_cast<unsigned char>(text_[from]);
    if (charset_ == CharSet::ShiftJis) {
      return size == 2 && ((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC));
    }
    std::size_t announced = 1;
    if (lead >= 0xC0 && lead <= 0xDF) announced = 2;
    if (lead >= 0xE0 && lead <= 0xEF) announced = 3;
    if (lead >= 0xF0 && lead <= 0xF7) announced = 4;
    if (size > announced) return false;
    for (std::size_t i = from + 1; i < to; ++i) {
      if ((static_cast<unsigned char>(text_[i]) & 0xC0) != 0x80) return false;
    }
    return true;
  }

  std::size_t readRecord(std::size_t pos, std::vector<std::string>& fields) {
    findLine(pos);
    for (;;) {
      if (pos < lineEnd_ && text_[pos] == s_.quote) {
        std::size_t next = 0;
        if (readQuoted(pos + 1, fields, next)) return next;
        pos = next;
        continue;
      }
      std::string field;
      for (std::size_t i = pos;; ++i) {
        if (i >= lineEnd_) {
          fields.push_back(field);
          return lineNext_;
        }
        if (text_[i] == s_.field) {
          fields.push_back(field);
          pos = i + 1;
          break;
        }
        field += text_[i];
      }
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
          continue;
        }
        if (i + 1 == lineEnd_) {
          fields.push_back(field);
          next = lineNext_;
          return true;
        }
        if (oneCharacter(i + 1, lineEnd_)) {
          fields.push_back(field);
          fields.emplace_back();
          next = lineNext_;
          return true;
        }
        if (text_[i + 1] == s_.field) {
          fields.push_back(field);
          next = i + 2;
          return false;
        }
        if (text_[i + 1] == s_.quote) {
          field += s_.quote;
          i += 2;
        } else {
          i += 1;  // the quote is dropped
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

inline std::vector<std::vector<std::string>> referenceRecords(std::string_view text,
                                                              CharSet charset = CharSet::Utf8,
                                                              const Separators& separators = {}) {
  std::vector<std::vector<std::string>> all;
  for (auto& record : ReferenceReader(text, charset, separators).records()) {
    all.push_back(std::move(record.fields));
  }
  return all;
}

}  // namespace vorlet::testing

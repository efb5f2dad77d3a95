#include "delimited/JoinDelimited.h"

#include <cstdint>

namespace vorlet {
namespace {

// DoubleQuotes(text, quote, quote + quote, true), appended to `out` without a copy.
void appendDoubled(std::string& out, std::string_view text, std::string_view quote) {
  std::size_t from = 0;
  for (std::size_t hit = text.find(quote); hit != std::string_view::npos;
       hit = text.find(quote, from)) {
    out.append(text.substr(from, hit + quote.size() - from));
    out.append(quote);
    from = hit + quote.size();
  }
  out.append(text.substr(from));
}

// Whether the characters of `head` followed by `tail`, from `at` on, begin with `wanted`.
bool matchesAt(std::string_view head, std::string_view tail, std::size_t at,
               std::string_view wanted) noexcept {
  if (at + wanted.size() > head.size() + tail.size()) return false;
  for (std::size_t k = 0; k < wanted.size(); ++k) {
    const std::size_t place = at + k;
    const char c = place < head.size() ? head[place] : tail[place - head.size()];
    if (c != wanted[k]) return false;
  }
  return true;
}

bool needsQuotes(std::string_view text) noexcept {
  // Comma, double quote, CR and LF all lie below 64.
  constexpr std::uint64_t kSpecial = (std::uint64_t{1} << ',') | (std::uint64_t{1} << '"') |
                                     (std::uint64_t{1} << '\r') | (std::uint64_t{1} << '\n');
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 64 && ((kSpecial >> byte) & 1) != 0) return true;
  }
  return false;
}

}  // namespace

Result<std::string> JoinDelimited(const CellTable& table, std::string_view fieldSeparator,
                                  std::string_view recordSeparator, std::string_view quote) {
  const Result<std::int32_t> u2 = table.upperBound(2);
  if (!u2) return u2.fault();
  const std::int64_t l2 = *table.lowerBound(2);
  const std::int64_t l1 = *table.lowerBound(1);
  const std::int64_t u1 = *table.upperBound(1);
  std::string out;
  std::string number;  // the text of a non-text cell, before its quotes are doubled
  for (std::int64_t r = l2 + 1; r <= *u2; ++r) {
    for (std::int64_t f = l1 + 1; f <= u1; ++f) {
      const Cell cell = table.cellAt(static_cast<std::int32_t>(f), static_cast<std::int32_t>(r));
      out.append(quote);
      if (cell.kind() == CellKind::Null) {
        // Nothing between the quotes.
      } else if (quote.empty()) {
        appendText(cell, out);
      } else if (cell.isText()) {
        appendDoubled(out, cell.asText(), quote);
      } else {
        number.clear();
        appendText(cell, number);
        appendDoubled(out, number, quote);
      }
      out.append(quote);
      if (f < u1) out.append(fieldSeparator);
    }
    out.append(recordSeparator);
  }
  return out;
}

std::string DoubleQuotes(std::string_view text, std::string_view quote,
                         std::string_view replacement, bool replaceAll) {
  if (quote.empty()) return std::string(text);
  // The text as it is being changed is `out` followed by text[rest..]; `from` is where the next
  // search starts in it, never inside `out`.
  const std::size_t anchor = replacement.find(quote);
  std::string out;
  out.reserve(text.size());
  std::size_t rest = 0;
  std::size_t from = 0;
  for (;;) {
    const std::size_t start = rest + (from - out.size());
    if (start > text.size()) break;
    const std::size_t hit = text.find(quote, start);
    if (hit == std::string_view::npos) break;
    const std::size_t at = out.size() + (hit - rest);
    const bool keep =
        !replaceAll && anchor != std::string_view::npos &&
        matchesAt(out, text.substr(rest), at >= anchor ? at - anchor : 0, replacement);
    if (keep) {
      from = at + replacement.size();
      continue;
    }
    out.append(text.substr(rest, hit - rest));
    out.append(replacement);
    rest = hit + quote.size();
    from = out.size();
  }
  out.append(text.substr(rest));
  return out;
}

void appendSavedField(std::string& out, std::string_view text) {
  if (!needsQuotes(text)) {
    out.append(text);
    return;
  }
  out.push_back('"');
  // A doubled quote right before CR LF would close its line and so the field. A text that
  // holds one is written on a single line instead: each CR LF as CR, quote, LF, which is no
  // line end, and whose quote the reader drops (it stands before neither a comma nor a quote).
  std::size_t from = 0;
  if (text.find("\"\r\n") != std::string_view::npos) {
    for (std::size_t hit = text.find("\r\n"); hit != std::string_view::npos;
         hit = text.find("\r\n", from)) {
      appendDoubled(out, text.substr(from, hit + 1 - from), "\"");
      out.append("\"\n");
      from = hit + 2;
    }
  }
  appendDoubled(out, text.substr(from), "\"");
  out.push_back('"');
}

namespace {

void appendSavedFieldLf(std::string& out, std::string_view text) {
  if (!needsQuotes(text)) {
    out.append(text);
    return;
  }
  out.push_back('"');
  appendDoubled(out, text, "\"");
  out.push_back('"');
}

}  // namespace

SavedFieldWriter savedFieldWriter(LineEnd lineEnd) noexcept {
  return lineEnd == LineEnd::Lf ? &appendSavedFieldLf : &appendSavedField;
}

void appendSavedText(const CellTable& result, std::string& out, LineEnd lineEnd) {
  if (!result.isDimensioned()) return;
  const SavedFieldWriter appendField = savedFieldWriter(lineEnd);
  const std::string_view recordEnd = lineEndText(lineEnd);
  const std::int64_t l1 = *result.lowerBound(1);
  const std::int64_t u1 = *result.upperBound(1);
  const std::int64_t l2 = *result.lowerBound(2);
  const std::int64_t u2 = *result.upperBound(2);
  for (std::int64_t r = l2 + 1; r <= u2; ++r) {
    for (std::int64_t f = l1 + 1; f <= u1; ++f) {
      const Cell cell = result.cellAt(static_cast<std::int32_t>(f), static_cast<std::int32_t>(r));
      if (cell.isText()) {
        appendField(out, cell.asText());
      } else if (cell.kind() != CellKind::Null) {
        appendText(cell, out);  // numbers never need quotes
      }
      if (f < u1) out.push_back(',');
    }
    out.append(recordEnd);
  }
}

}  // namespace vorlet

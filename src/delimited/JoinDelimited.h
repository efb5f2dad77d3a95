#pragma once

#include <string>
#include <string_view>

#include "delimited/TextEncoding.h"
#include "table/CellTable.h"
#include "table/Fault.h"

namespace vorlet {

// Joins records L2 + 1 to U2 of `table`, each of its fields L1 + 1 to U1 (the cells at index L1
// and L2 are never written). A field is the quote, the cell's text with every quote in it
// doubled, the quote; a null cell gives the quote twice. The field separator goes between the
// fields of a record, the record separator after every record. Any number of fields joins.
// Bounds when the table is undimensioned; nothing else fails.
Result<std::string> JoinDelimited(const CellTable& table, std::string_view fieldSeparator,
                                  std::string_view recordSeparator, std::string_view quote);

// `text` with the occurrences of `quote` replaced by `replacement`, found left to right, each
// search going on behind the previous replacement. Unless `replaceAll`, an occurrence already
// standing inside a copy of the replacement (aligned on the quote's first place in it) is kept
// and skipped. The empty quote changes nothing. Compares bytes.
std::string DoubleQuotes(std::string_view text, std::string_view quote,
                         std::string_view replacement, bool replaceAll);

// One field as a save writes it: bare, or enclosed in double quotes with the double quotes in
// it doubled when it holds a comma, a double quote, CR or LF, so that ParseDelimited reads the
// same text back. A double quote directly before CR LF is the one text that standard quoting
// cannot bring back through our reader (the line would end the field there); in a text that
// holds one, every CR LF is written CR, double quote, LF, which the reader takes back as CR LF.
void appendSavedField(std::string& out, std::string_view text);

// How a save writes one field for a file with the given line ends. With LF, a field is quoted
// as above, its CR LF left as they are (they are no line end there); the one text no quoting
// brings back is then a double quote directly before LF.
using SavedFieldWriter = void (*)(std::string& out, std::string_view text);
SavedFieldWriter savedFieldWriter(LineEnd lineEnd) noexcept;

// The joined text of a thinned table as a save writes it: records L2 + 1 to U2, each its fields
// L1 + 1 to U1 as text through savedFieldWriter, commas between, the line end after every
// record. An undimensioned table appends nothing. Where no field needs quotes this is exactly
// JoinDelimited(result, ",", lineEndText(lineEnd), "").
void appendSavedText(const CellTable& result, std::string& out, LineEnd lineEnd = LineEnd::CrLf);

}  // namespace vorlet

#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "delimited/RecordScanner.h"
#include "table/CellTable.h"
#include "table/Fault.h"
#include "table/Progress.h"

namespace vorlet {

// Reads delimited text into `table`, one record per line (RecordScanner has the rules), every
// field a text cell at table(field, record); returns the record upper bound.
// - An undimensioned table is sized by the first record: fields 1..F by records 1..R.
// - A dimensioned table keeps its field bounds and record lower bound: fields beyond its field
//   upper bound are dropped, fields a record lacks keep what they held (or stay empty in new
//   records), and the records end at the last one read.
// - The empty text changes nothing: Bounds when the table is undimensioned, else its ub2.
// - Bounds when the record lower bound is above 1; Overflow when the record separator is longer
//   than 32,767 bytes or a count passes the 32-bit range; TypeMismatch when the field separator
//   or the quote is empty (a longer one counts by its first byte). Throws std::bad_alloc when
//   the table outgrows memory; after any failure the table holds what was read so far.
// Parses bytes [begin, end) of `text`. Cells refer into the block where a field's bytes are
// unchanged; rebuilt fields are copied into the table.
// `progress`, when given, counts the bytes read. `recordBound`, when not 0, is at least the
// number of records in the text, for a caller that counted them on the way; the table's room
// is reserved by it instead of by a count here.
Result<std::int32_t> ParseDelimited(const TextBlock& text, std::size_t begin, CellTable& table,
                                    std::string_view fieldSeparator,
                                    std::string_view recordSeparator, std::string_view quote,
                                    CharSet charset = CharSet::Utf8, Progress* progress = nullptr,
                                    std::size_t recordBound = 0);

// The same on a text that is copied into a block of its own first.
Result<std::int32_t> ParseDelimited(std::string_view text, CellTable& table,
                                    std::string_view fieldSeparator,
                                    std::string_view recordSeparator, std::string_view quote,
                                    CharSet charset = CharSet::Utf8);

}  // namespace vorlet

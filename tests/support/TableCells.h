#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "table/CellTable.h"

namespace vorlet::testing {

// A record's cells from the field lower bound on; nullopt is a cell of the empty kind.
using Record = std::vector<std::optional<std::string>>;
using Records = std::vector<Record>;
inline constexpr std::nullopt_t kEmpty = std::nullopt;

// Test texts are written with Q for the double quote and ^ for CR LF.
inline std::string decode(std::string_view text) {
  std::string out;
  for (const char c : text) out += c == 'Q' ? "\"" : c == '^' ? "\r\n" : std::string(1, c);
  return out;
}

inline Records decode(Records records) {
  for (Record& record : records) {
    for (auto& cell : record) cell = cell ? std::optional(decode(*cell)) : kEmpty;
  }
  return records;
}

// Every cell of the table, record by record; a cell that is neither text nor empty fails.
inline Records cellsOf(const CellTable& table) {
  Records records;
  for (std::int32_t r = *table.lowerBound(2); table.isDimensioned() && r <= *table.upperBound(2);
       ++r) {
    Record& record = records.emplace_back();
    for (std::int32_t f = *table.lowerBound(1); f <= *table.upperBound(1); ++f) {
      const Cell cell = table.cellAt(f, r);
      EXPECT_TRUE(cell.isText() || cell.isEmpty()) << "cell (" << f << ", " << r << ")";
      record.push_back(cell.isText() ? std::optional<std::string>(cell.asText()) : kEmpty);
    }
  }
  return records;
}

}  // namespace vorlet::testing

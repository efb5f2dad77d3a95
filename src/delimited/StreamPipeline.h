#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <variant>

#include "delimited/FileRoad.h"
#include "delimited/InputFile.h"
#include "thinning/GroupRules.h"

namespace vorlet {

struct StreamSettings {
  ThinSettings thin;
  std::size_t chunkSize = std::size_t{8} << 20;  // bytes read at a time; grows only for a record
                                                 // that does not fit
};

struct StreamSummary {
  TextEncoding encoding = TextEncoding::Utf8;
  LineEnd lineEnd = LineEnd::CrLf;
  std::uint64_t recordsRead = 0;
  std::uint64_t fields = 0;  // F, from the first record
  std::uint64_t recordsWritten = 0;
  std::uint64_t trailingDropped = 0;  // records of the last group, which never completed
  std::uint64_t notNumbers = 0;       // average mode: cells that added nothing to their group
};

// Receives the thinned bytes in blocks, in order; an error stops the pipeline.
using ByteSink = std::function<std::optional<FileError>(std::string_view bytes)>;

// The stream pipeline (the command line's): the same reading rules, thinning rules and saving rule
// as the window's open, thin and save, connected record by record. `sink` receives exactly the
// bytes savedFileBytes gives for the table pipeline, in the line ends the first record settles
// (lineEndOf). The encoding is settled before the first byte reaches `sink`: a regular file
// larger than a chunk is checked on a second thread, reading it at its own positions, while this
// one thins it and holds the result back (or, where no thread can be had, checked in a first
// pass); it must keep its size. Anything else is buffered whole.
// Average thinning shares the fields with a helper thread. Memory stays at a few chunks and the
// held-back result (tens of megabytes) for a regular file of any size, unless a single record is
// larger.
std::variant<StreamSummary, FileError> thinStream(InputFile& input, const StreamSettings& settings,
                                                  const ByteSink& sink);

}  // namespace vorlet

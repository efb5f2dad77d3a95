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

// Drops every byte a sink has received, so that it can receive them all again.
using StartOver = std::function<std::optional<FileError>()>;

struct StreamSettings {
  ThinSettings thin;
  std::size_t chunkSize = std::size_t{1} << 22;  // bytes read at a time; grows only for a record
                                                 // that does not fit
  // For a sink whose bytes are seen only when the run succeeds (a file renamed into place at
  // the end): how it starts over. With it a regular file is read once, its encoding settled as
  // it goes, and a refusal found late is an error like any other.
  StartOver startOver = nullptr;
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
// (lineEndOf). A regular file larger than a chunk is thinned as if it were UTF-8 (with or without
// a byte order mark), and thinned again only when it turns out to be Shift-JIS and the readings
// could differ (EncodingDetector::readingsMayDiffer); it must keep its size. With
// `settings.startOver` the encoding is settled on the way, and `sink` is told to start over
// before the second thinning. Without it the encoding is settled before the first byte reaches
// `sink`: a second thread checks the file, reading it at its own positions, while this one thins
// it and holds the result back, waiting for the check when the held-back bytes pass a few
// megabytes (or, where no thread can be had, the check is a first pass). Anything else is
// buffered whole. Thinning by groups shares each batch of records with a helper thread, which
// thins its part while the next batch is read. Memory stays at a few megabytes for a regular file
// of any size, unless a single record is larger.
std::variant<StreamSummary, FileError> thinStream(InputFile& input, const StreamSettings& settings,
                                                  const ByteSink& sink);

}  // namespace vorlet

// generate_csv RECORDS PATH: writes a measurement CSV of a heading line and RECORDS records
// (10,000,000 records make about 540 MB). The same arguments always give the same bytes.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "MeasurementCsv.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: generate_csv RECORDS PATH\n");
    return 2;
  }
  char* end = nullptr;
  const unsigned long long records = std::strtoull(argv[1], &end, 10);
  if (end == argv[1] || *end != '\0') {
    std::fprintf(stderr, "generate_csv: '%s' is not a record count\n", argv[1]);
    return 2;
  }
  std::FILE* file = std::fopen(argv[2], "wb");
  if (file == nullptr) {
    std::perror(argv[2]);
    return 1;
  }
  vorlet::bench::MeasurementCsv generator;
  std::string block = vorlet::bench::MeasurementCsv::kHeading;
  bool ok = true;
  for (unsigned long long i = 0; i < records && ok; ++i) {
    generator.appendRecord(block);
    if (block.size() >= (1u << 20)) {
      ok = std::fwrite(block.data(), 1, block.size(), file) == block.size();
      block.clear();
    }
  }
  ok = ok && std::fwrite(block.data(), 1, block.size(), file) == block.size();
  ok = (std::fclose(file) == 0) && ok;
  if (!ok) {
    std::perror(argv[2]);
    return 1;
  }
  return 0;
}

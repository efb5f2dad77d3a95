// libFuzzer target: any bytes through the encoding check, the reader, thinning in every mode
// (under settings drawn from the bytes), the writer and the reader again, and through the
// streaming road. A broken property aborts, so libFuzzer keeps the input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "RoadProperties.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static vorlet::fuzzing::RoadChecker checker;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (const auto finding = checker.check(bytes)) {
    std::fprintf(stderr, "road property broken: %s\n", finding->c_str());
    std::abort();
  }
  return 0;
}

// A smaller quarantine: every streaming run allocates and frees a buffer of about a megabyte,
// and keeping the default quarantine's worth of them costs half the speed. Freed memory is
// still held back across many inputs, enough to catch a use after free.
extern "C" const char* __asan_default_options() {
  return "quarantine_size_mb=32";
}

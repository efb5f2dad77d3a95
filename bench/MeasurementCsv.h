#pragma once

// Realistic measurement records: a 13-digit millisecond counter and five slowly drifting
// channels written with 3 to 6 significant digits, CR LF after every line. The same seed gives
// the same bytes on every machine (no <random> distributions, whose output is unspecified).
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>

namespace vorlet::bench {

class MeasurementCsv {
 public:
  explicit MeasurementCsv(std::uint64_t seed = 0x5EED2024ull) : state_(seed) {}

  static constexpr const char* kHeading = "time_ms,temperature,pressure,strain,current,flow\r\n";

  void appendRecord(std::string& out) {
    time_ += 10 + static_cast<std::int64_t>(next() % 3) - 1;  // 10 ms with a little jitter
    char text[32];
    out.append(text, static_cast<std::size_t>(std::to_chars(text, text + 32, time_).ptr - text));
    for (Channel& channel : channels_) {
      channel.value += (uniform() - 0.5) * channel.step;
      if (channel.value < channel.low || channel.value > channel.high) {
        channel.value = (channel.low + channel.high) / 2;
      }
      out += ',';
      appendDecimal(out, channel.value, 3 + static_cast<int>(next() % 4));
    }
    out += "\r\n";
  }

 private:
  struct Channel {
    double value, low, high, step;
  };

  // splitmix64
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

  static void appendDecimal(std::string& out, double value, int significant) {
    const int magnitude =
        value == 0 ? 0 : static_cast<int>(std::floor(std::log10(std::fabs(value))));
    const int decimals = significant - 1 - magnitude > 0 ? significant - 1 - magnitude : 0;
    char text[48];
    const auto end =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals).ptr;
    out.append(text, static_cast<std::size_t>(end - text));
  }

  std::uint64_t state_;
  std::int64_t time_ = 1'717'200'000'000;
  Channel channels_[5] = {
      {-23.5, -40.0, -10.0, 0.05},          // temperature in a cold chamber, degrees
      {101325.0, 98000.0, 104000.0, 20.0},  // pressure, Pa
      {0.002513, 0.001, 0.009, 0.00005},    // strain
      {-0.01234, -0.9, 0.9, 0.01},          // current, A
      {523.47, 100.0, 999.0, 1.5},          // flow, l/min
  };
};

}  // namespace vorlet::bench

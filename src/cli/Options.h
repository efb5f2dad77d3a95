#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "Version.h"
#include "thinning/GroupRules.h"

namespace vorlet {

struct Options {
  enum class Action : std::uint8_t { Thin, Help, Version };
  enum class Progress : std::uint8_t { WhenTerminal, Always, Never };
  Action action = Action::Thin;
  ThinSettings thin;
  std::string input;   // "-": standard input
  std::string output;  // empty or "-": standard output
  bool verbose = false;
  Progress progress = Progress::WhenTerminal;
};

// What was wrong with the command line, as the user reads it.
struct UsageError {
  std::string message;
};

// Reads the arguments after the program name, GNU style: short options bundle (-vn10), long
// ones may be shortened while unambiguous, options may follow the input, and -- ends them.
// Pure: opens nothing, so a bad interval is refused before the input is touched. Not
// reentrant (getopt_long keeps its state in globals).
std::variant<Options, UsageError> parseOptions(std::span<const std::string_view> args);

// The settings in force, in one line, for --verbose.
std::string describeSettings(const ThinSettings& settings);

std::string usageText();
inline constexpr std::string_view kVersionText = "vorlet-thin " VORLET_VERSION_TEXT;

}  // namespace vorlet

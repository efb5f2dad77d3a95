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
  Action action = Action::Thin;
  std::int16_t interval = 0;
  ThinMode mode = ThinMode::Simple;
  std::string input;   // "-": standard input
  std::string output;  // empty or "-": standard output
  bool verbose = false;
};

// What was wrong with the command line, as the user reads it.
struct UsageError {
  std::string message;
};

// Reads the arguments after the program name. Pure: opens nothing, so a bad interval is refused
// before the input is touched.
std::variant<Options, UsageError> parseOptions(std::span<const std::string_view> args);

std::string usageText();
inline constexpr std::string_view kVersionText = "vorlet-thin " VORLET_VERSION_TEXT;

}  // namespace vorlet

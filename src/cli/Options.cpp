#include "cli/Options.h"

#include <initializer_list>
#include <optional>

#include "table/Cell.h"

namespace vorlet {

namespace {

// An option that takes a value, in any of the forms -n 10, -n10, --interval 10, --interval=10.
struct ValuedOption {
  std::string_view shortName;
  std::string_view longName;
};

constexpr ValuedOption kInterval{"-n", "--interval"};
constexpr ValuedOption kMode{"-m", "--mode"};
constexpr ValuedOption kOutput{"-o", "--output"};

class ArgumentReader {
 public:
  explicit ArgumentReader(std::span<const std::string_view> args) : args_(args) {}

  bool done() const noexcept { return next_ >= args_.size(); }
  std::string_view current() const noexcept { return args_[next_]; }
  void skip() noexcept { ++next_; }

  // Matches `option` at the current argument; on a match, takes its value and moves on.
  // A missing value is reported through `missing`.
  std::optional<std::string_view> take(const ValuedOption& option, bool& missing) {
    const std::string_view arg = current();
    for (const std::string_view name : {option.shortName, option.longName}) {
      if (arg == name) {
        next_ += 2;
        if (next_ > args_.size()) {
          missing = true;
          return std::string_view{};
        }
        return args_[next_ - 1];
      }
    }
    if (arg.size() > 2 && arg.starts_with(option.shortName)) {
      ++next_;
      return arg.substr(2);
    }
    if (arg.starts_with(option.longName) && arg.size() > option.longName.size() &&
        arg[option.longName.size()] == '=') {
      ++next_;
      return arg.substr(option.longName.size() + 1);
    }
    return std::nullopt;
  }

 private:
  std::span<const std::string_view> args_;
  std::size_t next_ = 0;
};

// Builds a message from pieces; operator+ on a literal and a temporary string trips a false
// GCC 12 -Wrestrict warning.
std::string message(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (const std::string_view part : parts) text += part;
  return text;
}

Options only(Options::Action action) {
  Options options;
  options.action = action;
  return options;
}

UsageError missingValue(std::string_view option) {
  return UsageError{message({"the option '", option, "' needs a value"})};
}

std::optional<UsageError> readInterval(std::string_view text, Options& options) {
  const CheckedInterval checked = checkInterval(Cell::text(text));
  switch (checked.status) {
    case IntervalCheck::Ok:
      options.interval = checked.value;
      return std::nullopt;
    case IntervalCheck::NotANumber:
      return UsageError{message({"the interval '", text, "' is not a number"})};
    case IntervalCheck::BelowTwo:
      return UsageError{message({"the interval '", text, "' is below 2"})};
    case IntervalCheck::TooLarge:
      return UsageError{message({"the interval '", text, "' is above 32767"})};
  }
  return UsageError{message({"the interval '", text, "' is not usable"})};
}

std::optional<UsageError> readMode(std::string_view text, Options& options) {
  if (text == "simple") {
    options.mode = ThinMode::Simple;
  } else if (text == "average") {
    options.mode = ThinMode::Average;
  } else {
    return UsageError{message({"the mode '", text, "' is neither simple nor average"})};
  }
  return std::nullopt;
}

}  // namespace

std::variant<Options, UsageError> parseOptions(std::span<const std::string_view> args) {
  Options options;
  std::optional<std::string_view> intervalText;
  bool optionsEnded = false;
  ArgumentReader reader(args);
  while (!reader.done()) {
    const std::string_view arg = reader.current();
    const bool isOption = !optionsEnded && arg.size() > 1 && arg[0] == '-';
    if (!isOption) {
      if (!options.input.empty()) return UsageError{message({"more than one input: '", arg, "'"})};
      options.input = arg;
      reader.skip();
      continue;
    }
    if (arg == "--help" || arg == "-h") return only(Options::Action::Help);
    if (arg == "--version") return only(Options::Action::Version);
    bool missing = false;
    if (arg == "--") {
      optionsEnded = true;
      reader.skip();
    } else if (arg == "--verbose" || arg == "-v") {
      options.verbose = true;
      reader.skip();
    } else if (const auto interval = reader.take(kInterval, missing)) {
      intervalText = *interval;
    } else if (const auto mode = reader.take(kMode, missing)) {
      if (missing) return missingValue(arg);
      if (auto error = readMode(*mode, options)) return *error;
    } else if (const auto output = reader.take(kOutput, missing)) {
      options.output = *output;
    } else {
      return UsageError{message({"unknown option '", arg, "'"})};
    }
    if (missing) return missingValue(arg);
  }
  if (!intervalText) return UsageError{"the interval is missing (-n INTERVAL)"};
  if (auto error = readInterval(*intervalText, options)) return *error;
  if (options.input.empty())
    return UsageError{"the input is missing (a file, or - for standard input)"};
  return options;
}

std::string usageText() {
  return "Usage: vorlet-thin -n INTERVAL [-m simple|average] INPUT [-o OUTPUT]\n"
         "\n"
         "Thins a comma-separated table by groups of INTERVAL consecutive records, counted from\n"
         "the first. Simple thinning keeps the first record of every group; average thinning\n"
         "writes the mean of each field over the group. A last, incomplete group is dropped.\n"
         "The output is written exactly as the Vorlet window saves it.\n"
         "\n"
         "  -n, --interval N     records per group: a number of at least 2, rounded half to\n"
         "                       even, at most 32767 (2.5 thins by 2, 3.5 by 4)\n"
         "  -m, --mode MODE      simple (the default) or average\n"
         "  -o, --output PATH    the file to write; - or none: standard output\n"
         "  -v, --verbose        a summary on standard error\n"
         "  -h, --help           this text\n"
         "      --version        the version\n"
         "\n"
         "INPUT is a CSV file in UTF-8 or Shift-JIS, or - for standard input.\n"
         "Exit status: 0 done; 1 the input could not be read or the output not written;\n"
         "2 a usage error.\n";
}

}  // namespace vorlet

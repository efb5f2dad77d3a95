#include "cli/Options.h"

#include <getopt.h>

#include <charconv>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <vector>

#include "table/Cell.h"
#include "table/NumberText.h"

namespace vorlet {

namespace {

enum LongOnly : int {
  kVersion = 256,
  kHeader,
  kNumbersOnly,
  kFirst,
  kDouble,
  kProgress,
  kNoProgress,
};

constexpr char kShortOptions[] = ":hvn:m:o:";  // ':' first: a missing value is told apart
const option kLongOptions[] = {
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, kVersion},
    {"verbose", no_argument, nullptr, 'v'},
    {"interval", required_argument, nullptr, 'n'},
    {"mode", required_argument, nullptr, 'm'},
    {"output", required_argument, nullptr, 'o'},
    {"header", required_argument, nullptr, kHeader},
    {"numbers-only", no_argument, nullptr, kNumbersOnly},
    {"first", required_argument, nullptr, kFirst},
    {"double", no_argument, nullptr, kDouble},
    {"progress", no_argument, nullptr, kProgress},
    {"no-progress", no_argument, nullptr, kNoProgress},
    {nullptr, 0, nullptr, 0},
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

// The option an error is about, as it was typed: a long one up to its '=', a short one alone
// (it may have come inside a bundle).
std::string offending(const char* previous, int shortName) {
  const std::string_view arg = previous != nullptr ? previous : "";
  if (arg.starts_with("--")) return std::string(arg.substr(0, arg.find('=')));
  if (shortName > 0 && shortName < 256) return std::string{'-', static_cast<char>(shortName)};
  return std::string(arg);
}

UsageError badOption(const std::string& name) {
  if (name.starts_with("--") && name.size() > 2) {
    std::string matches;
    int count = 0;
    const std::string_view typed = std::string_view(name).substr(2);
    for (const option* o = kLongOptions; o->name != nullptr; ++o) {
      if (std::string_view(o->name).starts_with(typed)) {
        matches += message({count++ > 0 ? ", --" : "--", o->name});
      }
    }
    if (count > 1) {
      return UsageError{message({"the option '", name, "' is ambiguous (", matches, ")"})};
    }
    if (count == 1) return UsageError{message({"the option '", name, "' takes no value"})};
  }
  return UsageError{message({"unknown option '", name, "'"})};
}

// An interval the number grammar reads but that lies beyond the double range: far below 2 or
// far above 32767 rather than "not a number".
std::optional<IntervalCheck> outOfRange(std::string_view text) {
  if (parseDecimal(text).fault() != Fault::Overflow) return std::nullopt;
  const std::size_t sign = text.find_first_not_of(" \t");
  const bool negative = sign != std::string_view::npos && text[sign] == '-';
  return negative ? IntervalCheck::BelowTwo : IntervalCheck::TooLarge;
}

std::optional<UsageError> readInterval(std::string_view text, ThinSettings& settings) {
  CheckedInterval checked = checkInterval(Cell::text(text));
  if (checked.status == IntervalCheck::NotANumber) {
    checked.status = outOfRange(text).value_or(checked.status);
  }
  switch (checked.status) {
    case IntervalCheck::Ok:
      settings.interval = checked.value;
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

std::optional<UsageError> readMode(std::string_view text, ThinSettings& settings) {
  for (const ThinMode mode : {ThinMode::Simple, ThinMode::Average, ThinMode::Peak,
                              ThinMode::Minimum, ThinMode::Maximum}) {
    if (text == modeName(mode)) {
      settings.mode = mode;
      return std::nullopt;
    }
  }
  return UsageError{
      message({"the mode '", text, "' is not one of simple, average, peak, min, max"})};
}

// A whole number of plain digits, from `least` to 2,147,483,647.
std::optional<std::int32_t> wholeNumber(std::string_view text, std::int32_t least) {
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || text[0] == '-' || text[0] == '+' || error != std::errc{} ||
      end != text.data() + text.size() || value < least || value > INT32_MAX) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(value);
}

std::optional<UsageError> readHeader(std::string_view text, ThinSettings& settings) {
  const auto lines = wholeNumber(text, 0);
  if (!lines) {
    return UsageError{
        message({"the header line count '", text, "' is not a whole number from 0 to 2147483647"})};
  }
  settings.headerLines = *lines;
  return std::nullopt;
}

std::optional<UsageError> readFirst(std::string_view text, ThinSettings& settings) {
  if (text.empty()) return UsageError{"the field list of --first is empty"};
  std::vector<std::int32_t> fields;
  for (std::size_t at = 0; at <= text.size();) {
    const std::size_t comma = std::min(text.find(',', at), text.size());
    const std::string_view item = text.substr(at, comma - at);
    if (!item.empty() && item.find_first_not_of("0123456789") == std::string_view::npos &&
        item.find_first_not_of('0') == std::string_view::npos) {
      return UsageError{message({"the field number '", item, "' in '", text, "' is below 1"})};
    }
    const auto field = wholeNumber(item, 1);
    if (!field) {
      return UsageError{message({"the field list '", text,
                                 "' is malformed (field numbers from 1, separated by commas)"})};
    }
    fields.push_back(*field);
    at = comma + 1;
  }
  settings.firstRecordFields = std::move(fields);
  return std::nullopt;
}

}  // namespace

std::variant<Options, UsageError> parseOptions(std::span<const std::string_view> args) {
  // getopt_long wants writable C strings and permutes them; these are its own copies.
  std::vector<std::string> copies{"vorlet-thin"};
  copies.insert(copies.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : copies) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(copies.size());

  Options options;
  std::optional<std::string> intervalText;
  optind = 0;  // a fresh scan, also for a second call in one process
  opterr = 0;  // the messages are ours
  for (;;) {
    const int c = getopt_long(argc, argv.data(), kShortOptions, kLongOptions, nullptr);
    if (c == -1) break;
    const std::string_view value = optarg != nullptr ? optarg : "";
    std::optional<UsageError> error;
    switch (c) {
      case 'h':
        return only(Options::Action::Help);
      case kVersion:
        return only(Options::Action::Version);
      case 'v':
        options.verbose = true;
        break;
      case 'n':
        intervalText = std::string(value);
        break;
      case 'm':
        error = readMode(value, options.thin);
        break;
      case 'o':
        if (value.empty()) return UsageError{"the output name is empty (- is standard output)"};
        options.output = value;
        break;
      case kHeader:
        error = readHeader(value, options.thin);
        break;
      case kNumbersOnly:
        options.thin.numbersOnly = true;
        break;
      case kFirst:
        error = readFirst(value, options.thin);
        break;
      case kDouble:
        options.thin.doublePrecision = true;
        break;
      case kProgress:
        options.progress = Options::Progress::Always;
        break;
      case kNoProgress:
        options.progress = Options::Progress::Never;
        break;
      case ':':
        return UsageError{
            message({"the option '", offending(argv[optind - 1], optopt), "' needs a value"})};
      default:
        return badOption(offending(optopt == 0 || optopt >= 256 || optopt == 'v' || optopt == 'h'
                                       ? argv[optind - 1]
                                       : nullptr,
                                   optopt));
    }
    if (error) return *error;
  }
  for (int at = optind; at < argc; ++at) {
    if (!options.input.empty()) {
      return UsageError{message({"more than one input: '", argv[at], "'"})};
    }
    options.input = argv[at];
  }
  if (!intervalText) return UsageError{"the interval is missing (-n INTERVAL)"};
  if (auto error = readInterval(*intervalText, options.thin)) return *error;
  if (options.input.empty()) {
    return UsageError{"the input is missing (a file, or - for standard input)"};
  }
  return options;
}

std::string describeSettings(const ThinSettings& settings) {
  std::string fields;
  for (const std::int32_t field : settings.firstRecordFields) {
    if (!fields.empty()) fields += ',';
    fields += std::to_string(field);
  }
  return message({"interval ", std::to_string(settings.interval), ", mode ",
                  modeName(settings.mode), ", header lines ", std::to_string(settings.headerLines),
                  ", numbers only ", settings.numbersOnly ? "on" : "off", ", first-record fields ",
                  fields.empty() ? "none" : fields, ", double precision ",
                  settings.doublePrecision ? "on" : "off"});
}

std::string usageText() {
  return "Usage: vorlet-thin -n INTERVAL [-m MODE] [OPTION]... INPUT [-o OUTPUT]\n"
         "\n"
         "Thins a comma-separated table by groups of INTERVAL consecutive records, counted from\n"
         "the first (after any header lines). Simple thinning keeps the first record of every\n"
         "group; average thinning writes the mean of each field over the group; peak writes two\n"
         "records per group, each field's smallest and largest number in the order they came;\n"
         "min and max write the smallest or largest. A last, incomplete group is dropped. The\n"
         "output is written exactly as the Vorlet window saves it, with the input's encoding\n"
         "and line ends.\n"
         "\n"
         "  -n, --interval N     records per group: a number of at least 2, rounded half to\n"
         "                       even, at most 32767 (2.5 thins by 2, 3.5 by 4)\n"
         "  -m, --mode MODE      simple (the default), average, peak, min or max\n"
         "      --header K       copy the first K records as they are, outside the groups\n"
         "      --numbers-only   average over the cells that are numbers only\n"
         "      --first LIST     fields (from 1, e.g. 1,3) that keep the group's first value\n"
         "      --double         average in double precision\n"
         "  -o, --output PATH    the file to write; - or none: standard output\n"
         "  -v, --verbose        the settings and a summary on standard error\n"
         "      --progress       show progress on standard error even when it is no terminal\n"
         "      --no-progress    never show progress\n"
         "  -h, --help           this text\n"
         "      --version        the version\n"
         "\n"
         "INPUT is a CSV file in UTF-8 or Shift-JIS, or - for standard input. Options may be\n"
         "bundled (-vn10), shortened while unambiguous (--inter 10) and follow the input.\n"
         "\n"
         "OUTPUT appears complete or not at all: it is written beside the target and renamed\n"
         "over it. A replaced file keeps its owner, group, permissions (setuid and setgid\n"
         "cleared), ACL and extended attributes; a symbolic link is written through. Refused\n"
         "before any work: a target without write permission (for root too), append-only or\n"
         "immutable, or one whose owner or group a new file could not keep (another user's\n"
         "file, or a group you are not in). A name such as /dev/stdout is written to as the\n"
         "descriptor it names.\n"
         "\n"
         "Exit status: 0 done; 1 the input could not be read or the output not written;\n"
         "2 a usage error.\n";
}

}  // namespace vorlet

// vorlet-thin's command line: the option parser in-process, then a few runs for what only a
// process shows (exit status, messages, standard streams, output bytes).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <string_view>
#include <thread>
#include <variant>
#include <vector>

#include "ThinProcess.h"
#include "cli/Options.h"
#include "cli/Progress.h"

namespace vorlet {
namespace {

using testing_files::readBytes;
using testing_files::TempFolder;
using testing_files::writeBytes;
using testing_process::Outcome;
using testing_process::runThin;

const std::string kBom = "\xEF\xBB\xBF";

std::string records(int count) {
  std::string text;
  for (int i = 1; i <= count; ++i) text += std::to_string(i) + "\r\n";
  return text;
}

std::variant<Options, UsageError> parse(const std::vector<std::string_view>& args) {
  return parseOptions(args);
}

struct UsageCase {
  const char* name;
  std::vector<std::string_view> args;
  const char* message;
};
const UsageCase kUsageErrors[] = {
    {"NoArguments", {}, "the interval is missing (-n INTERVAL)"},
    {"IntervalBelowTwo", {"-n", "1.5", "in.csv"}, "the interval '1.5' is below 2"},
    {"IntervalNotANumber", {"-n", "abc", "in.csv"}, "the interval 'abc' is not a number"},
    {"IntervalTooLarge", {"--interval", "40000", "in.csv"}, "'40000' is above 32767"},
    {"IntervalBeyondDoubles", {"-n", "1e400", "in.csv"}, "'1e400' is above 32767"},
    {"IntervalFarBelow", {"-n", "-1e400", "in.csv"}, "'-1e400' is below 2"},
    {"UnknownMode", {"-n", "10", "-m", "median", "in.csv"}, "'median' is not one of simple,"},
    {"NoInput", {"-n", "10"}, "the input is missing"},
    {"TwoInputs", {"-n", "10", "a.csv", "b.csv"}, "more than one input: 'b.csv'"},
    {"UnknownOption", {"-n", "10", "--fast", "in.csv"}, "unknown option '--fast'"},
    {"Ambiguous", {"--n", "-n2", "in.csv"}, "'--n' is ambiguous (--numbers-only, --no-progress)"},
    {"ValueOnAFlag", {"--verbose=1", "-n2", "in.csv"}, "'--verbose' takes no value"},
    {"MissingValue", {"in.csv", "-n"}, "the option '-n' needs a value"},
    {"EmptyOutputName", {"-n2", "in.csv", "-o", ""}, "the output name is empty"},
    {"HeaderNegative", {"-n2", "--header", "-1", "in.csv"}, "'-1' is not a whole number from 0"},
    {"HeaderTooLarge", {"-n2", "--header=2147483648", "in.csv"}, "'2147483648' is not a whole"},
    {"FirstEmpty", {"-n2", "--first=", "in.csv"}, "the field list of --first is empty"},
    {"FirstMalformed", {"-n2", "--first", "1,,3", "in.csv"}, "the field list '1,,3' is malformed"},
    {"FirstZero", {"-n2", "--first", "2,0", "in.csv"}, "the field number '0' in '2,0' is below 1"},
};

class UsageErrors : public testing::TestWithParam<UsageCase> {};

TEST_P(UsageErrors, SayWhy) {
  const auto parsed = parse(GetParam().args);
  ASSERT_TRUE(std::holds_alternative<UsageError>(parsed));
  const std::string& message = std::get<UsageError>(parsed).message;
  EXPECT_NE(message.find(GetParam().message), std::string::npos) << message;
}

INSTANTIATE_TEST_SUITE_P(ThinCommand, UsageErrors, testing::ValuesIn(kUsageErrors),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(ThinCommand, OptionFormsAndSettings) {
  const auto options = [](const std::vector<std::string_view>& args) {
    const auto parsed = parse(args);
    EXPECT_TRUE(std::holds_alternative<Options>(parsed)) << std::get<UsageError>(parsed).message;
    return std::holds_alternative<Options>(parsed) ? std::get<Options>(parsed) : Options{};
  };
  // Bundled, shortened, after the input; the last of a repeated option counts.
  const Options bundled =
      options({"in.csv", "-vn10", "--mo=average", "-m", "peak", "--inter", "7"});
  EXPECT_TRUE(bundled.verbose);
  EXPECT_EQ(bundled.thin.interval, 7);
  EXPECT_EQ(bundled.thin.mode, ThinMode::Peak);
  EXPECT_EQ(bundled.input, "in.csv");
  EXPECT_EQ(bundled.progress, Options::Progress::WhenTerminal);
  const Options all = options({"-n3.5", "-mmax", "--header", "2", "--numbers", "--first=1,3",
                               "--double", "--progress", "-", "-o-"});
  EXPECT_EQ(all.progress, Options::Progress::Always);
  EXPECT_EQ(all.input, "-");
  EXPECT_EQ(all.output, "-");
  EXPECT_EQ(describeSettings(all.thin),
            "interval 4, mode max, header lines 2, numbers only on, first-record fields 1,3, "
            "double precision on");
  EXPECT_EQ(options({"-n2", "-m", "min", "--no-p", "--", "-in.csv"}).input, "-in.csv");
  EXPECT_EQ(options({"-n2", "-m", "min", "--no-p", "x"}).progress, Options::Progress::Never);
  EXPECT_EQ(options({"-n2", "--header=2147483647", "x"}).thin.headerLines, 2147483647);
  EXPECT_EQ(std::get<Options>(parse({"-n2", "--help", "--fast"})).action, Options::Action::Help);
}

TEST(ThinCommand, ProgressLine) {
  EXPECT_EQ(progressLine(50'000'000, 200'000'000, 2), " 25%, 25.0 MB/s, 0:06 left");
  EXPECT_EQ(progressLine(75'000'000, 0, 3), "75.0 MB read, 25.0 MB/s");
}

TEST(ThinCommand, AUsageErrorExitsWithTwo) {
  const Outcome run = runThin({"-n", "1", "/no/such/file.csv"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err,
            "vorlet-thin: the interval '1' is below 2\n"
            "Try 'vorlet-thin --help' for more information.\n");
}

TEST(ThinCommand, VersionAndHelpAndTheirFailedWrites) {
  const Outcome version = runThin({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "vorlet-thin 0.43a\n");
  const Outcome help = runThin({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Usage: vorlet-thin -n INTERVAL"), std::string::npos);
  testing_process::ChildSetup full;
  full.output = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
  for (const char* option : {"--version", "--help"}) {
    const Outcome run = runThin({option}, full);
    EXPECT_EQ(run.status, 1) << option;
    EXPECT_EQ(run.err,
              "vorlet-thin: cannot write standard output: writing failed: No space left "
              "on device\n");
  }
  ::close(full.output);
}

TEST(ThinCommand, ReadsStandardInputFromAPipeOrAFile) {
  TempFolder folder;
  const std::string input = kBom + records(7);
  writeBytes(folder / "in.csv", input);
  testing_process::ChildSetup fromFile;
  fromFile.input = ::open((folder / "in.csv").c_str(), O_RDONLY | O_CLOEXEC);
  for (const Outcome& run :
       {runThin({"-n", "3", "-"}, {}, &input), runThin({"-n", "3", "-"}, fromFile)}) {
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, kBom + "1\r\n4\r\n\r\n");
  }
  ::close(fromFile.input);
}

// Read as UTF-8, the header's quoted field takes the whole file, written back as one long record;
// read as Shift-JIS it ends at its line. The output file, written as UTF-8 first, starts over:
// it must hold only what standard output gets, which waits for the encoding.
TEST(ThinCommand, AShiftJisFileThatReadsOtherwiseStartsOverItsOutput) {
  TempFolder folder;
  writeBytes(folder / "in.csv", "\"q\"\x82\xA0\r\n" + records(300000));
  const std::vector<std::string> args = {"-n", "2", "--header", "1", (folder / "in.csv").string()};
  const Outcome toStandardOutput = runThin(args);
  std::vector<std::string> toFileArgs = args;
  toFileArgs.insert(toFileArgs.end(), {"-o", (folder / "out.csv").string()});
  const Outcome toFile = runThin(toFileArgs);
  EXPECT_EQ(toFile.status, 0) << toFile.err;
  EXPECT_TRUE(toStandardOutput.out.starts_with("q,\r\n1,\r\n3,\r\n"));
  EXPECT_TRUE(readBytes(folder / "out.csv") == toStandardOutput.out);
}

TEST(ThinCommand, VerboseSummary) {
  TempFolder folder;
  writeBytes(folder / "in.csv", "1,x\r\n2,3\r\n,4\r\n5\r\n6,7\r\n");
  const Outcome run =
      runThin({"-n", "2", "-m", "average", "--verbose", (folder / "in.csv").string()});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "1.5,1.5\r\n2.5,2\r\n\r\n");
  for (const char* part : {"interval 2, mode average, header lines 0", "5 records of 2 fields read",
                           "2 records written", "1 trailing records dropped",
                           "2 cells were not numbers, or beyond the single-precision range"}) {
    EXPECT_NE(run.err.find(part), std::string::npos) << run.err;
  }
}

// Forced onto a standard error that is no terminal, for standard input: the line is drawn there,
// cleared at the end, and never reaches standard output.
TEST(ThinCommand, ProgressGoesToStandardErrorOnly) {
  TempFolder io;
  int ends[2];
  ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
  testing_process::ChildSetup setup;
  setup.input = ends[0];
  const pid_t child =
      testing_process::startThin({"-n", "2", "--progress", "-"}, io / "out", io / "err", setup);
  ::close(ends[0]);
  // Standard input stays open until the line has been drawn.
  EXPECT_EQ(::write(ends[1], "1\r\n2\r\n", 6), 6);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (readBytes(io / "err").empty() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(::write(ends[1], "3\r\n4\r\n", 6), 6);
  ::close(ends[1]);
  const Outcome run =
      testing_process::finish(child, io / "out", io / "err", std::chrono::seconds(60));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "1\r\n3\r\n\r\n");
  EXPECT_TRUE(run.err.starts_with("\r0.0 MB read")) << run.err;
  EXPECT_TRUE(run.err.ends_with(" \r")) << run.err;
}

}  // namespace
}  // namespace vorlet

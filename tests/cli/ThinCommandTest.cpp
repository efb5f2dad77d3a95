// vorlet-thin run as a process: exit status, messages and output bytes. Its refusals of bad
// inputs and outputs are in BadInputTest and OutputFaultTest.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <ostream>
#include <string>
#include <vector>

#include "ThinProcess.h"

namespace {

using vorlet::testing_files::readBytes;
using vorlet::testing_files::TempFolder;
using vorlet::testing_files::writeBytes;
using vorlet::testing_process::Outcome;
using vorlet::testing_process::runThin;

const std::string kBom = "\xEF\xBB\xBF";

std::string records(int count) {
  std::string text;
  for (int i = 1; i <= count; ++i) text += std::to_string(i) + "\r\n";
  return text;
}

struct UsageCase {
  const char* name;
  std::vector<std::string> args;
  const char* message;
};
// Test names, not bytes, in the test list.
void PrintTo(const UsageCase& c, std::ostream* os) {
  *os << c.name;
}

const UsageCase kUsageErrors[] = {
    {"NoArguments", {}, "interval is missing"},
    {"IntervalBelowTwo", {"-n", "1.5", "in.csv"}, "'1.5' is below 2"},
    {"IntervalNotANumber", {"-n", "abc", "in.csv"}, "'abc' is not a number"},
    {"IntervalTooLarge", {"--interval", "40000", "in.csv"}, "'40000' is above 32767"},
    // The interval is checked before the input is looked at.
    {"IntervalBeforeInput", {"-n", "1", "/no/such/file.csv"}, "below 2"},
    {"UnknownMode", {"-n", "10", "-m", "median", "in.csv"}, "'median' is neither"},
    {"NoInput", {"-n", "10"}, "input is missing"},
    {"TwoInputs", {"-n", "10", "a.csv", "b.csv"}, "more than one input"},
    {"UnknownOption", {"-n", "10", "--fast", "in.csv"}, "unknown option '--fast'"},
    {"MissingValue", {"in.csv", "-n"}, "'-n' needs a value"},
};

class UsageError : public testing::TestWithParam<UsageCase> {};

TEST_P(UsageError, ExitsWithTwoAndSaysWhy) {
  const Outcome run = runThin(GetParam().args);
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find(GetParam().message), std::string::npos) << run.err;
}

INSTANTIATE_TEST_SUITE_P(ThinCommand, UsageError, testing::ValuesIn(kUsageErrors),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(ThinCommand, VersionAndHelp) {
  const Outcome version = runThin({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "vorlet-thin 0.43a\n");
  const Outcome help = runThin({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("vorlet-thin -n INTERVAL [-m simple|average] INPUT [-o OUTPUT]"),
            std::string::npos);
}

struct ThinCase {
  const char* name;
  std::vector<std::string> options;
  std::string expected;  // of records(8)
};
// Test names, not bytes, in the test list.
void PrintTo(const ThinCase& c, std::ostream* os) {
  *os << c.name;
}

const ThinCase kThins[] = {
    {"Simple", {"-n", "3"}, "1\r\n4\r\n\r\n"},
    {"HalfRoundsToEven", {"-n", "3.5"}, "1\r\n5\r\n\r\n"},
    {"Average", {"-n", "4", "-m", "average"}, "2.5\r\n6.5\r\n\r\n"},
    {"JoinedForms", {"--interval=3", "--mode=average"}, "2\r\n5\r\n\r\n"},
    {"ShortJoinedForm", {"-n3", "-msimple"}, "1\r\n4\r\n\r\n"},
    {"NothingSurvives", {"-n", "9"}, "\r\n"},
};

class Thinning : public testing::TestWithParam<ThinCase> {};

TEST_P(Thinning, WritesTheSavedBytesToStandardOutput) {
  TempFolder folder;
  writeBytes(folder / "in.csv", records(8));
  std::vector<std::string> args = GetParam().options;
  args.push_back((folder / "in.csv").string());
  const Outcome run = runThin(args);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, GetParam().expected);
  EXPECT_EQ(run.err, "");
}

INSTANTIATE_TEST_SUITE_P(ThinCommand, Thinning, testing::ValuesIn(kThins),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(ThinCommand, ReadsStandardInputFromAPipeOrAFile) {
  TempFolder folder;
  const std::string input = kBom + records(7);
  writeBytes(folder / "in.csv", input);
  vorlet::testing_process::ChildSetup fromFile;
  fromFile.input = ::open((folder / "in.csv").c_str(), O_RDONLY | O_CLOEXEC);
  for (const Outcome& run :
       {runThin({"-n", "3", "-"}, {}, &input), runThin({"-n", "3", "-"}, fromFile)}) {
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, kBom + "1\r\n4\r\n\r\n");
  }
  ::close(fromFile.input);
}

TEST(ThinCommand, WritesTheOutputFile) {
  TempFolder folder;
  writeBytes(folder / "in.csv", records(4));
  writeBytes(folder / "out.csv", "an older, longer result\r\n");
  const Outcome run =
      runThin({"-n", "2", (folder / "in.csv").string(), "-o", (folder / "out.csv").string()});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(readBytes(folder / "out.csv"), "1\r\n3\r\n\r\n");
  EXPECT_EQ(folder.listing(), "in.csv\nout.csv\n");
}

TEST(ThinCommand, VerboseSummary) {
  TempFolder folder;
  writeBytes(folder / "in.csv", "1,x\r\n2,3\r\n,4\r\n5\r\n6,7\r\n");
  const Outcome run =
      runThin({"-n", "2", "-m", "average", "--verbose", (folder / "in.csv").string()});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "1.5,1.5\r\n2.5,2\r\n\r\n");
  for (const char* part : {"5 records of 2 fields read", "2 records written",
                           "1 trailing records dropped", "2 cells were not numbers"}) {
    EXPECT_NE(run.err.find(part), std::string::npos) << run.err;
  }
}

}  // namespace

// vorlet-thin run as a process: exit status, messages and output bytes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "../delimited/file/TempFolder.h"

namespace {

namespace fs = std::filesystem;

using vorlet::testing_files::readBytes;
using vorlet::testing_files::TempFolder;
using vorlet::testing_files::writeBytes;

const std::string kBom = "\xEF\xBB\xBF";

std::size_t entries(const TempFolder& folder) {
  return static_cast<std::size_t>(
      std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()));
}

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

enum class Stdin { None, Pipe, File };

// Runs build/vorlet-thin with `args`; standard input is `input`, through a pipe or a file.
Outcome runThin(const std::vector<std::string>& args, const std::string& input = "",
                Stdin how = Stdin::None) {
  TempFolder io;
  const fs::path outPath = io / "stdout", errPath = io / "stderr", inPath = io / "stdin";
  writeBytes(inPath, input);
  int feed[2] = {-1, -1};
  if (how == Stdin::Pipe && ::pipe(feed) != 0) return {};

  std::vector<std::string> argv = {std::string(VORLET_BINARY_DIR) + "/vorlet-thin"};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> pointers;
  for (auto& arg : argv) pointers.push_back(arg.data());
  pointers.push_back(nullptr);

  const pid_t child = ::fork();
  if (child == 0) {
    const int in = how == Stdin::Pipe ? feed[0] : ::open(inPath.c_str(), O_RDONLY);
    ::dup2(in, 0);
    ::dup2(::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
    ::dup2(::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
    if (how == Stdin::Pipe) ::close(feed[1]);
    ::execv(pointers[0], pointers.data());
    ::_exit(127);
  }
  if (how == Stdin::Pipe) {
    ::close(feed[0]);
    std::size_t at = 0;
    while (at < input.size()) {
      const ssize_t n = ::write(feed[1], input.data() + at, input.size() - at);
      if (n <= 0) break;
      at += static_cast<std::size_t>(n);
    }
    ::close(feed[1]);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  Outcome run;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = readBytes(outPath);
  run.err = readBytes(errPath);
  return run;
}

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

const UsageCase kUsageErrors[] = {
    {"NoArguments", {}, "interval is missing"},
    {"IntervalBelowTwo", {"-n", "1.5", "in.csv"}, "'1.5' is below 2"},
    {"IntervalNotANumber", {"-n", "abc", "in.csv"}, "'abc' is not a number"},
    {"IntervalTooLarge", {"--interval", "40000", "in.csv"}, "'40000' is above 32767"},
    {"IntervalRoundsAbove32767", {"-n", "32767.5", "in.csv"}, "above 32767"},
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

const ThinCase kThins[] = {
    {"Simple", {"-n", "3"}, "1\r\n4\r\n\r\n"},
    {"HalfRoundsDownToEven", {"-n", "2.5"}, "1\r\n3\r\n5\r\n7\r\n\r\n"},
    {"HalfRoundsUpToEven", {"-n", "3.5"}, "1\r\n5\r\n\r\n"},
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
  const std::string input = kBom + records(7);
  for (const Stdin how : {Stdin::Pipe, Stdin::File}) {
    const Outcome run = runThin({"-n", "3", "-"}, input, how);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, kBom + "1\r\n4\r\n\r\n");
  }
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
  EXPECT_EQ(entries(folder), 2u);
}

struct FailureCase {
  const char* name;
  std::string input;  // the bytes of in.csv; empty name below means no file at all
  const char* inputName;
  const char* message;
};

const FailureCase kFailures[] = {
    {"MissingInput", "", "missing.csv", "no such file"},
    {"FolderInput", "", ".", "not a regular file"},
    {"UndecodableInput", "1,2\r\n\x80", "in.csv", "invalid byte at offset 5"},
    {"BomAlone", kBom, "in.csv", "holds no records"},
};

class Failure : public testing::TestWithParam<FailureCase> {};

TEST_P(Failure, ExitsWithOneAndLeavesTheOutputAlone) {
  TempFolder folder;
  writeBytes(folder / "in.csv", GetParam().input);
  writeBytes(folder / "out.csv", "kept\r\n");
  const fs::path input = folder / GetParam().inputName;
  const Outcome run = runThin({"-n", "2", input.string(), "-o", (folder / "out.csv").string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find(input.string()), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(GetParam().message), std::string::npos) << run.err;
  EXPECT_EQ(readBytes(folder / "out.csv"), "kept\r\n");
  EXPECT_EQ(entries(folder), 2u);
}

INSTANTIATE_TEST_SUITE_P(ThinCommand, Failure, testing::ValuesIn(kFailures),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(ThinCommand, UnwritableOutputExitsWithOneAndCreatesNothing) {
  TempFolder folder;
  writeBytes(folder / "in.csv", records(4));
  const fs::path output = folder / "missing" / "out.csv";
  const Outcome run = runThin({"-n", "2", (folder / "in.csv").string(), "-o", output.string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("cannot write " + output.string()), std::string::npos) << run.err;
  EXPECT_EQ(entries(folder), 1u);
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

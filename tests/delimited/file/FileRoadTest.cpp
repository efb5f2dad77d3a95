#include "delimited/FileRoad.h"

// The window's open road where a refusal depends on more than the bytes; the refusals by the
// bytes, and the open, thin and save roads, are checked through the window (tests/app) and
// against the reading rules (ThinningOracleTest).
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "support/TempFolder.h"
#include "thinning/ThinTable.h"

namespace vorlet {
namespace {

using Kind = FileError::Kind;
using testing_files::TempFolder;
using testing_files::writeBytes;
namespace fs = std::filesystem;

// Open, thin and save count their work to the end, in every mode, so the window's percentage
// reaches 100 and never passes it.
TEST(FileRoad, OpenThinAndSaveCountTheirWorkToTheEnd) {
  TempFolder folder;
  std::string text = "t,a\r\n";
  for (int i = 0; i < 20000; ++i)
    text += std::to_string(i) + ",\"" + std::to_string(i % 7) + "\"\r\n";
  writeBytes(folder / "in.csv", text);
  Progress opening;
  auto opened = readDelimitedFile(folder / "in.csv", &opening);
  ASSERT_TRUE(std::holds_alternative<OpenedTable>(opened));
  EXPECT_EQ(opening.percent(), 100);
  SharedVariables vars;
  vars.SourceTable = std::move(std::get<OpenedTable>(opened).table);
  for (const ThinMode mode : {ThinMode::Simple, ThinMode::Average, ThinMode::Peak}) {
    ThinSettings settings{7, mode};
    settings.headerLines = 1;
    Progress thinning;
    thinTable(vars, settings, &thinning);
    EXPECT_GE(thinning.percent(), 99) << static_cast<int>(mode);  // the last group is incomplete
    Progress saving;
    EXPECT_EQ(saveDelimitedFile(vars.ResultTable, TextEncoding::Utf8, folder / "out.csv",
                                LineEnd::CrLf, &saving),
              std::nullopt);
    EXPECT_EQ(saving.percent(), 100);
  }
}

// The size check passes (the machine has the memory) but the process may not take it: the
// table's allocation fails halfway, and the open is refused as too large instead of crashing.
TEST(FileRoad, RunningOutOfMemoryWhileOpeningIsRefusedAsTooLarge) {
  if (testing_files::kSanitized)
    GTEST_SKIP() << "a memory limit and the address sanitizer do not mix";
  const testing_files::TempFolder folder;
  const fs::path path = folder / "input.csv";
  std::string bytes;
  for (int r = 0; r < 4'000'000; ++r) bytes += "1,2\r\n";  // 20 MB; its table needs 64 MB more
  testing_files::writeBytes(path, bytes);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    long pages = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
      if (std::fscanf(statm, "%ld", &pages) != 1) pages = 0;
      std::fclose(statm);
    }
    const auto now = static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE));
    const rlimit limit{now + (rlim_t{40} << 20), now + (rlim_t{40} << 20)};
    if (pages == 0 || ::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(2);
    const auto result = readDelimitedFile(path);
    const auto* error = std::get_if<FileError>(&result);
    ::_exit(error != nullptr && error->kind == Kind::TooLarge ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "the open crashed (signal " << WTERMSIG(status) << ")";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: not refused as too large; 2: no limit could be set";
}

}  // namespace
}  // namespace vorlet

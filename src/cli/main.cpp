// vorlet-thin: thins a CSV file by the window's rules without building tables, so files far
// larger than memory thin in one pass.
#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <variant>
#include <vector>

#include "cli/InterruptCleanup.h"
#include "cli/Options.h"
#include "cli/Progress.h"
#include "delimited/SafeFile.h"
#include "delimited/StreamPipeline.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

using vorlet::FileError;

constexpr std::string_view kProgram = "vorlet-thin";
constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

std::optional<FileError> writeStandardOutput(std::string_view bytes) {
  return vorlet::writeToDescriptor(1, bytes, "standard output");
}

// Help and version text; a failed write (a full disk, a closed pipe) is a failure too.
int printText(std::string_view text) {
  if (const auto error = writeStandardOutput(text)) {
    std::fprintf(stderr, "%s: %s\n", kProgram.data(), vorlet::describe(*error).c_str());
    return kExitFailed;
  }
  return kExitDone;
}

bool showProgress(vorlet::Options::Progress progress) {
  switch (progress) {
    case vorlet::Options::Progress::Always:
      return true;
    case vorlet::Options::Progress::Never:
      return false;
    case vorlet::Options::Progress::WhenTerminal:
      break;
  }
#ifdef _WIN32
  return _isatty(2) != 0;
#else
  return ::isatty(2) != 0;
#endif
}

const char* encodingName(vorlet::TextEncoding encoding) {
  switch (encoding) {
    case vorlet::TextEncoding::Utf8:
      return "UTF-8";
    case vorlet::TextEncoding::Utf8WithBom:
      return "UTF-8 with BOM";
    case vorlet::TextEncoding::ShiftJis:
      return "Shift-JIS";
  }
  return "?";
}

void printSummary(const vorlet::Options& options, const std::string& input,
                  const vorlet::StreamSummary& summary) {
  std::fprintf(stderr, "%s: %s\n", kProgram.data(), vorlet::describeSettings(options.thin).c_str());
  std::fprintf(stderr,
               "%s: %s (%s, %s line ends): %llu records of %llu fields read, %llu records "
               "written, %llu trailing records dropped\n",
               kProgram.data(), input.c_str(), encodingName(summary.encoding),
               summary.lineEnd == vorlet::LineEnd::Lf ? "LF" : "CR LF",
               static_cast<unsigned long long>(summary.recordsRead),
               static_cast<unsigned long long>(summary.fields),
               static_cast<unsigned long long>(summary.recordsWritten),
               static_cast<unsigned long long>(summary.trailingDropped));
  if (options.thin.mode == vorlet::ThinMode::Average) {
    std::fprintf(stderr,
                 "%s: %llu cells were not numbers, or beyond the %s range, and added nothing "
                 "to their means\n",
                 kProgram.data(), static_cast<unsigned long long>(summary.notNumbers),
                 options.thin.doublePrecision ? "double" : "single-precision");
  }
}

// Runs the stream pipeline; the error, if any, is what the user is told.
std::optional<FileError> thin(const vorlet::Options& options) {
  auto opened = options.input == "-" ? vorlet::InputFile::borrow(0, "standard input")
                                     : vorlet::InputFile::open(options.input);
  if (auto* error = std::get_if<FileError>(&opened)) return *error;
  auto& input = std::get<vorlet::InputFile>(opened);
  vorlet::StreamSettings settings{options.thin};
  std::optional<vorlet::ProgressMeter> progress;
  try {
    if (showProgress(options.progress)) progress.emplace(input);
  } catch (const std::system_error&) {
    // No thread to spare: the run goes on without a progress line.
  }

  std::variant<vorlet::StreamSummary, FileError> result;
  if (options.output.empty() || options.output == "-") {
    result = vorlet::thinStream(input, settings, writeStandardOutput);
  } else {
    // The output appears complete or not at all: a failed or interrupted run leaves no file
    // behind. The cleanup outlives the file, so that it still covers the file's removal.
    vorlet::InterruptCleanup cleanup;
    vorlet::SafeFile output(options.output);
    {
      const vorlet::HeldInterrupts held;  // a named temporary is covered from its creation on
      if (auto error = output.open()) return error;
      cleanup.arm(output.temporaryPath());
    }
    // The temporary is seen only once complete, so it may take a refusal found late and drop what
    // it got; a descriptor the target names must not see a byte of a refused input.
    if (output.canStartOver()) settings.startOver = [&output] { return output.startOver(); };
    result = vorlet::thinStream(input, settings,
                                [&output](std::string_view bytes) { return output.write(bytes); });
    if (progress) progress->stop();
    if (auto* error = std::get_if<FileError>(&result)) return *error;
    const vorlet::HeldInterrupts held;  // commit names the temporary and renames it away
    auto error = output.commit();
    cleanup.disarm();
    if (error) return error;
  }
  if (progress) progress->stop();
  if (auto* error = std::get_if<FileError>(&result)) return *error;
  if (options.verbose) printSummary(options, input.name(), std::get<vorlet::StreamSummary>(result));
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  _setmode(0, _O_BINARY);
  _setmode(1, _O_BINARY);
#endif
  vorlet::installInterruptCleanup();
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  const auto parsed = vorlet::parseOptions(args);
  if (const auto* usage = std::get_if<vorlet::UsageError>(&parsed)) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kProgram.data(),
                 usage->message.c_str(), kProgram.data());
    return kExitUsage;
  }
  const auto& options = std::get<vorlet::Options>(parsed);
  switch (options.action) {
    case vorlet::Options::Action::Help:
      return printText(vorlet::usageText());
    case vorlet::Options::Action::Version:
      return printText(std::string(vorlet::kVersionText) + "\n");
    case vorlet::Options::Action::Thin:
      break;
  }
  if (const auto error = thin(options)) {
    std::fprintf(stderr, "%s: %s\n", kProgram.data(), vorlet::describe(*error).c_str());
    return kExitFailed;
  }
  return kExitDone;
}

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
  while (!bytes.empty()) {
#ifdef _WIN32
    const int written =
        _write(1, bytes.data(),
               static_cast<unsigned>(bytes.size() < (1u << 30) ? bytes.size() : (1u << 30)));
#else
    const ssize_t written = ::write(1, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
#endif
    if (written <= 0) {
      const int error = written == 0 ? ENOSPC : errno;
      return FileError{FileError::Kind::WriteFailed, "standard output",
                       std::generic_category().message(error), 0};
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return std::nullopt;
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
  std::fprintf(stderr,
               "%s: %s (%s, %s line ends): %llu records of %llu fields read, %llu records "
               "written, %llu trailing records dropped\n",
               kProgram.data(), input.c_str(), encodingName(summary.encoding),
               summary.lineEnd == vorlet::LineEnd::Lf ? "LF" : "CR LF",
               static_cast<unsigned long long>(summary.recordsRead),
               static_cast<unsigned long long>(summary.fields),
               static_cast<unsigned long long>(summary.recordsWritten),
               static_cast<unsigned long long>(summary.trailingDropped));
  if (options.mode == vorlet::ThinMode::Average) {
    std::fprintf(stderr, "%s: %llu cells were not numbers and added nothing to their means\n",
                 kProgram.data(), static_cast<unsigned long long>(summary.notNumbers));
  }
}

// Runs the stream pipeline; the error, if any, is what the user is told.
std::optional<FileError> thin(const vorlet::Options& options) {
  auto opened = options.input == "-" ? vorlet::InputFile::borrow(0, "standard input")
                                     : vorlet::InputFile::open(options.input);
  if (auto* error = std::get_if<FileError>(&opened)) return *error;
  auto& input = std::get<vorlet::InputFile>(opened);
  const vorlet::StreamSettings settings{{options.interval, options.mode}};

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
    result = vorlet::thinStream(input, settings,
                                [&output](std::string_view bytes) { return output.write(bytes); });
    if (auto* error = std::get_if<FileError>(&result)) return *error;
    const vorlet::HeldInterrupts held;  // commit names the temporary and renames it away
    auto error = output.commit();
    cleanup.disarm();
    if (error) return error;
  }
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
      std::fputs(vorlet::usageText().c_str(), stdout);
      return kExitDone;
    case vorlet::Options::Action::Version:
      std::printf("%s\n", vorlet::kVersionText.data());
      return kExitDone;
    case vorlet::Options::Action::Thin:
      break;
  }
  if (const auto error = thin(options)) {
    std::fprintf(stderr, "%s: %s\n", kProgram.data(), vorlet::describe(*error).c_str());
    return kExitFailed;
  }
  return kExitDone;
}

#include "cli/command_line.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "cli/batch_reports.h"
#include "driver/console.h"
#include "driver/dialogue.h"
#include "psd/input_spectrum.h"

namespace vandorak::cli {

namespace {

constexpr const char* kVersion = "vandorak 1.1";
constexpr const char* kUsage = "Usage: vandorak [OPTIONS] LISTING  (no arguments: the interactive dialogue)";

struct BatchArguments {
  std::string listing;
  bool divide = false;
  bool as_printed = false;
  bool quiet = false;
  std::string output_directory;
  std::vector<std::int32_t> nodes;
  std::string plot;  // empty: no pictures
  bool summary = false;
  std::string psd;
};

int usage_error(const std::string& message) {
  std::fprintf(stderr, "vandorak: %s\n%s\n", message.c_str(), kUsage);
  return 2;
}

int run_batch(const BatchArguments& arguments) {
  ReportOptions reports;
  if (!arguments.plot.empty()) {
    reports.plot = arguments.plot == "svg"   ? report::PlotFormat::svg
                   : arguments.plot == "pdf" ? report::PlotFormat::pdf
                                             : report::PlotFormat::png;
  }
  reports.summary = arguments.summary;
  if (!arguments.psd.empty()) {
    psd::InputSpectrum input;
    std::string error;
    if (!psd::load_input_spectrum(arguments.psd, input, error)) return usage_error(error);
    reports.input_psd = std::move(input);
  }

  const std::filesystem::path directory = arguments.output_directory.empty() ? "." : arguments.output_directory;
  if (!arguments.output_directory.empty()) {
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error || !std::filesystem::is_directory(directory)) {
      std::fprintf(stderr, "vandorak: cannot make output directory '%s': %s\n", arguments.output_directory.c_str(),
                   error ? error.message().c_str() : "not a directory");
      return 1;
    }
  }
  reports.directory = directory;
  reports.listing_name = std::filesystem::path(arguments.listing).filename().string();
  reports.divided_by_386 = arguments.divide;
  reports.progress = isatty(STDERR_FILENO) != 0;
  BatchReports observer(reports);

  RunOptions options;
  options.listing = arguments.listing;
  options.unit_answer = arguments.divide ? 1 : 2;
  options.output_directory = arguments.output_directory;
  options.only_nodes = arguments.nodes;
  options.observer = &observer;

  // Quiet runs print nothing on success; what would have been printed is
  // dropped, failures still say why on standard error.
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> sink(nullptr, std::fclose);
  if (arguments.quiet) {
    sink.reset(std::fopen("/dev/null", "w"));
    if (sink == nullptr) {
      std::fprintf(stderr, "vandorak: cannot open /dev/null\n");
      return 1;
    }
  }
  const Console console{arguments.quiet ? sink.get() : stdout, nullptr};
  const int status = run_dialogue(stdin, console, options);
  if (status == 2) std::fprintf(stderr, "%s\n", kUsage);
  if (status != 0) return status;

  std::string closing;
  const bool reports_ok = observer.finish(closing);
  if (!arguments.quiet) std::fputs(closing.c_str(), stdout);
  return reports_ok && observer.ok() ? 0 : 1;
}

}  // namespace

int run_command_line(int argc, char** argv) {
  if (argc <= 1) {
    const Console console{stdout, wait_for_key};
    return finish_standard_output(run_dialogue(stdin, console));
  }

  CLI::App app{"Reads the printed listing of a frequency-response run and writes, per response node, "
               "24 two-column transmissibility files (frequency in Hz against a magnitude or its square).",
               "vandorak"};
  app.footer(
      "Without arguments vandorak runs its interactive dialogue.\n\n"
      "Example:\n"
      "  vandorak --divide-386 --plot --summary -o out examples/sample.out\n"
      "  vandorak --divide-386 --psd examples/workmanship.psd --summary -o out examples/sample.out");
  BatchArguments arguments;
  app.add_option("LISTING", arguments.listing, "the solver's printed output listing")->required();
  auto* divide = app.add_flag("--divide-386", arguments.divide,
                              "divide translational accelerations by 386 (in/s^2 to g): the dialogue's answer 1");
  auto* as_printed =
      app.add_flag("--as-printed", arguments.as_printed, "leave accelerations as printed: the dialogue's answer 2");
  divide->excludes(as_printed);
  app.add_flag("-q,--quiet", arguments.quiet, "print nothing on success");
  app.add_option("-o,--output-dir", arguments.output_directory,
                 "directory for the response files, the node-list file and the reports (created if missing)");
  app.add_option("--nodes", arguments.nodes, "passes only for these node ids of the listing's list (comma-separated)")
      ->delimiter(',');
  app.add_option("--plot", arguments.plot, "pictures of every node's curves: png (the default), svg or pdf")
      ->expected(0, 1)
      ->default_str("png")
      ->check(CLI::IsMember({"png", "svg", "pdf"}));
  app.add_flag("--summary", arguments.summary, "summary.csv: each curve's peak and the nearest natural frequency");
  auto* psd = app.add_option("--psd", arguments.psd,
                             "base-input acceleration PSD (Hz, g^2/Hz): response PSD files and Grms per node")
                  ->check(CLI::ExistingFile);
  app.set_version_flag("--version", kVersion);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::fputs(app.help().c_str(), stdout);
    return finish_standard_output(0);
  } catch (const CLI::CallForVersion&) {
    std::printf("%s\n", kVersion);
    return finish_standard_output(0);
  } catch (const CLI::ParseError& error) {
    return usage_error(error.what());
  }
  if (!arguments.divide && !arguments.as_printed) {
    return usage_error("say how accelerations are written: --divide-386 (in g) or --as-printed");
  }
  if (psd->count() > 0 && !arguments.divide) {
    return usage_error("--psd needs --divide-386: the transmissibility must be in g per g of base input");
  }
  if (app.count("--plot") > 0 && arguments.plot.empty()) arguments.plot = "png";
  return finish_standard_output(run_batch(arguments));
}

}  // namespace vandorak::cli

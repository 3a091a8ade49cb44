#include "driver/dialogue.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>

#include "driver/console.h"
#include "listing/passes.h"
#include "listing/response_recording.h"
#include "output/response_files.h"

namespace vandorak {

namespace {

void print_banner(std::FILE* out) {
  std::fprintf(out, "\n\n vandorak  ver 1.1   May 2, 2008");
  std::fprintf(out, "\n by the vandorak developers");
  std::fprintf(out, "\n questions and reports: the vandorak issue tracker");
  std::fprintf(out, "\n\n The input file is the NE/Nastran output file where ");
  std::fprintf(out, "\n a force frequency function was applied to the FE model. ");
  std::fprintf(out, "\n i.e. The analysis type is SOL SEMFREQ.");
  std::fprintf(out, "\n\n The base input is assumed to be a constant amplitude frequency function. \n");
  std::fprintf(out, "\n\n The program thus outputs transmissibility functions. \n");
  std::fprintf(out, "\n\n Enter input filename \n");
}

// Reads one white-space-delimited word of any length, as "%s" would; the
// character after it stays in the input. Leaves word empty at end of input.
void read_word(std::FILE* in, std::string& word) {
  int c = std::getc(in);
  while (c != EOF && std::isspace(c)) c = std::getc(in);
  while (c != EOF && !std::isspace(c)) {
    word.push_back(static_cast<char>(c));
    c = std::getc(in);
  }
  if (c != EOF) std::ungetc(c, in);
}

// One line on standard error saying why the run stops.
void report(const std::string& reason) { std::fprintf(stderr, "vandorak: %s\n", reason.c_str()); }

std::string quoted(const std::string& name) { return "'" + name + "'"; }

[[noreturn]] void stop_after_key(const Console& console, const char* farewell) {
  std::fprintf(console.out, "%s", farewell);
  console.wait();
  stop_run();
}

[[noreturn]] void stop_on_unit(RunState& state, const Console& console, int unit, const char* action) {
  report(std::string(action) + " " + quoted(state.units.path_of(unit)) + " (file " + std::to_string(unit) +
         "): " + state.units.reason(unit));
  std::fprintf(console.out, "file %d error \n", unit);
  stop_after_key(console, "\n press any key to exit \n");
}

[[noreturn]] void stop_on_listing(const Console& console, const std::string& reason) {
  report(reason);
  std::fprintf(console.out, "Input file error \n");
  stop_after_key(console, "\n press any key to exit \n");
}

// Opens the listing for reading. It is read from its start at every pass,
// so only a regular file will do: a directory, a FIFO or a device is
// refused at once, without blocking in the open. Returns the reason on
// failure, empty on success.
std::string open_listing(RunState& state) {
  FileUnit& unit = state.units[kListingUnit];
  const std::string& name = unit.name;
  const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return "cannot open listing " + quoted(name) + ": " + std::strerror(errno);
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    const int error = errno;
    ::close(fd);
    if (S_ISDIR(status.st_mode)) return "listing " + quoted(name) + " is a directory";
    if (error != 0 && !S_ISFIFO(status.st_mode) && !S_ISCHR(status.st_mode) && !S_ISBLK(status.st_mode) &&
        !S_ISSOCK(status.st_mode)) {
      return "cannot open listing " + quoted(name) + ": " + std::strerror(error);
    }
    return "listing " + quoted(name) + " is not a regular file (it is read from its start at every pass)";
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  unit.stream = ::fdopen(fd, "rb");
  if (unit.stream == nullptr) {
    const int error = errno;
    ::close(fd);
    return "cannot open listing " + quoted(name) + ": " + std::strerror(error);
  }
  state.listing.attach(unit.stream);
  state.listing.get();
  if (state.listing.read_failed()) {
    const int error = state.listing.read_error();
    std::fclose(unit.stream);
    unit.stream = nullptr;
    state.listing.attach(nullptr);
    return "cannot read listing " + quoted(name) + ": " + std::strerror(error);
  }
  state.listing.rewind();
  state.units.listing_known = true;
  state.units.listing_device = static_cast<unsigned long long>(status.st_dev);
  state.units.listing_inode = static_cast<unsigned long long>(status.st_ino);
  return {};
}

// A listing that stops being readable part-way (a device error) would end a
// pass early and silently: stop instead.
void stop_if_listing_failed(const RunState& state, const Console& console) {
  if (state.listing.read_failed()) {
    stop_on_listing(console, "reading listing " + quoted(state.units.units[kListingUnit].name) +
                                 " failed: " + std::strerror(state.listing.read_error()));
  }
}

void natural_frequency_stage(RunState& state, std::FILE* in, const Console& console, const RunOptions& options) {
  print_banner(console.out);
  std::fflush(console.out);
  FileUnit& listing = state.units[kListingUnit];
  if (options.listing) {
    listing.name = *options.listing;
  } else {
    read_word(in, listing.name);
  }
  if (const std::string failure = open_listing(state); !failure.empty()) stop_on_listing(console, failure);
  std::fprintf(console.out, "\n open %s \n", listing.name.c_str());
  std::fprintf(console.out, "\n natural freq (Hz) \n");

  const int rows = scan_natural_frequencies(state, console);
  stop_if_listing_failed(state, console);
  if (rows <= 1) {
    std::fprintf(console.out, rows == 0 ? "\n\n Warning:  no eigenvalues found. \n"
                                        : "\n\n Warning:  only one eigenvalue found. \n");
    std::fprintf(console.out, "\n press any key to continue \n");
    console.wait();
  }
}

void discovery_stage(RunState& state, std::FILE* in, const Console& console, const RunOptions& options) {
  std::fprintf(console.out, "\n\n magnitude and phase \n");
  const std::string& listing = state.units.units[kListingUnit].name;
  switch (discover_nodes(state, console)) {
    case DiscoveryResult::node_file_error:
      stop_on_unit(state, console, kNodeListUnit, "cannot create or write");
    case DiscoveryResult::zero_nodes:
      report("the first complex acceleration block of " + quoted(listing) +
             " holds no node record (no number where the first node id should be)");
      std::fprintf(console.out, "\n  Error:  zero nodes detected \n");
      stop_after_key(console, "\n  press any key to exit \n");
    case DiscoveryResult::found:
    case DiscoveryResult::no_block:
      break;
  }
  stop_if_listing_failed(state, console);
  state.listing.rewind();

  std::fprintf(console.out, "\n\n Divide acceleration by 386?  1=yes 2=no ");
  std::fflush(console.out);
  if (options.unit_answer) {
    state.unit_answer = *options.unit_answer;
  } else if (std::fscanf(in, "%d", &state.unit_answer) != 1) {
    state.unit_answer = 0;
  }

  if (state.nodes.empty()) {
    report("no complex acceleration block after the eigenvalue table in " + quoted(listing));
    std::fprintf(console.out, "\n many = %ld \n", 0L);
    stop_run();
  }
}

void node_pass_loop(RunState& state, const Console& console, const RunOptions& options) {
  ListingStream& listing = state.listing;
  listing.rewind();
  const std::size_t count = state.nodes.size();
  // Ids asked for must be nodes of the list.
  for (const std::int32_t id : options.only_nodes) {
    if (std::find(state.nodes.begin(), state.nodes.end(), id) == state.nodes.end()) {
      report("node " + std::to_string(id) + " is not in the node list of " +
             quoted(state.units.units[kListingUnit].name));
      throw RunStopped{2};
    }
  }
  // The passes to make: every position of the list, or those whose id was
  // asked for.
  std::vector<std::size_t> positions;
  NodeList pass_ids;
  for (std::size_t im = 0; im < count; ++im) {
    const bool asked = options.only_nodes.empty() ||
                       std::find(options.only_nodes.begin(), options.only_nodes.end(), state.nodes[im]) !=
                           options.only_nodes.end();
    if (!asked) continue;
    positions.push_back(im);
    pass_ids.push_back(state.nodes[im]);
  }
  // One scan records the listing for the nodes to come; their passes are
  // answered from it (the per-node scan reads the listing every time).
  ResponseRecording recording;
  for (std::size_t pass = 0; pass < positions.size(); ++pass) {
    const std::size_t im = positions[pass];
    std::fprintf(console.out, "\n\n im=%ld  many=%ld\n", static_cast<long>(im), static_cast<long>(count));
    read_node_list(state, count);
    state.node_of_interest = state.nodes[im];
    std::fprintf(console.out, "w  %ld %ld  \n", static_cast<long>(state.node_of_interest), 0L);
    std::fprintf(console.out, "\n outputfiles \n");
    if (state.observer != nullptr) state.observer->node_pass_started(state.node_of_interest, pass, positions.size());
    if (const int unit = open_response_files(state.units, state.node_of_interest, console); unit != 0) {
      stop_on_unit(state, console, unit, "cannot create");
    }
    note_node_being_written(state.node_of_interest);
    std::fprintf(console.out, " core1 \n");
    const NodeList upcoming(pass_ids.begin() + static_cast<long>(pass), pass_ids.end());
    if (const ScanResult scan =
            scan_responses(state, console, options.per_node_scan ? nullptr : &recording, upcoming);
        !scan.ok) {
      stop_on_unit(state, console, scan.failed_unit, "cannot write");
    }
    stop_if_listing_failed(state, console);
    const std::size_t scanned = listing.consumed();
    std::fprintf(console.out, "\n closefiles\n");
    listing.rewind();
    if (const int unit = close_response_files(state.units, console); unit != 0) {
      stop_on_unit(state, console, unit, "cannot write");
    }
    clear_node_being_written();
    if (state.observer != nullptr) state.observer->node_pass_finished(state.node_of_interest, scanned);
  }
}

}  // namespace

int run_dialogue(std::FILE* in, const Console& console, const RunOptions& options) {
  RunState state;
  state.units[kNodeListUnit].name = kNodeListName;
  state.units.directory = options.output_directory;
  state.units.observer = options.observer;
  state.observer = options.observer;
  try {
    natural_frequency_stage(state, in, console, options);
    discovery_stage(state, in, console, options);
    node_pass_loop(state, console, options);
  } catch (const RunStopped& stopped) {
    clear_node_being_written();
    std::fflush(console.out);
    return stopped.status;
  }
  std::fprintf(console.out, "\n\n end \n");
  std::fflush(console.out);
  return 0;
}

}  // namespace vandorak

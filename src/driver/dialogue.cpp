#include "driver/dialogue.h"

#include <cctype>
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

[[noreturn]] void stop_after_key(const Console& console, const char* farewell) {
  std::fprintf(console.out, "%s", farewell);
  console.wait();
  stop_run();
}

[[noreturn]] void stop_on_unit(const Console& console, int unit) {
  std::fprintf(console.out, "file %d error \n", unit);
  stop_after_key(console, "\n press any key to exit \n");
}

[[noreturn]] void stop_on_listing(const Console& console) {
  std::fprintf(console.out, "Input file error \n");
  stop_after_key(console, "\n press any key to exit \n");
}

// Opens the listing for reading; a directory or an unreadable file counts
// as one that cannot be opened.
bool open_listing(RunState& state) {
  FileUnit& unit = state.units[kListingUnit];
  unit.stream = std::fopen(unit.name.c_str(), "rb");
  if (unit.stream == nullptr) return false;
  state.listing.attach(unit.stream);
  state.listing.get();
  if (state.listing.read_failed()) {
    std::fclose(unit.stream);
    unit.stream = nullptr;
    state.listing.attach(nullptr);
    return false;
  }
  state.listing.rewind();
  return true;
}

// A listing that stops being readable part-way (a device error) would end a
// pass early and silently: stop instead.
void stop_if_listing_failed(const RunState& state, const Console& console) {
  if (state.listing.read_failed()) stop_on_listing(console);
}

void natural_frequency_stage(RunState& state, std::FILE* in, const Console& console) {
  print_banner(console.out);
  std::fflush(console.out);
  FileUnit& listing = state.units[kListingUnit];
  read_word(in, listing.name);
  if (!open_listing(state)) stop_on_listing(console);
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

void discovery_stage(RunState& state, std::FILE* in, const Console& console) {
  std::fprintf(console.out, "\n\n magnitude and phase \n");
  switch (discover_nodes(state, console)) {
    case DiscoveryResult::node_file_error:
      stop_on_unit(console, kNodeListUnit);
    case DiscoveryResult::zero_nodes:
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
  if (std::fscanf(in, "%d", &state.unit_answer) != 1) state.unit_answer = 0;

  if (state.nodes.empty()) {
    std::fprintf(console.out, "\n many = %ld \n", 0L);
    stop_run();
  }
}

void node_pass_loop(RunState& state, const Console& console, bool per_node_scan) {
  ListingStream& listing = state.listing;
  // One scan records the listing for the nodes to come; their passes are
  // answered from it (the per-node scan reads the listing every time).
  ResponseRecording recording;
  listing.rewind();
  const std::size_t count = state.nodes.size();
  for (std::size_t im = 0; im < count; ++im) {
    std::fprintf(console.out, "\n\n im=%ld  many=%ld\n", static_cast<long>(im), static_cast<long>(count));
    read_node_list(state, count);
    state.node_of_interest = state.nodes[im];
    std::fprintf(console.out, "w  %ld %ld  \n", static_cast<long>(state.node_of_interest), 0L);
    std::fprintf(console.out, "\n outputfiles \n");
    if (const int unit = open_response_files(state.units, state.node_of_interest, console); unit != 0) {
      stop_on_unit(console, unit);
    }
    note_node_being_written(state.node_of_interest);
    std::fprintf(console.out, " core1 \n");
    if (const ScanResult scan = scan_responses(state, console, per_node_scan ? nullptr : &recording, im); !scan.ok) {
      stop_on_unit(console, scan.failed_unit);
    }
    stop_if_listing_failed(state, console);
    std::fprintf(console.out, "\n closefiles\n");
    listing.rewind();
    if (const int unit = close_response_files(state.units, console); unit != 0) {
      stop_on_unit(console, unit);
    }
    clear_node_being_written();
  }
}

}  // namespace

int run_dialogue(std::FILE* in, const Console& console, bool per_node_scan) {
  RunState state;
  state.units[kNodeListUnit].name = kNodeListName;
  natural_frequency_stage(state, in, console);
  discovery_stage(state, in, console);
  node_pass_loop(state, console, per_node_scan);
  std::fprintf(console.out, "\n\n end \n");
  return 0;
}

}  // namespace vandorak

#include "listing/passes.h"
#include "listing/scanner.h"

namespace vandorak {

namespace {

constexpr int kEigenRowTokens = 7;

// Reads the rows after the column headings up to the line holding "MAX".
// Returns false at end of input.
bool read_eigenvalue_rows(RunState& state, const Console& console, int& rows) {
  ListingStream& listing = state.listing;
  char* line = state.window.scratch;
  while (read_line(line, listing)) {
    if (line_contains(line, "MAX")) return true;
    if (!line_contains(line, "E+") && !line_contains(line, "E-")) continue;
    split_header_tokens(state.tokens, line, kEigenRowTokens);
    const double hz = convert_token(state.tokens.token(4));
    std::fprintf(console.out, "%s  %8.2lf \n", state.tokens.token(1), hz);
    if (state.observer != nullptr) state.observer->natural_frequency(state.tokens.token(1), hz);
    ++rows;
  }
  return false;
}

}  // namespace

int scan_natural_frequencies(RunState& state, const Console& console) {
  ListingStream& listing = state.listing;
  char* line = state.window.scratch;
  int rows = 0;
  // The title is the table's only when its second following line holds
  // "CYCLES" and its third "NUMBER"; otherwise the search goes on after the
  // lines already read. End of input anywhere ends the pass.
  while (read_line(line, listing)) {
    if (!line_contains(line, kEigenvalueTitle)) continue;
    if (!read_line(line, listing) || !read_line(line, listing)) break;
    if (!line_contains(line, "CYCLES")) continue;
    if (!read_line(line, listing)) break;
    if (!line_contains(line, "NUMBER")) continue;
    read_eigenvalue_rows(state, console, rows);
    break;
  }
  return rows;
}

}  // namespace vandorak

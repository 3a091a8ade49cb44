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
    std::fprintf(console.out, "%s  %8.2lf \n", state.tokens.token(1),
                 convert_token(state.tokens.token(4)));
    ++rows;
  }
  return false;
}

}  // namespace

int scan_natural_frequencies(RunState& state, const Console& console) {
  ListingStream& listing = state.listing;
  int rows = 0;
  for (;;) {
    // scratch is re-fetched after every read: nothing else touches it here.
    if (!read_line(state.window.scratch, listing)) return rows;
    if (!line_contains(state.window.scratch, kEigenvalueTitle)) continue;
    read_line(state.window.scratch, listing);
    if (!read_line(state.window.scratch, listing)) return rows;
    if (!line_contains(state.window.scratch, "CYCLES")) continue;
    if (!read_line(state.window.scratch, listing)) return rows;
    if (!line_contains(state.window.scratch, "NUMBER")) continue;
    read_eigenvalue_rows(state, console, rows);
    return rows;
  }
}

}  // namespace vandorak

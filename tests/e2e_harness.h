// Runs the built program in a temporary directory with scripted standard
// input, and builds small listings in the solver's layout.
//
// Standard input is a file here, so the program's key waits return at once
// and consume nothing: every answer in a script goes to a real prompt.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "temp_dir.h"

namespace vandorak::e2e {

using vandorak::testing::TempDir;

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------
// Harness

inline constexpr const char* kListingName = "small.out";

inline std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void write_file(const fs::path& path, std::string_view text) {
  std::ofstream out(path, std::ios::binary);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

struct RunResult {
  int status = -1;
  std::string out;                            // standard output, credit lines removed
  std::string err;                            // standard error
  std::map<std::string, std::string> files;   // regular files the run left in its directory
  std::set<std::string> entries;              // every name in that directory, of any kind
};

// Called with the working directory before the program starts.
using Prepare = std::function<void(const fs::path& work)>;

// The banner's two credit lines may change; everything else is compared.
inline std::string without_credit_lines(const std::string& out) {
  const std::string version = "\n\n vandorak  ver 1.1   May 2, 2008";
  if (out.rfind(version, 0) != 0) return out;
  std::size_t p = version.size();
  for (int line = 0; line < 2; ++line) {
    if (p >= out.size() || out[p] != '\n') return out;
    p = out.find('\n', p + 1);
    if (p == std::string::npos) return out;
  }
  return version + out.substr(p);
}

// Runs the program in DIR/work with input as its standard input; the
// harness's own files stay in DIR, out of the run's file list.
inline RunResult run_in_directory(std::string_view input, const Prepare& prepare, const char* binary = VANDORAK_BINARY,
                                  const std::string& arguments = "") {
  TempDir dir;
  const fs::path work = dir.path() / "work";
  fs::create_directory(work);
  if (prepare) prepare(work);
  write_file(dir.path() / "stdin.txt", input);

  const std::string d = dir.path().string();
  const std::string command = "cd '" + work.string() + "' && '" + binary + "' " + arguments + " < '" + d +
                              "/stdin.txt' > '" + d + "/stdout.txt' 2> '" + d + "/stderr.txt'";
  const int raw = std::system(command.c_str());

  RunResult result;
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  result.out = without_credit_lines(read_file(dir.path() / "stdout.txt"));
  result.err = read_file(dir.path() / "stderr.txt");
  for (const fs::directory_entry& entry : fs::directory_iterator(work)) {
    const std::string name = entry.path().filename().string();
    result.entries.insert(name);
    if (entry.is_symlink()) continue;
    if (entry.is_directory()) {
      // One level down, for runs that write into a directory of their own.
      for (const fs::directory_entry& inner : fs::directory_iterator(entry.path())) {
        if (inner.is_regular_file() && !inner.is_symlink()) {
          result.files[name + "/" + inner.path().filename().string()] = read_file(inner.path());
        }
      }
      continue;
    }
    if (!entry.is_regular_file()) continue;
    result.files[name] = read_file(entry.path());
  }
  return result;
}

// Runs the program on a listing saved as small.out in its working directory.
// The listing itself is left out of the run's files.
inline RunResult run_program(std::string_view listing, std::string_view input, const Prepare& prepare = {},
                      const char* binary = VANDORAK_BINARY) {
  RunResult result = run_in_directory(input, [&](const fs::path& work) {
    write_file(work / kListingName, listing);
    if (prepare) prepare(work);
  }, binary);
  result.files.erase(kListingName);
  result.entries.erase(kListingName);
  return result;
}

inline std::string with_crlf(std::string_view text) {
  std::string converted;
  for (char c : text) {
    if (c == '\n') converted += '\r';
    converted += c;
  }
  return converted;
}

// ---------------------------------------------------------------------------
// Listings
//
// Every block has the solver's layout: the subcase line holding the
// frequency as its seventh word, a blank line, the title, four lines the
// reader skips, the record pairs, then a page header. Record pairs are read
// free-format, so the header's leading letter is what ends a block.

inline const std::string kAccTitle = "        C O M P L E X   A C C E L E R A T I O N   V E C T O R\n";
inline const std::string kDisTitle = "        C O M P L E X   D I S P L A C E M E N T   V E C T O R\n";
inline const std::string kSummary = "   TOTAL WARNINGS = 0\n";

inline const std::string kEigenTable =
    "                    R E A L   E I G E N V A L U E S\n"
    "\n"
    "   MODE     EIGENVALUE       RADIANS          CYCLES       GENERALIZED    GENERALIZED\n"
    "  NUMBER                                                      MASS         STIFFNESS\n"
    "       1   3.947842E+03   6.283185E+01   1.000000E+01   1.000000E+00   3.947842E+03\n"
    "       2   1.579137E+04   1.256637E+02   2.000000E+01   1.000000E+00   1.579137E+04\n"
    "   MAX. ORTHOGONALITY ERROR = 1.1E-13\n";
inline const std::string kEigenRows = "1     10.00 \n2     20.00 \n";

inline std::string block(const std::string& title, std::string_view frequency, std::string_view pairs) {
  return "      SEMFREQ RUN     SUBCASE 1     FREQUENCY =   " + std::string(frequency) + "\n" + "\n" + title +
         "                                                          (MAGNITUDE/PHASE)\n"
         "\n"
         "      POINT ID.   TYPE          T1             T2             T3             R1             R2             R3\n"
         "\n" +
         std::string(pairs) + "   PAGE HEADER TEXT\n";
}

// One record pair: the magnitude line and the phase line under it.
inline std::string pair(std::string_view id, std::string_view magnitudes) {
  return "       " + std::string(id) + "       1   " + std::string(magnitudes) + "\n" +
         "                     10.0000   20.0000   30.0000   40.0000   50.0000   60.0000\n";
}

inline std::string listing(std::initializer_list<std::string> parts) {
  std::string text = "   JOB ECHO\n\n" + kEigenTable + "\n";
  for (const std::string& part : parts) text += part;
  return text;
}

}  // namespace vandorak::e2e

// The command line: batch runs give the dialogue's console text and files,
// options and usage errors, diagnostics on standard error, pictures, the
// summary and the random-vibration response.

#include <algorithm>
#include <cstring>

#include "e2e_harness.h"

namespace {

using namespace vandorak::e2e;

const std::string& sample() {
  static const std::string text = read_file(fs::path(VANDORAK_SOURCE_DIR) / "examples/sample.out");
  return text;
}

// A batch run in a fresh directory holding the listing as small.out.
RunResult run_batch(const std::string& arguments, std::string_view text = sample(), const Prepare& prepare = {}) {
  RunResult result = run_in_directory("", [&](const fs::path& work) {
    write_file(work / kListingName, text);
    if (prepare) prepare(work);
  }, VANDORAK_BINARY, arguments);
  result.files.erase(kListingName);
  result.entries.erase(kListingName);
  return result;
}

RunResult run_dialogue_for(std::string_view answers, std::string_view text = sample()) {
  return run_program(text, answers);
}

const std::string kAccOnly = listing({block(kAccTitle, "1.000000E+01",
                                            pair("101", "7.72E+02 1.0E+00 2.0E+00 3.0E+00 4.0E+00 5.0E+00") +
                                                pair("102", "3.86E+02 2.0E+00 3.0E+00 4.0E+00 5.0E+00 6.0E+00")),
                                      block(kAccTitle, "2.000000E+01",
                                            pair("101", "1.93E+02 3.0E+00 2.0E+00 1.0E+00 4.0E+00 5.0E+00") +
                                                pair("102", "3.86E+03 2.0E+00 3.0E+00 4.0E+00 5.0E+00 6.0E+00")),
                                      kSummary});

TEST(BatchForm, PrintsAndWritesWhatTheDialogueDoesForTheSameAnswers) {
  struct Case {
    const char* flag;
    const char* answer;
    const std::string* listing;
  };
  const Case cases[] = {{"--divide-386", "1", &sample()}, {"--as-printed", "2", &sample()},
                        {"--divide-386", "1", &kAccOnly}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flag);
    const RunResult dialogue = run_dialogue_for(std::string("small.out\n") + c.answer + "\n", *c.listing);
    const RunResult batch = run_batch(std::string(c.flag) + " small.out", *c.listing);
    EXPECT_EQ(batch.status, 0);
    EXPECT_EQ(batch.out, dialogue.out);
    EXPECT_EQ(batch.files, dialogue.files);
    const RunResult quiet = run_batch(std::string(c.flag) + " --quiet small.out", *c.listing);
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.out, "");
    EXPECT_EQ(quiet.files, dialogue.files);
  }
}

TEST(BatchForm, OutputDirectoryTakesEverythingAndNodesSelectPasses) {
  const RunResult full = run_batch("--divide-386 small.out");
  const RunResult moved = run_batch("--divide-386 -o out/inner small.out");
  EXPECT_EQ(moved.status, 0);
  EXPECT_EQ(moved.entries, std::set<std::string>{"out"});  // nothing in the working directory
  EXPECT_EQ(moved.out, full.out);

  const RunResult some = run_batch("--divide-386 --nodes 113,106 small.out");
  EXPECT_EQ(some.status, 0);
  std::set<std::string> expected{"sdfsd.txt"};
  for (const auto& [name, content] : full.files) {
    if (name.starts_with("106_") || name.starts_with("113_")) {
      expected.insert(name);
      EXPECT_EQ(some.files.at(name), content) << name;
    }
  }
  std::set<std::string> written;
  for (const auto& [name, content] : some.files) written.insert(name);
  EXPECT_EQ(written, expected);
  // Passes in list order, each with its place in the list.
  EXPECT_NE(some.out.find("\n\n im=1  many=4\nw  106 0  \n"), std::string::npos);
  EXPECT_LT(some.out.find("im=1  many=4"), some.out.find("im=2  many=4"));
  EXPECT_EQ(some.out.find("im=0  many=4"), std::string::npos);
}

TEST(BatchForm, UsageErrorsExitTwoWithAMessageAndTheUsageLine) {
  struct Case {
    const char* arguments;
    const char* message;
  };
  const Case cases[] = {
      {"--divide-386 --bogus small.out", "--bogus"},
      {"--divide-386", "LISTING"},
      {"small.out", "--divide-386"},
      {"--divide-386 --as-printed small.out", "excludes"},
      {"--divide-386 --nodes 106,999 small.out", "node 999 is not in the node list"},
      {"--divide-386 --nodes 1x small.out", "--nodes"},
      {"--divide-386 --plot=gif small.out", "gif"},
      {"--as-printed --psd small.out small.out", "--psd needs --divide-386"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    const RunResult run = run_batch(c.arguments);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Usage: vandorak"), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 2) << run.err;
    for (const auto& [name, content] : run.files) EXPECT_FALSE(name.ends_with("_acc.x")) << name;
  }
  const RunResult help = run_batch("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Example:"), std::string::npos);
  const RunResult version = run_batch("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "vandorak 1.1\n");
}

TEST(Diagnostics, StopsSayWhyOnStandardErrorInBothForms) {
  struct Case {
    const char* name;
    std::string arguments;  // empty: the dialogue
    std::string input;
    Prepare prepare;
    std::string diagnostic;
  };
  const std::vector<Case> cases = {
      {"missing listing", "--divide-386 nosuch.out", "", {},
       "vandorak: cannot open listing 'nosuch.out': No such file or directory\n"},
      {"missing listing, dialogue", "", "nosuch.out\n1\n", {},
       "vandorak: cannot open listing 'nosuch.out': No such file or directory\n"},
      {"directory", "--divide-386 folder", "",
       [](const fs::path& work) { fs::create_directory(work / "folder"); }, "vandorak: listing 'folder' is a directory\n"},
      {"uncreatable response file", "--divide-386 small.out", "",
       [](const fs::path& work) { fs::create_directory(work / "101_acc.x"); },
       "vandorak: cannot create '101_acc.x' (file 1): Is a directory\n"},
      {"no acceleration block", "--divide-386 empty.out", "",
       [](const fs::path& work) { write_file(work / "empty.out", "   JOB ECHO\n"); },
       "vandorak: no complex acceleration block after the eigenvalue table in 'empty.out'\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RunResult run = c.arguments.empty() ? run_program(sample(), c.input, c.prepare)
                                              : run_batch(c.arguments, sample(), c.prepare);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, c.diagnostic);
  }
  // Warnings of a batch run: no displacement data, a node in no block.
  const std::string absent = listing({block(kAccTitle, "1.0E+01", pair("101", "1 2 3 4 5 6") + pair("102", "1 2 3 4 5 6")),
                                      block(kAccTitle, "2.0E+01", pair("101", "1 2 3 4 5 6") + "   END\n"),
                                      kSummary});
  const std::string discovery_only = listing({block(kAccTitle, "5.0E-04", pair("101", "1 2 3 4 5 6")), kSummary});
  const RunResult warned = run_batch("--divide-386 small.out", discovery_only);
  EXPECT_EQ(warned.status, 0);
  EXPECT_NE(warned.err.find("node 101 is in no block"), std::string::npos) << warned.err;
  EXPECT_NE(warned.err.find("no node has displacement lines"), std::string::npos) << warned.err;
  EXPECT_EQ(run_batch("--divide-386 small.out", absent).err.find("node 101 is in no block"), std::string::npos);
}

bool starts_with_bytes(const std::string& text, std::string_view head) { return text.rfind(head, 0) == 0; }

TEST(Pictures, EachFormatIsWrittenPerNodeAndKindWithData) {
  const RunResult png = run_batch("--divide-386 --plot -o out small.out");
  ASSERT_EQ(png.status, 0) << png.err;
  for (const char* name : {"out/101_acc.png", "out/116_dis.png"}) {
    ASSERT_TRUE(png.files.contains(name)) << name;
    const std::string& bytes = png.files.at(name);
    ASSERT_TRUE(starts_with_bytes(bytes, "\x89PNG\r\n\x1a\n")) << name;
    // IHDR: width and height, big-endian, at offsets 16 and 20.
    auto be32 = [&](std::size_t at) {
      return (static_cast<unsigned>(static_cast<unsigned char>(bytes[at])) << 24) |
             (static_cast<unsigned>(static_cast<unsigned char>(bytes[at + 1])) << 16) |
             (static_cast<unsigned>(static_cast<unsigned char>(bytes[at + 2])) << 8) |
             static_cast<unsigned>(static_cast<unsigned char>(bytes[at + 3]));
    };
    EXPECT_EQ(be32(16), 800u);
    EXPECT_EQ(be32(20), 500u);
  }
  const RunResult svg = run_batch("--divide-386 --plot=svg -o out small.out", kAccOnly);
  ASSERT_EQ(svg.status, 0) << svg.err;
  EXPECT_NE(svg.files.at("out/101_acc.svg").find("<svg"), std::string::npos);
  EXPECT_FALSE(svg.files.contains("out/101_dis.svg"));  // no displacement data, no picture
  const RunResult pdf = run_batch("--as-printed --plot=pdf -o out small.out", kAccOnly);
  ASSERT_EQ(pdf.status, 0) << pdf.err;
  EXPECT_TRUE(starts_with_bytes(pdf.files.at("out/102_acc.pdf"), "%PDF-"));
}

TEST(Summary, PeaksOfEveryCurveInAFileAndAfterTheClosingMessage) {
  const RunResult run = run_batch("--divide-386 --summary small.out", kAccOnly);
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string& csv = run.files.at("summary.csv");
  EXPECT_TRUE(starts_with_bytes(csv, "node,kind,component,peak_hz,peak_value,nearest_mode,nearest_mode_hz\n"));
  // 101 x: 2.0 g at 10 Hz, 0.5 g at 20 Hz; the nearest mode to 10 Hz is mode 1.
  EXPECT_NE(csv.find("\n101,acc,x,10,2,1,10\n"), std::string::npos) << csv;
  EXPECT_NE(csv.find("\n102,acc,x,20,10,2,20\n"), std::string::npos) << csv;
  EXPECT_EQ(csv.find(",dis,"), std::string::npos);
  const std::size_t end = run.out.find("\n\n end \n");
  ASSERT_NE(end, std::string::npos);
  EXPECT_NE(run.out.find("peak_hz", end), std::string::npos);
  EXPECT_EQ(run_batch("--divide-386 --summary --quiet small.out", kAccOnly).out, "");
}

TEST(RandomVibration, ResponsePsdFilesAndGrmsFromTheWorkmanshipSpectrum) {
  const std::string spectrum = read_file(fs::path(VANDORAK_SOURCE_DIR) / "examples/workmanship.psd");
  ASSERT_FALSE(spectrum.empty());
  const RunResult run = run_batch("--divide-386 --psd spec.psd --summary --plot -o out small.out", sample(),
                                  [&](const fs::path& work) { write_file(work / "spec.psd", spectrum); });
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("\n input PSD: 6.06 Grms\n"), std::string::npos);
  for (const char* name : {"out/101_psd.x", "out/116_psd.z", "out/106_psd.png"}) {
    EXPECT_TRUE(run.files.contains(name)) << name;
  }
  const std::string& csv = run.files.at("out/summary.csv");
  EXPECT_NE(csv.find(",grms,three_sigma\n"), std::string::npos);
  // Lines in the response files' form.
  const std::string& psd = run.files.at("out/101_psd.x");
  ASSERT_FALSE(psd.empty());
  EXPECT_EQ(psd.size() % 29, 0u) << psd.substr(0, 64);
}

TEST(RandomVibration, BadSpectraAreRejectedBeforeTheRun) {
  struct Case {
    const char* name;
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"one point", "20 0.01\n", "only one point"},
      {"decreasing", "20 0.01\n80 0.04\n50 0.04\n", "spec.psd:3:"},
      {"negative", "20 0.01\n80 -0.04\n", "spec.psd:2:"},
      {"text in a number", "20 0.01\n80 0.0x4\n", "spec.psd:2:"},
      {"empty", "", "spec.psd:"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RunResult run = run_batch("--divide-386 --psd spec.psd small.out", sample(),
                                    [&](const fs::path& work) { write_file(work / "spec.psd", c.text); });
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.files.size(), 1u);  // the spectrum itself, nothing written
  }
}

}  // namespace

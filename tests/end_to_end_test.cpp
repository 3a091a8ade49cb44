// Runs the built program on small listings with scripted answers and checks
// what it prints and the files it leaves behind.

#include "e2e_harness.h"

namespace {

using namespace vandorak::e2e;

// ---------------------------------------------------------------------------
// What the program prints

std::string banner() {
  return "\n\n vandorak  ver 1.1   May 2, 2008"
         "\n\n The input file is the NE/Nastran output file where "
         "\n a force frequency function was applied to the FE model. "
         "\n i.e. The analysis type is SOL SEMFREQ."
         "\n\n The base input is assumed to be a constant amplitude frequency function. \n"
         "\n\n The program thus outputs transmissibility functions. \n"
         "\n\n Enter input filename \n";
}

constexpr std::string_view kExitKey = "\n press any key to exit \n";
constexpr std::string_view kContinueKey = "\n press any key to continue \n";
constexpr std::string_view kNoEigenvalues = "\n\n Warning:  no eigenvalues found. \n";
constexpr std::string_view kOneEigenvalue = "\n\n Warning:  only one eigenvalue found. \n";
constexpr std::string_view kNodeHeadings = "\n\n magnitude and phase \n\n\n nodes \n\n open sdfsd.txt \n";
constexpr std::string_view kUnitQuestion = "\n\n Divide acceleration by 386?  1=yes 2=no ";
constexpr std::string_view kEnd = "\n\n end \n";

// Up to the natural frequency heading.
std::string opening(std::string_view name = kListingName) {
  return banner() + "\n open " + std::string(name) + " \n" + "\n natural freq (Hz) \n";
}

// The node list of the first acceleration block; title is its line as read.
std::string discovery(std::string_view title, const std::vector<long>& ids) {
  std::string text = std::string(kNodeHeadings) + "\n " + std::string(title) + " \n";
  for (long id : ids) text += "\n " + std::to_string(id);
  text += "\n\n " + std::to_string(ids.size()) + " nodes detected \n\n";
  return text;
}

// The 24 response file names of a node, in unit order.
std::vector<std::string> response_names(long id) {
  std::vector<std::string> names;
  for (const char* kind : {"_acc", "_acc2", "_dis", "_dis2"}) {
    for (const char* axis : {".x", ".y", ".z", ".rx", ".ry", ".rz"}) {
      names.push_back(std::to_string(id) + kind + axis);
    }
  }
  return names;
}

std::string node_pass_start(long im, long many, long id) {
  return "\n\n im=" + std::to_string(im) + "  many=" + std::to_string(many) + "\n" + "w  " +
         std::to_string(id) + " 0  \n" + "\n outputfiles \n" + "\n";
}

// One node pass; notices are whatever the scan prints between its start and
// the closing of the files.
std::string node_pass(long im, long many, long id, std::string_view notices = "") {
  std::string text = node_pass_start(im, many, id) + " core1 \n" + std::string(notices) + "\n closefiles\n";
  for (const std::string& name : response_names(id)) text += "\n    " + name + " ";
  return text;
}

// Two nodes, acceleration and displacement at 10 Hz and 20 Hz, written out
// in full as the reference layout.
const std::string kTwoNodes =
    "   JOB ECHO\n"
    "\n"
    "                    R E A L   E I G E N V A L U E S\n"
    "\n"
    "   MODE     EIGENVALUE       RADIANS          CYCLES       GENERALIZED    GENERALIZED\n"
    "  NUMBER                                                      MASS         STIFFNESS\n"
    "       1   3.947842E+03   6.283185E+01   1.000000E+01   1.000000E+00   3.947842E+03\n"
    "       2   1.579137E+04   1.256637E+02   2.000000E+01   1.000000E+00   1.579137E+04\n"
    "   MAX. ORTHOGONALITY ERROR = 1.1E-13\n"
    "\n"
    "   PAGE HEADER TEXT\n"
    "      SEMFREQ RUN     SUBCASE 1     FREQUENCY =   1.000000E+01\n"
    "\n"
    "        C O M P L E X   A C C E L E R A T I O N   V E C T O R\n"
    "                                                          (MAGNITUDE/PHASE)\n"
    "\n"
    "      POINT ID.   TYPE          T1             T2             T3             R1             R2             R3\n"
    "\n"
    "       101       1   7.720000E+02   1.158000E+03   1.544000E+03   4.000000E-01   5.000000E-01   6.000000E-01\n"
    "                     10.0000   20.0000   30.0000   40.0000   50.0000   60.0000\n"
    "       102       1   3.860000E+01   7.720000E+01   1.158000E+02   1.000000E-01   2.000000E-01   3.000000E-01\n"
    "                     11.0000   21.0000   31.0000   41.0000   51.0000   61.0000\n"
    "   PAGE HEADER TEXT\n"
    "      SEMFREQ RUN     SUBCASE 1     FREQUENCY =   1.000000E+01\n"
    "\n"
    "        C O M P L E X   D I S P L A C E M E N T   V E C T O R\n"
    "                                                          (MAGNITUDE/PHASE)\n"
    "\n"
    "      POINT ID.   TYPE          T1             T2             T3             R1             R2             R3\n"
    "\n"
    "       101       1   3.860000E+00   1.000000E-02   2.000000E-02   3.000000E-03   4.000000E-03   5.000000E-03\n"
    "                     10.0000   20.0000   30.0000   40.0000   50.0000   60.0000\n"
    "       102       1   7.720000E+00   1.000000E-01   2.000000E-01   3.000000E-02   4.000000E-02   5.000000E-02\n"
    "                     11.0000   21.0000   31.0000   41.0000   51.0000   61.0000\n"
    "   PAGE HEADER TEXT\n"
    "      SEMFREQ RUN     SUBCASE 1     FREQUENCY =   2.000000E+01\n"
    "\n"
    "        C O M P L E X   A C C E L E R A T I O N   V E C T O R\n"
    "                                                          (MAGNITUDE/PHASE)\n"
    "\n"
    "      POINT ID.   TYPE          T1             T2             T3             R1             R2             R3\n"
    "\n"
    "       101       1   1.930000E+02   3.860000E+02   5.790000E+02   8.000000E-01   9.000000E-01   1.000000E+00\n"
    "                     12.0000   22.0000   32.0000   42.0000   52.0000   62.0000\n"
    "       102       1   3.860000E+03   3.860000E+02   3.860000E+02   2.000000E+00   3.000000E+00   4.000000E+00\n"
    "                     13.0000   23.0000   33.0000   43.0000   53.0000   63.0000\n"
    "   PAGE HEADER TEXT\n"
    "      SEMFREQ RUN     SUBCASE 1     FREQUENCY =   2.000000E+01\n"
    "\n"
    "        C O M P L E X   D I S P L A C E M E N T   V E C T O R\n"
    "                                                          (MAGNITUDE/PHASE)\n"
    "\n"
    "      POINT ID.   TYPE          T1             T2             T3             R1             R2             R3\n"
    "\n"
    "       101       1   1.930000E+00   2.000000E-02   3.000000E-02   4.000000E-03   5.000000E-03   6.000000E-03\n"
    "                     12.0000   22.0000   32.0000   42.0000   52.0000   62.0000\n"
    "       102       1   3.860000E+00   2.000000E-01   3.000000E-01   4.000000E-02   5.000000E-02   6.000000E-02\n"
    "                     13.0000   23.0000   33.0000   43.0000   53.0000   63.0000\n"
    "   PAGE HEADER TEXT\n"
    "   TOTAL WARNINGS = 0\n";

// What a run on a listing with the two-row eigenvalue table prints up to its
// unit question, its nodes being ids.
std::string run_start(const std::vector<long>& ids) {
  return opening() + kEigenRows + discovery(kAccTitle, ids) + std::string(kUnitQuestion);
}

// What a run on kTwoNodes prints after its unit answer.
std::string two_node_passes() { return node_pass(0, 2, 101) + node_pass(1, 2, 102) + std::string(kEnd); }

std::string two_node_run() {
  return run_start({101, 102}) +
         two_node_passes();
}

std::set<std::string> names_of(const std::map<std::string, std::string>& files) {
  std::set<std::string> names;
  for (const auto& [name, text] : files) names.insert(name);
  return names;
}

std::set<std::string> expected_names(const std::vector<long>& ids) {
  std::set<std::string> names{"sdfsd.txt"};
  for (long id : ids) {
    for (const std::string& name : response_names(id)) names.insert(name);
  }
  return names;
}

// ---------------------------------------------------------------------------
// Startup: the listing, the natural frequencies, the node list

struct UnopenableListing {
  const char* what;
  const char* input;
  Prepare prepare;
};

TEST(Startup, ListingThatCannotBeOpenedStopsBeforeAnyFileIsMade) {
  const std::vector<UnopenableListing> cases = {
      {"missing", "small.out\n1\n", {}},
      {"directory", "small.out\n1\n", [](const fs::path& work) { fs::create_directory(work / "small.out"); }},
      {"no name at all", "", {}},
  };
  for (const UnopenableListing& c : cases) {
    SCOPED_TRACE(c.what);
    const RunResult run = run_in_directory(c.input, c.prepare);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, banner() + "Input file error \n" + std::string(kExitKey));
    EXPECT_TRUE(run.files.empty());
    if (c.prepare) {
      EXPECT_EQ(run.entries, std::set<std::string>{"small.out"});
    } else {
      EXPECT_TRUE(run.entries.empty());
    }
  }
}

TEST(Startup, UnreadableListingIsAnInputFileError) {
  const RunResult run = run_in_directory("small.out\n", [](const fs::path& work) {
    write_file(work / "small.out", kTwoNodes);
    fs::permissions(work / "small.out", fs::perms::none);
  });
  if (run.status == 0) GTEST_SKIP() << "permissions do not stop this user from reading";
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, banner() + "Input file error \n" + std::string(kExitKey));
  EXPECT_EQ(run.entries, std::set<std::string>{"small.out"});
}

struct EigenvalueCase {
  const char* what;
  std::string table;
  std::string printed;  // the rows and any warning
};

TEST(Startup, NaturalFrequencyTablePrintsTheCyclesColumnOfEachRow) {
  const std::vector<EigenvalueCase> cases = {
      {"three rows, blank lines between them",
       "                    R E A L   E I G E N V A L U E S\n"
       "\n"
       "   MODE     EIGENVALUE       RADIANS          CYCLES       GENERALIZED    GENERALIZED\n"
       "  NUMBER                                                      MASS         STIFFNESS\n"
       "       1   6.168503E+01   7.853982E+00   1.250000E+00   1.000000E+00   6.168503E+01\n"
       "\n"
       "       2   8.236875E+06   2.870000E+03   4.567800E+02   1.000000E+00   8.236875E+06\n"
       "\n"
       "      10   6.017000E+11   7.757000E+05   1.234567E+05   1.000000E+00   6.017000E+11\n"
       "   MAX. ORTHOGONALITY ERROR = 1.1E-13\n",
       "1      1.25 \n"
       "2    456.78 \n"
       "10  123456.70 \n"},
      {"one row",
       "                    R E A L   E I G E N V A L U E S\n"
       "\n"
       "   MODE     EIGENVALUE       RADIANS          CYCLES       GENERALIZED    GENERALIZED\n"
       "  NUMBER                                                      MASS         STIFFNESS\n"
       "       1   3.947842E+03   6.283185E+01   1.000000E+01   1.000000E+00   3.947842E+03\n"
       "   MAX. ORTHOGONALITY ERROR = 1.1E-13\n",
       "1     10.00 \n" + std::string(kOneEigenvalue) + std::string(kContinueKey)},
  };
  const std::string blocks = block(kAccTitle, "1.000000E+01", pair("101", "1.0E+00 1.0E+00 1.0E+00 1.0E+00 1.0E+00 1.0E+00"));
  for (const EigenvalueCase& c : cases) {
    SCOPED_TRACE(c.what);
    const RunResult run = run_program("   JOB ECHO\n" + c.table + blocks, "small.out\n1\n");
    EXPECT_EQ(run.status, 0);
    const std::string expected = opening() + c.printed + std::string(kNodeHeadings);
    EXPECT_EQ(run.out.substr(0, expected.size()), expected);
  }
}

TEST(Startup, ListingWithoutEigenvalueTableWarnsAndFindsNoNodes) {
  // The table search reads the whole listing, and the node search goes on
  // from there, so the blocks are never seen.
  const std::string text = "   JOB ECHO\n" + block(kAccTitle, "1.000000E+01", pair("101", "1.0E+00 1.0E+00 1.0E+00 1.0E+00 1.0E+00 1.0E+00")) + kSummary;
  const RunResult run = run_program(text, "small.out\n1\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, opening() + std::string(kNoEigenvalues) + std::string(kContinueKey) +
                         std::string(kNodeHeadings) + std::string(kUnitQuestion) + "\n many = 0 \n");
  EXPECT_EQ(run.files, (std::map<std::string, std::string>{{"sdfsd.txt", ""}}));
}

TEST(Startup, FirstAccelerationBlockWithoutRecordsIsAnError) {
  const std::string text = listing({block(kAccTitle, "1.000000E+01", ""),
                                    block(kAccTitle, "2.000000E+01", pair("101", "1.0E+00 1.0E+00 1.0E+00 1.0E+00 1.0E+00 1.0E+00"))});
  const RunResult run = run_program(text, "small.out\n1\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, opening() + kEigenRows + discovery(kAccTitle, {}) + "\n  Error:  zero nodes detected \n" +
                         "\n  press any key to exit \n");
  EXPECT_EQ(run.files, (std::map<std::string, std::string>{{"sdfsd.txt", ""}}));
}

TEST(Startup, NodesComeFromTheFirstAccelerationBlockAfterTheEigenvalueTable) {
  // A block ahead of the table is not searched for nodes, but each node
  // pass reads the listing from its first line.
  const std::string early = block(kAccTitle, "5.000000E+00", pair("999", "3.860000E+02 1.0E+00 1.0E+00 1.0E+00 1.0E+00 1.0E+00"));
  const std::string later = block(kAccTitle, "1.000000E+01", pair("101", "7.720000E+02 1.0E+00 1.0E+00 1.0E+00 1.0E+00 1.0E+00")) +
                            block(kAccTitle, "2.000000E+01", pair("999", "3.860000E+02 1.0E+00 1.0E+00 1.0E+00 1.0E+00 1.0E+00"));
  const std::string text = "   JOB ECHO\n" + early + kEigenTable + later + kSummary;
  const RunResult run = run_program(text, "small.out\n1\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, run_start({101}) +
                         node_pass(0, 1, 101) + std::string(kEnd));
  EXPECT_EQ(run.files.at("sdfsd.txt"), "\n 101");
  EXPECT_EQ(run.files.at("101_acc.x"), "1.00000e+001 \t 2.00000e+000 \n");
  EXPECT_EQ(names_of(run.files), expected_names({101}));
}

TEST(Startup, ListingNameAndUnitAnswerOnOneLine) {
  const RunResult run = run_program(kTwoNodes, "small.out 1\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, two_node_run());
  EXPECT_EQ(run.files.at("101_acc.x"), "1.00000e+001 \t 2.00000e+000 \n"
                                       "2.00000e+001 \t 5.00000e-001 \n");
}

// ---------------------------------------------------------------------------
// Node passes and response files

TEST(NodePasses, TwoNodeRunPrintsItsTraceAndWritesEveryFile) {
  const RunResult run = run_program(kTwoNodes, "small.out\n1\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, two_node_run());
  EXPECT_EQ(names_of(run.files), expected_names({101, 102}));

  EXPECT_EQ(run.files.at("sdfsd.txt"), "\n 101\n 102");
  const std::map<std::string, std::string> expected = {
      // Translational accelerations are divided by 386, the squares follow.
      {"101_acc.x", "1.00000e+001 \t 2.00000e+000 \n"
                    "2.00000e+001 \t 5.00000e-001 \n"},
      {"101_acc2.x", "1.00000e+001 \t 4.00000e+000 \n"
                     "2.00000e+001 \t 2.50000e-001 \n"},
      {"102_acc.x", "1.00000e+001 \t 1.00000e-001 \n"
                    "2.00000e+001 \t 1.00000e+001 \n"},
      {"102_acc2.x", "1.00000e+001 \t 1.00000e-002 \n"
                     "2.00000e+001 \t 1.00000e+002 \n"},
      // Rotations are never divided.
      {"101_acc.rx", "1.00000e+001 \t 4.00000e-001 \n"
                     "2.00000e+001 \t 8.00000e-001 \n"},
      {"101_acc2.rz", "1.00000e+001 \t 3.60000e-001 \n"
                      "2.00000e+001 \t 1.00000e+000 \n"},
      // Displacements are never divided.
      {"101_dis.x", "1.00000e+001 \t 3.86000e+000 \n"
                    "2.00000e+001 \t 1.93000e+000 \n"},
      {"102_dis2.x", "1.00000e+001 \t 5.95984e+001 \n"
                     "2.00000e+001 \t 1.48996e+001 \n"},
      {"102_dis.rz", "1.00000e+001 \t 5.00000e-002 \n"
                     "2.00000e+001 \t 6.00000e-002 \n"},
  };
  for (const auto& [name, text] : expected) EXPECT_EQ(run.files.at(name), text) << name;
}

TEST(NodePasses, EachFileCarriesItsOwnColumnAndKind) {
  // Acceleration and displacement at the same frequency, every value distinct.
  const std::string text = listing({
      block(kAccTitle, "1.000000E+01", pair("101", "7.720000E+02   1.158000E+03   1.544000E+03   5.000000E-01   2.500000E-01   1.250000E-01")),
      block(kDisTitle, "1.000000E+01", pair("101", "1.500000E+00   2.500000E+00   3.500000E+00   4.500000E+00   5.500000E+00   6.500000E+00")),
      kSummary});
  const RunResult run = run_program(text, "small.out\n1\n");
  EXPECT_EQ(run.status, 0);
  const std::vector<std::string> values = {
      "2.00000e+000", "3.00000e+000", "4.00000e+000", "5.00000e-001", "2.50000e-001", "1.25000e-001",
      "4.00000e+000", "9.00000e+000", "1.60000e+001", "2.50000e-001", "6.25000e-002", "1.56250e-002",
      "1.50000e+000", "2.50000e+000", "3.50000e+000", "4.50000e+000", "5.50000e+000", "6.50000e+000",
      "2.25000e+000", "6.25000e+000", "1.22500e+001", "2.02500e+001", "3.02500e+001", "4.22500e+001",
  };
  const std::vector<std::string> names = response_names(101);
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(run.files.at(names[i]), "1.00000e+001 \t " + values[i] + " \n") << names[i];
  }
  EXPECT_EQ(names_of(run.files), expected_names({101}));
}

TEST(NodePasses, OnlyTheAnswerOneDividesTranslationalAcceleration) {
  struct Answer {
    const char* input;
    bool divides;
  };
  const std::vector<Answer> answers = {
      {"small.out\n1\n", true},   {"small.out\n2\n", false},   {"small.out\n0\n", false},
      {"small.out\nyes\n", false}, {"small.out\n-1\n", false}, {"small.out\n", false},
  };
  for (const Answer& a : answers) {
    SCOPED_TRACE(a.input);
    const RunResult run = run_program(kTwoNodes, a.input);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, two_node_run());
    EXPECT_EQ(run.files.at("101_acc.x"), a.divides ? "1.00000e+001 \t 2.00000e+000 \n2.00000e+001 \t 5.00000e-001 \n"
                                                   : "1.00000e+001 \t 7.72000e+002 \n2.00000e+001 \t 1.93000e+002 \n");
    EXPECT_EQ(run.files.at("101_acc2.y"), a.divides ? "1.00000e+001 \t 9.00000e+000 \n2.00000e+001 \t 1.00000e+000 \n"
                                                    : "1.00000e+001 \t 1.34096e+006 \n2.00000e+001 \t 1.48996e+005 \n");
    EXPECT_EQ(run.files.at("101_acc.ry"), "1.00000e+001 \t 5.00000e-001 \n2.00000e+001 \t 9.00000e-001 \n");
    EXPECT_EQ(run.files.at("101_dis.x"), "1.00000e+001 \t 3.86000e+000 \n2.00000e+001 \t 1.93000e+000 \n");
  }
}

TEST(NodePasses, BlocksBelowOneMillihertzAreSkipped) {
  const std::string values = "7.720000E+02 1.0E+00 1.0E+00 1.0E+00 1.0E+00 1.0E+00";
  const std::string text = listing({
      block(kAccTitle, "5.000000E-04", pair("101", values)),
      block(kAccTitle, "1.000000E-03", pair("101", values)),
      block(kDisTitle, "9.999000E-04", pair("101", values)),
      block(kAccTitle, "0.000000E+00", pair("101", values)),
      block(kAccTitle, "-1.000000E+01", pair("101", values)),
      block(kDisTitle, "2.500000E-03", pair("101", values)),
      kSummary});
  const RunResult run = run_program(text, "small.out\n1\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.files.at("101_acc.x"), "1.00000e-003 \t 2.00000e+000 \n");
  EXPECT_EQ(run.files.at("101_dis.x"), "2.50000e-003 \t 7.72000e+002 \n");
}

TEST(NodePasses, FrequencyIsHeldInSinglePrecisionAndValuesInDouble) {
  // Each of these prints differently at six digits once rounded to float:
  // 1000.005 gives 1.00001e+003 as a float and 1.00000e+003 as a double,
  // 1.000045 gives 1.00004e+000 as a float and 1.00005e+000 as a double.
  const std::string text = listing({
      block(kAccTitle, "1.000005E+03", pair("101", "7.720000E+02 1.0E+00 1.0E+00 1.0E+00 1.0E+00 1.0E+00")),
      block(kDisTitle, "1.000045E+00", pair("101", "1.000005E+03 1.0E+00 1.0E+00 1.000045E+00 1.0E+00 1.0E+00")),
      kSummary});
  const RunResult run = run_program(text, "small.out\n1\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.files.at("101_acc.x"), "1.00001e+003 \t 2.00000e+000 \n");
  EXPECT_EQ(run.files.at("101_dis.x"), "1.00004e+000 \t 1.00000e+003 \n");
  EXPECT_EQ(run.files.at("101_dis.rx"), "1.00004e+000 \t 1.00005e+000 \n");
}

TEST(NodePasses, RunSummaryEndsEveryPass) {
  for (const std::string summary : {"   TOTAL WARNINGS = 0\n", "   TOTAL FATAL ERRORS = 0\n"}) {
    SCOPED_TRACE(summary);
    const std::string text = listing({
        block(kAccTitle, "1.000000E+01", pair("101", "7.720000E+02 1.0E+00 1.0E+00 1.0E+00 1.0E+00 1.0E+00") +
                                             pair("102", "3.860000E+02 1.0E+00 1.0E+00 1.0E+00 1.0E+00 1.0E+00")),
        summary,
        block(kAccTitle, "2.000000E+01", pair("101", "7.720000E+02 1.0E+00 1.0E+00 1.0E+00 1.0E+00 1.0E+00") +
                                             pair("102", "3.860000E+02 1.0E+00 1.0E+00 1.0E+00 1.0E+00 1.0E+00")),
        block(kDisTitle, "2.000000E+01", pair("101", "7.720000E+02 1.0E+00 1.0E+00 1.0E+00 1.0E+00 1.0E+00") +
                                             pair("102", "3.860000E+02 1.0E+00 1.0E+00 1.0E+00 1.0E+00 1.0E+00"))});
    const RunResult run = run_program(text, "small.out\n1\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.files.at("101_acc.x"), "1.00000e+001 \t 2.00000e+000 \n");
    EXPECT_EQ(run.files.at("102_acc.x"), "1.00000e+001 \t 1.00000e+000 \n");
    EXPECT_EQ(run.files.at("101_dis.x"), "");
    EXPECT_EQ(run.files.at("102_dis.x"), "");
  }
}

TEST(NodePasses, NodeMissingFromABlockGetsNoLineFromIt) {
  const std::string both = pair("101", "7.720000E+02 1.0E+00 1.0E+00 1.0E+00 1.0E+00 1.0E+00") +
                           pair("102", "3.860000E+02 1.0E+00 1.0E+00 1.0E+00 1.0E+00 1.0E+00");
  const std::string text = listing({
      block(kAccTitle, "1.000000E+01", both),
      block(kDisTitle, "1.000000E+01", pair("101", "1.100000E+00 1.0E+00 1.0E+00 1.0E+00 1.0E+00 1.0E+00")),
      block(kAccTitle, "2.000000E+01", both),
      block(kDisTitle, "2.000000E+01", pair("102", "2.200000E+00 1.0E+00 1.0E+00 1.0E+00 1.0E+00 1.0E+00")),
      block(kAccTitle, "3.000000E+01", both),
      block(kDisTitle, "3.000000E+01", both),
      kSummary});
  const RunResult run = run_program(text, "small.out\n1\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, run_start({101, 102}) +
                         two_node_passes());
  EXPECT_EQ(run.files.at("101_acc.x"), "1.00000e+001 \t 2.00000e+000 \n"
                                       "2.00000e+001 \t 2.00000e+000 \n"
                                       "3.00000e+001 \t 2.00000e+000 \n");
  EXPECT_EQ(run.files.at("102_acc.x"), "1.00000e+001 \t 1.00000e+000 \n"
                                       "2.00000e+001 \t 1.00000e+000 \n"
                                       "3.00000e+001 \t 1.00000e+000 \n");
  EXPECT_EQ(run.files.at("101_dis.x"), "1.00000e+001 \t 1.10000e+000 \n"
                                       "3.00000e+001 \t 7.72000e+002 \n");
  EXPECT_EQ(run.files.at("102_dis.x"), "2.00000e+001 \t 2.20000e+000 \n"
                                       "3.00000e+001 \t 3.86000e+002 \n");
}

TEST(NodePasses, RepeatedNodeIdGivesTwoPassesOverTheSameFiles) {
  const std::string twice = pair("101", "7.720000E+02 1.0E+00 1.0E+00 1.0E+00 1.0E+00 1.0E+00") +
                            pair("101", "1.544000E+03 1.0E+00 1.0E+00 1.0E+00 1.0E+00 1.0E+00");
  const std::string text = listing({block(kAccTitle, "1.000000E+01", twice),
                                    block(kAccTitle, "2.000000E+01", twice), kSummary});
  const RunResult run = run_program(text, "small.out\n1\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, run_start({101, 101}) +
                         node_pass(0, 2, 101) + node_pass(1, 2, 101) + std::string(kEnd));
  EXPECT_EQ(names_of(run.files), expected_names({101}));
  EXPECT_EQ(run.files.at("sdfsd.txt"), "\n 101\n 101");
  // Both records of the id are the node's; the second pass empties the
  // files again before writing the same lines.
  EXPECT_EQ(run.files.at("101_acc.x"), "1.00000e+001 \t 2.00000e+000 \n"
                                       "1.00000e+001 \t 4.00000e+000 \n"
                                       "2.00000e+001 \t 2.00000e+000 \n"
                                       "2.00000e+001 \t 4.00000e+000 \n");
}

TEST(NodePasses, NegativeNodeIdNamesItsFilesWithTheSign) {
  const std::string text = listing({block(kAccTitle, "1.000000E+01", pair("-5", "7.720000E+02 1.0E+00 1.0E+00 1.0E+00 1.0E+00 1.0E+00")),
                                    kSummary});
  const RunResult run = run_program(text, "small.out\n1\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, run_start({-5}) +
                         node_pass(0, 1, -5) + std::string(kEnd));
  EXPECT_EQ(names_of(run.files), expected_names({-5}));
  EXPECT_TRUE(run.files.contains("-5_acc.x"));
  EXPECT_EQ(run.files.at("-5_acc.x"), "1.00000e+001 \t 2.00000e+000 \n");
  EXPECT_EQ(run.files.at("sdfsd.txt"), "\n -5");
}

TEST(NodePasses, IdAboveOneHundredThousandIsFlaggedBeforeEachBlock) {
  const std::string both = pair("100000", "7.720000E+02 1.0E+00 1.0E+00 1.0E+00 1.0E+00 1.0E+00") +
                           pair("100001", "3.860000E+02 1.0E+00 1.0E+00 1.0E+00 1.0E+00 1.0E+00");
  const std::string text = listing({block(kAccTitle, "1.000000E+01", both), block(kDisTitle, "1.000000E+01", both),
                                    block(kAccTitle, "5.000000E-04", both), kSummary});
  const RunResult run = run_program(text, "small.out\n1\n");
  EXPECT_EQ(run.status, 0);
  const std::string notice = "\n error: interest = 100001 \n";
  EXPECT_EQ(run.out, run_start({100000, 100001}) +
                         node_pass(0, 2, 100000) + node_pass(1, 2, 100001, notice + notice + notice) +
                         std::string(kEnd));
  EXPECT_EQ(run.files.at("100001_acc.x"), "1.00000e+001 \t 1.00000e+000 \n");
  EXPECT_EQ(run.files.at("100001_dis.x"), "1.00000e+001 \t 3.86000e+002 \n");
  EXPECT_EQ(run.files.at("100000_acc.x"), "1.00000e+001 \t 2.00000e+000 \n");
}

TEST(NodePasses, IncompleteRecordOfTheNodeIsSkippedWithAWarning) {
  const std::string complete = pair("101", "7.720000E+02 1.0E+00 1.0E+00 1.0E+00 1.0E+00 1.0E+00") +
                               pair("102", "3.860000E+02 1.0E+00 1.0E+00 1.0E+00 1.0E+00 1.0E+00");
  const std::string cut_short = pair("101", "1.544000E+03 1.0E+00 1.0E+00 1.0E+00 1.0E+00 1.0E+00") +
                                pair("102", "7.720000E+02   abc   3.000000E+00   4.000000E-01   5.000000E-01   6.000000E-01");
  const std::string text = listing({block(kAccTitle, "1.000000E+01", complete),
                                    block(kAccTitle, "2.000000E+01", cut_short),
                                    block(kAccTitle, "3.000000E+01", complete), kSummary});
  const RunResult run = run_program(text, "small.out\n1\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, run_start({101, 102}) +
                         node_pass(0, 2, 101) +
                         node_pass(1, 2, 102, "\n warning: incomplete record of node 102 skipped \n") +
                         std::string(kEnd));
  EXPECT_EQ(run.files.at("101_acc.x"), "1.00000e+001 \t 2.00000e+000 \n"
                                       "2.00000e+001 \t 4.00000e+000 \n"
                                       "3.00000e+001 \t 2.00000e+000 \n");
  EXPECT_EQ(run.files.at("102_acc.x"), "1.00000e+001 \t 1.00000e+000 \n"
                                       "3.00000e+001 \t 1.00000e+000 \n");
  EXPECT_EQ(run.files.at("102_acc.rz"), "1.00000e+001 \t 1.00000e+000 \n"
                                        "3.00000e+001 \t 1.00000e+000 \n");
}

TEST(NodePasses, CrLfListingGivesTheSameRun) {
  const RunResult lf = run_program(kTwoNodes, "small.out\n1\n");
  const RunResult crlf = run_program(with_crlf(kTwoNodes), "small.out\n1\n");
  EXPECT_EQ(crlf.status, lf.status);
  EXPECT_EQ(crlf.files, lf.files);
  // The echoed block title is the line as read, carriage return included;
  // everything else on the console is the same.
  std::string expected = lf.out;
  const std::string title = kAccTitle.substr(0, kAccTitle.size() - 1);
  expected.replace(expected.find(kAccTitle), kAccTitle.size(), title + "\r\n");
  EXPECT_EQ(crlf.out, expected);
}

// ---------------------------------------------------------------------------
// Response file failures

TEST(ResponseFiles, FileThatCannotBeCreatedStopsTheRun) {
  struct Blocked {
    const char* name;  // a directory of this name is made first
    int unit;
    long pass;         // the pass that stops
  };
  const std::vector<Blocked> cases = {
      {"101_acc.x", 1, 0}, {"101_acc2.rz", 12, 0}, {"101_dis.x", 31, 0}, {"102_dis2.rz", 42, 1}};
  for (const Blocked& c : cases) {
    SCOPED_TRACE(c.name);
    const RunResult run = run_program(kTwoNodes, "small.out\n1\n",
                                      [&](const fs::path& work) { fs::create_directory(work / c.name); });
    EXPECT_EQ(run.status, 1);
    std::string expected = run_start({101, 102});
    if (c.pass == 1) expected += node_pass(0, 2, 101);
    expected += node_pass_start(c.pass, 2, 101 + c.pass) + "file " + std::to_string(c.unit) + " error \n" +
                std::string(kExitKey);
    EXPECT_EQ(run.out, expected);
  }
}

TEST(ResponseFiles, FailedWriteStopsTheRun) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  const std::vector<std::pair<const char*, int>> cases = {{"101_acc.x", 1}, {"101_dis2.rz", 42}};
  for (const auto& [name, unit] : cases) {
    SCOPED_TRACE(name);
    const RunResult run = run_program(kTwoNodes, "small.out\n1\n", [name = name](const fs::path& work) {
      fs::create_symlink("/dev/full", work / name);
    });
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("file " + std::to_string(unit) + " error \n"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find(kEnd), std::string::npos);
  }
}

// ---------------------------------------------------------------------------
// The sample listing shipped with the program

TEST(SampleListing, FilesMatchTheCheckedInResults) {
  const fs::path source = VANDORAK_SOURCE_DIR;
  const std::string sample = read_file(source / "examples/sample.out");
  ASSERT_FALSE(sample.empty()) << "examples/sample.out is missing";
  const RunResult run = run_program(sample, "small.out\n1\n");
  EXPECT_EQ(run.status, 0);
  const std::string head = opening() +
                           "1     14.39 \n"
                           "2     25.19 \n"
                           "3     64.40 \n"
                           "4    153.17 \n"
                           "5    408.69 \n" +
                           std::string(kNodeHeadings);
  EXPECT_EQ(run.out.substr(0, head.size()), head);
  EXPECT_TRUE(run.out.ends_with(kEnd));
  EXPECT_EQ(names_of(run.files), expected_names({101, 106, 113, 116}));

  const fs::path expected_dir = source / "tests/expected/sample";
  ASSERT_TRUE(fs::is_directory(expected_dir)) << expected_dir;
  std::vector<std::string> compared;
  for (const fs::directory_entry& entry : fs::directory_iterator(expected_dir)) {
    const std::string name = entry.path().filename().string();
    compared.push_back(name);
    ASSERT_TRUE(run.files.contains(name)) << name;
    EXPECT_EQ(run.files.at(name), read_file(entry.path())) << name;
  }
  EXPECT_FALSE(compared.empty()) << "nothing under tests/expected/sample";
}

}  // namespace

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "listing/passes.h"
#include "listing/scanner.h"
#include "output/response_files.h"
#include "test_support.h"

namespace vandorak {
namespace {

using testing::contents_of;
using testing::file_with;
using testing::rest_of;

// A run state reading `listing`, with console output captured.
struct Fixture {
  RunState state;
  std::FILE* console_file = std::tmpfile();
  Console console{console_file, nullptr};

  explicit Fixture(const std::string& listing) {
    state.units[kListingUnit].stream = file_with(listing);
    state.listing.attach(state.units[kListingUnit].stream);
  }
  ~Fixture() { std::fclose(console_file); }
  std::string console_text() { return contents_of(console_file); }
};

const std::string kEigenTable =
    "  R E A L   E I G E N V A L U E S\n"
    "\n"
    "   MODE   EIGENVALUE   RADIANS   CYCLES   GENERALIZED\n"
    "  NUMBER                                    MASS\n"
    "        1   3.947842E+03   6.283185E+01   1.000000E+01   1.0E+00\n"
    "\n"
    "        2   1.579137E+05   3.973835E+02   6.324555E+01   1.0E+00\n"
    "        3   6.316547E+06   2.513274E+03   4.000000E+02   1.0E+00\n"
    "   MAX. ORTHOGONALITY ERROR = 1.1E-13\n";

TEST(NaturalFrequencies, PrintsEachRowOfTheFirstTableAndStopsAfterMax) {
  Fixture f("JOB ECHO\n" + kEigenTable + "AFTER TABLE\n" + kEigenTable);
  EXPECT_EQ(scan_natural_frequencies(f.state, f.console), 3);
  EXPECT_EQ(f.console_text(),
            "1     10.00 \n"
            "2     63.25 \n"
            "3    400.00 \n");
  // The next pass reads on from the line after "MAX"; the second table is never read.
  char line[kLineSize];
  ASSERT_TRUE(read_line(line, f.state.listing));
  EXPECT_STREQ(line, "AFTER TABLE\n");
}

TEST(NaturalFrequencies, OddRowsAndFalseStarts) {
  struct Case {
    const char* name;
    std::string listing;
    int rows;
    const char* printed;
  };
  const Case cases[] = {
      {"no table", "JOB\nC O M P L E X   A C C E L\n", 0, ""},
      {"fourth token not a number",
       kEigenTable.substr(0, kEigenTable.find("        1")) + "  7  1.0E+00  2.0  n/a  x\n MAX\n", 1,
       "7      0.00 \n"},
      // A short row converts whatever token 4 the previous split left.
      {"short row",
       kEigenTable.substr(0, kEigenTable.find("        1")) +
           "  1  1.0E+00  2.0  5.5E+00\n  2  9.9E+01\n MAX\n",
       2, "1      5.50 \n2      5.50 \n"},
      // The second line after the title must hold CYCLES, the third NUMBER;
      // otherwise the search goes on after the lines already read.
      {"title without CYCLES",
       "  R E A L   E I G E N V A L U E S\n\n nothing\n  1 1.0E+00 2.0 3.0E+00\n MAX\n" + kEigenTable, 3,
       "1     10.00 \n2     63.25 \n3    400.00 \n"},
      {"title without NUMBER",
       "  R E A L   E I G E N V A L U E S\n\n CYCLES\n nothing\n  1 1.0E+00 2.0 3.0E+00\n MAX\n" +
           kEigenTable,
       3, "1     10.00 \n2     63.25 \n3    400.00 \n"},
      // A line with MAX ends the table even when it looks like a row.
      {"MAX row", kEigenTable.substr(0, kEigenTable.find("        2")) + "  MAX 1.0E+00 2.0 3.0E+00\n", 1,
       "1     10.00 \n"},
      {"end of input inside the rows", kEigenTable.substr(0, kEigenTable.find("        3")), 2,
       "1     10.00 \n2     63.25 \n"},
  };
  for (const Case& c : cases) {
    Fixture f(c.listing);
    EXPECT_EQ(scan_natural_frequencies(f.state, f.console), c.rows) << c.name;
    EXPECT_EQ(f.console_text(), c.printed) << c.name;
  }
}

// Discovery writes the node-list file by name: give it a private folder.
class DiscoveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("vandorak_discovery_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(folder_);
    node_file_ = (folder_ / kNodeListName).string();
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::string node_file_text() const {
    std::ifstream in(node_file_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::filesystem::path folder_;
  std::string node_file_;
};

const std::string kBlockHead =
    "  SEMFREQ RUN SUBCASE 1 FREQUENCY = 1.000000E+01\n"
    "\n"
    "      C O M P L E X   A C C E L E R A T I O N   V E C T O R\n"
    "  (MAGNITUDE/PHASE)\n"
    "\n"
    "  POINT ID.   TYPE   T1   T2   T3   R1   R2   R3\n"
    "\n";

TEST_F(DiscoveryTest, ListsTheFirstBlocksNodesInOrder) {
  Fixture f("JOB\n" + kBlockHead +
            "  101 1 1.0 2.0 3.0 4.0 5.0 6.0\n    1 2 3 4 5 6\n"
            "  -7 1 1.0 2.0\n 3.0 4.0 5.0 6.0\n 1 2 3\n 4 5 6\n"  // spread over more lines
            "  101 1 1.0 2.0 3.0 4.0 5.0 6.0\n    1 2 3 4 5 6\n"  // listed twice, kept twice
            "PAGE HEADER\n" +
            kBlockHead + "  999 1 1 1 1 1 1 1\n 1 1 1 1 1 1\n  998 1 1 1 1 1 1 1\n 1 1 1 1 1 1\nEND\n");
  f.state.units[kNodeListUnit].name = node_file_;
  ASSERT_EQ(discover_nodes(f.state, f.console), DiscoveryResult::found);
  EXPECT_EQ(f.state.nodes, (NodeList{101, -7, 101}));
  EXPECT_EQ(node_file_text(), "\n 101\n -7\n 101");
  EXPECT_EQ(f.console_text(),
            "\n\n nodes \n"
            "\n open " + node_file_ + " \n"
            "\n       C O M P L E X   A C C E L E R A T I O N   V E C T O R\n \n"
            "\n 101\n -7\n 101"
            "\n\n 3 nodes detected \n\n");
  // The listing is rewound for the passes that follow.
  char line[kLineSize];
  ASSERT_TRUE(read_line(line, f.state.listing));
  EXPECT_STREQ(line, "JOB\n");
  // The header two lines above the title went through the token holders.
  EXPECT_STREQ(f.state.tokens.token(7), "1.000000E+01");
}

TEST_F(DiscoveryTest, ReportsAMissingBlockAnEmptyBlockAndAnUncreatableFile) {
  {
    Fixture f("JOB\nNO BLOCKS HERE\n");
    f.state.units[kNodeListUnit].name = node_file_;
    EXPECT_EQ(discover_nodes(f.state, f.console), DiscoveryResult::no_block);
    EXPECT_TRUE(f.state.nodes.empty());
    EXPECT_EQ(node_file_text(), "");
    EXPECT_EQ(rest_of(f.state.listing), "");  // left at its end, not rewound
  }
  {
    Fixture f(kBlockHead + "PAGE 2\n  101 1 1 1 1 1 1 1\n");
    f.state.units[kNodeListUnit].name = node_file_;
    EXPECT_EQ(discover_nodes(f.state, f.console), DiscoveryResult::zero_nodes);
    EXPECT_TRUE(f.console_text().ends_with("\n\n 0 nodes detected \n\n"));
  }
  {
    Fixture f(kBlockHead + "  101 1 1 1 1 1 1 1\n");
    f.state.units[kNodeListUnit].name = folder_.string();  // a directory
    EXPECT_EQ(discover_nodes(f.state, f.console), DiscoveryResult::node_file_error);
    EXPECT_EQ(f.console_text(), "\n\n nodes \n");
  }
}

TEST_F(DiscoveryTest, NodeListIsReadBackFromTheFile) {
  RunState state;
  state.units[kNodeListUnit].name = node_file_;
  state.nodes = {1, 2, 3, 4};
  {
    std::ofstream out(node_file_, std::ios::binary);
    out << "\n 11\n -22\n 4294967296\n 44";  // 2^32 does not fit: position 2 keeps its id
  }
  read_node_list(state, 4);
  EXPECT_EQ(state.nodes, (NodeList{11, -22, 3, 44}));

  {
    std::ofstream out(node_file_, std::ios::binary);
    out << "\n 5\n x\n 7";  // text stops the reading there
  }
  read_node_list(state, 4);
  EXPECT_EQ(state.nodes, (NodeList{5, -22, 3, 44}));

  std::filesystem::remove(node_file_);
  read_node_list(state, 4);  // no file: the list in memory stands
  EXPECT_EQ(state.nodes, (NodeList{5, -22, 3, 44}));
}

// A response-scan fixture whose 24 response files are temporary streams.
struct ScanFixture : Fixture {
  explicit ScanFixture(const std::string& listing, NodeList nodes, std::int32_t interest, int answer)
      : Fixture(listing) {
    state.nodes = std::move(nodes);
    state.node_of_interest = interest;
    state.unit_answer = answer;
    for (int k = 0; k < kUnitsPerKind; ++k) {
      state.units[kAccelerationFirstUnit + k].stream = std::tmpfile();
      state.units[kDisplacementFirstUnit + k].stream = std::tmpfile();
    }
  }
  std::string file(int unit) { return contents_of(state.units[unit].stream); }
};

std::string block(const char* title, const char* frequency, const std::string& records) {
  return std::string("  PAGE HEADER\n  SEMFREQ RUN SUBCASE 1 FREQUENCY = ") + frequency + "\n\n  " + title +
         "\n  (MAGNITUDE/PHASE)\n\n  POINT ID.   TYPE\n\n" + records + "\n";
}
const char* const kAcc = "C O M P L E X   A C C E L E R A T I O N   V E C T O R";
const char* const kDis = "C O M P L E X   D I S P L A C E M E N T   V E C T O R";
const std::string kTwoRecords =
    "  101 1 7.72E+02 3.86E+02 1.93E+02 4.0 5.0 6.0\n   1 2 3 4 5 6\n"
    "  102 1 1.0 1.0 1.0 1.0 1.0 1.0\n   1 2 3 4 5 6\n";

TEST(ResponseScan, WritesMagnitudesAndSquaresForTheNodeOfInterest) {
  ScanFixture f(block(kAcc, "1.000000E+01", kTwoRecords) + block(kDis, "1.000000E+01", kTwoRecords), {101, 102},
                101, 1);
  ASSERT_TRUE(scan_responses(f.state, f.console).ok);
  const char* acc[] = {"2.00000e+000", "1.00000e+000", "5.00000e-001", "4.00000e+000",
                       "5.00000e+000", "6.00000e+000", "4.00000e+000", "1.00000e+000",
                       "2.50000e-001", "1.60000e+001", "2.50000e+001", "3.60000e+001"};
  const char* dis[] = {"7.72000e+002", "3.86000e+002", "1.93000e+002", "4.00000e+000",
                       "5.00000e+000", "6.00000e+000", "5.95984e+005", "1.48996e+005",
                       "3.72490e+004", "1.60000e+001", "2.50000e+001", "3.60000e+001"};
  for (int k = 0; k < kUnitsPerKind; ++k) {
    EXPECT_EQ(f.file(kAccelerationFirstUnit + k), std::string("1.00000e+001 \t ") + acc[k] + " \n") << k;
    EXPECT_EQ(f.file(kDisplacementFirstUnit + k), std::string("1.00000e+001 \t ") + dis[k] + " \n") << k;
  }
  EXPECT_EQ(f.console_text(), "");
}

TEST(ResponseScan, ThresholdSummaryAndShortBlocks) {
  const std::string only_101 = "  101 1 1.0 1.0 1.0 1.0 1.0 1.0\n   1 2 3 4 5 6\n";
  ScanFixture f(block(kAcc, "5.000000E-04", kTwoRecords) +  // below 0.001 Hz: skipped
                    block(kAcc, "1.000000E-03", kTwoRecords) +  // at 0.001 Hz: read
                    block(kDis, "2.000000E+00", "  102 1 1 1 1 1 1 1\n 1 2 3 4 5 6\n") +  // 101 missing
                    block(kAcc, "3.000000E+00", only_101) +  // fewer pairs than nodes
                    "  TOTAL WARNINGS = 0\n" + block(kAcc, "4.000000E+00", kTwoRecords),
                {101, 102}, 101, 2);
  ASSERT_TRUE(scan_responses(f.state, f.console).ok);
  EXPECT_EQ(f.file(1),
            "1.00000e-003 \t 7.72000e+002 \n"
            "3.00000e+000 \t 1.00000e+000 \n");
  EXPECT_EQ(f.file(31), "");
  // The summary line ended the pass. The short block's reading stopped at
  // its first letter, so the line scan resumed from there.
  EXPECT_STREQ(f.state.window.current, "TOTAL WARNINGS = 0\n");
}

TEST(ResponseScan, IncompleteRecordOfTheNodeIsReportedNotWritten) {
  ScanFixture f(block(kAcc, "1.000000E+01", "  102 1 9 9 9 9 9 9\n 1 2 3 4 5 6\n  101 1 7.72E+02 ***\n 1 2 3 4 5 6\n") +
                    block(kAcc, "2.000000E+01", kTwoRecords),
                {102, 101}, 101, 1);
  ASSERT_TRUE(scan_responses(f.state, f.console).ok);
  EXPECT_EQ(f.console_text(), "\n warning: incomplete record of node 101 skipped \n");
  EXPECT_EQ(f.file(1), "2.00000e+001 \t 2.00000e+000 \n");
}

TEST(ResponseScan, LargeIdIsFlaggedBeforeEveryBlock) {
  int waits = 0;
  static int* counter = nullptr;
  counter = &waits;
  ScanFixture f(block(kAcc, "1.000000E+01", "  100001 1 1 1 1 1 1 1\n 1 2 3 4 5 6\n") +
                    block(kDis, "5.000000E-04", "  100001 1 1 1 1 1 1 1\n 1 2 3 4 5 6\n"),
                {100001}, 100001, 1);
  f.console.wait_key = [] { ++*counter; };
  ASSERT_TRUE(scan_responses(f.state, f.console).ok);
  EXPECT_EQ(f.console_text(), "\n error: interest = 100001 \n\n error: interest = 100001 \n");
  EXPECT_EQ(waits, 2);
  EXPECT_EQ(f.file(1), "1.00000e+001 \t 2.59067e-003 \n");
}

TEST(ResponseScan, BlockReadsLeaveTheWindowAtTheTitle) {
  // The skipped lines and records never enter the window: after the first
  // block, the title is still two reads behind the second title, so the
  // second block takes its frequency from the first title's seventh token.
  const std::string skipped = "  (MAGNITUDE/PHASE)\n\n  POINT ID.\n\n";
  ScanFixture f("  a b c d e f 7.0E+00\n\n  a b c d e f 2.5E+01  C O M P L E X   A C C E L\n" + skipped +
                    kTwoRecords + "  C O M P L E X   D I S P\n" + skipped + kTwoRecords,
                {101, 102}, 102, 2);
  ASSERT_TRUE(scan_responses(f.state, f.console).ok);
  EXPECT_EQ(f.file(1), "7.00000e+000 \t 1.00000e+000 \n");
  EXPECT_EQ(f.file(31), "2.50000e+001 \t 1.00000e+000 \n");
}

}  // namespace
}  // namespace vandorak

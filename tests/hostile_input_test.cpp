// Listings and conditions a user may throw at the program by mistake: each
// run ends either with a complete set of files and status 0, or with a
// clear message and status 1; never a crash, a hang or a destroyed input.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>

#include "e2e_harness.h"

namespace {

using namespace vandorak::e2e;

const std::string kPairs = pair("101", "7.720000E+02 1.0E+00 2.0E+00 3.0E+00 4.0E+00 5.0E+00") +
                           pair("102", "3.860000E+02 1.0E+00 2.0E+00 3.0E+00 4.0E+00 5.0E+00");
const std::string kGood = listing({block(kAccTitle, "1.000000E+01", kPairs), block(kDisTitle, "1.000000E+01", kPairs),
                                   block(kAccTitle, "2.000000E+01", kPairs), kSummary});

std::string garbage(std::size_t size) {
  std::mt19937 random(7);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xff);
  return bytes;
}

std::size_t response_file_count(const RunResult& run) {
  std::size_t count = 0;
  for (const auto& [name, content] : run.files) count += name.find('_') != std::string::npos ? 1 : 0;
  return count;
}

TEST(HostileListings, EveryRunEndsCompleteOrWithAMessage) {
  std::string with_nul = kGood;
  with_nul.replace(with_nul.find("JOB ECHO"), 3, std::string("J\0B", 3));
  std::string long_line = kGood;
  long_line.insert(long_line.find("   PAGE HEADER TEXT"), std::string(1 << 20, 'x') + "\n");
  const std::size_t eigen_cut = kGood.find("       2   1.579137E+04");
  const std::size_t pair_cut = kGood.rfind("3.860000E+02");
  const std::size_t header_cut = kGood.find("POINT ID.");
  std::string odd_numbers = listing(
      {block(kAccTitle, "1.000000E+01",
             pair("101", "1.0E+999 -0 nan 1.0E-999 -1.0E+999 2.0E+00") + pair("99999999999", "1 2 3 4 5 6")),
       kSummary});
  struct Case {
    const char* name;
    std::string listing;
    int status;
    std::size_t response_files;
  };
  const std::vector<Case> cases = {
      {"empty file", "", 1, 0},
      {"binary garbage", garbage(100000), 1, 0},
      {"NUL bytes inside lines", with_nul, 0, 48},
      {"a line of 1 MB", long_line, 0, 48},
      {"cut off inside the eigenvalue table", kGood.substr(0, eigen_cut + 10), 1, 0},
      {"cut off inside a block header", kGood.substr(0, header_cut + 4), 1, 0},
      {"cut off inside a record pair", kGood.substr(0, pair_cut + 5), 0, 48},
      {"numbers out of range", odd_numbers, 0, 48},
      {"block title on the first line", kAccTitle + "\n\n\n\n" + kPairs + kGood, 0, 48},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RunResult run = run_program(c.listing, "small.out\n1\n");
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_EQ(response_file_count(run), c.response_files);
    if (c.status != 0) {
      EXPECT_FALSE(run.err.empty());
    }
  }
  // What the odd numbers became: an overflowing magnitude is infinite, a
  // negative zero keeps its sign, nan stays nan; the long id narrows as
  // the C library's "%d" narrows it.
  const RunResult odd = run_program(odd_numbers, "small.out\n2\n");
  EXPECT_EQ(odd.files.at("101_acc.x"), "1.00000e+001 \t          inf \n");
  EXPECT_EQ(odd.files.at("101_acc.y"), "1.00000e+001 \t -0.00000e+000 \n");
  EXPECT_EQ(odd.files.at("101_acc.z"), "1.00000e+001 \t          nan \n");
  EXPECT_EQ(odd.files.at("101_acc.rx"), "1.00000e+001 \t 0.00000e+000 \n");
  EXPECT_TRUE(odd.files.contains("1215752191_acc.x"));
}

TEST(HostileListings, TenThousandNodesInTheFirstBlock) {
  std::string pairs;
  for (int id = 1; id <= 10000; ++id) pairs += pair(std::to_string(id), "1 2 3 4 5 6");
  const std::string text = listing({block(kAccTitle, "1.0E+01", pairs), block(kAccTitle, "2.0E+01", pairs), kSummary});
  // Passes for three of them; every block is still read as 10,000 pairs.
  const RunResult run = run_in_directory("", [&](const fs::path& work) { write_file(work / "small.out", text); },
                                         VANDORAK_BINARY, "--divide-386 --quiet --nodes 1,5000,10000 small.out");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.files.at("10000_acc.rz"), "1.00000e+001 \t 6.00000e+000 \n2.00000e+001 \t 6.00000e+000 \n");
  EXPECT_EQ(std::count(run.files.at("sdfsd.txt").begin(), run.files.at("sdfsd.txt").end(), '\n'), 10000);
}

TEST(HostileListings, ListingsThatAreNotRegularFilesAreRefusedAtOnce) {
  const auto fifo = [](const fs::path& work) { ASSERT_EQ(mkfifo((work / "pipe").c_str(), 0600), 0); };
  struct Case {
    const char* name;
    const char* typed;
    Prepare prepare;
  };
  const std::vector<Case> cases = {
      {"a directory", "folder\n1\n", [](const fs::path& work) { fs::create_directory(work / "folder"); }},
      {"a FIFO with no writer", "pipe\n1\n", fifo},
      {"a device", "/dev/zero\n1\n", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RunResult run = run_in_directory(c.typed, c.prepare);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("Input file error \n"), std::string::npos);
    EXPECT_FALSE(run.err.empty());
  }
  // A FIFO with a writer holding it open and data waiting in it.
  TempDir dir;
  const fs::path pipe = dir.path() / "pipe";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const int writer = open(pipe.c_str(), O_RDWR | O_NONBLOCK);  // opening read-write never blocks
  ASSERT_GE(writer, 0);
  ASSERT_EQ(write(writer, kGood.data(), kGood.size()), static_cast<ssize_t>(kGood.size()));
  const RunResult run = run_in_directory(pipe.string() + "\n1\n", {});
  close(writer);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("Input file error \n"), std::string::npos);
}

TEST(HostileListings, TheRunNeverOverwritesItsOwnListing) {
  struct Case {
    const char* name;  // the listing's name
    const char* message;
    std::size_t complete_files;  // files of earlier nodes left complete
  };
  const Case cases[] = {{"sdfsd.txt", "file 21 error \n", 0}, {"102_acc.x", "file 1 error \n", 24}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RunResult run = run_in_directory(std::string(c.name) + "\n1\n",
                                           [&](const fs::path& work) { write_file(work / c.name, kGood); });
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find(c.message), std::string::npos);
    EXPECT_NE(run.err.find("it is the listing being read"), std::string::npos) << run.err;
    EXPECT_EQ(run.files.at(c.name), kGood);
    if (c.complete_files > 0) {
      EXPECT_EQ(run.files.at("101_acc.x"), "1.00000e+001 \t 2.00000e+000 \n2.00000e+001 \t 2.00000e+000 \n");
    }
  }
}

TEST(HostileConditions, UnwritableStandardOutputOrDirectoryFailsTheRun) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  TempDir dir;
  write_file(dir.path() / "small.out", kGood);
  const std::string command = "cd '" + dir.path().string() + "' && printf 'small.out\\n1\\n' | '" VANDORAK_BINARY
                              "' > /dev/full 2> err.txt";
  const int raw = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(raw));
  EXPECT_EQ(WEXITSTATUS(raw), 1);
  EXPECT_NE(read_file(dir.path() / "err.txt").find("cannot write standard output"), std::string::npos);

  if (geteuid() == 0) GTEST_SKIP() << "a read-only directory does not stop root";
  const RunResult run = run_program(kGood, "small.out\n1\n", [](const fs::path& work) {
    fs::permissions(work, fs::perms::owner_read | fs::perms::owner_exec);
  });
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("file 21 error \n"), std::string::npos);
}

}  // namespace

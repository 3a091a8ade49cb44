#include "listing/scanner.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "test_support.h"

namespace vandorak {
namespace {

using testing::file_with;
using testing::rest_of;
using testing::TextListing;

TEST(LineWindow, ShiftsLinesAndKeepsThemAcrossEndOfInputAndRewind) {
  LineWindow window;
  TextListing listing("a\nb\nc\nd\n");
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(next_line(window, listing));
  EXPECT_STREQ(window.two_back, "b\n");
  EXPECT_STREQ(window.one_back, "c\n");
  EXPECT_STREQ(window.current, "d\n");

  // End of input: the shift still happens and current keeps its text.
  EXPECT_FALSE(next_line(window, listing));
  EXPECT_STREQ(window.two_back, "c\n");
  EXPECT_STREQ(window.one_back, "d\n");
  EXPECT_STREQ(window.current, "d\n");

  // A rewind does not clear the window: the first line of the next pass
  // arrives with the previous pass's last lines behind it.
  listing.rewind();
  ASSERT_TRUE(next_line(window, listing));
  EXPECT_STREQ(window.two_back, "d\n");
  EXPECT_STREQ(window.one_back, "d\n");
  EXPECT_STREQ(window.current, "a\n");

  // Skipped lines go to scratch and leave the window as it was.
  skip_lines(window, listing, 2);
  EXPECT_STREQ(window.scratch, "c\n");
  EXPECT_STREQ(window.current, "a\n");
  ASSERT_TRUE(next_line(window, listing));
  EXPECT_STREQ(window.current, "d\n");
}

TEST(ReadLine, LongLineArrivesInPiecesOf199) {
  const std::string marker = kAccelerationTitle;
  // The marker straddles the 199-character boundary, so neither piece holds it.
  const std::string line = std::string(190, 'x') + marker + std::string(250 - 190 - marker.size(), 'y');
  ASSERT_EQ(line.size(), 250u);
  TextListing listing(line + "\nnext\n");
  char buffer[kLineSize];

  ASSERT_TRUE(read_line(buffer, listing));
  EXPECT_EQ(std::strlen(buffer), 199u);
  EXPECT_FALSE(line_contains(buffer, kAccelerationTitle));
  ASSERT_TRUE(read_line(buffer, listing));
  EXPECT_EQ(std::string(buffer), line.substr(199) + "\n");
  EXPECT_FALSE(line_contains(buffer, kAccelerationTitle));
  ASSERT_TRUE(read_line(buffer, listing));
  EXPECT_STREQ(buffer, "next\n");

  // End of input leaves the buffer as it was.
  EXPECT_FALSE(read_line(buffer, listing));
  EXPECT_STREQ(buffer, "next\n");
}

TEST(ListingStream, ReadErrorIsEndOfInputAndIsReported) {
  std::FILE* directory = std::fopen(".", "rb");  // opens, but every read fails
  ASSERT_NE(directory, nullptr);
  ListingStream listing(directory);
  char line[kLineSize] = "kept\n";
  EXPECT_FALSE(read_line(line, listing));
  EXPECT_STREQ(line, "kept\n");
  EXPECT_EQ(listing.get(), EOF);
  EXPECT_TRUE(listing.read_failed());
  std::fclose(directory);

  TextListing readable("a\n");
  EXPECT_TRUE(read_line(line, readable));
  EXPECT_FALSE(read_line(line, readable));
  EXPECT_FALSE(readable.read_failed());
}

TEST(SplitHeaderTokens, FillsOnlyAsManyHoldersAsTheLineHasTokens) {
  TokenHolders tokens;
  EXPECT_EQ(split_header_tokens(tokens, "  a b c d e f g h i\n", kTokenCount), 8);
  EXPECT_STREQ(tokens.token(1), "a");
  EXPECT_STREQ(tokens.token(8), "h");

  // Fewer tokens: the later holders keep the earlier split's text. Carriage
  // returns and tabs separate tokens like blanks.
  EXPECT_EQ(split_header_tokens(tokens, "one\ttwo three\r\n", kTokenCount), 3);
  EXPECT_STREQ(tokens.token(3), "three");
  EXPECT_STREQ(tokens.token(4), "d");
  EXPECT_STREQ(tokens.token(8), "h");

  // A split of seven never touches holder 8.
  EXPECT_EQ(split_header_tokens(tokens, "1 2 3 4 5 6 7 8\n", 7), 7);
  EXPECT_STREQ(tokens.token(7), "7");
  EXPECT_STREQ(tokens.token(8), "h");

  // A token too long for its holder is one token, cut to 19 characters.
  EXPECT_EQ(split_header_tokens(tokens, "abcdefghijklmnopqrstuvwxyz next\n", 2), 2);
  EXPECT_STREQ(tokens.token(1), "abcdefghijklmnopqrs");
  EXPECT_STREQ(tokens.token(2), "next");

  EXPECT_EQ(split_header_tokens(tokens, "   \r\n", kTokenCount), 0);
  EXPECT_STREQ(tokens.token(1), "abcdefghijklmnopqrs");
}

TEST(ReadBlockFrequency, TakesTheSeventhTokenOfTheLineTwoBack) {
  struct Case {
    const char* two_back;
    float expected;
  };
  const Case cases[] = {
      {"  SEMFREQ RUN SUBCASE 1 FREQUENCY = 1.000000E+01\n", 10.0f},
      {"  SEMFREQ RUN SUBCASE 1 FREQUENCY = 1.000000E+01\r\n", 10.0f},
      {"  a b c d e f 1.000000E-03 tail\n", static_cast<float>(1.0e-3)},
      {"  a b c d e f -2.5e+2\n", -250.0f},
      {"  a b c d e f abcdef\n", 0.0f},
      {"  a b c d e f 12.5Hz\n", 12.5f},
      {"  a b c d e f 1.5E\n", 1.5f},
      // Fewer than seven tokens: holder 7 keeps the last split's token.
      {"  only three tokens\n", 1.5f},
  };
  LineWindow window;
  TokenHolders tokens;
  for (const Case& c : cases) {
    std::strcpy(window.two_back, c.two_back);
    EXPECT_EQ(read_block_frequency(window, tokens), c.expected) << c.two_back;
  }

  // An empty holder 7 converts to 0.
  TokenHolders fresh;
  std::strcpy(window.two_back, "a b\n");
  EXPECT_EQ(read_block_frequency(window, fresh), 0.0f);
}

TEST(ReadBlockFrequency, RoundsTheDoubleConversionToSinglePrecision) {
  LineWindow window;
  TokenHolders tokens;
  std::strcpy(window.two_back, "a b c d e f 1.2345678901234E+01\n");
  const float frequency = read_block_frequency(window, tokens);
  EXPECT_EQ(frequency, static_cast<float>(12.345678901234));
  EXPECT_NE(static_cast<double>(frequency), 12.345678901234);
}

TEST(ReadNodeRecord, ReadsAPairLaidOverAnyNumberOfLines) {
  const char* layouts[] = {
      "  101 1 7.72E+02 2.0 3.0 0.4 0.5 0.6\n    10.0 20.0 30.0 40.0 50.0 60.0\nTEXT\n",
      "  101 1 7.72E+02 2.0\n 3.0 0.4 0.5 0.6\n    10.0 20.0 30.0\n 40.0 50.0 60.0\nTEXT\n",
      "  101\n1\n7.72E+02\n\n2.0\n3.0\n0.4\n0.5\n0.6\n10.0\n20.0\n30.0\n40.0\n50.0\n60.0\nTEXT\n",
      "  101 1 7.72E+02 2.0 3.0 0.4 0.5 0.6\r\n    10.0 20.0 30.0 40.0 50.0 60.0\r\nTEXT\r\n",
  };
  for (const char* layout : layouts) {
    NodeRecord record;
    TextListing listing(layout);
    EXPECT_EQ(read_node_record(record, listing), 8) << layout;
    EXPECT_EQ(record.node_id, 101);
    EXPECT_EQ(record.type_code, 1);
    EXPECT_EQ(record.translation, (std::array<double, 3>{772.0, 2.0, 3.0}));
    EXPECT_EQ(record.rotation, (std::array<double, 3>{0.4, 0.5, 0.6}));
    EXPECT_EQ(record.phase, (std::array<double, 6>{10, 20, 30, 40, 50, 60}));
    // The next pair is read from the text after this one.
    EXPECT_EQ(read_node_record(record, listing), 0) << layout;
  }
}

TEST(ReadNodeRecord, PartialConversionKeepsEarlierValuesAndStopsAtTheText) {
  struct Case {
    const char* text;
    int converted;
    double t2;        // expected T2 after the read
    double r3;        // expected R3 after the read
    int first_phase;  // expected P1 after the read
    const char* rest;
  };
  const Case cases[] = {
      // The id converts, T2 does not: T2 and everything after keep their
      // old values, and the phase part also stops at the same text.
      {"7 1 1.0 abc 3.0 0.4 0.5 0.6\n", 3, 2.0, 6.0, 10, "abc 3.0 0.4 0.5 0.6\n"},
      // No id: nothing converts.
      {"PAGE 12\n", 0, 2.0, 6.0, 10, "PAGE 12\n"},
      // The first part converts fully but the phases hit text.
      {"7 1 1.0 9.0 3.0 0.4 0.5 0.6\n  11.0 x\n", 8, 9.0, 0.6, 11, "x\n"},
      // End of input before the id.
      {"   \n", EOF, 2.0, 6.0, 10, ""},
  };
  for (const Case& c : cases) {
    NodeRecord record;
    TextListing previous("5 2 1.0 2.0 3.0 4.0 5.0 6.0 10 20 30 40 50 60\n");
    ASSERT_EQ(read_node_record(record, previous), 8);

    TextListing listing(c.text);
    EXPECT_EQ(read_node_record(record, listing), c.converted) << c.text;
    EXPECT_EQ(record.translation[1], c.t2) << c.text;
    EXPECT_EQ(record.phase[0], c.first_phase) << c.text;
    EXPECT_EQ(record.rotation[2], c.r3) << c.text;
    EXPECT_EQ(rest_of(listing), c.rest) << c.text;
  }
}

// The record reader must consume and convert exactly what the C library's
// fscanf does with the same two patterns; fscanf is the reference here.
struct Reference {
  int converted;
  NodeRecord record;
  std::string rest;
};

Reference read_with_fscanf(const std::string& text) {
  Reference ref{0, {}, {}};
  std::FILE* file = file_with(text);
  NodeRecord& r = ref.record;
  ref.converted = std::fscanf(file, "%d %d %lf %lf %lf %lf %lf %lf", &r.node_id, &r.type_code,
                              &r.translation[0], &r.translation[1], &r.translation[2], &r.rotation[0],
                              &r.rotation[1], &r.rotation[2]);
  std::fscanf(file, "      %lf %lf %lf %lf %lf %lf", &r.phase[0], &r.phase[1], &r.phase[2], &r.phase[3],
              &r.phase[4], &r.phase[5]);
  ref.rest = rest_of(file);
  std::fclose(file);
  return ref;
}

std::string bits(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%a", value);
  return text;
}

// Both ways through the reader: a tiny buffer, so fields straddle refills
// and are read a character at a time, and one large enough that every field
// lies in memory.
void expect_same_as_fscanf(const std::string& text) {
  const Reference ref = read_with_fscanf(text);
  for (const std::size_t buffer_size : {TextListing::kSmallBuffer, text.size() + 64}) {
    NodeRecord record;
    {
      TextListing listing(text, buffer_size);
      EXPECT_EQ(read_node_record(record, listing), ref.converted) << '[' << text << ']';
      EXPECT_EQ(rest_of(listing), ref.rest) << '[' << text << ']';
    }
    EXPECT_EQ(record.node_id, ref.record.node_id) << '[' << text << ']';
    EXPECT_EQ(record.type_code, ref.record.type_code) << '[' << text << ']';
    for (std::size_t i = 0; i < 3; ++i) {
      EXPECT_EQ(bits(record.translation[i]), bits(ref.record.translation[i])) << '[' << text << ']';
      EXPECT_EQ(bits(record.rotation[i]), bits(ref.record.rotation[i])) << '[' << text << ']';
    }
    for (std::size_t i = 0; i < 6; ++i) {
      EXPECT_EQ(bits(record.phase[i]), bits(ref.record.phase[i])) << '[' << text << ']';
    }

    // Reading for other nodes consumes the same text and counts the same;
    // reading for this node converts the same magnitudes.
    IdSet other;
    other.insert(ref.record.node_id ^ 1);
    NodeRecord skipped;
    {
      TextListing listing(text, buffer_size);
      EXPECT_EQ(read_node_record(skipped, listing, &other), ref.converted) << '[' << text << ']';
      EXPECT_EQ(rest_of(listing), ref.rest) << '[' << text << ']';
    }
    IdSet self;
    self.insert(ref.record.node_id);
    NodeRecord kept;
    TextListing listing(text, buffer_size);
    EXPECT_EQ(read_node_record(kept, listing, &self), ref.converted) << '[' << text << ']';
    for (std::size_t i = 0; i < 3; ++i) {
      EXPECT_EQ(bits(kept.translation[i]), bits(ref.record.translation[i])) << '[' << text << ']';
      EXPECT_EQ(bits(kept.rotation[i]), bits(ref.record.rotation[i])) << '[' << text << ']';
    }
  }
}

TEST(ReadNodeRecord, ConsumesAndConvertsExactlyAsTheCLibrary) {
  const std::string full = "101 1 1 2 3 4 5 6  ";
  const char* fields[] = {
      "7.72E+02", "-1.5e-3", "+.5", "5.", ".5e1", "1.5E", "1.5E+", "1e+ 5", "1E-", "12e", "1.2.3", "1e5.5",
      "inf", "-Inf", "INFINITY", "infinity!", "infx", "infi\n5", "infinx", "nan", "+NaN", "nan(1)", "na 5",
      "nax", "0x1.8p3", "0X1P3x", "0x", "0x.", "0x.p1", "0xg", "-0x", "0xp3", "0x1e3", "0x1p", "+", "-", "+-1",
      "+ 1", ".", "-.e", ".e1", "e5", "1,5", "00012", "1e400", "1e-400", "4.9e-324", "1e-320",
      "123456789012345678901234567890.5", "0.000000000000000000000000000000000001", "abc", "***", "-",
      "1.000000000000000055511151231257827021181583404541015625",  // exact halfway cases
  };
  for (const char* field : fields) {
    // The odd text stands in each of the magnitude positions and in the phases.
    for (std::size_t position = 2; position < 14; ++position) {
      std::string text;
      const char* values[] = {"101", "1", "1", "2", "3", "4", "5", "6", "10", "20", "30", "40", "50", "60"};
      for (std::size_t i = 0; i < 14; ++i) text += std::string(i == position ? field : values[i]) + " ";
      expect_same_as_fscanf(text + "\nNEXT\n");
      expect_same_as_fscanf(text.substr(0, text.size() - 1));  // ends at the field
    }
  }
  const char* ids[] = {"-7", "+7", "007", "4294967297", "99999999999999999999", "-2147483649", "0x10", "7.5",
                       "7e2", "+", "-x", "x"};
  for (const char* id : ids) {
    expect_same_as_fscanf(std::string(id) + " 1 1 2 3 4 5 6 10 20 30 40 50 60\n");
    expect_same_as_fscanf(std::string("101 ") + id + " 1 2 3 4 5 6 10 20 30 40 50 60\n");
  }
  expect_same_as_fscanf(full + std::string("\0", 1) + "5 6 7\n");
  expect_same_as_fscanf("");
  expect_same_as_fscanf(" \r\n\t\v\f ");
  expect_same_as_fscanf("101");
  expect_same_as_fscanf("101 1 1 2 3 4 5 6");
}

// A field of any length converts as the C library converts it, while the
// reader keeps only the digits that decide the value.
TEST(ReadNodeRecord, LongFieldsConvertAsTheCLibrary) {
  const std::string ones(3000, '1');
  const std::string zeros(3000, '0');
  const char* tails[] = {"", "1", "5", "e-3000", "e+2990", "e-7000", "e99999999999999999999999"};
  std::vector<std::string> fields = {
      ones,
      "0." + zeros + "123",
      zeros + "7.25",
      "1." + zeros + "1",                      // a nonzero digit far after the point
      "9007199254740993" + zeros.substr(0, 900),  // 2^53 + 1, then zeros: exactly halfway
      "9007199254740993" + zeros.substr(0, 900) + "1",  // just above halfway
      "0x1." + zeros + "1p0",
      "0x" + std::string(400, 'f') + "p-1600",
      std::string(100, '9') + "e-40",
  };
  for (const std::string& base : {ones, std::string("4.") + zeros}) {
    for (const char* tail : tails) fields.push_back(base + tail);
  }
  for (const std::string& field : fields) {
    expect_same_as_fscanf("101 1 " + field + " 2 3 4 5 6 10 20 30 40 50 60\n");
    expect_same_as_fscanf("101 1 -" + field + " 2 3 4 5 6 10 20 30 40 50 60\n");
    expect_same_as_fscanf("101 1 1 2 3 4 5 6 10 20 30 40 50 " + field);  // ends in the field
  }
  expect_same_as_fscanf(std::string(5000, '7') + " 1 1 2 3 4 5 6 10 20 30 40 50 60\n");  // an id
}

TEST(ReadNodeRecord, MatchesTheCLibraryOnRandomText) {
  const char* pieces[] = {"101", "-7", "+", "-", "1.5", "E", "e+", "E-02", ".", "0", "0x", "1p3", "nan",
                          "inf", "inity", "in", "na", "x", " ", " ", "  ", "\n", "\r\n", "\t", "7.72E+02",
                          "9", "55", "abc", "*"};
  std::uint32_t state = 12345;
  auto next = [&state] {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
  };
  for (int trial = 0; trial < 20000; ++trial) {
    std::string text;
    const std::uint32_t count = 1 + next() % 40;
    for (std::uint32_t i = 0; i < count; ++i) text += pieces[next() % std::size(pieces)];
    expect_same_as_fscanf(text);
    if (::testing::Test::HasFailure()) break;
  }
}

}  // namespace
}  // namespace vandorak

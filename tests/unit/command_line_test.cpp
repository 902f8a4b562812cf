// What the command line builds from the words it accepts: the query bytes, number
// conversion, the type rule and the format. The refusals, their order and their messages are
// checked end to end (the cli_refusals case).
#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <string>
#include <vector>

#include "cli/commands.h"

namespace {

struct Parsed {
  std::vector<std::string> words;  // the settings may point into them (-d)
  CommandLineOutcome outcome;
  Settings settings;
};

Parsed Parse(const std::vector<const char *> &words) {
  Parsed parsed{};
  parsed.words.assign(words.begin(), words.end());
  std::vector<char *> argv;
  for (std::string &word : parsed.words) argv.push_back(word.data());
  argv.push_back(nullptr);
  parsed.outcome =
      CommandLine_Parse(static_cast<int>(parsed.words.size()), argv.data(), &parsed.settings);
  return parsed;
}

using Bytes = std::array<uint8_t, 64>;

const char *const kUuid = "00112233-4455-6677-8899-aabbccddeeff";

TEST(CommandLine, QueryBytes) {
  const Parsed plain = Parse({"t", "find"});
  std::array<uint8_t, 64> expected{};
  expected[3] = 0x02;   // owner = self marker
  expected[57] = 0x17;  // anyOwner | anyUUID | anyRevision | anyType
  EXPECT_EQ(std::bit_cast<Bytes>(plain.settings.query), expected);
  EXPECT_STREQ(plain.outcome.command->word, "find");
  EXPECT_FALSE(plain.settings.channelOnStderr);
  EXPECT_TRUE(Parse({"t", "dump"}).settings.channelOnStderr);

  const auto bytes =
      std::bit_cast<Bytes>(Parse({"t", "find", "-o", "0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9-x", "-u",
                                  "OLVA_UUID_SELF", "-r", "7", "-t", "DISK", "-l", kUuid})
                               .settings.query);
  EXPECT_EQ(bytes[0], 0x0a);  // owner in storage order, either case, a tail ignored
  EXPECT_EQ(bytes[15], 0xf9);
  EXPECT_EQ(bytes[16 + 3], 0x02);  // uuid = self marker
  EXPECT_EQ(bytes[47], 0xff);      // cluster
  EXPECT_EQ(bytes[48], 7);         // revision, little-endian
  EXPECT_EQ(bytes[56], 4);         // type
  EXPECT_EQ(bytes[57], 0x00);      // every wildcard cleared

  const Parsed latest = Parse({"t", "find", "-r", "-1", "-a", "-l", "OLVA_UUID_NULL"});
  EXPECT_EQ(latest.settings.query.revision, 0u);
  EXPECT_EQ(latest.settings.query.flags,
            0x13 | TARNE_QUERY_LATEST_REVISION | TARNE_QUERY_ALL_CLUSTERS);
}

TEST(CommandLine, NumbersConvertLikeStrtoulAndTypesByNumberOrName) {
  EXPECT_EQ(Parse({"t", "find", "-t", "SYMBOL"}).settings.query.type, 18);
  EXPECT_EQ(Parse({"t", "find", "-t", "5x"}).settings.query.type, 5);
  EXPECT_EQ(Parse({"t", "find", "-t", "83"}).settings.query.type, 83);
  EXPECT_EQ(Parse({"t", "find", "-v", "-1"}).settings.verbosity, -1);
  EXPECT_EQ(Parse({"t", "find", "-v", "4294967298"}).settings.verbosity, 2);  // low 32 bits
  EXPECT_EQ(Parse({"t", "wait", "-t", "4", "-i", "abc"}).settings.timeout, 0u);
  EXPECT_EQ(Parse({"t", "wait", "-t", "4", "-i", "  12s"}).settings.timeout, 12u);
  EXPECT_EQ(Parse({"t", "find", "-r", "18446744073709551614"}).settings.query.revision,
            18446744073709551614ull);
}

// Each command's default format and its other adjustments show in its end-to-end output.
TEST(CommandLine, TheLastFormatWinsInEitherSpellingAndReaddumpTakesMangle) {
  EXPECT_EQ(Parse({"t", "find", "-f", "simple", "-f", "json"}).settings.formatNumber, kFormatJson);
  EXPECT_EQ(Parse({"t", "wait", "-t", "4", "--format=python"}).settings.formatNumber,
            kFormatPython);
  EXPECT_TRUE(Parse({"t", "readdump", "-d", "f", "-m"}).settings.mangle);
}

}  // namespace

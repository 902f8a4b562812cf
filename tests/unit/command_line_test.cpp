#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "record/uuid.h"

namespace {

struct Parsed {
  std::vector<std::string> words;  // the settings may point into them (-d)
  CommandLineOutcome outcome;
  Settings settings;
  std::string out;
  std::string err;
};

Parsed Parse(std::initializer_list<const char *> words) {
  Parsed parsed{};
  parsed.words.assign(words.begin(), words.end());
  std::vector<char *> argv;
  for (std::string &word : parsed.words) argv.push_back(word.data());
  argv.push_back(nullptr);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  parsed.outcome =
      CommandLine_Parse(static_cast<int>(parsed.words.size()), argv.data(), &parsed.settings);
  parsed.err = testing::internal::GetCapturedStderr();
  parsed.out = testing::internal::GetCapturedStdout();
  return parsed;
}

std::array<uint8_t, 64> Bytes(const TarneQuery &query) {
  std::array<uint8_t, 64> bytes{};
  std::memcpy(bytes.data(), &query, sizeof query);
  return bytes;
}

std::string FirstLine(const std::string &text) {
  return text.substr(0, text.find('\n') + 1);
}

const char *const kUuid = "00112233-4455-6677-8899-aabbccddeeff";

TEST(CommandLine, DefaultQueryIsSelfOwnerWithFourWildcards) {
  const Parsed p = Parse({"tarne-tool", "find"});
  ASSERT_TRUE(p.outcome.run);
  std::array<uint8_t, 64> expected{};
  expected[3] = 0x02;   // owner = self marker
  expected[57] = 0x17;  // anyOwner | anyUUID | anyRevision | anyType
  EXPECT_EQ(Bytes(p.settings.query), expected);
  EXPECT_STREQ(p.outcome.command->word, "find");
  EXPECT_EQ(p.settings.formatNumber, kFormatSimple);
  EXPECT_EQ(p.out, "");
  EXPECT_EQ(p.err, "");
}

TEST(CommandLine, EachKeyOptionStoresItsFieldAndClearsItsWildcard) {
  const Parsed p = Parse({"tarne-tool", "find", "-o", kUuid, "-u", "OLVA_UUID_SELF", "-r", "7",
                          "-t", "DISK", "-l", "ffeeddcc-bbaa-9988-7766-554433221100"});
  ASSERT_TRUE(p.outcome.run);
  const std::array<uint8_t, 64> bytes = Bytes(p.settings.query);
  const std::array<uint8_t, 16> owner = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                                         0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff};
  EXPECT_TRUE(std::equal(owner.begin(), owner.end(), bytes.begin()));
  EXPECT_EQ(bytes[16 + 3], 0x02);  // uuid = self marker
  EXPECT_EQ(bytes[32], 0xff);      // cluster, storage order
  EXPECT_EQ(bytes[47], 0x00);
  EXPECT_EQ(bytes[48], 7);  // revision, little-endian
  EXPECT_EQ(bytes[56], 4);  // type
  EXPECT_EQ(bytes[57], 0x00);
  for (int i = 58; i < 64; ++i) EXPECT_EQ(bytes[i], 0) << i;
}

TEST(CommandLine, RevisionMinusOneAsksForTheLatest) {
  const Parsed p = Parse({"tarne-tool", "find", "-r", "-1"});
  ASSERT_TRUE(p.outcome.run);
  EXPECT_EQ(p.settings.query.revision, 0u);
  EXPECT_EQ(p.settings.query.flags, 0x13 | TARNE_QUERY_LATEST_REVISION);
}

TEST(CommandLine, AllClustersSetsItsFlagAndAcceptsANullCluster) {
  const Parsed p = Parse({"tarne-tool", "-a", "-l", "OLVA_UUID_NULL", "find"});
  ASSERT_TRUE(p.outcome.run);
  EXPECT_EQ(p.settings.query.flags, 0x17 | TARNE_QUERY_ALL_CLUSTERS);
}

TEST(CommandLine, TypeByNumberOrName) {
  EXPECT_EQ(Parse({"t", "find", "-t", "18"}).settings.query.type, 18);
  EXPECT_EQ(Parse({"t", "find", "-t", "SYMBOL"}).settings.query.type, 18);
  EXPECT_EQ(Parse({"t", "find", "-t", "5x"}).settings.query.type, 5);
  EXPECT_EQ(Parse({"t", "find", "-t", "CLUSTER"}).settings.query.type, 2);
  EXPECT_EQ(Parse({"t", "find", "-t", "83"}).settings.query.type, 83);
  for (const char *refused : {"0", "84", "-1", "nosuchtype", "LOCK/SYMBOL", "disk", ""}) {
    const Parsed p = Parse({"t", "find", "-t", refused});
    EXPECT_FALSE(p.outcome.run) << refused;
    EXPECT_EQ(p.outcome.result, -1);
    EXPECT_EQ(FirstLine(p.err), std::string("Unrecognized type value ") + refused + "\n");
  }
}

TEST(CommandLine, NumbersConvertLikeStrtoul) {
  EXPECT_EQ(Parse({"t", "find", "-v", "-1"}).settings.verbosity, -1);
  EXPECT_EQ(Parse({"t", "find", "-v", "  3"}).settings.verbosity, 3);
  EXPECT_EQ(Parse({"t", "find", "-v", "4294967298"}).settings.verbosity, 2);  // low 32 bits
  EXPECT_EQ(Parse({"t", "wait", "-t", "4", "-i", "abc"}).settings.timeout, 0u);
  EXPECT_EQ(Parse({"t", "wait", "-t", "4", "-i", "12s"}).settings.timeout, 12u);
  EXPECT_EQ(Parse({"t", "find", "-r", "18446744073709551614"}).settings.query.revision,
            18446744073709551614ull);
  const Parsed overflow = Parse({"t", "find", "-r", "18446744073709551616"});
  EXPECT_FALSE(overflow.outcome.run);
  EXPECT_EQ(FirstLine(overflow.err), "Failed to parse revision 18446744073709551616\n");
}

TEST(CommandLine, LaterFormatWinsButAnyInvalidOneIsRefused) {
  EXPECT_EQ(Parse({"t", "find", "-f", "simple", "-f", "json"}).settings.formatNumber, kFormatJson);
  EXPECT_EQ(Parse({"t", "find", "--format=python"}).settings.formatNumber, kFormatPython);
  const Parsed p = Parse({"t", "find", "-f", "json", "-f", "JSON"});
  EXPECT_FALSE(p.outcome.run);
  EXPECT_EQ(p.out, "INVALID FORMAT\n");
  EXPECT_EQ(FirstLine(p.err), "usage: t <cmd> <options>\n");
}

TEST(CommandLine, HelpWritesUsageToStandardOutputAndSucceeds) {
  const Parsed p = Parse({"prog", "--help", "-t", "nosuchtype"});
  EXPECT_FALSE(p.outcome.run);
  EXPECT_EQ(p.outcome.result, 0);
  EXPECT_EQ(FirstLine(p.out), "usage: prog <cmd> <options>\n");
  EXPECT_EQ(p.err, "");
}

TEST(CommandLine, ArgumentCountIsCheckedAfterTheOptions) {
  const Parsed two = Parse({"t", "find", "dump"});
  EXPECT_EQ(FirstLine(two.err), "Failed to parse arguments (optind=1, argc=3)\n");
  const Parsed none = Parse({"t", "-t", "5"});
  EXPECT_EQ(FirstLine(none.err), "Failed to parse arguments (optind=3, argc=3)\n");
  EXPECT_TRUE(Parse({"t", "-t", "5", "find"}).outcome.run);
}

TEST(CommandLine, ChecksComeInTheirOrder) {
  // A bad option is reported before the -a/-l conflict and before the command word.
  EXPECT_EQ(FirstLine(Parse({"t", "-a", "-l", kUuid, "-o", "x", "nosuch"}).err),
            "Failed to parse owner UUID x\n");
  EXPECT_EQ(FirstLine(Parse({"t", "-a", "-l", kUuid, "nosuch", "extra"}).err),
            "Invalid Arguments: only one of -a and -l arguments can be specified\n");
  EXPECT_EQ(FirstLine(Parse({"t", "nosuch", "extra"}).err),
            "Failed to parse arguments (optind=1, argc=3)\n");
  EXPECT_EQ(FirstLine(Parse({"t", "remoteFd"}).err), "Unrecognized command: remoteFd\n");
}

TEST(CommandLine, AddTakesTheSelfMarkerAsOwnerWithoutMinusO) {
  const Parsed p = Parse({"t", "add", "-u", kUuid, "-t", "4"});
  ASSERT_TRUE(p.outcome.run);
  EXPECT_EQ(p.settings.query.flags, TARNE_QUERY_ANY_REVISION);
  EXPECT_TRUE(Uuid_Equal(p.settings.query.owner, kUuidSelf));
  EXPECT_EQ(p.settings.formatNumber, kFormatNone);
}

TEST(CommandLine, FormatCheckPerCommand) {
  const std::string refusal = "Parameter --format is only relevant for wait/find/async/readdump\n";
  for (auto words :
       std::vector<std::vector<const char *>>{{"t", "dump", "-f", "json"},
                                              {"t", "whoami", "-f", "simple"},
                                              {"t", "amimember", "-f", "json"},
                                              {"t", "waitformembership", "-f", "json"},
                                              {"t", "waitdump", "-t", "4", "-f", "json"},
                                              {"t", "add", "-u", kUuid, "-t", "4", "-f", "json"},
                                              {"t", "delete", "-u", kUuid, "-f", "json"}}) {
    std::vector<std::string> storage(words.begin(), words.end());
    std::vector<char *> argv;
    for (std::string &word : storage) argv.push_back(word.data());
    Settings settings;
    testing::internal::CaptureStderr();
    const CommandLineOutcome outcome =
        CommandLine_Parse(static_cast<int>(argv.size()), argv.data(), &settings);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(outcome.run) << words[1];
    EXPECT_EQ(FirstLine(err), refusal) << words[1];
  }
  EXPECT_EQ(Parse({"t", "wait", "-t", "4", "-f", "python"}).settings.formatNumber, kFormatPython);
  EXPECT_EQ(Parse({"t", "remoteFind", "-f", "simple"}).settings.formatNumber, kFormatSimple);
  EXPECT_EQ(Parse({"t", "readdump", "-d", "f", "-f", "json"}).settings.formatNumber, kFormatJson);
  EXPECT_EQ(Parse({"t", "readdump", "-d", "f"}).settings.formatNumber, kFormatSimple);
  EXPECT_EQ(Parse({"t", "dump"}).settings.formatNumber, kFormatNone);
}

TEST(CommandLine, PerCommandRequirements) {
  EXPECT_EQ(FirstLine(Parse({"t", "add", "-u", kUuid}).err), "Type and UUID must be provided\n");
  EXPECT_EQ(FirstLine(Parse({"t", "add", "-t", "4"}).err), "Type and UUID must be provided\n");
  EXPECT_EQ(FirstLine(Parse({"t", "wait"}).err), "Type must be provided\n");
  EXPECT_EQ(FirstLine(Parse({"t", "waitdump", "-u", kUuid}).err), "Type must be provided\n");
  EXPECT_EQ(FirstLine(Parse({"t", "readdump"}).err),
            "readdump requires dumpfile (specify with -d/--dumpfile)\n");
  EXPECT_TRUE(Parse({"t", "delete", "-t", "4"}).outcome.run);
}

TEST(CommandLine, FlagsWithoutArguments) {
  const Parsed p = Parse({"t", "readdump", "-d", "dump.gz", "-p", "-c", "-m"});
  ASSERT_TRUE(p.outcome.run);
  EXPECT_STREQ(p.settings.dumpFile, "dump.gz");
  EXPECT_TRUE(p.settings.printDumpHeader);
  EXPECT_TRUE(p.settings.compactOutput);
  EXPECT_TRUE(p.settings.mangle);
}

}  // namespace

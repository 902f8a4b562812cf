#include "output/output.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>

#include "channel_capture.h"
#include "output/formats.h"
#include "settings/settings.h"

namespace {

class OutputTest : public testing::Test {
 protected:
  void SetUp() override { OutputFormats_Fill(); }
  std::string Out() { return capture_.Out(); }
  std::string Err() { return capture_.Err(); }

  static DumpHeader SampleHeader() {
    DumpHeader header{};
    header.magic = kDumpMagic;
    header.minor = 1;
    header.major = 0;
    header.numentries = -5;
    header.starttime = 4000000000u;
    header.endtime = 17;
    return header;
  }

 private:
  ChannelCapture capture_;
};

TEST_F(OutputTest, EmptyListingsOfEachFormat) {
  outputFormats[0].listBegin();
  outputFormats[0].listEnd();
  EXPECT_EQ(Out(), "\n\n");
}

TEST_F(OutputTest, EmptyJsonListingPrettyAndCompact) {
  outputFormats[1].listBegin();
  outputFormats[1].listEnd();
  MutableSettings().compactOutput = true;
  outputFormats[1].listBegin();
  outputFormats[1].listEnd();
  EXPECT_EQ(Out(), "{\n \"entries\": \n[\n]\n}\n{\n \"entries\": \n[]\n}");
}

TEST_F(OutputTest, EmptyPythonListing) {
  outputFormats[2].listBegin();
  outputFormats[2].listEnd();
  EXPECT_EQ(Out(), "[\n]\n");
}

TEST_F(OutputTest, HeaderPrinters) {
  const DumpHeader header = SampleHeader();
  MutableSettings().compactOutput = true;  // header printers ignore it
  outputFormats[0].printHeader(&header);
  EXPECT_EQ(Out(),
            "header={magic = 0x4d5544454e524154, major = 0, minor = 1, starttime = 4000000000, "
            "endtime = 17, numentries = -5}\n\n");
}

TEST_F(OutputTest, JsonHeaderQuotesEveryValue) {
  const DumpHeader header = SampleHeader();
  outputFormats[1].printHeader(&header);
  EXPECT_EQ(Out(),
            "{\n \"header\": \n{\n   \"magic\":\"0x4d5544454e524154\",\n   \"major\":\"0\",\n"
            "   \"minor\":\"1\",\n   \"starttime\":\"4000000000\",\n   \"endtime\":\"17\",\n"
            "   \"numentries\":\"-5\"\n},\n\"entries\": \n[\n");
}

TEST_F(OutputTest, PythonHeaderIsTheFirstListElement) {
  DumpHeader header = SampleHeader();
  header.magic = 0x1234;  // at least eight hex digits
  outputFormats[2].printHeader(&header);
  EXPECT_EQ(Out(),
            "[\n{\n   \"magic\":\"0x00001234\",\n   \"major\":0,\n   \"minor\":1,\n"
            "   \"starttime\":4000000000,\n   \"endtime\":17,\n   \"numentries\":-5\n},\n");
}

TEST_F(OutputTest, StructuredContentFlags) {
  EXPECT_EQ(outputFormats[0].structuredContent, 0);
  EXPECT_EQ(outputFormats[1].structuredContent, 1);
  EXPECT_EQ(outputFormats[2].structuredContent, 1);
  EXPECT_EQ(OutputFormats_Selected(2), &outputFormats[1]);
  EXPECT_EQ(OutputFormats_Selected(0), nullptr);
  EXPECT_EQ(OutputFormats_Selected(4), nullptr);
}

TEST_F(OutputTest, DumpSendsTextToStandardErrorBehindATimestamp) {
  MutableSettings().channelOnStderr = true;
  Output_Printf("%sline %d\n", "x", 5);
  EXPECT_EQ(Out(), "");
  EXPECT_TRUE(std::regex_match(Err(), std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d: xline 5\n)")))
      << Err();
}

TEST_F(OutputTest, WaitdumpIsNotDump) {
  MutableSettings().channelOnStderr = false;
  Output_Printf("plain\n");
  EXPECT_EQ(Out(), "plain\n");
  EXPECT_EQ(Err(), "");
}

TEST_F(OutputTest, LongTextUnderDumpIsWrittenWhole) {
  MutableSettings().channelOnStderr = true;
  const std::string text(5000, 'q');
  Output_Printf("%s!", text.c_str());
  const std::string err = Err();
  ASSERT_EQ(err.size(), 21 + text.size() + 1);
  EXPECT_EQ(err.substr(21), text + "!");
}

TEST(OutputTimestamp, HasTheLocalTimeForm) {
  EXPECT_TRUE(
      std::regex_match(Output_Timestamp(), std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d: )")));
}

}  // namespace

// The output channel, and the listing frames and header texts at edges that the end-to-end
// cases cannot reach; the messages by kind and verbosity are checked end to end.
#include "output/output.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "channel_capture.h"
#include "output/formats.h"

namespace {

const std::string kTime = R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d: )";

class OutputTest : public testing::Test {
 protected:
  void SetUp() override { OutputFormats_Fill(); }
  ChannelCapture capture_;
};

TEST_F(OutputTest, EmptyListingsAndHeaders) {
  DumpHeader header{kDumpMagic, 0, 1, 0, -5, 4000000000u, 17};
  for (const OutputFormat &format : outputFormats) {
    format.listBegin();
    format.listEnd();
    format.printHeader(&header);
    header.magic = 0x1234;  // at least eight hex digits
  }
  MutableSettings().compactOutput = true;  // json frames follow it, headers do not
  outputFormats[1].listBegin();
  outputFormats[1].listEnd();
  outputFormats[1].printHeader(&header);
  const std::string jsonHeader =
      "{\n \"header\": \n{\n   \"magic\":\"0x00001234\",\n   \"major\":\"0\",\n"
      "   \"minor\":\"1\",\n   \"starttime\":\"4000000000\",\n   \"endtime\":\"17\",\n"
      "   \"numentries\":\"-5\"\n},\n\"entries\": \n[\n";
  EXPECT_EQ(capture_.Out(),
            "\n\nheader={magic = 0x4d5544454e524154, major = 0, minor = 1, starttime = "
            "4000000000, endtime = 17, numentries = -5}\n\n"
            "{\n \"entries\": \n[\n]\n}\n" +
                jsonHeader +
                "[\n]\n[\n{\n   \"magic\":\"0x00001234\",\n   \"major\":0,\n   \"minor\":1,\n"
                "   \"starttime\":4000000000,\n   \"endtime\":17,\n   \"numentries\":-5\n},\n"
                "{\n \"entries\": \n[]\n}" +
                jsonHeader);
}

TEST_F(OutputTest, ChannelOnStderrWritesLongTextsWholeBehindOneTimestamp) {
  Output_Printf("plain %d\n", 1);
  MutableSettings().channelOnStderr = true;
  const std::string text(5000, 'q');
  Output_Printf("%s!", text.c_str());
  Output_Write(text.data(), 3);  // the printers' one write per entry
  EXPECT_EQ(capture_.Out(), "plain 1\n");
  EXPECT_TRUE(std::regex_match(capture_.Err(), std::regex(kTime + text + "!" + kTime + "qqq")));
}

}  // namespace

// The output channel on standard error; the listing frames, the header texts and the messages
// by kind and verbosity are checked end to end.
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

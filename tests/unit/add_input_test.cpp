#include "update/add_input.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "client/tarne_status_codes.h"

namespace {

std::vector<uint8_t> Pattern(size_t length) {
  std::vector<uint8_t> bytes(length);
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>((i * 131 + 7) % 251);
  return bytes;
}

// Reads `input` through AddInput_Read from an in-memory stream.
class AddInputTest : public testing::Test {
 protected:
  void TearDown() override {
    std::free(entry_);
    CloseErr();
  }
  void CloseErr() {
    if (err_ != nullptr) std::fclose(err_);
    std::free(errText_);
    err_ = nullptr;
    errText_ = nullptr;
    errSize_ = 0;
  }

  PEK_ReturnStatus Read(const std::vector<uint8_t> &input, uint32_t maxCapacity = kAddMaxCapacity) {
    FILE *in = std::tmpfile();
    if (!input.empty()) std::fwrite(input.data(), 1, input.size(), in);
    std::rewind(in);
    CloseErr();  // a test may read several inputs
    err_ = open_memstream(&errText_, &errSize_);
    const PEK_ReturnStatus status = AddInput_Read(in, err_, maxCapacity, &entry_);
    std::fclose(in);
    return status;
  }
  std::string Err() {
    std::fflush(err_);
    return std::string(errText_, errSize_);
  }
  std::vector<uint8_t> Payload() const {
    const uint8_t *payload = TarneEntry_Payload(entry_);
    return std::vector<uint8_t>(payload, payload + entry_->valueLen);
  }

  TarneEntry *entry_ = nullptr;

 private:
  FILE *err_ = nullptr;
  char *errText_ = nullptr;
  size_t errSize_ = 0;
};

TEST_F(AddInputTest, EmptyInputGivesAnEmptyPayloadAndAZeroHeader) {
  ASSERT_EQ(Read({}), TARNE_STATUS_SUCCESS);
  ASSERT_NE(entry_, nullptr);
  EXPECT_EQ(entry_->valueLen, 0u);
  const TarneEntry zero{};
  EXPECT_EQ(std::memcmp(entry_, &zero, sizeof zero), 0);
  EXPECT_EQ(Err(), "");
}

TEST_F(AddInputTest, LengthsAroundTheCapacityBoundariesReadWhole) {
  for (size_t length : {1u, 1023u, 1024u, 1025u, 2048u, 2049u, 3u * 1024 * 1024 + 5}) {
    const std::vector<uint8_t> input = Pattern(length);
    ASSERT_EQ(Read(input), TARNE_STATUS_SUCCESS) << length;
    EXPECT_EQ(entry_->valueLen, length);
    EXPECT_EQ(Payload(), input) << length;
    const TarneEntry *header = entry_;
    EXPECT_EQ(header->type, 0);
    EXPECT_EQ(header->revision, 0u);
    std::free(entry_);
    entry_ = nullptr;
  }
}

TEST_F(AddInputTest, InputThatFillsTheLargestCapacityIsRefused) {
  // 4096 is reached from 1024 by two doublings; a full buffer there cannot grow again.
  ASSERT_EQ(Read(Pattern(4096), 4096), TARNE_STATUS_LIMIT_EXCEEDED);
  EXPECT_EQ(entry_, nullptr);
  EXPECT_NE(Err().find("4096 bytes or more"), std::string::npos) << Err();
}

TEST_F(AddInputTest, InputJustBelowTheLargestCapacityIsAccepted) {
  const std::vector<uint8_t> input = Pattern(4095);
  ASSERT_EQ(Read(input, 4096), TARNE_STATUS_SUCCESS);
  EXPECT_EQ(Payload(), input);
  EXPECT_EQ(Err(), "");
}

TEST_F(AddInputTest, PipeDeliveringSmallPiecesIsReadToItsEnd) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const std::vector<uint8_t> input = Pattern(5000);
  // Pieces of 100 bytes with pauses: each read(2) returns less than was asked for.
  std::thread writer([&] {
    for (size_t offset = 0; offset < input.size(); offset += 100) {
      ASSERT_EQ(write(fds[1], input.data() + offset, 100), 100);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    close(fds[1]);
  });
  FILE *in = fdopen(fds[0], "r");
  FILE *err = std::tmpfile();
  EXPECT_EQ(AddInput_Read(in, err, kAddMaxCapacity, &entry_), TARNE_STATUS_SUCCESS);
  writer.join();
  std::fclose(in);
  std::fclose(err);
  ASSERT_NE(entry_, nullptr);
  EXPECT_EQ(Payload(), input);
}

}  // namespace

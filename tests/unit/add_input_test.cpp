// Reading add's payload: every length around the buffer's doublings, the largest capacity,
// and a pipe that delivers less than each read asks for.
#include "update/add_input.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "client/tarne_status_codes.h"

namespace {

std::vector<uint8_t> Pattern(size_t length) {
  std::vector<uint8_t> bytes(length);
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>((i * 131 + 7) % 251);
  return bytes;
}

// The payload read from `in`, checking that the header is all zero but valueLen; `status`
// gets what AddInput_Read returned, and its error text goes to standard error.
std::vector<uint8_t> ReadFrom(FILE *in, PEK_ReturnStatus *status, uint32_t max = kAddMaxCapacity) {
  TarneEntry *entry = nullptr;
  *status = AddInput_Read(in, stderr, max, &entry);
  EXPECT_EQ(entry == nullptr, *status != TARNE_STATUS_SUCCESS);
  if (entry == nullptr) return {};
  TarneEntry header{};
  header.valueLen = entry->valueLen;
  EXPECT_EQ(std::memcmp(entry, &header, sizeof header), 0);
  const uint8_t *payload = TarneEntry_Payload(entry);
  std::vector<uint8_t> bytes(payload, payload + entry->valueLen);
  std::free(entry);
  return bytes;
}

std::vector<uint8_t> ReadBytes(const std::vector<uint8_t> &input, PEK_ReturnStatus *status,
                               uint32_t max = kAddMaxCapacity) {
  FILE *in = std::tmpfile();
  if (!input.empty()) (void)std::fwrite(input.data(), 1, input.size(), in);
  std::rewind(in);
  std::vector<uint8_t> bytes = ReadFrom(in, status, max);
  (void)std::fclose(in);
  return bytes;
}

TEST(AddInput, LengthsAroundTheDoublingsReadWhole) {
  PEK_ReturnStatus status = 0;
  for (size_t length : {0u, 1u, 1023u, 1024u, 1025u, 2048u, 2049u, 3u * 1024 * 1024 + 5}) {
    EXPECT_EQ(ReadBytes(Pattern(length), &status), Pattern(length)) << length;
    EXPECT_EQ(status, TARNE_STATUS_SUCCESS);
  }
  EXPECT_EQ(ReadBytes(Pattern(4095), &status, 4096).size(), 4095u);
  testing::internal::CaptureStderr();
  ReadBytes(Pattern(4096), &status, 4096);  // fills the largest capacity
  EXPECT_NE(testing::internal::GetCapturedStderr().find("4096 bytes or more"), std::string::npos);
  EXPECT_EQ(status, TARNE_STATUS_LIMIT_EXCEEDED);
}

TEST(AddInput, PipeDeliveringSmallPiecesIsReadToItsEnd) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const std::vector<uint8_t> input = Pattern(5000);
  std::thread writer([&] {
    for (size_t offset = 0; offset < input.size(); offset += 100) {
      EXPECT_EQ(write(fds[1], input.data() + offset, 100), 100);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    close(fds[1]);
  });
  FILE *in = fdopen(fds[0], "r");
  PEK_ReturnStatus status = 0;
  EXPECT_EQ(ReadFrom(in, &status), input);
  writer.join();
  (void)std::fclose(in);
}

}  // namespace

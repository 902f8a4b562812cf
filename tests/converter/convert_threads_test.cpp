// Conversions run on the library's callback threads and the main thread at once.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "converter_support.h"

namespace converter_test {
namespace {

// A second directory at another address, so that threads index different directories.
constexpr TarneSchemaDirEntry kOtherDirectory[] = {
    {"OneString", kStringFields}, {"Symbol", kSymbolFields}, {nullptr, nullptr}};

TEST(ConverterThreads, ConvertsConcurrentlyUnderSeveralDirectories) {
  Payload p(8);
  p.U64(0, p.AppendString("shared"));
  const std::vector<uint8_t> payload = p.bytes();
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  threads.reserve(4);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      const TarneSchemaDirEntry *directory = t % 2 == 0 ? kTestDirectory : kOtherDirectory;
      for (int i = 0; i < 500; ++i) {
        char text[64];
        uint32_t capacity = sizeof text;
        const auto convert = i % 2 == 0 ? OlvaExprConv_BinToText : OlvaExprConv_BinToTextObfuscated;
        const PEK_ReturnStatus status =
            convert(payload.data(), static_cast<uint32_t>(payload.size()), 1, text, &capacity,
                    directory, "OneString", 0);
        const std::string expected = i % 2 == 0 ? "s=shared" : "s=str-";
        if (status != TARNE_STATUS_SUCCESS || std::string(text).rfind(expected, 0) != 0)
          ++mismatches;
      }
    });
  }
  for (std::thread &thread : threads) thread.join();
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
}  // namespace converter_test

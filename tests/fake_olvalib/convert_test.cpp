// ConvertAndPrintEntry against the fake converter: which converter and schema it picks, how
// its buffer grows, and the one printEntry call it makes for every outcome.
#include "content/convert.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "fake_control.h"
#include "settings/settings.h"
#include "tables/schemas.h"

namespace {

struct PrintedEntry {
  const char *prefix;
  int isFirst;
  const TarneEntry *entry;
  std::optional<std::string> content;  // copied: the printer may not keep the pointer
  uint32_t contentLength;
  std::optional<std::string> errorStr;
};

std::vector<PrintedEntry> printed;

void RecordEntry(const char *prefix, int isFirst, const TarneEntry *entry, const char *content,
                 uint32_t contentLength, const char *errorStr) {
  printed.push_back({prefix, isFirst, entry,
                     content != nullptr ? std::optional<std::string>(content) : std::nullopt,
                     contentLength,
                     errorStr != nullptr ? std::optional<std::string>(errorStr) : std::nullopt});
}

constexpr OutputFormat kUnstructured{0, nullptr, nullptr, nullptr, RecordEntry};
constexpr OutputFormat kStructured{1, nullptr, nullptr, nullptr, RecordEntry};

// A whole entry record: the header, then the payload.
class EntryBytes {
 public:
  EntryBytes(uint8_t typeByte, size_t payloadLength) : bytes_(sizeof(TarneEntry) + payloadLength) {
    for (size_t i = 0; i < payloadLength; ++i) bytes_[sizeof(TarneEntry) + i] = uint8_t(i + 1);
    Header()->type = typeByte;
    Header()->valueLen = static_cast<uint32_t>(payloadLength);
  }
  TarneEntry *Header() { return reinterpret_cast<TarneEntry *>(bytes_.data()); }

 private:
  std::vector<uint8_t> bytes_;
};

FakeOlvaConverterCall CallAt(size_t index) {
  FakeOlvaConverterCall call{};
  EXPECT_TRUE(FakeOlva_ConverterCallAt(index, &call)) << "no converter call " << index;
  return call;
}

class ConvertAndPrint : public ::testing::Test {
 protected:
  void SetUp() override { Script(""); }
  void TearDown() override { MutableSettings().mangle = false; }

  static void Script(const char *text) {
    ASSERT_TRUE(FakeOlva_UseScript(text)) << FakeOlva_LastError();
    printed.clear();
  }

  // Converts one entry as the first of a listing and returns what was printed.
  static PrintedEntry ConvertOne(EntryBytes &entry, const OutputFormat &format = kStructured) {
    PrintContext context{nullptr, 1};
    const size_t before = printed.size();
    EXPECT_EQ(ConvertAndPrintEntry(&context, entry.Header(), &format), 0);
    EXPECT_EQ(context.isFirst, 0);
    EXPECT_EQ(printed.size(), before + 1);
    return printed.empty() ? PrintedEntry{} : printed.back();
  }
};

TEST_F(ConvertAndPrint, EmptyPayloadPrintsEmptyTextWithoutConverting) {
  for (uint8_t type : {4, 7, 0}) {
    printed.clear();
    EntryBytes entry(type, 0);
    const PrintedEntry out = ConvertOne(entry);
    EXPECT_EQ(out.content, std::optional<std::string>(""));
    EXPECT_EQ(out.contentLength, 0u);
    EXPECT_EQ(out.errorStr, std::nullopt);
    EXPECT_EQ(out.isFirst, 1);
  }
  EXPECT_EQ(FakeOlva_ConverterCallCount(), 0u);
}

TEST_F(ConvertAndPrint, SuccessHandsTheWholeBufferCapacityToThePrinter) {
  Script("convert text=\"healthy since boot\"");
  EntryBytes entry(7, 10);
  const PrintedEntry out = ConvertOne(entry);

  EXPECT_EQ(out.entry, entry.Header());
  EXPECT_EQ(out.content, std::optional<std::string>("healthy since boot"));
  EXPECT_EQ(out.contentLength, 40u);  // 4 × valueLen, not the text's length
  EXPECT_EQ(out.errorStr, std::nullopt);

  ASSERT_EQ(FakeOlva_ConverterCallCount(), 1u);
  const FakeOlvaConverterCall call = CallAt(0);
  EXPECT_EQ(call.obfuscated, 0);
  EXPECT_EQ(call.payload, reinterpret_cast<const uint8_t *>(entry.Header()) + 64);
  EXPECT_EQ(call.length, 10u);
  EXPECT_EQ(call.one, 1);
  EXPECT_EQ(call.capacityOnEntry, 40u);
  EXPECT_TRUE(call.textWasZeroFilled);
  EXPECT_EQ(call.directory, TarneSchemaDirectory);
  EXPECT_STREQ(call.schemaName, "TarneHealthStatusEntry");
  EXPECT_EQ(call.structuredContent, 1);
}

TEST_F(ConvertAndPrint, PassesTheFormatsStructuredFlagAndThePrefix) {
  EntryBytes entry(3, 4);
  PrintContext context{"node: ", 1};
  ConvertAndPrintEntry(&context, entry.Header(), &kUnstructured);
  ASSERT_EQ(printed.size(), 1u);
  EXPECT_EQ(CallAt(0).structuredContent, 0);
  EXPECT_STREQ(printed[0].prefix, "node: ");
}

TEST_F(ConvertAndPrint, MangleObfuscatesAllButThePlainOnlyTypes) {
  const std::vector<uint8_t> plainOnly = {4, 13, 21, 23, 0x84, 0x8D};
  const std::vector<uint8_t> others = {3, 7, 14, 28, 39, 47, 1, 0, 100};
  for (bool mangle : {false, true}) {
    MutableSettings().mangle = mangle;
    Script("convert text=ok repeat=32");  // one call per entry
    for (uint8_t type : plainOnly) {
      EntryBytes entry(type, 3);
      ConvertOne(entry);
    }
    for (uint8_t type : others) {
      EntryBytes entry(type, 3);
      ConvertOne(entry);
    }
    ASSERT_EQ(FakeOlva_ConverterCallCount(), plainOnly.size() + others.size());
    for (size_t i = 0; i < FakeOlva_ConverterCallCount(); ++i) {
      const bool expectObfuscated = mangle && i >= plainOnly.size();
      EXPECT_EQ(CallAt(i).obfuscated, expectObfuscated ? 1 : 0) << "mangle " << mangle << " #" << i;
    }
  }
}

TEST_F(ConvertAndPrint, HighBitTypeConvertsAsDiskAndUnnamedTypesAsNull) {
  const std::vector<std::pair<uint8_t, const char *>> cases = {{0x84, "TarneDiskEntry"},
                                                               {1, "NULL"},
                                                               {2, "NULL"},
                                                               {0, "NULL"},
                                                               {84, "NULL"},
                                                               {127, "NULL"},
                                                               {0xFF, "NULL"}};
  Script("convert text=ok repeat=32");  // one call per entry
  for (const auto &[type, schema] : cases) {
    EntryBytes entry(type, 1);
    ConvertOne(entry);
  }
  ASSERT_EQ(FakeOlva_ConverterCallCount(), cases.size());
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_STREQ(CallAt(i).schemaName, cases[i].second) << "type byte " << int(cases[i].first);
  }
}

TEST_F(ConvertAndPrint, FailureTextIsCutToTheCapacityTheConverterLeft) {
  Script("convert status=0x0BAD0001 capacity=8");
  EntryBytes entry(4, 2);
  const PrintedEntry out = ConvertOne(entry);
  EXPECT_EQ(out.content, std::nullopt);
  EXPECT_EQ(out.contentLength, 0u);
  EXPECT_EQ(out.errorStr, std::optional<std::string>("Failure"));
}

TEST_F(ConvertAndPrint, FailureTextIsWholeWhenTheBufferHoldsIt) {
  Script("convert status=0x0BAD0021");
  EntryBytes entry(4, 30);
  const PrintedEntry out = ConvertOne(entry);
  EXPECT_EQ(out.errorStr,
            std::optional<std::string>("Timeout: Error encountered while converting entry"));
  EXPECT_EQ(out.content, std::nullopt);
}

TEST_F(ConvertAndPrint, FailureTextNeverRunsPastTheAllocatedBuffer) {
  // The converter claims a larger capacity than the 8 bytes it was given.
  Script("convert status=0x0BAD0001 capacity=100000");
  EntryBytes entry(4, 2);
  EXPECT_EQ(ConvertOne(entry).errorStr, std::optional<std::string>("Failure"));

  Script("convert status=0x0BAD0001 capacity=0");
  EXPECT_EQ(ConvertOne(entry).errorStr, std::optional<std::string>(""));
}

TEST_F(ConvertAndPrint, TooSmallDoublesFromFourTimesThePayload) {
  Script(
      "convert status=0x0BAD00DB repeat=2\n"
      "convert text=\"done\"\n");
  EntryBytes entry(4, 10);
  const PrintedEntry out = ConvertOne(entry);
  EXPECT_EQ(out.content, std::optional<std::string>("done"));
  EXPECT_EQ(out.contentLength, 160u);

  ASSERT_EQ(FakeOlva_ConverterCallCount(), 3u);
  const uint32_t expected[] = {40, 80, 160};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(CallAt(i).capacityOnEntry, expected[i]);
    EXPECT_TRUE(CallAt(i).textWasZeroFilled) << "attempt " << i;
  }
}

TEST_F(ConvertAndPrint, TooSmallDoublesTheCapacityTheConverterLeft) {
  Script(
      "convert status=0x0BAD00DB capacity=3\n"
      "convert text=\"ok\"\n");
  EntryBytes entry(7, 10);
  const PrintedEntry out = ConvertOne(entry);
  EXPECT_EQ(CallAt(1).capacityOnEntry, 6u);
  EXPECT_EQ(out.contentLength, 6u);
  EXPECT_EQ(out.content, std::optional<std::string>("ok"));
}

TEST_F(ConvertAndPrint, CapacityOfTwoGigabytesIsNeverAllocated) {
  // Only the header exists: the payload must not be read on this path.
  EntryBytes huge(4, 0);
  huge.Header()->valueLen = 0x20000000;  // 4 × valueLen = 2^31
  PrintedEntry out = ConvertOne(huge);
  EXPECT_EQ(out.content, std::nullopt);
  EXPECT_EQ(out.contentLength, 8u);
  EXPECT_EQ(out.errorStr, std::optional<std::string>("NoMemory"));
  EXPECT_EQ(FakeOlva_ConverterCallCount(), 0u);

  // Doubling into 2^31 takes the same path, and the buffer held so far is released.
  Script("convert status=0x0BAD00DB capacity=0x40000000");
  EntryBytes entry(4, 4);
  out = ConvertOne(entry);
  EXPECT_EQ(out.errorStr, std::optional<std::string>("NoMemory"));
  EXPECT_EQ(out.contentLength, 8u);
  EXPECT_EQ(FakeOlva_ConverterCallCount(), 1u);
}

TEST_F(ConvertAndPrint, IsFirstIsConsumedByTheFirstEntryWhateverItsOutcome) {
  Script(
      "convert status=0x0BAD0001\n"
      "convert text=\"second\"\n");
  PrintContext context{nullptr, 1};
  EntryBytes failing(4, 2), succeeding(4, 2), empty(4, 0);
  ConvertAndPrintEntry(&context, failing.Header(), &kStructured);
  ConvertAndPrintEntry(&context, succeeding.Header(), &kStructured);
  ConvertAndPrintEntry(&context, empty.Header(), &kStructured);
  ASSERT_EQ(printed.size(), 3u);
  EXPECT_EQ(printed[0].isFirst, 1);
  EXPECT_TRUE(printed[0].errorStr.has_value());
  EXPECT_EQ(printed[1].isFirst, 0);
  EXPECT_EQ(printed[1].content, std::optional<std::string>("second"));
  EXPECT_EQ(printed[2].isFirst, 0);

  // Out of memory consumes it too.
  PrintContext fresh{nullptr, 1};
  EntryBytes huge(4, 0);
  huge.Header()->valueLen = 0xFFFFFFFF;
  ConvertAndPrintEntry(&fresh, huge.Header(), &kStructured);
  ConvertAndPrintEntry(&fresh, empty.Header(), &kStructured);
  ASSERT_EQ(printed.size(), 5u);
  EXPECT_EQ(printed[3].isFirst, 1);
  EXPECT_EQ(printed[3].errorStr, std::optional<std::string>("NoMemory"));
  EXPECT_EQ(printed[4].isFirst, 0);
}

}  // namespace

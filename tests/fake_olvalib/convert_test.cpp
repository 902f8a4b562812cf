// ConvertAndPrintEntry against the fake converter: which converter and schema it picks, how
// its buffer grows, and the one printEntry call it makes for every outcome.
#include "content/convert.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "fake_state.h"
#include "settings/settings.h"
#include "tables/schemas.h"

namespace {

using Text = std::optional<std::string>;  // copied: the printer may not keep the pointer

struct Printed {
  int isFirst;
  const TarneEntry *entry;
  Text content;
  uint32_t contentLength;
  Text error;
};

std::vector<Printed> printed;

Text Copy(const char *text) {
  return text != nullptr ? Text(text) : std::nullopt;
}

void Record(const char *prefix, int isFirst, const TarneEntry *entry, const char *content,
            uint32_t contentLength, const char *errorStr) {
  EXPECT_EQ(prefix, nullptr);
  printed.push_back({isFirst, entry, Copy(content), contentLength, Copy(errorStr)});
}

constexpr OutputFormat kUnstructured{0, nullptr, nullptr, nullptr, Record};
constexpr OutputFormat kStructured{1, nullptr, nullptr, nullptr, Record};

// A whole entry record: the header, then the payload bytes 1, 2, 3 ...
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

class ConvertAndPrint : public ::testing::Test {
 protected:
  void SetUp() override { Script(""); }
  void TearDown() override { MutableSettings().mangle = false; }

  static void Script(const char *text) {
    ASSERT_EQ(FakeOlva_UseScript(text), "");
    printed.clear();
  }

  // Converts one entry as the first of a listing: exactly one printEntry call.
  static Printed ConvertOne(EntryBytes &entry, const OutputFormat &format = kStructured) {
    PrintContext context{nullptr, 1};
    const size_t before = printed.size();
    EXPECT_EQ(ConvertAndPrintEntry(&context, entry.Header(), &format), 0);
    EXPECT_EQ(context.isFirst, 0);
    EXPECT_EQ(printed.size(), before + 1);
    return printed.empty() ? Printed{} : printed.back();
  }
};

TEST_F(ConvertAndPrint, EmptyPayloadPrintsEmptyTextWithoutConverting) {
  for (uint8_t type : {4, 0}) {
    EntryBytes entry(type, 0);
    const Printed out = ConvertOne(entry);
    EXPECT_EQ(out.content, Text(""));
    EXPECT_EQ(out.contentLength, 0u);
    EXPECT_EQ(out.error, std::nullopt);
  }
  EXPECT_TRUE(FakeOlva_ConverterCalls().empty());
}

TEST_F(ConvertAndPrint, SuccessHandsTheWholeBufferCapacityToThePrinter) {
  Script("convert text=\"healthy since boot\"\nconvert text=ok");
  EntryBytes entry(7, 10), node(3, 4);
  const Printed out = ConvertOne(entry);
  EXPECT_EQ(out.entry, entry.Header());
  EXPECT_EQ(out.content, Text("healthy since boot"));
  EXPECT_EQ(out.contentLength, 40u);  // 4 × valueLen, not the text's length
  EXPECT_EQ(out.error, std::nullopt);
  ConvertOne(node, kUnstructured);

  const std::vector<FakeOlvaConverterCall> calls = FakeOlva_ConverterCalls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_FALSE(calls[0].obfuscated);
  EXPECT_EQ(calls[0].payload, reinterpret_cast<const uint8_t *>(entry.Header()) + 64);
  EXPECT_EQ(calls[0].length, 10u);
  EXPECT_EQ(calls[0].one, 1);
  EXPECT_EQ(calls[0].capacity, 40u);
  EXPECT_TRUE(calls[0].zeroFilled);
  EXPECT_EQ(calls[0].directory, TarneSchemaDirectory);
  EXPECT_EQ(calls[0].schemaName, "TarneHealthStatusEntry");
  EXPECT_EQ(calls[0].structuredContent, 1);
  EXPECT_EQ(calls[1].structuredContent, 0);
}

TEST_F(ConvertAndPrint, PicksTheConverterAndSchemaByTypeByte) {
  struct Row {
    uint8_t type;
    bool plainOnly;
    const char *schema;  // nullptr: not checked here
  };
  const std::vector<Row> rows = {{4, true, "TarneDiskEntry"}, {0x84, true, "TarneDiskEntry"},
                                 {13, true, nullptr},         {0x8D, true, nullptr},
                                 {21, true, nullptr},         {23, true, nullptr},
                                 {3, false, nullptr},         {14, false, nullptr},
                                 {47, false, nullptr},        {0, false, "NULL"},
                                 {1, false, "NULL"},          {84, false, "NULL"},
                                 {127, false, "NULL"},        {0xFF, false, "NULL"}};
  for (bool mangle : {false, true}) {
    MutableSettings().mangle = mangle;
    Script("convert text=ok repeat=32");  // one call per entry
    for (const Row &row : rows) {
      EntryBytes entry(row.type, 3);
      ConvertOne(entry);
    }
    const std::vector<FakeOlvaConverterCall> calls = FakeOlva_ConverterCalls();
    ASSERT_EQ(calls.size(), rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
      SCOPED_TRACE(testing::Message() << "type byte " << int(rows[i].type) << " mangle " << mangle);
      EXPECT_EQ(calls[i].obfuscated, mangle && !rows[i].plainOnly);
      if (rows[i].schema != nullptr) {
        EXPECT_EQ(calls[i].schemaName, rows[i].schema);
      }
    }
  }
}

TEST_F(ConvertAndPrint, FailureTextIsCutToTheCapacityLeftAndToTheBuffer) {
  const struct {
    const char *script;
    size_t payload;
    const char *error;
  } cases[] = {
      {"convert status=0x0BAD0001 capacity=8", 2, "Failure"},
      {"convert status=0x0BAD0021", 30, "Timeout: Error encountered while converting entry"},
      // The converter claims more than the 8 bytes it was given.
      {"convert status=0x0BAD0001 capacity=100000", 2, "Failure"},
      {"convert status=0x0BAD0001 capacity=0", 2, ""},
  };
  for (const auto &c : cases) {
    Script(c.script);
    EntryBytes entry(4, c.payload);
    const Printed out = ConvertOne(entry);
    EXPECT_EQ(out.error, Text(c.error)) << c.script;
    EXPECT_EQ(out.content, std::nullopt);
    EXPECT_EQ(out.contentLength, 0u);
  }
}

TEST_F(ConvertAndPrint, TooSmallDoublesFromFourTimesThePayloadOrTheCapacityLeft) {
  Script("convert status=0x0BAD00DB repeat=2\nconvert text=done");
  EntryBytes entry(4, 10);
  Printed out = ConvertOne(entry);
  EXPECT_EQ(out.content, Text("done"));
  EXPECT_EQ(out.contentLength, 160u);
  std::vector<FakeOlvaConverterCall> calls = FakeOlva_ConverterCalls();
  ASSERT_EQ(calls.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(calls[i].capacity, 40u << i);
    EXPECT_TRUE(calls[i].zeroFilled) << "attempt " << i;
  }

  Script("convert status=0x0BAD00DB capacity=3\nconvert text=ok");
  out = ConvertOne(entry);
  EXPECT_EQ(FakeOlva_ConverterCalls().at(1).capacity, 6u);
  EXPECT_EQ(out.contentLength, 6u);
  EXPECT_EQ(out.content, Text("ok"));
}

TEST_F(ConvertAndPrint, CapacityOfTwoGigabytesIsNeverAllocated) {
  // Only the header exists: the payload must not be read on this path.
  EntryBytes huge(4, 0);
  huge.Header()->valueLen = 0x20000000;  // 4 × valueLen = 2^31
  Printed out = ConvertOne(huge);
  EXPECT_EQ(out.content, std::nullopt);
  EXPECT_EQ(out.contentLength, 8u);
  EXPECT_EQ(out.error, Text("NoMemory"));
  EXPECT_TRUE(FakeOlva_ConverterCalls().empty());

  // Doubling into 2^31 takes the same path, and the buffer held so far is released.
  Script("convert status=0x0BAD00DB capacity=0x40000000");
  EntryBytes entry(4, 4);
  out = ConvertOne(entry);
  EXPECT_EQ(out.error, Text("NoMemory"));
  EXPECT_EQ(out.contentLength, 8u);
  EXPECT_EQ(FakeOlva_ConverterCalls().size(), 1u);
}

TEST_F(ConvertAndPrint, IsFirstIsConsumedByTheFirstEntryWhateverItsOutcome) {
  Script("convert status=0x0BAD0001\nconvert text=second");
  EntryBytes failing(4, 2), succeeding(4, 2), empty(4, 0), huge(4, 0);
  huge.Header()->valueLen = 0xFFFFFFFF;
  for (EntryBytes *first : {&failing, &huge}) {
    PrintContext context{nullptr, 1};
    for (EntryBytes *entry : {first, &succeeding, &empty}) {
      ConvertAndPrintEntry(&context, entry->Header(), &kStructured);
    }
  }
  ASSERT_EQ(printed.size(), 6u);
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(printed[i].isFirst, i % 3 == 0 ? 1 : 0) << i;
  EXPECT_EQ(printed[0].error, Text("Failure"));
  EXPECT_EQ(printed[1].content, Text("second"));
  EXPECT_EQ(printed[3].error, Text("NoMemory"));
}

}  // namespace

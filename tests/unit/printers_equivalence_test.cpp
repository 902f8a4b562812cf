// The entry printers build their texts by hand; the printf layouts they replace are the
// contract. For many random entries, every printer's text is checked against printf of its
// layout with the layout's original arguments, including when its buffer cannot grow.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "channel_capture.h"
#include "output/entry_layouts.h"
#include "output/entry_text_builder.h"
#include "output/formats.h"
#include "output/json_escape.h"
#include "output/output.h"
#include "settings/settings.h"
#include "tables/entry_types.h"

namespace {

constexpr std::size_t kTimestampLength = 21;  // "YYYY-MM-DDTHH:MM:SS: "

std::string Format(const char *format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char *format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text(static_cast<std::size_t>(length), '\0');
  std::vsnprintf(text.data(), text.size() + 1, format, args);
  va_end(args);
  return text;
}

unsigned MinHostVersion(const TarneEntry &entry) {
  return (entry.type & 0x80) != 0 ? entry.minHostVersion : 0u;
}

bool IsObjectText(const char *content) {
  const std::size_t length = std::strlen(content);
  return length != 0 && content[0] == '{' && content[length - 1] == '}';
}

// The printers as they were: one printf of the layout. ADD_FAILURE when escaping fails.
std::string ReferenceSimple(const char *prefix, const TarneEntry &entry, const char *content,
                            const char *errorStr) {
  return Format(kSimpleEntryLayout, prefix != nullptr ? prefix : "", UUID_TEXT_ARGS(entry.owner),
                Health_Name(entry.flag), UUID_TEXT_ARGS(entry.uuid), EntryType_Name(entry.type),
                static_cast<unsigned long>(entry.revision), MinHostVersion(entry),
                content != nullptr ? content : "null", errorStr != nullptr ? errorStr : "(null)");
}

std::string ReferenceJson(int isFirst, const TarneEntry &entry, const char *content,
                          const char *errorStr, bool compact) {
  const bool objectForm = content != nullptr && IsObjectText(content);
  const EscapedContent escaped = Json_EscapeContent(content != nullptr ? content : "");
  const char *contentText = objectForm ? content : escaped.Text();
  if (contentText == nullptr) ADD_FAILURE() << "reference escaping failed";
  return Format(compact ? (objectForm ? kJsonCompactObjectLayout : kJsonCompactStringLayout)
                        : (objectForm ? kJsonPrettyObjectLayout : kJsonPrettyStringLayout),
                isFirst != 0 ? " " : ",", UUID_TEXT_ARGS(entry.uuid), UUID_TEXT_ARGS(entry.owner),
                Health_Name(entry.flag), static_cast<unsigned long>(entry.revision),
                EntryType_Name(entry.type), int{entry.flag}, MinHostVersion(entry),
                MD5_TEXT_ARGS(entry.md5sum), static_cast<int32_t>(entry.valueLen), contentText,
                errorStr != nullptr ? errorStr : "(null)", compact ? "" : "\n");
}

std::string ReferencePython(const TarneEntry &entry, const char *content, const char *errorStr) {
  const EscapedContent escaped = Json_EscapeContent(content != nullptr ? content : "null");
  if (escaped.Text() == nullptr) ADD_FAILURE() << "reference escaping failed";
  return Format(kPythonEntryLayout, UUID_TEXT_ARGS(entry.uuid), UUID_TEXT_ARGS(entry.owner),
                Health_Name(entry.flag), static_cast<unsigned long>(entry.revision),
                EntryType_Name(entry.type), int{entry.flag}, MinHostVersion(entry),
                MD5_TEXT_ARGS(entry.md5sum), static_cast<int32_t>(entry.valueLen), escaped.Text(),
                errorStr != nullptr ? errorStr : "(null)");
}

// Random entries and texts, reproducible from the seed.
class Generator {
 public:
  explicit Generator(uint64_t seed) : random_(seed) {}

  TarneEntry Entry() {
    TarneEntry entry;
    auto *bytes = reinterpret_cast<uint8_t *>(&entry);
    for (std::size_t i = 0; i < sizeof entry; ++i) bytes[i] = static_cast<uint8_t>(random_());
    switch (Below(6)) {
      case 0:
        entry.revision = std::numeric_limits<uint64_t>::max();
        break;
      case 1:
        entry.revision = Below(1000);
        break;
      case 2:
        entry.valueLen = 0x80000000u;
        break;
      case 3:
        entry.valueLen = Below(70000);
        break;
      default:
        break;
    }
    return entry;
  }

  // Stored in `storage`; null for an absent text.
  const char *Content(std::string &storage) {
    static constexpr const char *kFixed[] = {"", "{}", "{x", "x}", "{", "}", "null", "\"", "\\"};
    switch (Below(8)) {
      case 0:
        return nullptr;
      case 1:
        storage = kFixed[Below(std::size(kFixed))];
        break;
      case 2:
        storage = "{" + Text(Below(200)) + "}";
        break;
      case 3:
        storage = Text(4000 + Below(6000));
        break;  // beyond the first buffer size
      default:
        storage = Text(Below(300));
        break;
    }
    return storage.c_str();
  }

  const char *ErrorStr(std::string &storage) {
    if (Below(2) == 0) return nullptr;
    storage = Text(Below(60));
    return storage.c_str();
  }

  uint64_t Below(uint64_t bound) { return random_() % bound; }

 private:
  // Quotes, backslashes, braces, control bytes, UTF-8 sequences and any byte but NUL.
  std::string Text(std::size_t length) {
    static constexpr const char *kPieces[] = {
        "\"", "\\",  "{",  "}",        "\n",           "\t",
        "\r", "%s",  "%d", "\xc3\xa9", "\xe2\x86\x92", "\xf0\x9f\x98\x80",
        "a",  "key", " ",  "\"\\\""};
    std::string text;
    while (text.size() < length) {
      if (Below(4) == 0) {
        text += static_cast<char>(1 + Below(255));
      } else {
        text += kPieces[Below(std::size(kPieces))];
      }
    }
    return text;
  }

  std::mt19937_64 random_;
};

class PrinterEquivalenceTest : public testing::Test {
 protected:
  // What the channel received since the last call: from standard output, or under `dump`
  // from standard error with the timestamp in front checked and taken off.
  std::string TakePrinted() {
    const std::string allOut = capture_.Out();
    const std::string allErr = capture_.Err();
    std::string out = allOut.substr(outTaken_);
    std::string err = allErr.substr(errTaken_);
    outTaken_ = allOut.size();
    errTaken_ = allErr.size();
    if (!CurrentSettings().channelOnStderr) {
      EXPECT_EQ(err, "");
      return out;
    }
    EXPECT_EQ(out, "");
    if (err.size() < kTimestampLength || err.compare(kTimestampLength - 2, 2, ": ") != 0) {
      ADD_FAILURE() << "no timestamp in front of: " << err;
      return err;
    }
    return err.substr(kTimestampLength);
  }

  // Random settings, entry and texts through all three printers.
  void CheckRandomEntry(Generator &generate) {
    MutableSettings().channelOnStderr = generate.Below(4) == 0;
    MutableSettings().compactOutput = generate.Below(2) == 0;
    const bool compact = CurrentSettings().compactOutput;
    const TarneEntry entry = generate.Entry();
    std::string contentStorage;
    std::string errorStorage;
    const char *content = generate.Content(contentStorage);
    const char *errorStr = generate.ErrorStr(errorStorage);
    const int isFirst = static_cast<int>(generate.Below(2));
    const char *prefix = generate.Below(2) == 0 ? nullptr : "remote: ";
    const uint32_t contentLength = static_cast<uint32_t>(generate.Below(100));

    Simple_PrintEntry(prefix, isFirst, &entry, content, contentLength, errorStr);
    ASSERT_EQ(TakePrinted(), ReferenceSimple(prefix, entry, content, errorStr));
    Json_PrintEntry(prefix, isFirst, &entry, content, contentLength, errorStr);
    ASSERT_EQ(TakePrinted(), ReferenceJson(isFirst, entry, content, errorStr, compact));
    Python_PrintEntry(prefix, isFirst, &entry, content, contentLength, errorStr);
    ASSERT_EQ(TakePrinted(), ReferencePython(entry, content, errorStr));
  }

 private:
  ChannelCapture capture_;
  std::size_t outTaken_ = 0;
  std::size_t errTaken_ = 0;
};

TEST_F(PrinterEquivalenceTest, RandomEntriesPrintTheirLayouts) {
  Generator generate(20261206);
  for (int i = 0; i < 3000; ++i) {
    SCOPED_TRACE("entry " + std::to_string(i));
    CheckRandomEntry(generate);
    if (HasFatalFailure()) return;
  }
}

int growCalls = 0;
void *FailingGrow(void *, std::size_t) {
  ++growCalls;
  return nullptr;
}

TEST_F(PrinterEquivalenceTest, BufferThatCannotGrowFallsBackToTheLayout) {
  const EntryTextGrow previous = EntryText_SetGrowFunction(FailingGrow);
  growCalls = 0;
  Generator generate(7);
  // Larger than any buffer kept from earlier entries, so each entry must grow it.
  const std::string big(3 << 20, 'b');
  const std::string bigEscaped = "\"" + big + "\\";
  const std::string bigObject = "{" + big + "}";
  for (const std::string *content : {&big, &bigEscaped, &bigObject}) {
    for (const bool onStderr : {false, true}) {
      for (const bool compact : {false, true}) {
        MutableSettings().channelOnStderr = onStderr;
        MutableSettings().compactOutput = compact;
        const TarneEntry entry = generate.Entry();
        const char *text = content->c_str();
        Simple_PrintEntry("p", 0, &entry, text, 0, "error");
        EXPECT_EQ(TakePrinted(), ReferenceSimple("p", entry, text, "error"));
        Json_PrintEntry(nullptr, 1, &entry, text, 0, nullptr);
        EXPECT_EQ(TakePrinted(), ReferenceJson(1, entry, text, nullptr, compact));
        Python_PrintEntry(nullptr, 0, &entry, text, 0, nullptr);
        EXPECT_EQ(TakePrinted(), ReferencePython(entry, text, nullptr));
      }
    }
  }
  EntryText_SetGrowFunction(previous);
  EXPECT_GE(growCalls, 36);
}

// Remote-find results print on a library thread while the main thread may print too: each
// thread builds in its own buffer and each entry goes out in one piece.
TEST(PrinterThreadsTest, ThreadsPrintWholeEntries) {
  constexpr int kEntries = 300;
  std::set<std::string> expected;
  std::vector<TarneEntry> entries[2];
  Generator generate(11);
  for (auto &list : entries) {
    for (int i = 0; i < kEntries; ++i) {
      list.push_back(generate.Entry());
      expected.insert(ReferencePython(list.back(), "say \"hi\" \\o/", nullptr));
    }
  }
  // A file with a buffer set up here, so that the stream allocates nothing while the threads
  // write: the sanitizer sees the C library's allocations but not its stream lock.
  FILE *file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  static char streamBuffer[1 << 16];
  ASSERT_EQ(std::setvbuf(file, streamBuffer, _IOFBF, sizeof streamBuffer), 0);
  const Settings savedSettings = MutableSettings();
  MutableSettings().channelOnStderr = false;
  FILE *const previousOut = Output_Out();
  FILE *const previousErr = Output_Err();
  Output_SetStreams(file, previousErr);
  auto print = [](const std::vector<TarneEntry> &list) {
    for (const TarneEntry &entry : list) {
      Python_PrintEntry(nullptr, 0, &entry, "say \"hi\" \\o/", 0, nullptr);
    }
  };
  std::thread other(print, std::cref(entries[1]));
  print(entries[0]);
  other.join();
  Output_SetStreams(previousOut, previousErr);
  MutableSettings() = savedSettings;

  std::string printed;
  std::rewind(file);
  char chunk[4096];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
    printed.append(chunk, got);
  }
  std::fclose(file);
  int count = 0;
  for (std::size_t start = 0, end; start < printed.size(); start = end) {
    end = printed.find("},\n", start);
    ASSERT_NE(end, std::string::npos);
    end += 3;
    EXPECT_EQ(expected.count(printed.substr(start, end - start)), 1u)
        << printed.substr(start, end - start);
    ++count;
  }
  EXPECT_EQ(count, 2 * kEntries);
}

TEST(EntryTextBuilderTest, StopsAppendingOnceGrowthFails) {
  EntryTextBuilder builder;
  builder.Append("kept");
  ASSERT_FALSE(builder.Failed());
  const EntryTextGrow previous = EntryText_SetGrowFunction(FailingGrow);
  builder.Append(std::string(1 << 16, 'x'));
  builder.Append("!");  // fits in the old block, but the text is already incomplete
  EntryText_SetGrowFunction(previous);
  EXPECT_TRUE(builder.Failed());
  EXPECT_EQ(builder.Text(), "kept");
  builder.Clear();
  builder.AppendSigned(std::numeric_limits<int64_t>::min());
  builder.AppendUnsigned(std::numeric_limits<uint64_t>::max());
  EXPECT_FALSE(builder.Failed());
  EXPECT_EQ(builder.Text(), "-922337203685477580818446744073709551615");
}

TEST(JsonEscapeReusingBufferTest, BorrowsPlainTextAndEscapesTheRest) {
  const char *plain = "plain {text}\n";
  std::string_view escaped;
  ASSERT_TRUE(Json_EscapeReusingBuffer(plain, &escaped));
  EXPECT_EQ(escaped.data(), plain);
  EXPECT_EQ(escaped, plain);
  ASSERT_TRUE(Json_EscapeReusingBuffer("a\"b\\", &escaped));
  EXPECT_EQ(escaped, "a\\\"b\\\\");
  EXPECT_EQ(escaped.data()[escaped.size()], '\0');
}

void *FailingAllocator(std::size_t) {
  return nullptr;
}

TEST(JsonEscapeReusingBufferTest, NewAllocatorReplacesTheKeptBuffer) {
  std::string_view escaped;
  ASSERT_TRUE(Json_EscapeReusingBuffer("\"", &escaped));  // a buffer is now kept
  const EscapeAllocator previous = Json_SetEscapeAllocator(FailingAllocator);
  const bool escapedWithFailingAllocator = Json_EscapeReusingBuffer("\"", &escaped);
  const bool plainWithFailingAllocator = Json_EscapeReusingBuffer("plain", &escaped);
  Json_SetEscapeAllocator(previous);
  EXPECT_FALSE(escapedWithFailingAllocator);
  EXPECT_TRUE(plainWithFailingAllocator);
  ASSERT_TRUE(Json_EscapeReusingBuffer("\"", &escaped));
  EXPECT_EQ(escaped, "\\\"");
}

TEST_F(PrinterEquivalenceTest, OutputWriteIsPrintfOfTheText) {
  MutableSettings().channelOnStderr = false;
  Output_Write("line %d\n", 8);
  EXPECT_EQ(TakePrinted(), "line %d\n");
  MutableSettings().channelOnStderr = true;
  Output_Write("short\n", 6);
  EXPECT_EQ(TakePrinted(), "short\n");
  const std::string longText(5000, 'q');
  Output_Write(longText.data(), longText.size());
  EXPECT_EQ(TakePrinted(), longText);
}

}  // namespace

// The buffer in which an entry printer builds the whole text of one entry, so that the entry
// goes out in one write instead of one vfprintf of fifty conversions. It is the one way an
// entry is rendered.
#ifndef TARNE_OUTPUT_ENTRY_TEXT_BUILDER_H
#define TARNE_OUTPUT_ENTRY_TEXT_BUILDER_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include "client/tarne_client.h"

// Appends never throw: when the buffer cannot grow, the builder is marked failed, later
// appends do nothing, and EntryText_Write leaves the entry out.
class EntryTextBuilder {
 public:
  // The calling thread's builder, emptied. Remote-find results print on a library thread,
  // hence one per thread; the storage is reused from entry to entry.
  static EntryTextBuilder &ForThisThread();

  EntryTextBuilder() = default;
  EntryTextBuilder(const EntryTextBuilder &) = delete;
  EntryTextBuilder &operator=(const EntryTextBuilder &) = delete;
  ~EntryTextBuilder();

  void Clear();
  void Append(std::string_view text) {
    char *out = Room(text.size());
    if (out == nullptr) return;
    if (!text.empty()) std::memcpy(out, text.data(), text.size());
    size_ += text.size();
  }
  // A NUL-terminated text, or `absent` in its place when it is null.
  void AppendText(const char *text, std::string_view absent);
  // The text with a backslash before each double quote and each backslash, nothing else
  // changed: converted content as a quoted json or python string.
  void AppendEscaped(std::string_view text);
  // Two lowercase hex digits per byte, like %02x.
  void AppendHex(std::span<const uint8_t> bytes);
  // The 8-4-4-4-12 text form, like UUID_TEXT_FORMAT.
  void AppendUuid(const OlvaUUID &uuid);
  void AppendUnsigned(uint64_t value);
  void AppendSigned(int64_t value);

  bool Failed() const { return failed_; }
  std::string_view Text() const { return {data_, size_}; }

 private:
  // Room for `count` more bytes at the end, or null (and failed) when it cannot be had.
  char *Room(std::size_t count) {
    if (capacity_ - size_ >= count && !failed_) return data_ + size_;
    return Grow(count);
  }
  char *Grow(std::size_t count);

  char *data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
  bool failed_ = false;
};

// Written straight to standard error, without timestamp, when an entry's text could not be
// built (no memory to escape its content or to hold it); the entry is then left out.
inline constexpr char kEntryTextFailedText[] = "Failed to escape content string\n\n";

// Writes the built entry through the output channel in one write, or, when the builder
// failed, kEntryTextFailedText to standard error instead.
void EntryText_Write(const EntryTextBuilder &text);

// Lets a test make the buffer's growth fail. The function has realloc's contract (the block
// it returns must be released by free(); null leaves the old block alone). Returns the one
// it replaces (realloc by default).
using EntryTextGrow = void *(*)(void *block, std::size_t size);
EntryTextGrow EntryText_SetGrowFunction(EntryTextGrow grow);

#endif  // TARNE_OUTPUT_ENTRY_TEXT_BUILDER_H

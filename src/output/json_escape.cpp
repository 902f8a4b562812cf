#include "output/json_escape.h"

#include <atomic>
#include <bit>
#include <cstdint>
#include <cstring>

namespace {

std::atomic<EscapeAllocator> escapeAllocator{std::malloc};
// Counts allocator changes, so that each thread drops a buffer from an earlier allocator.
std::atomic<uint32_t> allocatorGeneration{0};

constexpr char kNeedsEscape[] = "\"\\";

bool NeedsEscape(char c) {
  return c == '"' || c == '\\';
}

// Bit 7 of each byte of word that equals byte; above the lowest such byte, others may be
// set too, so only the lowest set bit is to be trusted.
constexpr uint64_t BytesEqual(uint64_t word, uint8_t byte) {
  constexpr uint64_t kOnes = 0x0101010101010101u;
  const uint64_t x = word ^ (kOnes * byte);
  return (x - kOnes) & ~x & (kOnes << 7);
}

// Writes content[0..length) escaped to out, which has room for twice that; returns the end
// of what it wrote. Eight bytes at a time, since in converted content the bytes to escape
// are a few in each object but too frequent for strcspn and memcpy per run to pay.
char *EscapeTo(char *out, const char *content, std::size_t length) {
  const char *const end = content + length;
  if constexpr (std::endian::native == std::endian::little) {
    while (end - content >= 8) {
      uint64_t word;
      std::memcpy(&word, content, 8);
      const uint64_t special = BytesEqual(word, '"') | BytesEqual(word, '\\');
      std::memcpy(out, &word, 8);  // fits: the room left is twice the content left
      if (special == 0) {
        out += 8;
        content += 8;
        continue;
      }
      const std::size_t plain = static_cast<std::size_t>(std::countr_zero(special)) / 8;
      out += plain;
      content += plain;
      *out++ = '\\';
      *out++ = *content++;
    }
  }
  for (; content != end; ++content) {
    if (NeedsEscape(*content)) *out++ = '\\';
    *out++ = *content;
  }
  return out;
}

class ReusedBuffer {
 public:
  ReusedBuffer() = default;
  ReusedBuffer(const ReusedBuffer &) = delete;
  ReusedBuffer &operator=(const ReusedBuffer &) = delete;
  ~ReusedBuffer() { std::free(data_); }

  // At least `size` bytes, or null.
  char *Reserve(std::size_t size) {
    const uint32_t generation = allocatorGeneration.load(std::memory_order_acquire);
    if (generation != generation_) {
      Release();
      generation_ = generation;
    }
    if (size <= capacity_) return data_;
    Release();
    std::size_t capacity = 256;
    while (capacity < size) capacity = capacity <= SIZE_MAX / 2 ? capacity * 2 : size;
    data_ = static_cast<char *>(escapeAllocator.load(std::memory_order_relaxed)(capacity));
    if (data_ != nullptr) capacity_ = capacity;
    return data_;
  }

 private:
  void Release() {
    std::free(data_);
    data_ = nullptr;
    capacity_ = 0;
  }

  char *data_ = nullptr;
  std::size_t capacity_ = 0;
  uint32_t generation_ = 0;
};

}  // namespace

EscapeAllocator Json_SetEscapeAllocator(EscapeAllocator allocate) {
  const EscapeAllocator previous = escapeAllocator.exchange(allocate);
  allocatorGeneration.fetch_add(1, std::memory_order_release);
  return previous;
}

EscapedContent Json_EscapeContent(const char *content) {
  EscapedContent escaped;
  std::size_t length = 0;
  std::size_t count = 0;
  for (; content[length] != '\0'; ++length) {
    if (NeedsEscape(content[length])) ++count;
  }
  if (count == 0) {
    escaped.text_ = content;
    return escaped;
  }

  char *copy =
      static_cast<char *>(escapeAllocator.load(std::memory_order_relaxed)(length + count + 1));
  if (copy == nullptr) return escaped;
  escaped.copy_.reset(copy);
  char *out = copy;
  for (std::size_t i = 0; i < length; ++i) {
    if (NeedsEscape(content[i])) *out++ = '\\';
    *out++ = content[i];
  }
  *out = '\0';
  escaped.text_ = copy;
  return escaped;
}

bool Json_EscapeReusingBuffer(const char *content, std::string_view *escaped) {
  const std::size_t plain = std::strcspn(content, kNeedsEscape);
  if (content[plain] == '\0') {
    *escaped = std::string_view(content, plain);
    return true;
  }
  const std::size_t length = plain + std::strlen(content + plain);
  // Every byte after the plain start may need a backslash; the exact count would cost a pass.
  thread_local ReusedBuffer buffer;
  char *const out = buffer.Reserve(plain + 2 * (length - plain) + 1);
  if (out == nullptr) return false;
  std::memcpy(out, content, plain);
  char *const end = EscapeTo(out + plain, content + plain, length - plain);
  *end = '\0';
  *escaped = std::string_view(out, static_cast<std::size_t>(end - out));
  return true;
}

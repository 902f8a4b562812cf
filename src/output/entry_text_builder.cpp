#include "output/entry_text_builder.h"

#include <array>
#include <atomic>
#include <bit>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(__x86_64__)
#include <cpuid.h>
#include <tmmintrin.h>
#endif

#include "output/output.h"

namespace {

std::atomic<EntryTextGrow> growFunction{std::realloc};

// A larger buffer is given back after its entry, so that one huge entry does not pin its
// size for the rest of the run.
constexpr std::size_t kKeptCapacity = std::size_t{1} << 20;
constexpr std::size_t kFirstCapacity = 4096;
// Room the escaping may write over past its text: up to two sixteen-byte stores.
constexpr std::size_t kEscapeSlack = 32;

constexpr std::array<char, 512> MakeHexPairs() {
  constexpr char kDigits[] = "0123456789abcdef";
  std::array<char, 512> pairs{};
  for (std::size_t byte = 0; byte < 256; ++byte) {
    pairs[2 * byte] = kDigits[byte >> 4];
    pairs[2 * byte + 1] = kDigits[byte & 0xF];
  }
  return pairs;
}
constexpr std::array<char, 512> kHexPairs = MakeHexPairs();

// "00" to "99". A one-digit number is read as the two bytes from the odd place of its pair:
// its digit, and a byte past the end of the text.
constexpr std::array<char, 200> MakeDecimalPairs() {
  std::array<char, 200> pairs{};
  for (std::size_t i = 0; i < 100; ++i) {
    pairs[2 * i] = static_cast<char>('0' + i / 10);
    pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return pairs;
}
constexpr std::array<char, 200> kDecimalPairs = MakeDecimalPairs();

char *WriteHex(char *out, const uint8_t *bytes, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    std::memcpy(out, &kHexPairs[2 * std::size_t{bytes[i]}], 2);
    out += 2;
  }
  return out;
}

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

#if defined(__x86_64__)
// For eight bytes whose bytes to escape are the set bits of a mask: the byte shuffle that
// spreads them over 8 + popcount(mask) places with a zero (0x80) where each backslash goes,
// and that length. The places after the length are holes too; what they get is overwritten.
struct Spread {
  uint8_t shuffle[16];
  uint8_t length;
};
constexpr std::array<Spread, 256> MakeSpreads() {
  std::array<Spread, 256> spreads{};
  for (std::size_t mask = 0; mask < 256; ++mask) {
    Spread &spread = spreads[mask];
    std::size_t at = 0;
    for (uint8_t i = 0; i < 8; ++i) {
      if ((mask >> i & 1) != 0) spread.shuffle[at++] = 0x80;
      spread.shuffle[at++] = i;
    }
    spread.length = static_cast<uint8_t>(at);
    while (at < 16) spread.shuffle[at++] = 0x80;
  }
  return spreads;
}
constexpr std::array<Spread, 256> kSpreads = MakeSpreads();

// Sixteen bytes a step without a branch on their content: in converted content the bytes to
// escape come every few bytes, and a loop over them mispredicts on every block. Each half
// block is spread by one shuffle and its backslashes filled in; every store is sixteen bytes,
// so up to 32 bytes past the escaped text are written over (kEscapeSlack).
__attribute__((target("ssse3"))) char *EscapeBlock(char *out, __m128i block) {
  const __m128i backslash = _mm_set1_epi8('\\');
  const __m128i hole = _mm_set1_epi8(static_cast<char>(0x80));
  const auto special = static_cast<unsigned>(_mm_movemask_epi8(
      _mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8('"')), _mm_cmpeq_epi8(block, backslash))));
  for (const unsigned half : {0u, 1u}) {
    const Spread &spread = kSpreads[(special >> (8 * half)) & 0xFF];
    const __m128i shuffle = _mm_loadu_si128(reinterpret_cast<const __m128i *>(spread.shuffle));
    const __m128i bytes = half == 0 ? block : _mm_srli_si128(block, 8);
    const __m128i spreadBytes = _mm_or_si128(
        _mm_shuffle_epi8(bytes, shuffle), _mm_and_si128(_mm_cmpeq_epi8(shuffle, hole), backslash));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out), spreadBytes);
    out += spread.length;
  }
  return out;
}

// Byte places 0 to 15, then holes (0x80): loaded from place k, the shuffle that moves a
// block's bytes k.. to its start and zeros the rest.
constexpr std::array<uint8_t, 32> MakeTailShuffles() {
  std::array<uint8_t, 32> places{};
  for (std::size_t i = 0; i < 32; ++i) places[i] = static_cast<uint8_t>(i < 16 ? i : 0x80);
  return places;
}
constexpr std::array<uint8_t, 32> kTailShuffles = MakeTailShuffles();

// Content of sixteen bytes or more: its blocks, then its last sixteen bytes with those
// already written shifted out, so that the tail takes no loop either. The zeros shifted in
// are plain bytes, one place each, and are taken back off.
__attribute__((target("ssse3"))) char *EscapeBlocks(char *out, const char *content,
                                                    std::size_t length) {
  const char *const end = content + length;
  for (; end - content >= 16; content += 16) {
    out = EscapeBlock(out, _mm_loadu_si128(reinterpret_cast<const __m128i *>(content)));
  }
  const auto done = static_cast<std::size_t>(16 - (end - content));  // 16 when none is left
  const __m128i last = _mm_loadu_si128(reinterpret_cast<const __m128i *>(end - 16));
  const __m128i shift = _mm_loadu_si128(reinterpret_cast<const __m128i *>(&kTailShuffles[done]));
  return EscapeBlock(out, _mm_shuffle_epi8(last, shift)) - done;
}

// One CPUID leaf, asked on the first long content only: __builtin_cpu_supports would link
// libgcc's processor probe, a constructor that runs some twenty CPUID instructions at every
// start of the tool, each a trap to the hypervisor on a virtual machine.
bool HasSsse3() {
  static const bool has = [] {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    return __get_cpuid(1, &eax, &ebx, &ecx, &edx) != 0 && (ecx & bit_SSSE3) != 0;
  }();
  return has;
}
#endif

// Writes content[0..length) escaped to out, which has room for twice that and kEscapeSlack
// more; returns the end of what it wrote. Where the processor can spread sixteen bytes at a
// time, that is the whole work for all but the shortest content; else eight at a time, since
// in converted content the bytes to escape are a few in each object but too frequent for
// strcspn and memcpy per run to pay.
char *EscapeTo(char *out, const char *content, std::size_t length) {
  const char *const end = content + length;
#if defined(__x86_64__)
  if (length >= 16 && HasSsse3()) return EscapeBlocks(out, content, length);
#endif
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

}  // namespace

EntryTextGrow EntryText_SetGrowFunction(EntryTextGrow grow) {
  return growFunction.exchange(grow);
}

EntryTextBuilder &EntryTextBuilder::ForThisThread() {
  thread_local EntryTextBuilder builder;
  builder.Clear();
  return builder;
}

EntryTextBuilder::~EntryTextBuilder() {
  std::free(data_);
}

void EntryTextBuilder::Clear() {
  if (capacity_ > kKeptCapacity) {
    std::free(data_);
    data_ = nullptr;
    capacity_ = 0;
  }
  size_ = 0;
  failed_ = false;
}

char *EntryTextBuilder::Grow(std::size_t count) {
  if (failed_) return nullptr;
  std::size_t capacity = capacity_ != 0 ? capacity_ : kFirstCapacity;
  while (capacity - size_ < count) {
    if (capacity > SIZE_MAX / 2) {
      failed_ = true;
      return nullptr;
    }
    capacity *= 2;
  }
  char *grown = static_cast<char *>(growFunction.load(std::memory_order_relaxed)(data_, capacity));
  if (grown == nullptr) {
    failed_ = true;
    return nullptr;
  }
  data_ = grown;
  capacity_ = capacity;
  return data_ + size_;
}

void EntryTextBuilder::AppendText(const char *text, std::string_view absent) {
  Append(text != nullptr ? std::string_view(text) : absent);
}

void EntryTextBuilder::AppendHex(std::span<const uint8_t> bytes) {
  char *out = Room(2 * bytes.size());
  if (out == nullptr) return;
  WriteHex(out, bytes.data(), bytes.size());
  size_ += 2 * bytes.size();
}

void EntryTextBuilder::AppendUuid(const OlvaUUID &uuid) {
  char *out = Room(36);
  if (out == nullptr) return;
  const uint8_t *bytes = uuid.bytes;
  out = WriteHex(out, bytes, 4);
  *out++ = '-';
  out = WriteHex(out, bytes + 4, 2);
  *out++ = '-';
  out = WriteHex(out, bytes + 6, 2);
  *out++ = '-';
  out = WriteHex(out, bytes + 8, 2);
  *out++ = '-';
  WriteHex(out, bytes + 10, 6);
  size_ += 36;
}

void EntryTextBuilder::AppendUnsigned(uint64_t value) {
  char *out = Room(20);  // UINT64_MAX has 20 digits
  if (out == nullptr) return;
  if (value < 100) {  // flags, versions and most revisions: no branch on their length
    const std::size_t twoDigits = value >= 10 ? 1 : 0;
    std::memcpy(out, &kDecimalPairs[2 * value + 1 - twoDigits], 2);
    size_ += 1 + twoDigits;
    return;
  }
  size_ += static_cast<std::size_t>(std::to_chars(out, out + 20, value).ptr - out);
}

void EntryTextBuilder::AppendSigned(int64_t value) {
  char *out = Room(20);  // INT64_MIN has a sign and 19 digits
  if (out == nullptr) return;
  size_ += static_cast<std::size_t>(std::to_chars(out, out + 20, value).ptr - out);
}

void EntryTextBuilder::AppendEscaped(std::string_view text) {
  // Every byte may need a backslash; the exact count would cost a pass of its own, and so
  // would looking for a first byte to escape: converted content nearly always has one.
  if (text.size() > (SIZE_MAX - kEscapeSlack) / 2) {
    failed_ = true;
    return;
  }
  char *out = Room(2 * text.size() + kEscapeSlack);
  if (out == nullptr) return;
  size_ = static_cast<std::size_t>(EscapeTo(out, text.data(), text.size()) - data_);
}

void EntryText_Write(const EntryTextBuilder &text) {
  if (text.Failed()) {
    static_cast<void>(std::fputs(kEntryTextFailedText, stderr));  // nothing to do if it fails
    return;
  }
  Output_Write(text.Text().data(), text.Text().size());
}

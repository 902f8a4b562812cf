// The text under construction, written straight into the caller's buffer. Once the text
// outgrows the buffer nothing more is written, but the length keeps counting, so one pass
// yields either the text or the exact size the caller must offer.
#ifndef OLVALIB_CONVERT_SINK_H
#define OLVALIB_CONVERT_SINK_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace olva {

class TextSink {
 public:
  // Room for the text is capacity - 1: the last byte is kept for the terminating NUL.
  TextSink(char *buffer, uint32_t capacity)
      : buffer_(buffer), limit_(capacity == 0 ? 0 : capacity - 1), hasRoomForNul_(capacity != 0) {}

  void Put(char c) {
    if (length_ < limit_) buffer_[length_] = c;
    ++length_;
  }
  void Put(const char *bytes, size_t count) {
    // count 0 may come with a null address, which memcpy must not see.
    if (count != 0 && Room(count)) {
      std::memcpy(buffer_ + length_, bytes, count);
    }
    length_ += count;
  }
  void Put(std::string_view text) { Put(text.data(), text.size()); }
  // A short text followed by readable bytes up to the next multiple of sixteen, copied
  // sixteen bytes at a time: no call and no branch on its exact length.
  void PutPadded(std::string_view text) {
    const size_t rounded = (text.size() + 15) & ~size_t{15};
    if (!Room(rounded)) {
      Put(text);
      return;
    }
    char *out = buffer_ + length_;
    for (size_t at = 0; at < rounded; at += 16) std::memcpy(out + at, text.data() + at, 16);
    length_ += text.size();
  }

  // Formatting helpers write into Scratch(n) and then Commit what they wrote; while the text
  // still fits, the scratch is the buffer itself and Commit only moves on.
  char *Scratch(size_t count) { return Room(count) ? buffer_ + length_ : scratch_; }
  void Commit(const char *written, size_t count) {
    if (written == scratch_) {
      Put(scratch_, count);
    } else {
      length_ += count;
    }
  }
  static constexpr size_t kScratchBytes = 64;

  // For long pieces: where to write count bytes, or null once the text cannot fit (a piece
  // that does not fit means the whole text does not, so only its length matters then).
  char *Direct(size_t count) { return Room(count) ? buffer_ + length_ : nullptr; }
  void Advance(size_t count) { length_ += count; }

  // A renderer that may give up part way rewinds to a mark taken before it began.
  uint64_t Mark() const { return length_; }
  void Rewind(uint64_t mark) { length_ = mark; }

  // Bytes the whole text needs, its NUL included.
  uint64_t Needed() const { return length_ + 1; }
  bool Fits() const { return hasRoomForNul_ && length_ <= limit_; }
  // Ends the text with its NUL; call only when it Fits().
  void Terminate() { buffer_[length_] = '\0'; }

 private:
  // Whether count more bytes fit before the NUL's byte.
  bool Room(size_t count) const { return count <= limit_ && length_ <= limit_ - count; }

  char *buffer_;
  uint64_t limit_;
  bool hasRoomForNul_;
  uint64_t length_ = 0;
  char scratch_[kScratchBytes];
};

}  // namespace olva

#endif  // OLVALIB_CONVERT_SINK_H

// Escaping of converted content for a quoted string, shared by the json and python
// printers: a backslash before each double quote and each backslash, nothing else.
#ifndef TARNE_OUTPUT_JSON_ESCAPE_H
#define TARNE_OUTPUT_JSON_ESCAPE_H

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <string_view>

// Written straight to standard error when the escaped copy cannot be allocated; the entry
// is then left out of the listing.
inline constexpr char kEscapeFailedText[] = "Failed to escape content string\n\n";

// The escaped form of a text. It borrows the original when nothing needed escaping, so
// the common case allocates nothing; otherwise it owns a heap copy. Text() is null when
// that copy could not be allocated.
class EscapedContent {
 public:
  const char *Text() const { return text_; }

 private:
  struct FreeDeleter {
    void operator()(char *copy) const { std::free(copy); }
  };

  friend EscapedContent Json_EscapeContent(const char *content);

  const char *text_ = nullptr;
  std::unique_ptr<char, FreeDeleter> copy_;
};

EscapedContent Json_EscapeContent(const char *content);

// The same escaping for the printers, without an allocation per entry: the escaped text is
// written to a buffer of the calling thread, reused from call to call and valid until that
// thread's next call, and NUL-terminated; content itself when nothing needs escaping. False
// when the buffer could not be allocated (through the same allocator as the copy above).
bool Json_EscapeReusingBuffer(const char *content, std::string_view *escaped);

// Lets a test make the copy's allocation fail. The allocator must return memory that free()
// releases, or null. Returns the allocator it replaces (malloc by default). Every thread's
// reused buffer is given up at its next use, so the new allocator takes effect at once.
using EscapeAllocator = void *(*)(std::size_t size);
EscapeAllocator Json_SetEscapeAllocator(EscapeAllocator allocate);

#endif  // TARNE_OUTPUT_JSON_ESCAPE_H

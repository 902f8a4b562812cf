#include "output/json_escape.h"

#include <cstring>

namespace {

EscapeAllocator escapeAllocator = std::malloc;

bool NeedsEscape(char c) {
  return c == '"' || c == '\\';
}

}  // namespace

EscapeAllocator Json_SetEscapeAllocator(EscapeAllocator allocate) {
  const EscapeAllocator previous = escapeAllocator;
  escapeAllocator = allocate;
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

  char *copy = static_cast<char *>(escapeAllocator(length + count + 1));
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

#include "convert_escape.h"

namespace olva {
namespace {

bool IsContinuation(uint8_t byte) {
  return (byte & 0xc0) == 0x80;
}

// Bytes written as they are inside a JSON string or a quoted plain text.
bool IsQuotedAscii(uint8_t byte) {
  return byte >= 0x20 && byte < 0x7f && byte != '"' && byte != '\\';
}

void PutJsonEscape(TextSink &sink, uint8_t byte) {
  switch (byte) {
    case '"':
      sink.Put("\\\"", 2);
      return;
    case '\\':
      sink.Put("\\\\", 2);
      return;
    case '\b':
      sink.Put("\\b", 2);
      return;
    case '\f':
      sink.Put("\\f", 2);
      return;
    case '\n':
      sink.Put("\\n", 2);
      return;
    case '\r':
      sink.Put("\\r", 2);
      return;
    case '\t':
      sink.Put("\\t", 2);
      return;
    default: {
      const char escaped[6] = {'\\', 'u', '0', '0', kHexDigits[byte >> 4], kHexDigits[byte & 0x0f]};
      sink.Put(escaped, sizeof escaped);
    }
  }
}

void PutPlainEscape(TextSink &sink, uint8_t byte) {
  switch (byte) {
    case '"':
      sink.Put("\\\"", 2);
      return;
    case '\\':
      sink.Put("\\\\", 2);
      return;
    case '\n':
      sink.Put("\\n", 2);
      return;
    case '\r':
      sink.Put("\\r", 2);
      return;
    case '\t':
      sink.Put("\\t", 2);
      return;
    default: {
      const char escaped[4] = {'\\', 'x', kHexDigits[byte >> 4], kHexDigits[byte & 0x0f]};
      sink.Put(escaped, sizeof escaped);
    }
  }
}

bool NeedsPlainQuotes(const uint8_t *bytes, size_t count) {
  if (count == 0) return true;
  for (size_t i = 0; i < count;) {
    const uint8_t byte = bytes[i];
    if (byte < 0x80) {
      if (byte <= 0x20 || byte == 0x7f || byte == '"' || byte == '\\') return true;
      ++i;
      continue;
    }
    const size_t length = Utf8SequenceLength(bytes + i, count - i);
    if (length == 0) return true;
    i += length;
  }
  return false;
}

int HexValue(char digit) {
  if (digit >= '0' && digit <= '9') return digit - '0';
  if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
  if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
  return -1;
}

}  // namespace

size_t Utf8SequenceLength(const uint8_t *bytes, size_t remaining) {
  const uint8_t lead = bytes[0];
  if (lead < 0x80) return 1;
  size_t length;
  uint8_t low = 0x80;  // bounds of the second byte, narrower after some leads
  uint8_t high = 0xbf;
  if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3;
    if (lead == 0xe0) low = 0xa0;   // overlong
    if (lead == 0xed) high = 0x9f;  // surrogates
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4;
    if (lead == 0xf0) low = 0x90;   // overlong
    if (lead == 0xf4) high = 0x8f;  // beyond U+10FFFF
  } else {
    return 0;
  }
  if (remaining < length) return 0;
  if (bytes[1] < low || bytes[1] > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if (!IsContinuation(bytes[i])) return 0;
  }
  return length;
}

void PutJsonString(TextSink &sink, const uint8_t *bytes, size_t count) {
  sink.Put('"');
  size_t runStart = 0;
  size_t i = 0;
  while (i < count) {
    const uint8_t byte = bytes[i];
    if (IsQuotedAscii(byte) || byte == 0x7f) {
      ++i;
      continue;
    }
    if (byte >= 0x80) {
      const size_t length = Utf8SequenceLength(bytes + i, count - i);
      if (length != 0) {
        i += length;
        continue;
      }
    }
    sink.Put(reinterpret_cast<const char *>(bytes + runStart), i - runStart);
    if (byte >= 0x80) {
      sink.Put("\\ufffd", 6);
    } else {
      PutJsonEscape(sink, byte);
    }
    runStart = ++i;
  }
  sink.Put(reinterpret_cast<const char *>(bytes + runStart), count - runStart);
  sink.Put('"');
}

void PutPlainString(TextSink &sink, const uint8_t *bytes, size_t count) {
  if (!NeedsPlainQuotes(bytes, count)) {
    sink.Put(reinterpret_cast<const char *>(bytes), count);
    return;
  }
  sink.Put('"');
  size_t runStart = 0;
  size_t i = 0;
  while (i < count) {
    const uint8_t byte = bytes[i];
    if (IsQuotedAscii(byte)) {
      ++i;
      continue;
    }
    if (byte >= 0x80) {
      const size_t length = Utf8SequenceLength(bytes + i, count - i);
      if (length != 0) {
        i += length;
        continue;
      }
    }
    sink.Put(reinterpret_cast<const char *>(bytes + runStart), i - runStart);
    PutPlainEscape(sink, byte);
    runStart = ++i;
  }
  sink.Put(reinterpret_cast<const char *>(bytes + runStart), count - runStart);
  sink.Put('"');
}

bool ParsePlainQuoted(std::string_view quoted, std::string *bytes, std::string *error) {
  bytes->clear();
  if (quoted.size() < 2 || quoted.front() != '"') {
    *error = "a quoted text must begin with '\"'";
    return false;
  }
  size_t i = 1;
  while (i < quoted.size()) {
    const char c = quoted[i];
    if (c == '"') {
      if (i + 1 != quoted.size()) {
        *error = "text follows the closing quote";
        return false;
      }
      return true;
    }
    if (c != '\\') {
      bytes->push_back(c);
      ++i;
      continue;
    }
    if (i + 1 >= quoted.size()) break;
    const char escape = quoted[i + 1];
    i += 2;
    switch (escape) {
      case '"':
        bytes->push_back('"');
        break;
      case '\\':
        bytes->push_back('\\');
        break;
      case 'n':
        bytes->push_back('\n');
        break;
      case 'r':
        bytes->push_back('\r');
        break;
      case 't':
        bytes->push_back('\t');
        break;
      case 'x': {
        const int high = i + 1 < quoted.size() ? HexValue(quoted[i]) : -1;
        const int low = high >= 0 ? HexValue(quoted[i + 1]) : -1;
        if (low < 0) {
          *error = "\\x must be followed by two hex digits";
          return false;
        }
        bytes->push_back(static_cast<char>(high * 16 + low));
        i += 2;
        break;
      }
      default:
        *error = std::string("unknown escape \\") + escape;
        return false;
    }
  }
  *error = "the closing quote is missing";
  return false;
}

}  // namespace olva

// String values as text: JSON string literals, and the plain form's bare or quoted words,
// together with the reader of the quoted form (the field encoder accepts what the plain
// form writes).
#ifndef OLVALIB_CONVERT_ESCAPE_H
#define OLVALIB_CONVERT_ESCAPE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "convert_sink.h"

namespace olva {

// The digits of every hex form the converter writes.
inline constexpr char kHexDigits[] = "0123456789abcdef";

// Length of the well-formed UTF-8 sequence at bytes (1 to 4), or 0 when the bytes there are
// not one (stray continuation, overlong form, surrogate, beyond U+10FFFF, cut short).
size_t Utf8SequenceLength(const uint8_t *bytes, size_t remaining);

// A JSON string literal: quotes, backslashes and control characters escaped, well-formed
// UTF-8 passed through, each byte of malformed UTF-8 written as \ufffd.
void PutJsonString(TextSink &sink, const uint8_t *bytes, size_t count);
inline void PutJsonString(TextSink &sink, std::string_view text) {
  PutJsonString(sink, reinterpret_cast<const uint8_t *>(text.data()), text.size());
}

// The plain form: bare when the text is non-empty and holds only visible ASCII other than
// '"' and '\\' or well-formed UTF-8 beyond ASCII; otherwise in double quotes with \" \\ \n
// \r \t and \xHH for other control bytes, DEL and malformed UTF-8.
void PutPlainString(TextSink &sink, const uint8_t *bytes, size_t count);

// Reads a quoted plain-form text (quotes included) back into its bytes. False, with a
// reason, for a missing closing quote, text after it, or an unknown escape.
bool ParsePlainQuoted(std::string_view quoted, std::string *bytes, std::string *error);

}  // namespace olva

#endif  // OLVALIB_CONVERT_ESCAPE_H

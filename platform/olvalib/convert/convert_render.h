// Renders a payload field by field under a schema's field table.
#ifndef OLVALIB_CONVERT_RENDER_H
#define OLVALIB_CONVERT_RENDER_H

#include <cstdint>
#include <span>

#include "client/tarne_client.h"
#include "convert_schema_index.h"
#include "convert_sink.h"

namespace olva {

struct RenderOptions {
  bool structured;  // one JSON object; else one line of name=value pairs
  bool obfuscate;   // strings replaced by tokens
};

// Bad parameter when a field lies past the payload, an offset or count points outside it,
// a string has no NUL inside it, or the table holds a kind no schema may carry.
PEK_ReturnStatus RenderSchema(TextSink &sink, std::span<const uint8_t> payload,
                              const PreparedSchema &schema, RenderOptions options);

}  // namespace olva

#endif  // OLVALIB_CONVERT_RENDER_H

#include "convert_generic.h"

#include "client/tarne_status_codes.h"
#include "convert_escape.h"
#include "convert_expr.h"
#include "convert_obfuscate.h"
#include "convert_values.h"

namespace olva {
namespace {

void PutKey(TextSink &sink, std::string_view key, bool structured, bool first) {
  if (structured) {
    sink.Put(first ? '{' : ',');
    PutJsonString(sink, key);
    sink.Put(':');
  } else {
    if (!first) sink.Put(' ');
    sink.Put(key);
    sink.Put('=');
  }
}

}  // namespace

PEK_ReturnStatus RenderGeneric(TextSink &sink, std::span<const uint8_t> payload,
                               RenderOptions options) {
  if (RenderExpression(sink, payload, options)) {
    return TARNE_STATUS_SUCCESS;
  }
  const bool structured = options.structured;
  if (options.obfuscate) {
    PutKey(sink, "length", structured, true);
    PutUnsigned(sink, payload.size());
    PutKey(sink, "masked", structured, false);
    const Token token = MakeToken("bin-", HostObfuscationKey(), payload.data(), payload.size());
    if (structured) sink.Put('"');
    sink.Put(token.View());
    if (structured) sink.Put('"');
  } else {
    PutKey(sink, "hex", structured, true);
    if (structured) sink.Put('"');
    PutHex(sink, payload.data(), payload.size());
    if (structured) sink.Put('"');
  }
  if (structured) sink.Put('}');
  return TARNE_STATUS_SUCCESS;
}

}  // namespace olva

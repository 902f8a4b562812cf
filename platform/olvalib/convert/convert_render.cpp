#include "convert_render.h"

#include <cstring>

#include "client/tarne_status_codes.h"
#include "convert_escape.h"
#include "convert_layout.h"
#include "convert_obfuscate.h"
#include "convert_values.h"

namespace olva {
namespace {

class FieldRenderer {
 public:
  FieldRenderer(TextSink &sink, std::span<const uint8_t> payload, RenderOptions options)
      : sink_(sink), payload_(payload), options_(options) {}

  // The caller has checked that the fixed part of the schema lies inside the payload.
  PEK_ReturnStatus Field(const PreparedSchema &schema, const PreparedField &field, bool first) {
    if (options_.structured) {
      if (!first) sink_.Put(',');
      sink_.PutPadded(schema.JsonKey(field));
    } else {
      if (!first) sink_.Put(' ');
      sink_.PutPadded(schema.PlainKey(field));
    }
    const uint8_t *at = payload_.data() + field.offset;
    switch (field.kind) {
      case TARNE_KIND_INT64:
        PutUnsigned(sink_, LoadU64(at));
        return TARNE_STATUS_SUCCESS;
      case TARNE_KIND_INT32:
        PutUnsigned(sink_, LoadU32(at));
        return TARNE_STATUS_SUCCESS;
      case TARNE_KIND_INT64_ALT:
        PutSigned(sink_, static_cast<int64_t>(LoadU64(at)));
        return TARNE_STATUS_SUCCESS;
      case TARNE_KIND_FLAG:
        sink_.Put(*at != 0 ? std::string_view("true") : std::string_view("false"));
        return TARNE_STATUS_SUCCESS;
      case TARNE_KIND_UUID:
        Quoted([&] { PutUuid(sink_, at); });
        return TARNE_STATUS_SUCCESS;
      case TARNE_KIND_IPV4:
        Quoted([&] { PutIpv4(sink_, at); });
        return TARNE_STATUS_SUCCESS;
      case TARNE_KIND_IPV6:
        Quoted([&] { PutIpv6(sink_, at); });
        return TARNE_STATUS_SUCCESS;
      case TARNE_KIND_STRING:
      case TARNE_KIND_TEXT:
        return OffsetString(LoadU64(at));
      case TARNE_KIND_TRAILING_STRING: {
        const size_t rest = payload_.size() - field.offset;
        const void *nul = rest != 0 ? std::memchr(at, 0, rest) : nullptr;
        PutString(at, nul != nullptr ? static_cast<size_t>(static_cast<const uint8_t *>(nul) - at)
                                     : rest);
        return TARNE_STATUS_SUCCESS;
      }
      case TARNE_KIND_LIST:
        return List(at, PutUuid);
      case TARNE_KIND_ADDRESS_LIST:
        return List(at, PutListAddress);
    }
    return TARNE_STATUS_BAD_PARAMETER;
  }

  void Open() {
    if (options_.structured) sink_.Put('{');
  }
  void Close() {
    if (options_.structured) sink_.Put('}');
  }

 private:
  // UUIDs and addresses are JSON strings, bare words in the plain form.
  template <typename Write>
  void Quoted(Write write) {
    if (options_.structured) sink_.Put('"');
    write();
    if (options_.structured) sink_.Put('"');
  }

  void PutString(const uint8_t *bytes, size_t length) {
    if (options_.obfuscate) {
      const Token token = MakeToken("str-", HostObfuscationKey(), bytes, length);
      Quoted([&] { sink_.Put(token.View()); });
    } else if (options_.structured) {
      PutJsonString(sink_, bytes, length);
    } else {
      PutPlainString(sink_, bytes, length);
    }
  }

  PEK_ReturnStatus OffsetString(uint64_t offset) {
    if (offset == 0) {  // absent: JSON null, nothing after '=' in the plain form
      if (options_.structured) sink_.Put("null", 4);
      return TARNE_STATUS_SUCCESS;
    }
    if (offset >= payload_.size()) return TARNE_STATUS_BAD_PARAMETER;
    const uint8_t *start = payload_.data() + offset;
    const void *nul = std::memchr(start, 0, payload_.size() - offset);
    if (nul == nullptr) return TARNE_STATUS_BAD_PARAMETER;
    PutString(start, static_cast<size_t>(static_cast<const uint8_t *>(nul) - start));
    return TARNE_STATUS_SUCCESS;
  }

  PEK_ReturnStatus List(const uint8_t *at, void (*putItem)(TextSink &, const uint8_t *)) {
    const uint64_t count = LoadU64(at);
    const uint64_t offset = LoadU64(at + 8);
    if (count != 0 &&
        (offset > payload_.size() || count > (payload_.size() - offset) / kListEntryBytes)) {
      return TARNE_STATUS_BAD_PARAMETER;
    }
    if (options_.structured) sink_.Put('[');
    for (uint64_t i = 0; i < count; ++i) {
      if (i != 0) sink_.Put(',');
      Quoted([&] { putItem(sink_, payload_.data() + offset + i * kListEntryBytes); });
    }
    if (options_.structured) sink_.Put(']');
    return TARNE_STATUS_SUCCESS;
  }

  TextSink &sink_;
  std::span<const uint8_t> payload_;
  RenderOptions options_;
};

}  // namespace

PEK_ReturnStatus RenderSchema(TextSink &sink, std::span<const uint8_t> payload,
                              const PreparedSchema &schema, RenderOptions options) {
  if (!schema.usable || schema.extent > payload.size()) return TARNE_STATUS_BAD_PARAMETER;
  FieldRenderer renderer(sink, payload, options);
  renderer.Open();
  for (size_t i = 0; i < schema.fields.size(); ++i) {
    const PEK_ReturnStatus status = renderer.Field(schema, schema.fields[i], i == 0);
    if (status != TARNE_STATUS_SUCCESS) return status;
  }
  renderer.Close();
  return TARNE_STATUS_SUCCESS;
}

}  // namespace olva

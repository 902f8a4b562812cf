// The library's content converters: a payload to one line of text or one JSON object,
// under a schema of the directory the caller hands over.
#include <cstdint>
#include <span>

#include "client/tarne_client.h"
#include "client/tarne_status_codes.h"
#include "convert_generic.h"
#include "convert_render.h"
#include "convert_schema_index.h"
#include "convert_sink.h"

namespace {

constexpr int32_t kRenderingVersion = 1;  // the constant third argument

PEK_ReturnStatus Convert(const void *payload, uint32_t length, int32_t version, char *text,
                         uint32_t *capacity, const TarneSchemaDirEntry *directory,
                         const char *schemaName, int32_t structuredContent, bool obfuscate) {
  if (capacity == nullptr || (text == nullptr && *capacity != 0) ||
      (payload == nullptr && length != 0) || version != kRenderingVersion) {
    return TARNE_STATUS_BAD_PARAMETER;
  }
  const std::span<const uint8_t> bytes(static_cast<const uint8_t *>(payload), length);
  const olva::RenderOptions options{structuredContent != 0, obfuscate};
  olva::TextSink sink(text, *capacity);

  const olva::PreparedSchema *schema = olva::FindSchema(directory, schemaName);
  const PEK_ReturnStatus status = schema != nullptr && !schema->isStyle
                                      ? olva::RenderSchema(sink, bytes, *schema, options)
                                      : olva::RenderGeneric(sink, bytes, options);
  if (status != TARNE_STATUS_SUCCESS || !sink.Fits()) {
    if (*capacity != 0) text[0] = '\0';  // never leave a cut text behind
    if (status != TARNE_STATUS_SUCCESS) return status;
    if (sink.Needed() > UINT32_MAX) return TARNE_STATUS_LIMIT_EXCEEDED;
    *capacity = static_cast<uint32_t>(sink.Needed());
    return TARNE_STATUS_BUFFER_TOO_SMALL;
  }
  sink.Terminate();
  return TARNE_STATUS_SUCCESS;
}

}  // namespace

extern "C" {

PEK_ReturnStatus OlvaExprConv_BinToText(const void *payload, uint32_t length, int32_t one,
                                        char *text, uint32_t *capacity,
                                        const TarneSchemaDirEntry *directory,
                                        const char *schemaName, int32_t structuredContent) {
  return Convert(payload, length, one, text, capacity, directory, schemaName, structuredContent,
                 false);
}

PEK_ReturnStatus OlvaExprConv_BinToTextObfuscated(const void *payload, uint32_t length, int32_t one,
                                                  char *text, uint32_t *capacity,
                                                  const TarneSchemaDirEntry *directory,
                                                  const char *schemaName,
                                                  int32_t structuredContent) {
  return Convert(payload, length, one, text, capacity, directory, schemaName, structuredContent,
                 true);
}

}  // extern "C"

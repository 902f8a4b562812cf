// The fake's expression scanner and content converters.
//
// Expression encoding (the fake's own; the tool never decodes it): a membership payload is
//   u32 elementCount, u32 a, u32 b, u32 memberCount, memberCount × 16 UUID bytes
// "%E" yields elementCount and the address of the bytes after it; on that nested expression
// "%u%u%U" yields a, b, memberCount and the address of the UUIDs.
#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <string>

#include "fake_state.h"

namespace fake {
namespace {

uint32_t ReadUint32(const void *at) {
  uint32_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

// Reads the directory through the pointer the caller handed in: the number of fields of
// the named schema, 0 for a style, -1 when the name is not there.
int FieldCount(const TarneSchemaDirEntry *directory, const char *name) {
  for (const TarneSchemaDirEntry *entry = directory; entry->name != nullptr; ++entry) {
    if (std::strcmp(entry->name, name) != 0) continue;
    int count = 0;
    while (entry->fields != nullptr && entry->fields[count].name != nullptr) ++count;
    return count;
  }
  return -1;
}

PEK_ReturnStatus Convert(bool obfuscated, const void *payload, uint32_t length, int32_t one,
                         char *text, uint32_t *capacity, const TarneSchemaDirEntry *directory,
                         const char *schema, int32_t structured) {
  auto lock = Lock();
  State &state = Current();
  const bool zeroFilled = std::all_of(text, text + *capacity, [](char c) { return c == 0; });
  Log(std::string(obfuscated ? "OlvaExprConv_BinToTextObfuscated" : "OlvaExprConv_BinToText") +
      " length=" + std::to_string(length) + " one=" + std::to_string(one) +
      " capacity=" + std::to_string(*capacity) + " zeroed=" + std::to_string(zeroFilled) +
      " schema=" + schema + " structured=" + std::to_string(structured));

  ConvertStep step;
  if (!state.convertSteps.empty()) {
    step = state.convertSteps.front();
  } else {
    const std::string fields = std::to_string(FieldCount(directory, schema));
    const std::string converter = obfuscated ? "obfuscated" : "plain";
    const std::string hex =
        obfuscated ? std::string(size_t{2} * length, 'x') : HexText(payload, length);
    step.text = structured != 0
                    ? std::string("{\"schema\":\"") + schema + "\",\"fields\":" + fields +
                          ",\"converter\":\"" + converter + "\",\"hex\":\"" + hex + "\"}"
                    : std::string("schema=") + schema + " fields=" + fields +
                          " converter=" + converter + " hex=" + hex;
  }
  if (step.status == TARNE_STATUS_SUCCESS && step.text.size() + 1 > *capacity) {
    // A scripted text that does not fit waits for the next, larger call.
    step = {TARNE_STATUS_BUFFER_TOO_SMALL, static_cast<uint32_t>(step.text.size() + 1), ""};
  } else {
    if (!state.convertSteps.empty()) state.convertSteps.pop_front();
    if (step.status == TARNE_STATUS_SUCCESS)
      std::memcpy(text, step.text.c_str(), step.text.size() + 1);
  }
  if (step.capacity) *capacity = *step.capacity;
  return step.status;
}

}  // namespace
}  // namespace fake

using namespace fake;

extern "C" {

bool OlvaExprScanner_IsValidExpr(const void *bytes, uint32_t length) {
  auto lock = Lock();
  if (Current().exprValid) return *Current().exprValid;
  return length >= 16 &&
         length ==
             16 + uint64_t{ReadUint32(static_cast<const uint8_t *>(bytes) + 12)} * sizeof(OlvaUUID);
}

// Knows the two formats a membership is scanned with.
PEK_ReturnStatus OlvaExprScanner_GetArgs(const void *expression, uint32_t *position,
                                         const char *format, ...) {
  auto lock = Lock();
  const auto *at = static_cast<const uint8_t *>(expression) + *position;
  va_list args;
  va_start(args, format);
  PEK_ReturnStatus result = TARNE_STATUS_SUCCESS;
  if (std::strcmp(format, "%E") == 0) {
    *va_arg(args, uint32_t *) = ReadUint32(at);
    *va_arg(args, const void **) = at + 4;
    *position += 4;
  } else if (Current().scanInnerStatus != TARNE_STATUS_SUCCESS) {
    result = Current().scanInnerStatus;
  } else if (std::strcmp(format, "%u%u%U") == 0) {
    for (size_t i = 0; i < 3; ++i) *va_arg(args, uint32_t *) = ReadUint32(at + 4 * i);
    *va_arg(args, const OlvaUUID **) = reinterpret_cast<const OlvaUUID *>(at + 12);
    *position += 12 + ReadUint32(at + 8) * sizeof(OlvaUUID);
  } else {
    result = TARNE_STATUS_BAD_PARAMETER;
  }
  va_end(args);
  return result;
}

PEK_ReturnStatus OlvaExprConv_BinToText(const void *payload, uint32_t length, int32_t one,
                                        char *text, uint32_t *capacity,
                                        const TarneSchemaDirEntry *directory,
                                        const char *schemaName, int32_t structuredContent) {
  return Convert(false, payload, length, one, text, capacity, directory, schemaName,
                 structuredContent);
}

PEK_ReturnStatus OlvaExprConv_BinToTextObfuscated(const void *payload, uint32_t length, int32_t one,
                                                  char *text, uint32_t *capacity,
                                                  const TarneSchemaDirEntry *directory,
                                                  const char *schemaName,
                                                  int32_t structuredContent) {
  return Convert(true, payload, length, one, text, capacity, directory, schemaName,
                 structuredContent);
}

}  // extern "C"

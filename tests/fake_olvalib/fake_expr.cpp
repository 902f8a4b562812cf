// The fake's expression scanner and content converters.
//
// Expression encoding (the fake's own; the tool never decodes it): a membership payload is
//   u32 elementCount, u32 a, u32 b, u32 memberCount, memberCount × 16 UUID bytes
// "%E" yields elementCount and the address of the bytes after it; "%u" one u32; "%U" a
// u32 count and the address of that many UUIDs.
#include <cstdarg>
#include <cstring>
#include <string>

#include "fake_state.h"

namespace fake {
namespace {

constexpr size_t kMembershipHead = 4 * sizeof(uint32_t);

uint32_t ReadUint32(const uint8_t *at) {
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

std::string Render(bool obfuscated, const uint8_t *payload, uint32_t length,
                   const TarneSchemaDirEntry *directory, const char *schema, int32_t structured) {
  const std::string fields = std::to_string(FieldCount(directory, schema));
  const std::string converter = obfuscated ? "obfuscated" : "plain";
  const std::string hex = obfuscated ? std::string(2 * length, 'x') : HexText(payload, length);
  if (structured != 0) {
    return std::string("{\"schema\":\"") + schema + "\",\"fields\":" + fields +
           ",\"converter\":\"" + converter + "\",\"hex\":\"" + hex + "\"}";
  }
  return std::string("schema=") + schema + " fields=" + fields + " converter=" + converter +
         " hex=" + hex;
}

PEK_ReturnStatus Convert(bool obfuscated, const void *payload, uint32_t length, int32_t one,
                         char *text, uint32_t *capacity, const TarneSchemaDirEntry *directory,
                         const char *schemaName, int32_t structured) {
  auto lock = Lock();
  State &state = Current();
  FakeOlvaConverterCall call{obfuscated ? 1 : 0,
                             payload,
                             length,
                             one,
                             text,
                             *capacity,
                             0,
                             1,
                             directory,
                             schemaName,
                             structured,
                             TARNE_STATUS_SUCCESS};
  for (uint32_t i = 0; i < *capacity; ++i) call.textWasZeroFilled &= text[i] == 0;
  Log(std::string(obfuscated ? "OlvaExprConv_BinToTextObfuscated" : "OlvaExprConv_BinToText") +
      " schema=" + schemaName + " length=" + std::to_string(length) +
      " capacity=" + std::to_string(*capacity) + " structured=" + std::to_string(structured));

  std::string rendered;
  std::optional<uint32_t> leftCapacity;
  PEK_ReturnStatus result = TARNE_STATUS_SUCCESS;
  if (!state.convertSteps.empty()) {
    const ConvertStep step = state.convertSteps.front();
    result = step.status;
    rendered = step.text;
    leftCapacity = step.capacity;
  } else {
    rendered = Render(obfuscated, static_cast<const uint8_t *>(payload), length, directory,
                      schemaName, structured);
  }
  if (result == TARNE_STATUS_SUCCESS && rendered.size() + 1 > *capacity) {
    // A scripted text that does not fit waits for the next, larger call.
    result = TARNE_STATUS_BUFFER_TOO_SMALL;
    leftCapacity = static_cast<uint32_t>(rendered.size() + 1);
  } else {
    if (!state.convertSteps.empty()) state.convertSteps.pop_front();
    if (result == TARNE_STATUS_SUCCESS) std::memcpy(text, rendered.c_str(), rendered.size() + 1);
  }
  if (leftCapacity) *capacity = *leftCapacity;

  call.capacityOnReturn = *capacity;
  call.result = result;
  state.converterCalls.push_back(call);
  return result;
}

}  // namespace
}  // namespace fake

using namespace fake;

extern "C" {

bool OlvaExprScanner_IsValidExpr(const void *bytes, uint32_t length) {
  auto lock = Lock();
  Log("OlvaExprScanner_IsValidExpr length=" + std::to_string(length));
  if (Current().exprValid) return *Current().exprValid;
  if (length < kMembershipHead) return false;
  const uint32_t members = ReadUint32(static_cast<const uint8_t *>(bytes) + 12);
  return length == kMembershipHead + uint64_t{members} * sizeof(OlvaUUID);
}

PEK_ReturnStatus OlvaExprScanner_GetArgs(const void *expression, uint32_t *position,
                                         const char *format, ...) {
  auto lock = Lock();
  Log(std::string("OlvaExprScanner_GetArgs format=") + format +
      " position=" + std::to_string(*position));
  const bool outer = std::strcmp(format, "%E") == 0;
  const PEK_ReturnStatus forced = outer ? Current().scanOuterStatus : Current().scanInnerStatus;
  if (forced != TARNE_STATUS_SUCCESS) return forced;

  const auto *bytes = static_cast<const uint8_t *>(expression);
  va_list args;
  va_start(args, format);
  PEK_ReturnStatus result = TARNE_STATUS_SUCCESS;
  for (const char *f = format; *f != '\0'; f += 2) {
    if (f[0] != '%' || f[1] == '\0') {
      result = TARNE_STATUS_BAD_PARAMETER;
      break;
    }
    const uint32_t value = ReadUint32(bytes + *position);
    *position += sizeof(uint32_t);
    *va_arg(args, uint32_t *) = value;
    if (f[1] == 'E') {
      *va_arg(args, const void **) = bytes + *position;
    } else if (f[1] == 'U') {
      *va_arg(args, const OlvaUUID **) = reinterpret_cast<const OlvaUUID *>(bytes + *position);
      *position += value * sizeof(OlvaUUID);
    } else if (f[1] != 'u') {
      result = TARNE_STATUS_BAD_PARAMETER;
      break;
    }
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

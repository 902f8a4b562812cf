// Converts an entry's payload to text with the client library's converter and hands the
// outcome to the format's printEntry, exactly once per entry.
#include "content/convert.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "client/tarne_status_codes.h"
#include "settings/settings.h"
#include "tables/schemas.h"

namespace {

using Converter = PEK_ReturnStatus (*)(const void *, uint32_t, int32_t, char *, uint32_t *,
                                       const TarneSchemaDirEntry *, const char *, int32_t);

// The capacity is a 32-bit signed count: 2^31 bytes or more is never allocated.
constexpr int64_t kCapacityLimit = int64_t{1} << 31;
constexpr uint32_t kNoMemoryLength = 8;
constexpr const char kNoMemoryText[] = "NoMemory";
constexpr const char kConversionErrorFormat[] = "%s: Error encountered while converting entry";

Converter ChooseConverter(uint8_t typeByte) {
  if (CurrentSettings().mangle && !Schema_IsPlainOnlyType(typeByte)) {
    return OlvaExprConv_BinToTextObfuscated;
  }
  return OlvaExprConv_BinToText;
}

// Owns the conversion buffer; released on every way out.
struct ConversionBuffer {
  char *data = nullptr;
  ~ConversionBuffer() { std::free(data); }

  bool Resize(int64_t capacity) {
    // A zero capacity (a converter that asked for nothing) can never hold a text either.
    if (capacity <= 0 || capacity >= kCapacityLimit) return false;
    void *grown = std::realloc(data, static_cast<size_t>(capacity));
    if (grown == nullptr) return false;
    data = static_cast<char *>(grown);
    return true;
  }
};

}  // namespace

int32_t ConvertAndPrintEntry(PrintContext *context, const TarneEntry *entry,
                             const OutputFormat *format) {
  // Consumed before anything else, so that a failed entry still ends the first one.
  const int first = context->isFirst;
  context->isFirst = 0;

  int64_t capacity = int64_t{4} * entry->valueLen;
  if (capacity == 0) {
    format->printEntry(context->prefix, first, entry, "", 0, nullptr);
    return 0;
  }

  ConversionBuffer buffer;
  for (;;) {
    if (!buffer.Resize(capacity)) {
      format->printEntry(context->prefix, first, entry, nullptr, kNoMemoryLength, kNoMemoryText);
      return 0;
    }
    const auto allocated = static_cast<uint32_t>(capacity);
    std::memset(buffer.data, 0, allocated);

    uint32_t converterCapacity = allocated;
    const Converter convert = ChooseConverter(entry->type);
    const PEK_ReturnStatus result =
        convert(TarneEntry_Payload(entry), entry->valueLen, 1, buffer.data, &converterCapacity,
                TarneSchemaDirectory, Schema_NameForType(entry->type), format->structuredContent);

    if (result == TARNE_STATUS_SUCCESS) {
      // The length handed on is the buffer's capacity, not the length of the text.
      format->printEntry(context->prefix, first, entry, buffer.data, allocated, nullptr);
      return 0;
    }
    if (result == TARNE_STATUS_BUFFER_TOO_SMALL) {
      capacity = int64_t{2} * converterCapacity;
      continue;
    }

    // Cut to the capacity as the converter left it, but never past what was allocated.
    const uint32_t cut = std::min(converterCapacity, allocated);
    if (cut == 0) {
      buffer.data[0] = '\0';
    } else {
      Str_Snprintf(buffer.data, cut, kConversionErrorFormat, PEK_ReturnStatusToString(result));
    }
    format->printEntry(context->prefix, first, entry, nullptr, 0, buffer.data);
    return 0;
  }
}

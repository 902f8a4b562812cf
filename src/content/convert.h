// The one place where an entry's payload becomes text and reaches a printer.
#ifndef TARNE_CONTENT_CONVERT_H
#define TARNE_CONTENT_CONVERT_H

#include <cstdint>

#include "client/tarne_client.h"
#include "output/formats.h"

struct PrintContext {
  const char *prefix;  // every caller passes none
  uint8_t isFirst;     // 1 when a listing starts; cleared by each conversion
};

// Converts the payload and calls format->printEntry exactly once. Always returns 0.
int32_t ConvertAndPrintEntry(PrintContext *context, const TarneEntry *entry,
                             const OutputFormat *format);

#endif  // TARNE_CONTENT_CONVERT_H

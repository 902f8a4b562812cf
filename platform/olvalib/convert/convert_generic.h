// Renders a payload that no schema describes: under a style, under "NULL", or under a name
// the directory lacks.
#ifndef OLVALIB_CONVERT_GENERIC_H
#define OLVALIB_CONVERT_GENERIC_H

#include <cstdint>
#include <span>

#include "client/tarne_client.h"
#include "convert_render.h"
#include "convert_sink.h"

namespace olva {

// An expression as its elements, any other payload as its bytes in hex; under obfuscation
// raw bytes become a token, since they may hold names.
PEK_ReturnStatus RenderGeneric(TextSink &sink, std::span<const uint8_t> payload,
                               RenderOptions options);

}  // namespace olva

#endif  // OLVALIB_CONVERT_GENERIC_H

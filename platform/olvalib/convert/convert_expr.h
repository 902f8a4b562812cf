// Renders an expression (the directory's own encoding of numbers, UUID lists and
// nested expressions) with the directory's own decoder of that encoding.
#ifndef OLVALIB_CONVERT_EXPR_H
#define OLVALIB_CONVERT_EXPR_H

#include <cstdint>
#include <span>

#include "convert_render.h"
#include "convert_sink.h"

namespace olva {

// True when the bytes are exactly one well-formed expression (what OlvaExprScanner_IsValidExpr
// accepts) and it was rendered whole; false leaves the sink as it was.
bool RenderExpression(TextSink &sink, std::span<const uint8_t> expression, RenderOptions options);

}  // namespace olva

#endif  // OLVALIB_CONVERT_EXPR_H

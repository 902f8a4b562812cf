#include "convert_expr.h"

#include "client/tarne_client.h"
#include "client/tarne_status_codes.h"
#include "convert_escape.h"
#include "convert_obfuscate.h"
#include "convert_values.h"

namespace olva {
namespace {

// Matches the scanner's own nesting limit; deeper expressions are not valid anyway.
constexpr int kMaxDepth = 32;

class ExpressionRenderer {
 public:
  ExpressionRenderer(TextSink &sink, RenderOptions options) : sink_(sink), options_(options) {}

  // The elements of one expression as a bracketed list. Only the scanner's public operations
  // are used: each element is scanned by position with each directive in turn, and the
  // scanner refuses a directive that does not match the element's kind.
  bool Elements(const void *expression, int depth) {
    if (depth > kMaxDepth) return false;
    sink_.Put('[');
    for (uint32_t index = 0;; ++index) {
      const PEK_ReturnStatus status = Element(expression, index, depth);
      if (status == TARNE_STATUS_NOT_FOUND) break;  // past the last element
      if (status != TARNE_STATUS_SUCCESS) return false;
    }
    sink_.Put(']');
    return true;
  }

 private:
  PEK_ReturnStatus Element(const void *expression, uint32_t index, int depth) {
    // The separator goes out only once an element is known to be there.
    const auto separate = [&] {
      if (index != 0) sink_.Put(',');
    };
    uint32_t position = index;
    uint32_t u32 = 0;
    PEK_ReturnStatus status = OlvaExprScanner_GetArgs(expression, &position, "%u", &u32);
    if (status == TARNE_STATUS_SUCCESS) {
      separate();
      PutUnsigned(sink_, u32);
      return status;
    }
    if (status == TARNE_STATUS_NOT_FOUND) return status;
    uint64_t u64 = 0;
    if (OlvaExprScanner_GetArgs(expression, &position, "%q", &u64) == TARNE_STATUS_SUCCESS) {
      separate();
      PutUnsigned(sink_, u64);
      return TARNE_STATUS_SUCCESS;
    }
    uint32_t count = 0;
    const OlvaUUID *uuids = nullptr;
    if (OlvaExprScanner_GetArgs(expression, &position, "%U", &count, &uuids) ==
        TARNE_STATUS_SUCCESS) {
      separate();
      PutUuids(uuids, count);
      return TARNE_STATUS_SUCCESS;
    }
    const char *text = nullptr;
    if (OlvaExprScanner_GetArgs(expression, &position, "%s", &count, &text) ==
        TARNE_STATUS_SUCCESS) {
      separate();
      PutString(reinterpret_cast<const uint8_t *>(text), count);
      return TARNE_STATUS_SUCCESS;
    }
    const void *nested = nullptr;
    if (OlvaExprScanner_GetArgs(expression, &position, "%E", &count, &nested) ==
        TARNE_STATUS_SUCCESS) {
      separate();
      return Elements(nested, depth + 1) ? TARNE_STATUS_SUCCESS : TARNE_STATUS_BAD_PARAMETER;
    }
    return TARNE_STATUS_BAD_PARAMETER;
  }

  void PutUuids(const OlvaUUID *uuids, uint32_t count) {
    sink_.Put('[');
    for (uint32_t i = 0; i < count; ++i) {
      if (i != 0) sink_.Put(',');
      if (options_.structured) sink_.Put('"');
      PutUuid(sink_, uuids[i].bytes);
      if (options_.structured) sink_.Put('"');
    }
    sink_.Put(']');
  }

  void PutString(const uint8_t *bytes, uint32_t count) {
    if (options_.obfuscate) {
      const Token token = MakeToken("str-", HostObfuscationKey(), bytes, count);
      if (options_.structured) sink_.Put('"');
      sink_.Put(token.View());
      if (options_.structured) sink_.Put('"');
    } else if (options_.structured) {
      PutJsonString(sink_, bytes, count);
    } else {
      PutPlainString(sink_, bytes, count);
    }
  }

  TextSink &sink_;
  RenderOptions options_;
};

}  // namespace

bool RenderExpression(TextSink &sink, std::span<const uint8_t> expression, RenderOptions options) {
  const uint64_t mark = sink.Mark();
  sink.Put(options.structured ? std::string_view("{\"expr\":") : std::string_view("expr="));
  if (!ExpressionRenderer(sink, options).Elements(expression.data(), 0)) {
    sink.Rewind(mark);
    return false;
  }
  if (options.structured) sink.Put('}');
  return true;
}

}  // namespace olva

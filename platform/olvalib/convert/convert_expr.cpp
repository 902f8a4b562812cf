#include "convert_expr.h"

#include <optional>

#include "client/tarne_client.h"
#include "convert_escape.h"
#include "convert_obfuscate.h"
#include "convert_values.h"
#include "directory/expr_encoding.h"

namespace olva {
namespace {

// The scanner's own nesting limit; deeper expressions are not valid anyway.
constexpr int kMaxDepth = expr::kMaxDepth;

class ExpressionRenderer {
 public:
  ExpressionRenderer(TextSink &sink, RenderOptions options) : sink_(sink), options_(options) {}

  // The elements of one expression as a bracketed list, decoded in one walk from the first to
  // the last. (Scanning each element by its position through the public scanner restarts
  // from the first element every time and tries each directive in turn: quadratic in the
  // number of elements, and most of the converter's time on a dump of objects.) The walk
  // checks what the scanner's validation checks, in the same order, so that the expression
  // is not walked twice: false for exactly the bytes that validation refuses.
  bool Elements(std::span<const uint8_t> bytes, int depth) {
    if (depth > kMaxDepth) return false;
    const std::optional<expr::Header> header = expr::ReadHeader(bytes);
    if (!header || header->length != bytes.size()) return false;
    sink_.Put('[');
    size_t offset = expr::kHeaderSize;
    for (uint32_t index = 0; index < header->count; ++index) {
      expr::Element element;
      const std::optional<size_t> next = expr::ReadElement(bytes, offset, &element);
      if (!next) return false;
      if (index != 0) sink_.Put(',');
      if (!Element(element, depth)) return false;
      offset = *next;
    }
    if (offset != bytes.size()) return false;
    sink_.Put(']');
    return true;
  }

 private:
  bool Element(const expr::Element &element, int depth) {
    switch (element.kind) {
      case expr::Kind::kU32:
      case expr::Kind::kU64:
        PutUnsigned(sink_, element.number);
        return true;
      case expr::Kind::kUuids:
        PutUuids(element.uuids, element.count);
        return true;
      case expr::Kind::kString:
        PutString(reinterpret_cast<const uint8_t *>(element.text), element.count);
        return true;
      case expr::Kind::kNested:
        return Elements(element.nested, depth + 1);
    }
    return false;
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
  if (!ExpressionRenderer(sink, options).Elements(expression, 0)) {
    sink.Rewind(mark);
    return false;
  }
  if (options.structured) sink.Put('}');
  return true;
}

}  // namespace olva

// The expression scanner: validation of a whole expression and scanning of its elements.
#include <cstdarg>

#include "client/tarne_client.h"
#include "client/tarne_status_codes.h"
#include "directory/expr_encoding.h"

namespace {

using namespace olva::expr;

// GetArgs has no length argument: the expression's own header bounds every read, and that
// header was checked against the caller's length by IsValidExpr.
std::span<const uint8_t> ExpressionBytes(const void *expression) {
  const auto *bytes = static_cast<const uint8_t *>(expression);
  const std::optional<Header> header = ReadHeaderAt(bytes);
  if (!header) return {};
  return {bytes, header->length};
}

PEK_ReturnStatus ScanElements(const void *expression, uint32_t *position, const char *format,
                              va_list arguments) {
  if (expression == nullptr || position == nullptr || format == nullptr) {
    return TARNE_STATUS_BAD_PARAMETER;
  }
  const std::span<const uint8_t> bytes = ExpressionBytes(expression);
  if (bytes.empty()) return TARNE_STATUS_BAD_PARAMETER;
  const uint32_t count = ReadHeader(bytes)->count;

  // The position counts the elements already scanned.
  size_t offset = kHeaderSize;
  Element element;
  for (uint32_t skipped = 0; skipped < *position; ++skipped) {
    if (skipped >= count) return TARNE_STATUS_NOT_FOUND;
    const std::optional<size_t> next = ReadElement(bytes, offset, &element);
    if (!next) return TARNE_STATUS_BAD_PARAMETER;
    offset = *next;
  }
  for (const char *directive = format; *directive != '\0'; directive += 2) {
    if (directive[0] != '%' || directive[1] == '\0') return TARNE_STATUS_BAD_PARAMETER;
    if (*position >= count) return TARNE_STATUS_NOT_FOUND;
    const std::optional<size_t> next = ReadElement(bytes, offset, &element);
    if (!next) return TARNE_STATUS_BAD_PARAMETER;
    switch (directive[1]) {
      case 'u':
        if (element.kind != Kind::kU32) return TARNE_STATUS_BAD_PARAMETER;
        *va_arg(arguments, uint32_t *) = static_cast<uint32_t>(element.number);
        break;
      case 'q':
        if (element.kind != Kind::kU64) return TARNE_STATUS_BAD_PARAMETER;
        *va_arg(arguments, uint64_t *) = element.number;
        break;
      case 'U':
        if (element.kind != Kind::kUuids) return TARNE_STATUS_BAD_PARAMETER;
        *va_arg(arguments, uint32_t *) = element.count;
        *va_arg(arguments, const OlvaUUID **) = element.uuids;
        break;
      case 's':
        if (element.kind != Kind::kString) return TARNE_STATUS_BAD_PARAMETER;
        *va_arg(arguments, uint32_t *) = element.count;
        *va_arg(arguments, const char **) = element.text;
        break;
      case 'E':
        if (element.kind != Kind::kNested) return TARNE_STATUS_BAD_PARAMETER;
        *va_arg(arguments, uint32_t *) = element.count;
        *va_arg(arguments, const void **) = element.nested.data();
        break;
      default:
        return TARNE_STATUS_BAD_PARAMETER;
    }
    offset = *next;
    ++*position;
  }
  return TARNE_STATUS_SUCCESS;
}

}  // namespace

extern "C" {

bool OlvaExprScanner_IsValidExpr(const void *bytes, uint32_t length) {
  if (bytes == nullptr) return false;
  return IsValidExpression({static_cast<const uint8_t *>(bytes), length});
}

PEK_ReturnStatus OlvaExprScanner_GetArgs(const void *expression, uint32_t *position,
                                         const char *format, ...) {
  va_list arguments;
  va_start(arguments, format);
  const PEK_ReturnStatus status = ScanElements(expression, position, format, arguments);
  va_end(arguments);
  return status;
}

}  // extern "C"

#include "expr_encoding.h"

#include <cstring>

namespace olva::expr {
namespace {

uint32_t LoadU32(const uint8_t *bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

uint64_t LoadU64(const uint8_t *bytes) {
  return static_cast<uint64_t>(LoadU32(bytes)) | static_cast<uint64_t>(LoadU32(bytes + 4)) << 32;
}

bool IsValidAt(std::span<const uint8_t> bytes, int depth) {
  if (depth > kMaxDepth) return false;
  const std::optional<Header> header = ReadHeader(bytes);
  if (!header || header->length != bytes.size()) return false;
  size_t offset = kHeaderSize;
  for (uint32_t i = 0; i < header->count; ++i) {
    Element element;
    const std::optional<size_t> next = ReadElement(bytes, offset, &element);
    if (!next) return false;
    if (element.kind == Kind::kNested && !IsValidAt(element.nested, depth + 1)) return false;
    offset = *next;
  }
  return offset == bytes.size();
}

}  // namespace

std::optional<Header> ReadHeaderAt(const uint8_t *bytes) {
  if (bytes[0] != kMagic || bytes[1] != kVersion || bytes[2] != 0 || bytes[3] != 0) {
    return std::nullopt;
  }
  const Header header{LoadU32(bytes + 4), LoadU32(bytes + 8)};
  if (header.length < kHeaderSize) return std::nullopt;
  return header;
}

std::optional<Header> ReadHeader(std::span<const uint8_t> bytes) {
  if (bytes.size() < kHeaderSize) return std::nullopt;
  const std::optional<Header> header = ReadHeaderAt(bytes.data());
  if (!header || header->length > bytes.size()) return std::nullopt;
  return header;
}

std::optional<size_t> ReadElement(std::span<const uint8_t> expression, size_t offset,
                                  Element *element) {
  if (offset >= expression.size()) return std::nullopt;
  const size_t left = expression.size() - offset - 1;  // after the tag
  const uint8_t *body = expression.data() + offset + 1;
  element->kind = static_cast<Kind>(expression[offset]);
  switch (element->kind) {
    case Kind::kU32:
      if (left < 4) return std::nullopt;
      element->number = LoadU32(body);
      return offset + 1 + 4;
    case Kind::kU64:
      if (left < 8) return std::nullopt;
      element->number = LoadU64(body);
      return offset + 1 + 8;
    case Kind::kUuids: {
      if (left < 4) return std::nullopt;
      element->count = LoadU32(body);
      const uint64_t size = uint64_t{element->count} * sizeof(OlvaUUID);
      if (size > left - 4) return std::nullopt;
      element->uuids = reinterpret_cast<const OlvaUUID *>(body + 4);
      return offset + 1 + 4 + size;
    }
    case Kind::kString:
      if (left < 4) return std::nullopt;
      element->count = LoadU32(body);
      if (element->count > left - 4) return std::nullopt;
      element->text = reinterpret_cast<const char *>(body + 4);
      return offset + 1 + 4 + element->count;
    case Kind::kNested: {
      const std::optional<Header> header = ReadHeader({body, left});
      if (!header) return std::nullopt;
      element->count = header->count;
      element->nested = {body, header->length};
      return offset + 1 + header->length;
    }
  }
  return std::nullopt;
}

bool IsValidExpression(std::span<const uint8_t> bytes) {
  return IsValidAt(bytes, 0);
}

}  // namespace olva::expr

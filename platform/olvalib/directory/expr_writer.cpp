#include "expr_writer.h"

#include <limits>

#include "expr_encoding.h"

namespace olva::expr {
namespace {

constexpr uint64_t kMaxLength = std::numeric_limits<uint32_t>::max();

}  // namespace

void ExprWriter::PutU32(uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) {
    elements_.push_back(static_cast<uint8_t>(value >> shift));
  }
}

void ExprWriter::PutU64(uint64_t value) {
  PutU32(static_cast<uint32_t>(value));
  PutU32(static_cast<uint32_t>(value >> 32));
}

ExprWriter &ExprWriter::AddU32(uint32_t value) {
  elements_.push_back(static_cast<uint8_t>(Kind::kU32));
  PutU32(value);
  ++count_;
  return *this;
}

ExprWriter &ExprWriter::AddU64(uint64_t value) {
  elements_.push_back(static_cast<uint8_t>(Kind::kU64));
  PutU64(value);
  ++count_;
  return *this;
}

ExprWriter &ExprWriter::AddUuids(std::span<const OlvaUUID> uuids) {
  if (uuids.size() > kMaxLength / sizeof(OlvaUUID)) {
    tooLarge_ = true;
    return *this;
  }
  elements_.push_back(static_cast<uint8_t>(Kind::kUuids));
  PutU32(static_cast<uint32_t>(uuids.size()));
  for (const OlvaUUID &uuid : uuids) {
    elements_.insert(elements_.end(), std::begin(uuid.bytes), std::end(uuid.bytes));
  }
  ++count_;
  return *this;
}

ExprWriter &ExprWriter::AddString(std::string_view text) {
  if (text.size() > kMaxLength) {
    tooLarge_ = true;
    return *this;
  }
  elements_.push_back(static_cast<uint8_t>(Kind::kString));
  PutU32(static_cast<uint32_t>(text.size()));
  elements_.insert(elements_.end(), text.begin(), text.end());
  ++count_;
  return *this;
}

ExprWriter &ExprWriter::AddExpression(std::span<const uint8_t> expression) {
  elements_.push_back(static_cast<uint8_t>(Kind::kNested));
  elements_.insert(elements_.end(), expression.begin(), expression.end());
  ++count_;
  return *this;
}

std::optional<std::vector<uint8_t>> ExprWriter::Finish() const {
  const uint64_t length = kHeaderSize + elements_.size();
  if (tooLarge_ || length > kMaxLength || count_ > kMaxLength) return std::nullopt;
  std::vector<uint8_t> expression{kMagic, kVersion, 0, 0};
  expression.reserve(length);
  for (uint32_t value : {static_cast<uint32_t>(count_), static_cast<uint32_t>(length)}) {
    for (int shift = 0; shift < 32; shift += 8) {
      expression.push_back(static_cast<uint8_t>(value >> shift));
    }
  }
  expression.insert(expression.end(), elements_.begin(), elements_.end());
  return expression;
}

}  // namespace olva::expr

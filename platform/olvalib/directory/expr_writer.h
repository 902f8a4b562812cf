// Builds expressions in the library's encoding (the membership entries, tests).
#ifndef OLVALIB_DIRECTORY_EXPR_WRITER_H
#define OLVALIB_DIRECTORY_EXPR_WRITER_H

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "client/tarne_client.h"

namespace olva::expr {

class ExprWriter {
 public:
  ExprWriter &AddU32(uint32_t value);
  ExprWriter &AddU64(uint64_t value);
  ExprWriter &AddUuids(std::span<const OlvaUUID> uuids);
  ExprWriter &AddString(std::string_view text);
  // expression: a finished expression, added whole as a nested element.
  ExprWriter &AddExpression(std::span<const uint8_t> expression);

  // The header and the elements; nothing when the expression would pass 4 GiB.
  std::optional<std::vector<uint8_t>> Finish() const;

 private:
  void PutU32(uint32_t value);
  void PutU64(uint64_t value);

  std::vector<uint8_t> elements_;
  uint64_t count_ = 0;
  bool tooLarge_ = false;
};

}  // namespace olva::expr

#endif  // OLVALIB_DIRECTORY_EXPR_WRITER_H

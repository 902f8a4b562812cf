#include "membership.h"

#include "expr_encoding.h"
#include "expr_writer.h"

namespace olva::dir {

std::optional<std::vector<uint8_t>> EncodeMembership(const Membership &membership) {
  const std::optional<std::vector<uint8_t>> inner = expr::ExprWriter()
                                                        .AddU32(membership.generation)
                                                        .AddU32(membership.quorum)
                                                        .AddUuids(membership.members)
                                                        .Finish();
  if (!inner) return std::nullopt;
  return expr::ExprWriter().AddExpression(*inner).Finish();
}

std::optional<Membership> DecodeMembership(std::span<const uint8_t> payload) {
  if (!expr::IsValidExpression(payload) || expr::ReadHeader(payload)->count < 1) {
    return std::nullopt;
  }
  expr::Element outer;
  if (!expr::ReadElement(payload, expr::kHeaderSize, &outer) || outer.kind != expr::Kind::kNested ||
      outer.count != 3) {
    return std::nullopt;
  }
  expr::Element generation;
  expr::Element quorum;
  expr::Element members;
  std::optional<size_t> offset = expr::ReadElement(outer.nested, expr::kHeaderSize, &generation);
  if (offset) offset = expr::ReadElement(outer.nested, *offset, &quorum);
  if (offset) offset = expr::ReadElement(outer.nested, *offset, &members);
  if (!offset || generation.kind != expr::Kind::kU32 || quorum.kind != expr::Kind::kU32 ||
      members.kind != expr::Kind::kUuids) {
    return std::nullopt;
  }
  Membership membership;
  membership.generation = static_cast<uint32_t>(generation.number);
  membership.quorum = static_cast<uint32_t>(quorum.number);
  membership.members.assign(members.uuids, members.uuids + members.count);
  return membership;
}

}  // namespace olva::dir

// The membership of a sub-cluster: its entry of type 14, whose payload is an expression of
// one nested expression holding the generation, the quorum and the member UUIDs.
#ifndef OLVALIB_DIRECTORY_MEMBERSHIP_H
#define OLVALIB_DIRECTORY_MEMBERSHIP_H

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "client/tarne_client.h"

namespace olva::dir {

inline constexpr uint8_t kMembershipType = 14;

struct Membership {
  uint32_t generation = 0;  // raised by each new membership of the sub-cluster
  uint32_t quorum = 0;      // members needed for a majority
  std::vector<OlvaUUID> members;
};

// Nothing when the expression would pass 4 GiB.
std::optional<std::vector<uint8_t>> EncodeMembership(const Membership &membership);
// Nothing when the payload is not a membership expression.
std::optional<Membership> DecodeMembership(std::span<const uint8_t> payload);

}  // namespace olva::dir

#endif  // OLVALIB_DIRECTORY_MEMBERSHIP_H

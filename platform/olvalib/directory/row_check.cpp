#include "row_check.h"

#include <cstring>

#include "uuid_util.h"

namespace olva::dir {

void CheckRow(const EntryKey &key, std::span<const uint8_t> header, uint64_t valueLength,
              const std::vector<OlvaUUID> &clusters,
              const std::function<void(std::string)> &problem) {
  const std::string where = "entry " + UuidToText(key.uuid) + " owner " + UuidToText(key.owner) +
                            " type " + std::to_string(key.type) + " revision " +
                            std::to_string(key.revision);
  bool known = false;
  for (const OlvaUUID &server : clusters) known = known || SameUuid(server, key.cluster);
  if (!known) {
    problem(where + ": sub-cluster " + UuidToText(key.cluster) + " is not a server sub-cluster");
  }
  if (header.size() != sizeof(TarneEntry)) {
    problem(where + ": the header is " + std::to_string(header.size()) + " bytes");
    return;
  }
  TarneEntry stored;
  std::memcpy(&stored, header.data(), sizeof stored);
  std::vector<std::string> wrong;
  if (!SameUuid(stored.uuid, key.uuid)) wrong.emplace_back("uuid");
  if (!SameUuid(stored.owner, key.owner)) wrong.emplace_back("owner");
  if ((stored.type & kTypeMask) != key.type) wrong.emplace_back("type");
  if (stored.revision != key.revision) wrong.emplace_back("revision");
  if (stored.valueLen != valueLength) wrong.emplace_back("valueLen");
  for (const std::string &field : wrong) {
    std::string text = where;
    text.append(": the header's ").append(field).append(" differs");
    problem(std::move(text));
  }
}

}  // namespace olva::dir

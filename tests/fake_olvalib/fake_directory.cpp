// The directory operations of the fake: lookups over the scripted entries, and requests
// whose completions arrive later on the fake's worker thread.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>

#include "fake_state.h"

namespace fake {
namespace {

constexpr uint8_t kWildcards = TARNE_QUERY_ANY_OWNER | TARNE_QUERY_ANY_UUID |
                               TARNE_QUERY_ANY_REVISION | TARNE_QUERY_LATEST_REVISION |
                               TARNE_QUERY_ANY_TYPE;

OlvaUUID Resolved(const OlvaUUID &uuid, const State &state) {
  return TarneUuid_Equal(uuid, kTarneUuidSelf) ? state.self : uuid;
}

bool Matches(const TarneQuery &q, const StoredEntry &stored, const State &state) {
  const TarneEntry &e = *stored.Header();
  return ((q.flags & kWildcards) != 0 || !stored.vanishes) &&
         ((q.flags & TARNE_QUERY_ANY_OWNER) ||
          TarneUuid_Equal(Resolved(q.owner, state), Resolved(e.owner, state))) &&
         ((q.flags & TARNE_QUERY_ANY_UUID) || TarneUuid_Equal(q.uuid, e.uuid)) &&
         ((q.flags & TARNE_QUERY_ANY_TYPE) || q.type == (e.type & 0x7F)) &&
         ((q.flags & (TARNE_QUERY_ANY_REVISION | TARNE_QUERY_LATEST_REVISION)) ||
          q.revision == e.revision);
}

// The first matching entry at or after index `from`, in script order, copied like the
// library copies it: the header always whole, the payload cut to the buffer.
PEK_ReturnStatus CopyMatch(const TarneQuery &q, size_t from, TarneEntry *buffer, uint32_t size) {
  const State &state = Current();
  for (size_t i = from; i < state.entries.size(); ++i) {
    if (!Matches(q, state.entries[i], state)) continue;
    if (buffer == nullptr || size < sizeof(TarneEntry)) return TARNE_STATUS_BAD_PARAMETER;
    const std::vector<uint8_t> &bytes = state.entries[i].bytes;
    std::memcpy(buffer, bytes.data(), std::min<size_t>(size, bytes.size()));
    return TARNE_STATUS_SUCCESS;
  }
  return TARNE_STATUS_NOT_FOUND;
}

PEK_ReturnStatus Request(const char *operation, RequestRules State::*which, TarneEntry *entry,
                         TarneUpdateCompletion done, void *context, OlvaUUID cluster) {
  auto lock = Lock();
  RequestRules &rules = Current().*which;
  const uint32_t n = ++rules.issued;
  RequestRule rule;  // the request's own rule, else the general one, else success
  for (const RequestRule &r : rules.rules) {
    if (r.nth == n || (!r.nth && rule.nth != n)) rule = r;
  }
  const TarneEntry &e = *entry;
  std::string line = std::string(operation) + " n=" + std::to_string(n) +
                     " cluster=" + UuidText(cluster) + " uuid=" + UuidText(e.uuid) +
                     " owner=" + UuidText(e.owner) + " rev=" + std::to_string(e.revision) +
                     " type=0x" + HexText(&e.type, 1) + " flag=" + std::to_string(e.flag) +
                     " minhost=" + std::to_string(e.minHostVersion) +
                     " valueLen=" + std::to_string(e.valueLen);
  // A deletion may carry a bare 64-byte header; only additions carry a payload worth showing.
  if (which != &State::remove) line += " payload=" + HexText(TarneEntry_Payload(&e), e.valueLen);
  Log(line);
  if (rule.refuse) return *rule.refuse;
  const uint32_t length = sizeof(TarneEntry) + entry->valueLen;
  RunLater(Current().delayMs, [=] { done(context, entry, length, cluster, rule.complete); });
  return TARNE_STATUS_SUCCESS;
}

}  // namespace
}  // namespace fake

using namespace fake;

extern "C" {

PEK_ReturnStatus TARNE_Initialize(int32_t, int32_t, int32_t *handle) {
  *handle = 1;
  return TARNE_STATUS_SUCCESS;
}

PEK_ReturnStatus TARNE_Deinitialize(int32_t) {
  StopWorker();  // requests still queued are dropped, as the library may do when closed
  return TARNE_STATUS_SUCCESS;
}

PEK_ReturnStatus TARNE_GetNumServerContexts(uint32_t *count) {
  auto lock = Lock();
  *count = 1;
  return Current().clustersStatus;
}

PEK_ReturnStatus TARNE_GetSelfUUID(OlvaUUID *self) {
  auto lock = Lock();
  *self = Current().self;
  return Current().selfStatus;
}

PEK_ReturnStatus TARNE_FindEntryForCluster(const TarneQuery *query, int32_t next,
                                           TarneEntry *buffer, uint32_t bufferSize, int32_t) {
  auto lock = Lock();
  const std::vector<StoredEntry> &entries = Current().entries;
  size_t from = 0;
  // The previous match is recognised by the header the caller left in the buffer.
  while (next != 0 && from < entries.size() &&
         std::memcmp(entries[from].Header(), buffer, offsetof(TarneEntry, flag)) != 0) {
    ++from;
  }
  return CopyMatch(*query, next != 0 ? from + 1 : 0, buffer, bufferSize);
}

PEK_ReturnStatus TARNE_ForEachEntryForCluster(const TarneQuery *query, TarneEntryVisitor visitor,
                                              void *context, int32_t, int32_t, int32_t) {
  auto lock = Lock();
  const State &state = Current();
  uint32_t visits = 0;
  for (const StoredEntry &entry : state.entries) {
    if (!Matches(*query, entry, state)) continue;
    if (state.foreachAfter && visits++ == *state.foreachAfter) break;
    // The stored entries outlive the call, so a deletion's completion may still read them.
    lock.unlock();
    visitor(context, entry.Header(), static_cast<uint32_t>(entry.bytes.size()), query->cluster);
    lock.lock();
  }
  return state.foreachStatus;
}

PEK_ReturnStatus TARNE_WaitForEntryForCluster(const TarneQuery *, uint32_t, int32_t) {
  return TARNE_STATUS_TIMEOUT;  // no case waits through the fake
}

PEK_ReturnStatus TARNE_WaitForMembershipForCluster(uint32_t, OlvaUUID) {
  return TARNE_STATUS_SUCCESS;
}

PEK_ReturnStatus TARNE_AddEntryForCluster(TarneEntry *entry, TarneUpdateCompletion done,
                                          void *context, OlvaUUID cluster) {
  return Request("TARNE_AddEntryForCluster", &State::add, entry, done, context, cluster);
}

PEK_ReturnStatus TARNE_UpdateEntryForCluster(TarneEntry *entry, TarneUpdateCompletion done,
                                             void *context, OlvaUUID cluster) {
  return Request("TARNE_UpdateEntryForCluster", &State::update, entry, done, context, cluster);
}

PEK_ReturnStatus TARNE_DeleteEntryForCluster(TarneEntry *entry, TarneUpdateCompletion done,
                                             void *context, OlvaUUID cluster) {
  return Request("TARNE_DeleteEntryForCluster", &State::remove, entry, done, context, cluster);
}

PEK_ReturnStatus TARNE_RemoteFindEntry(const TarneRemoteFindRequest *request, uint32_t,
                                       TarneRemoteFindCallback callback, void *context) {
  auto lock = Lock();
  const State &state = Current();
  if (state.remoteFindRefuse) return *state.remoteFindRefuse;
  TarneQuery query{request->owner, request->uuid, {}, 0, request->type, 0, {}};
  const uint8_t anyUuid = TarneUuid_IsNull(query.uuid) ? TARNE_QUERY_ANY_UUID : 0;
  query.flags = TARNE_QUERY_ANY_REVISION | anyUuid;
  std::vector<TarneEntry> headers;
  for (const StoredEntry &stored : state.entries) {
    if (Matches(query, stored, state)) headers.push_back(*stored.Header());
  }
  const PEK_ReturnStatus end = state.remoteFindEnd;
  RunLater(state.delayMs, [=] {
    for (const TarneEntry &header : headers) callback(context, &header, nullptr, 0);
    // The end carries no header: a caller that read one would fail under the sanitizers.
    callback(context, nullptr, nullptr, end);
  });
  return TARNE_STATUS_SUCCESS;
}

PEK_ReturnStatus TARNE_FindEntryRF(const TarneQuery *query, int32_t next, TarneEntry *buffer,
                                   uint32_t bufferSize) {
  auto lock = Lock();
  Log("TARNE_FindEntryRF next=" + std::to_string(next) + " size=" + std::to_string(bufferSize) +
      " owner=" + UuidText(query->owner) + " uuid=" + UuidText(query->uuid) +
      " cluster=" + UuidText(query->cluster) + " rev=" + std::to_string(query->revision) +
      " type=" + std::to_string(query->type) + " flags=0x" + HexText(&query->flags, 1));
  if (Current().findRfStatus) return *Current().findRfStatus;
  return CopyMatch(*query, 0, buffer, bufferSize);
}

}  // extern "C"

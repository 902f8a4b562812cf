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
  static constexpr OlvaUUID kSelfMarker{{0, 0, 0, 2}};
  return SameUuid(uuid, kSelfMarker) ? state.self : uuid;
}

// Every scripted entry is in every cluster and is the latest revision of itself.
bool Matches(const TarneQuery &q, const StoredEntry &stored, const State &state) {
  const TarneEntry &e = *stored.Header();
  return ((q.flags & kWildcards) != 0 || !stored.vanishes) &&
         ((q.flags & TARNE_QUERY_ANY_OWNER) ||
          SameUuid(Resolved(q.owner, state), Resolved(e.owner, state))) &&
         ((q.flags & TARNE_QUERY_ANY_UUID) || SameUuid(q.uuid, e.uuid)) &&
         ((q.flags & TARNE_QUERY_ANY_TYPE) || q.type == (e.type & 0x7F)) &&
         ((q.flags & (TARNE_QUERY_ANY_REVISION | TARNE_QUERY_LATEST_REVISION)) ||
          q.revision == e.revision);
}

// The first matching entry at or after index `from`, in script order.
const StoredEntry *FirstMatch(const TarneQuery &q, const State &state, size_t from = 0) {
  for (size_t i = from; i < state.entries.size(); ++i) {
    if (Matches(q, state.entries[i], state)) return &state.entries[i];
  }
  return nullptr;
}

// Like the library: the header always whole, the payload cut to the buffer.
PEK_ReturnStatus CopyInto(const StoredEntry *entry, TarneEntry *buffer, uint32_t size) {
  if (entry == nullptr) return TARNE_STATUS_NOT_FOUND;
  if (buffer == nullptr || size < sizeof(TarneEntry)) return TARNE_STATUS_BAD_PARAMETER;
  std::memcpy(buffer, entry->bytes.data(), std::min<size_t>(size, entry->bytes.size()));
  return TARNE_STATUS_SUCCESS;
}

std::string QueryText(const TarneQuery &q) {
  return "owner=" + UuidText(q.owner) + " uuid=" + UuidText(q.uuid) +
         " cluster=" + UuidText(q.cluster) + " rev=" + std::to_string(q.revision) +
         " type=" + std::to_string(q.type) + " flags=0x" + HexText(&q.flags, 1);
}

PEK_ReturnStatus Request(const char *operation, RequestRules State::*which, TarneEntry *entry,
                         TarneUpdateCompletion done, void *context, OlvaUUID cluster) {
  auto lock = Lock();
  State &state = Current();
  RequestRules &rules = state.*which;
  const uint32_t n = ++rules.issued;
  const RequestRule rule = rules.For(n);
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
  RunLater(state.delayMs, [=] { done(context, entry, length, cluster, rule.complete); });
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
  // Requests still queued are dropped, as the library may do when it is closed.
  StopWorker();
  return TARNE_STATUS_SUCCESS;
}

PEK_ReturnStatus TARNE_GetNumServerContexts(uint32_t *count) {
  auto lock = Lock();
  if (Current().clustersStatus == TARNE_STATUS_SUCCESS) *count = 1;
  return Current().clustersStatus;
}

PEK_ReturnStatus TARNE_GetSelfUUID(OlvaUUID *self) {
  auto lock = Lock();
  if (Current().selfStatus == TARNE_STATUS_SUCCESS) *self = Current().self;
  return Current().selfStatus;
}

PEK_ReturnStatus TARNE_FindEntryForCluster(const TarneQuery *query, int32_t next,
                                           TarneEntry *buffer, uint32_t bufferSize, int32_t) {
  auto lock = Lock();
  const State &state = Current();
  Log("TARNE_FindEntryForCluster next=" + std::to_string(next) +
      " size=" + std::to_string(bufferSize) + " " + QueryText(*query));
  size_t from = 0;
  if (next != 0) {
    // The previous match is recognised by the header the caller left in the buffer.
    while (from < state.entries.size() &&
           std::memcmp(state.entries[from].Header(), buffer, offsetof(TarneEntry, flag)) != 0) {
      ++from;
    }
    ++from;
  }
  return CopyInto(FirstMatch(*query, state, from), buffer, bufferSize);
}

PEK_ReturnStatus TARNE_ForEachEntryForCluster(const TarneQuery *query, TarneEntryVisitor visitor,
                                              void *context, int32_t, int32_t, int32_t) {
  auto lock = Lock();
  const State &state = Current();
  Log("TARNE_ForEachEntryForCluster " + QueryText(*query));
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

PEK_ReturnStatus TARNE_WaitForEntryForCluster(const TarneQuery *query, uint32_t, int32_t) {
  auto lock = Lock();
  return FirstMatch(*query, Current()) ? TARNE_STATUS_SUCCESS : TARNE_STATUS_TIMEOUT;
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
  TarneQuery query{};
  query.owner = request->owner;
  query.uuid = request->uuid;
  query.type = request->type;
  query.flags = TARNE_QUERY_LATEST_REVISION |
                (SameUuid(request->uuid, OlvaUUID{}) ? TARNE_QUERY_ANY_UUID : 0);
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
      " " + QueryText(*query));
  if (Current().findRfStatus) return *Current().findRfStatus;
  return CopyInto(FirstMatch(*query, Current()), buffer, bufferSize);
}

}  // extern "C"

// The directory operations of the fake: lookups over the scripted entries, and requests
// whose completions arrive later on the fake's worker thread.
#include <cstring>
#include <string>

#include "fake_state.h"

namespace fake {
namespace {

constexpr uint8_t kWildcards = TARNE_QUERY_ANY_OWNER | TARNE_QUERY_ANY_UUID |
                               TARNE_QUERY_ANY_REVISION | TARNE_QUERY_LATEST_REVISION |
                               TARNE_QUERY_ANY_TYPE;

OlvaUUID Resolved(const OlvaUUID &uuid, const State &state) {
  return IsSelfMarker(uuid) ? state.self : uuid;
}

bool SameIdentity(const TarneEntry &a, const TarneEntry &b, const State &state) {
  return SameUuid(a.uuid, b.uuid) && SameUuid(Resolved(a.owner, state), Resolved(b.owner, state)) &&
         (a.type & 0x7F) == (b.type & 0x7F) && a.revision == b.revision;
}

bool MatchesIgnoringRevision(const TarneQuery &q, const StoredEntry &stored, const State &state) {
  const TarneEntry &e = *stored.Header();
  if ((q.flags & kWildcards) == 0 && stored.vanishes) return false;
  if (!(q.flags & TARNE_QUERY_ANY_OWNER) &&
      !SameUuid(Resolved(q.owner, state), Resolved(e.owner, state))) {
    return false;
  }
  if (!(q.flags & TARNE_QUERY_ANY_UUID) && !SameUuid(q.uuid, e.uuid)) return false;
  if (!(q.flags & TARNE_QUERY_ANY_TYPE) && q.type != (e.type & 0x7F)) return false;
  if (!(q.flags & TARNE_QUERY_ALL_CLUSTERS) && !IsNull(q.cluster) && !IsNull(stored.cluster) &&
      !SameUuid(q.cluster, stored.cluster)) {
    return false;
  }
  return true;
}

// Indexes of the matching entries, in script order.
std::vector<size_t> Matching(const TarneQuery &q, const State &state) {
  std::vector<size_t> found;
  for (size_t i = 0; i < state.entries.size(); ++i) {
    const StoredEntry &entry = state.entries[i];
    if (!MatchesIgnoringRevision(q, entry, state)) continue;
    const uint64_t revision = entry.Header()->revision;
    if (q.flags & TARNE_QUERY_LATEST_REVISION) {
      bool newerExists = false;
      for (const StoredEntry &other : state.entries) {
        const TarneEntry &o = *other.Header();
        newerExists |= MatchesIgnoringRevision(q, other, state) && o.revision > revision &&
                       SameUuid(o.uuid, entry.Header()->uuid) &&
                       SameUuid(o.owner, entry.Header()->owner) &&
                       (o.type & 0x7F) == (entry.Header()->type & 0x7F);
      }
      if (newerExists) continue;
    } else if (!(q.flags & TARNE_QUERY_ANY_REVISION) && q.revision != revision) {
      continue;
    }
    found.push_back(i);
  }
  return found;
}

// Like the library: the header always whole, the payload cut to the buffer.
void CopyInto(const StoredEntry &entry, TarneEntry *buffer, uint32_t size) {
  std::memcpy(buffer, entry.bytes.data(), std::min<size_t>(size, entry.bytes.size()));
}

std::string QueryText(const TarneQuery &q) {
  char tail[64];
  std::snprintf(tail, sizeof tail, " rev=%llu type=%u flags=0x%02x",
                static_cast<unsigned long long>(q.revision), q.type, q.flags);
  return "owner=" + UuidText(q.owner) + " uuid=" + UuidText(q.uuid) +
         " cluster=" + UuidText(q.cluster) + tail;
}

std::string EntryText(const TarneEntry &e, bool withPayload) {
  char fields[128];
  std::snprintf(fields, sizeof fields, " rev=%llu type=0x%02x flag=%u minhost=%u valueLen=%u",
                static_cast<unsigned long long>(e.revision), e.type, e.flag, e.minHostVersion,
                e.valueLen);
  std::string text = "uuid=" + UuidText(e.uuid) + " owner=" + UuidText(e.owner) + fields;
  if (withPayload) text += " payload=" + HexText(TarneEntry_Payload(&e), e.valueLen);
  return text;
}

PEK_ReturnStatus Request(const char *operation, RequestRules State::*which, TarneEntry *entry,
                         TarneUpdateCompletion done, void *context, OlvaUUID cluster) {
  auto lock = Lock();
  State &state = Current();
  RequestRules &rules = state.*which;
  const uint32_t n = ++rules.issued;
  const RequestRule rule = rules.For(n);
  // A deletion may carry a bare 64-byte header; only additions carry a payload worth showing.
  Log(std::string(operation) + " n=" + std::to_string(n) + " cluster=" + UuidText(cluster) + " " +
      EntryText(*entry, which != &State::remove));
  if (rule.refuse) return *rule.refuse;
  const uint32_t length = sizeof(TarneEntry) + entry->valueLen;
  RunLater(state.delayMs, [=] { done(context, entry, length, cluster, rule.complete); });
  return TARNE_STATUS_SUCCESS;
}

}  // namespace
}  // namespace fake

using namespace fake;

extern "C" {

PEK_ReturnStatus TARNE_Initialize(int32_t mode, int32_t flags, int32_t *handle) {
  auto lock = Lock();
  Log("TARNE_Initialize mode=" + std::to_string(mode) + " flags=" + std::to_string(flags));
  if (Current().initStatus != TARNE_STATUS_SUCCESS) return Current().initStatus;
  *handle = 1;
  return TARNE_STATUS_SUCCESS;
}

PEK_ReturnStatus TARNE_Deinitialize(int32_t handle) {
  {
    auto lock = Lock();
    Log("TARNE_Deinitialize handle=" + std::to_string(handle));
  }
  // Requests still queued are dropped, as the library may do when it is closed.
  StopWorker();
  return TARNE_STATUS_SUCCESS;
}

PEK_ReturnStatus TARNE_GetNumServerContexts(uint32_t *count) {
  auto lock = Lock();
  Log("TARNE_GetNumServerContexts");
  if (Current().clustersStatus != TARNE_STATUS_SUCCESS) return Current().clustersStatus;
  *count = Current().clusterCount;
  return TARNE_STATUS_SUCCESS;
}

PEK_ReturnStatus TARNE_GetSelfUUID(OlvaUUID *self) {
  auto lock = Lock();
  Log("TARNE_GetSelfUUID");
  if (Current().selfStatus != TARNE_STATUS_SUCCESS) return Current().selfStatus;
  *self = Current().self;
  return TARNE_STATUS_SUCCESS;
}

PEK_ReturnStatus TARNE_FindEntryForCluster(const TarneQuery *query, int32_t next,
                                           TarneEntry *buffer, uint32_t bufferSize, int32_t flags) {
  auto lock = Lock();
  const State &state = Current();
  Log("TARNE_FindEntryForCluster next=" + std::to_string(next) + " size=" +
      std::to_string(bufferSize) + " last=" + std::to_string(flags) + " " + QueryText(*query));
  if (state.findStatus) return *state.findStatus;
  if (buffer == nullptr || bufferSize < sizeof(TarneEntry)) return TARNE_STATUS_BAD_PARAMETER;

  size_t after = 0;  // the first stored index that may be returned
  if (next != 0) {
    // The previous match is recognised by the header the caller left in the buffer.
    size_t previous = 0;
    while (previous < state.entries.size() &&
           !SameIdentity(*state.entries[previous].Header(), *buffer, state)) {
      ++previous;
    }
    if (previous == state.entries.size()) return state.findEnd;
    after = previous + 1;
  }
  for (size_t index : Matching(*query, state)) {
    if (index < after) continue;
    CopyInto(state.entries[index], buffer, bufferSize);
    return TARNE_STATUS_SUCCESS;
  }
  return state.findEnd;
}

PEK_ReturnStatus TARNE_ForEachEntryForCluster(const TarneQuery *query, TarneEntryVisitor visitor,
                                              void *context, int32_t a, int32_t b, int32_t c) {
  auto lock = Lock();
  const State &state = Current();
  Log("TARNE_ForEachEntryForCluster " + QueryText(*query) + " args=" + std::to_string(a) + "," +
      std::to_string(b) + "," + std::to_string(c));
  std::vector<size_t> matches = Matching(*query, state);
  if (state.foreachAfter && matches.size() > *state.foreachAfter) {
    matches.resize(*state.foreachAfter);
  }
  const PEK_ReturnStatus result = state.foreachStatus;
  for (size_t index : matches) {
    // The stored entries outlive the call, so a deletion's completion may still read them.
    const StoredEntry &entry = state.entries[index];
    const OlvaUUID cluster = IsNull(entry.cluster) ? query->cluster : entry.cluster;
    lock.unlock();
    visitor(context, entry.Header(), entry.Length(), cluster);
    lock.lock();
  }
  return result;
}

PEK_ReturnStatus TARNE_WaitForEntryForCluster(const TarneQuery *query, uint32_t timeout,
                                              int32_t flags) {
  auto lock = Lock();
  Log("TARNE_WaitForEntryForCluster timeout=" + std::to_string(timeout) +
      " last=" + std::to_string(flags) + " " + QueryText(*query));
  if (Current().waitStatus) return *Current().waitStatus;
  return Matching(*query, Current()).empty() ? TARNE_STATUS_TIMEOUT : TARNE_STATUS_SUCCESS;
}

PEK_ReturnStatus TARNE_WaitForMembershipForCluster(uint32_t timeout, OlvaUUID cluster) {
  auto lock = Lock();
  Log("TARNE_WaitForMembershipForCluster timeout=" + std::to_string(timeout) +
      " cluster=" + UuidText(cluster));
  return Current().membershipWaitStatus;
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

PEK_ReturnStatus TARNE_RemoteFindEntry(const TarneRemoteFindRequest *request, uint32_t timeout,
                                       TarneRemoteFindCallback callback, void *context) {
  auto lock = Lock();
  const State &state = Current();
  const OlvaUUID owner = request->owner;
  const OlvaUUID uuid = request->uuid;
  Log("TARNE_RemoteFindEntry owner=" + UuidText(owner) + " type=" + std::to_string(request->type) +
      " uuid=" + UuidText(uuid) + " timeout=" + std::to_string(timeout));
  if (state.remoteFindRefuse) return *state.remoteFindRefuse;

  std::vector<TarneEntry> headers;
  for (const StoredEntry &stored : state.entries) {
    const TarneEntry &e = *stored.Header();
    if ((e.type & 0x7F) == request->type &&
        SameUuid(Resolved(e.owner, state), Resolved(owner, state)) &&
        (IsNull(uuid) || SameUuid(uuid, e.uuid))) {
      headers.push_back(e);
    }
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
  const State &state = Current();
  Log("TARNE_FindEntryRF next=" + std::to_string(next) + " size=" + std::to_string(bufferSize) +
      " " + QueryText(*query));
  if (state.findRfStatus) return *state.findRfStatus;
  if (buffer == nullptr || bufferSize < sizeof(TarneEntry)) return TARNE_STATUS_BAD_PARAMETER;
  const std::vector<size_t> matches = Matching(*query, state);
  if (matches.empty()) return TARNE_STATUS_NOT_FOUND;
  CopyInto(state.entries[matches.front()], buffer, bufferSize);
  return TARNE_STATUS_SUCCESS;
}

}  // extern "C"

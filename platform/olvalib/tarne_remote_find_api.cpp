// Remote find: the type-47 entries of one owner, delivered one header at a time on the
// library's task thread, then the end status.
#include <chrono>
#include <cstring>
#include <optional>
#include <vector>

#include "client/tarne_client.h"
#include "client/tarne_status_codes.h"
#include "directory/callback_scope.h"
#include "directory/library.h"
#include "directory/uuid_util.h"

namespace {

using namespace olva::dir;

constexpr uint8_t kLocalSymbolType = 47;
// Rows one read of the store brings to the search.
constexpr uint32_t kRowsPerRead = 256;

void Deliver(TarneRemoteFindCallback callback, void *context, const TarneEntry &header,
             PEK_ReturnStatus status) {
  const CallbackScope scope;
  callback(context, &header, nullptr, status);
}

// Runs on the task thread; every path ends with exactly one end status.
void RunSearch(const MatchCriteria &criteria, uint32_t timeoutSeconds,
               TarneRemoteFindCallback callback, void *context, bool cancelled) {
  using Clock = std::chrono::steady_clock;
  const TarneEntry noEntry{};
  if (cancelled) return Deliver(callback, context, noEntry, TARNE_STATUS_NO_CONNECTION);
  const bool limited = timeoutSeconds != 0;
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
  Library &library = Library::Instance();
  std::optional<EntryKey> cursor;
  std::vector<TarneEntry> page;
  for (;;) {
    // The page is read whole before any callback runs: the callback reads the entry again.
    const PEK_ReturnStatus status =
        library.Store().Scan(criteria, cursor, kRowsPerRead, [&](const RowView &row) {
          TarneEntry header;
          std::memcpy(&header, row.header.data(), sizeof header);
          page.push_back(header);
          cursor = row.key;
          return true;
        });
    if (status != TARNE_STATUS_SUCCESS) return Deliver(callback, context, noEntry, status);
    for (const TarneEntry &header : page) {
      if (library.Tasks().Stopping()) {
        return Deliver(callback, context, noEntry, TARNE_STATUS_NO_CONNECTION);
      }
      if (limited && Clock::now() >= deadline) {
        return Deliver(callback, context, noEntry, TARNE_STATUS_TIMEOUT);
      }
      Deliver(callback, context, header, TARNE_STATUS_SUCCESS);
    }
    if (page.size() < kRowsPerRead) {
      return Deliver(callback, context, noEntry, TARNE_STATUS_NOT_FOUND);
    }
    page.clear();
  }
}

}  // namespace

extern "C" {

PEK_ReturnStatus TARNE_RemoteFindEntry(const TarneRemoteFindRequest *request, uint32_t timeout,
                                       TarneRemoteFindCallback callback, void *context) {
  const Library::Operation operation;
  if (!operation.Admitted()) return TARNE_STATUS_NO_CONNECTION;
  if (request == nullptr || callback == nullptr || request->type != kLocalSymbolType) {
    return TARNE_STATUS_BAD_PARAMETER;
  }
  Library &library = Library::Instance();
  const OlvaUUID owner = ResolveOwner(request->owner, library.Info().self);
  if (IsNullUuid(owner)) return TARNE_STATUS_BAD_PARAMETER;

  // The latest revision of each of the owner's entries, in every sub-cluster.
  MatchCriteria criteria;
  criteria.owner = owner;
  criteria.type = kLocalSymbolType;
  if (!IsNullUuid(request->uuid)) criteria.uuid = request->uuid;
  criteria.latest = true;
  return library.Tasks().Submit([criteria, timeout, callback, context](bool cancelled) {
    RunSearch(criteria, timeout, callback, context, cancelled);
  });
}

}  // extern "C"

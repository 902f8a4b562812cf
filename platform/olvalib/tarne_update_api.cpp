// Add, update and delete: queued for the writer, completed on its thread once durable.
#include "client/tarne_client.h"
#include "client/tarne_status_codes.h"
#include "directory/held_entries.h"
#include "directory/library.h"
#include "directory/uuid_util.h"

namespace {

using namespace olva::dir;

PEK_ReturnStatus Submit(UpdateRequest::Kind kind, TarneEntry *entry, TarneUpdateCompletion done,
                        void *context, OlvaUUID cluster) {
  const Library::Operation operation;
  if (!operation.Admitted()) return TARNE_STATUS_NO_CONNECTION;
  if (entry == nullptr) return TARNE_STATUS_BAD_PARAMETER;
  Library &library = Library::Instance();
  const DirectoryInfo &info = library.Info();
  const OlvaUUID target = IsNullUuid(cluster) ? info.clusters.front() : cluster;
  bool known = false;
  for (const OlvaUUID &server : info.clusters) known = known || SameUuid(server, target);
  if (!known) return TARNE_STATUS_BAD_PARAMETER;
  // Refused before the writer ever reads it, so that it fails alone and not the batch it
  // would have joined.
  if (kind != UpdateRequest::Kind::kDelete && entry->valueLen > library.MaxPayload()) {
    return TARNE_STATUS_LIMIT_EXCEEDED;
  }

  UpdateRequest request;
  request.kind = kind;
  request.entry = entry;
  request.done = done;
  request.context = context;
  request.givenCluster = cluster;
  request.cluster = target;
  request.self = info.self;
  request.heldEntry = RetainIfHeld(entry);
  const PEK_ReturnStatus status = library.Updates().Submit(request);
  if (status != TARNE_STATUS_SUCCESS && request.heldEntry) ReleaseHeld(entry);
  return status;
}

}  // namespace

extern "C" {

PEK_ReturnStatus TARNE_AddEntryForCluster(TarneEntry *entry, TarneUpdateCompletion done,
                                          void *context, OlvaUUID cluster) {
  return Submit(UpdateRequest::Kind::kAdd, entry, done, context, cluster);
}

PEK_ReturnStatus TARNE_UpdateEntryForCluster(TarneEntry *entry, TarneUpdateCompletion done,
                                             void *context, OlvaUUID cluster) {
  return Submit(UpdateRequest::Kind::kUpdate, entry, done, context, cluster);
}

PEK_ReturnStatus TARNE_DeleteEntryForCluster(TarneEntry *entry, TarneUpdateCompletion done,
                                             void *context, OlvaUUID cluster) {
  return Submit(UpdateRequest::Kind::kDelete, entry, done, context, cluster);
}

}  // extern "C"

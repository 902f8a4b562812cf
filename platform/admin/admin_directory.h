// The directory as tarne-admin writes it: through the store the location names (a SQLite
// file or an etcd cluster), one request per change, so that the change is durable when the
// command exits.
#ifndef TARNE_ADMIN_ADMIN_DIRECTORY_H
#define TARNE_ADMIN_ADMIN_DIRECTORY_H

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "directory/directory_info.h"
#include "directory/directory_store.h"

namespace olva::admin {

struct OpenDirectory {
  std::unique_ptr<dir::DirectoryStore> store;
  dir::DirectoryInfo info;
};

// Nothing, after a message on standard error, when the directory cannot be opened. A
// cluster location takes the node's identity from the node file (TARNE_NODE).
std::optional<OpenDirectory> OpenExistingDirectory(const std::string &location);

// The sub-cluster the UUID names (the first one for the null UUID), or nothing after a
// message when it is not one of the directory's.
std::optional<OlvaUUID> ServerCluster(const dir::DirectoryInfo &info, const OlvaUUID &cluster);

// A whole entry record, the header followed by the payload, as the store's requests take it.
std::vector<uint8_t> EntryRecord(const TarneEntry &header, std::span<const uint8_t> payload);

// A request of the kind for the record in the sub-cluster; the self marker as owner stands
// for the node itself.
dir::AppliedUpdate Request(dir::UpdateRequest::Kind kind, std::vector<uint8_t> &record,
                           const OlvaUUID &cluster, const dir::DirectoryInfo &info);

// Stores the entry in the sub-cluster at its own revision, or at the next one when
// nextRevision is set. The status of the store; a message on failure.
PEK_ReturnStatus WriteEntry(const OpenDirectory &directory, const TarneEntry &header,
                            std::span<const uint8_t> payload, const OlvaUUID &cluster,
                            bool nextRevision);

// What a failure status of the store means, for messages.
std::string StoreFailureText(PEK_ReturnStatus status);

}  // namespace olva::admin

#endif  // TARNE_ADMIN_ADMIN_DIRECTORY_H

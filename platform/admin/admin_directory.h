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

#include "directory/bulk_load.h"
#include "directory/directory_backend.h"
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

using dir::EntryRecord;
using dir::Request;
using dir::StoreFailureText;

// Stores the entry in the sub-cluster at its own revision, or at the next one when
// nextRevision is set. The status of the store; a message on failure.
PEK_ReturnStatus WriteEntry(const OpenDirectory &directory, const TarneEntry &header,
                            std::span<const uint8_t> payload, const OlvaUUID &cluster,
                            bool nextRevision);

}  // namespace olva::admin

#endif  // TARNE_ADMIN_ADMIN_DIRECTORY_H

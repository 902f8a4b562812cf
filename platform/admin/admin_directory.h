// The directory as tarne-admin writes it: directly, one transaction per change, so that
// the change is durable when the command exits.
#ifndef TARNE_ADMIN_ADMIN_DIRECTORY_H
#define TARNE_ADMIN_ADMIN_DIRECTORY_H

#include <memory>
#include <optional>
#include <span>
#include <string>

#include "directory/directory_schema.h"
#include "directory/entry_store.h"

namespace olva::admin {

struct OpenDirectory {
  std::unique_ptr<dir::EntryStore> store;
  dir::DirectoryInfo info;
};

// Nothing, after a message on standard error, when the directory cannot be opened.
std::optional<OpenDirectory> OpenExistingDirectory(const std::string &path);

// The sub-cluster the UUID names (the first one for the null UUID), or nothing after a
// message when it is not one of the directory's.
std::optional<OlvaUUID> ServerCluster(const dir::DirectoryInfo &info, const OlvaUUID &cluster);

// Stores the entry at its own revision, or at the next one when nextRevision is set
// (key->revision then receives it). The status of the store; a message on failure.
PEK_ReturnStatus WriteEntry(dir::EntryStore &store, dir::EntryKey *key, const TarneEntry &header,
                            std::span<const uint8_t> payload, bool nextRevision);

}  // namespace olva::admin

#endif  // TARNE_ADMIN_ADMIN_DIRECTORY_H

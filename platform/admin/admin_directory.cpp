#include "admin_directory.h"

#include <cstdio>

#include "client/tarne_status_codes.h"
#include "directory/uuid_util.h"

namespace olva::admin {

std::optional<OpenDirectory> OpenExistingDirectory(const std::string &path) {
  std::string error;
  std::unique_ptr<dir::Connection> connection =
      dir::Connection::Open(path, dir::Connection::OpenMode::kExisting, &error);
  OpenDirectory directory;
  if (connection != nullptr && dir::ReadDirectoryInfo(*connection, &directory.info, &error)) {
    directory.store = std::make_unique<dir::EntryStore>(std::move(connection));
    return directory;
  }
  std::fprintf(stderr, "tarne-admin: cannot open directory %s: %s\n", path.c_str(), error.c_str());
  return std::nullopt;
}

std::optional<OlvaUUID> ServerCluster(const dir::DirectoryInfo &info, const OlvaUUID &cluster) {
  if (dir::IsNullUuid(cluster)) return info.clusters.front();
  for (const OlvaUUID &server : info.clusters) {
    if (dir::SameUuid(server, cluster)) return cluster;
  }
  std::fprintf(stderr, "tarne-admin: %s is not a server sub-cluster of this directory\n",
               dir::UuidToText(cluster).c_str());
  return std::nullopt;
}

PEK_ReturnStatus WriteEntry(dir::EntryStore &store, dir::EntryKey *key, const TarneEntry &header,
                            std::span<const uint8_t> payload, bool nextRevision) {
  if (!store.Begin()) {
    std::fprintf(stderr, "tarne-admin: cannot write: %s\n", store.connection().LastError().c_str());
    return TARNE_STATUS_FAILURE;
  }
  const PEK_ReturnStatus status = nextRevision ? store.InsertNextRevision(key, header, payload)
                                               : store.Insert(*key, header, payload);
  if (status != TARNE_STATUS_SUCCESS) {
    store.Rollback();
    if (status == TARNE_STATUS_ALREADY_EXISTS) {
      std::fprintf(stderr, "tarne-admin: revision %llu of the entry already exists\n",
                   static_cast<unsigned long long>(key->revision));
    } else {
      std::fprintf(stderr, "tarne-admin: cannot write: %s\n",
                   store.connection().LastError().c_str());
    }
    return status;
  }
  if (!store.Commit()) {
    std::fprintf(stderr, "tarne-admin: cannot commit: %s\n",
                 store.connection().LastError().c_str());
    store.Rollback();
    return TARNE_STATUS_FAILURE;
  }
  return TARNE_STATUS_SUCCESS;
}

}  // namespace olva::admin

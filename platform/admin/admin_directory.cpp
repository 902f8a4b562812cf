#include "admin_directory.h"

#include <cstdio>

#include "client/tarne_status_codes.h"
#include "directory/directory_location.h"
#include "directory/store_opener.h"
#include "directory/uuid_util.h"

namespace olva::admin {

std::optional<OpenDirectory> OpenExistingDirectory(const std::string &location) {
  std::string error;
  OpenDirectory directory;
  directory.store = dir::OpenDirectoryStore(location, dir::NodePath(), &directory.info, &error);
  if (directory.store != nullptr) return directory;
  (void)std::fprintf(stderr, "tarne-admin: cannot open directory %s: %s\n", location.c_str(),
                     error.c_str());
  return std::nullopt;
}

std::optional<OlvaUUID> ServerCluster(const dir::DirectoryInfo &info, const OlvaUUID &cluster) {
  if (dir::IsNullUuid(cluster)) return info.clusters.front();
  for (const OlvaUUID &server : info.clusters) {
    if (dir::SameUuid(server, cluster)) return cluster;
  }
  (void)std::fprintf(stderr, "tarne-admin: %s is not a server sub-cluster of this directory\n",
                     dir::UuidToText(cluster).c_str());
  return std::nullopt;
}

PEK_ReturnStatus WriteEntry(const OpenDirectory &directory, const TarneEntry &header,
                            std::span<const uint8_t> payload, const OlvaUUID &cluster,
                            bool nextRevision) {
  std::vector<uint8_t> record = EntryRecord(header, payload);
  dir::AppliedUpdate applied =
      Request(nextRevision ? dir::UpdateRequest::Kind::kUpdate : dir::UpdateRequest::Kind::kAdd,
              record, cluster, directory.info);
  directory.store->ApplyBatch({&applied, 1});
  if (applied.status == TARNE_STATUS_ALREADY_EXISTS) {
    (void)std::fprintf(stderr, "tarne-admin: revision %llu of the entry already exists\n",
                       static_cast<unsigned long long>(header.revision));
  } else if (applied.status != TARNE_STATUS_SUCCESS) {
    (void)std::fprintf(stderr, "tarne-admin: cannot write: %s\n",
                       StoreFailureText(applied.status).c_str());
  }
  return applied.status;
}

}  // namespace olva::admin

#include "admin_directory.h"

#include <cstdio>
#include <cstring>

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
  std::fprintf(stderr, "tarne-admin: cannot open directory %s: %s\n", location.c_str(),
               error.c_str());
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

std::vector<uint8_t> EntryRecord(const TarneEntry &header, std::span<const uint8_t> payload) {
  std::vector<uint8_t> record(sizeof header + payload.size());
  std::memcpy(record.data(), &header, sizeof header);
  if (!payload.empty()) std::memcpy(record.data() + sizeof header, payload.data(), payload.size());
  return record;
}

dir::AppliedUpdate Request(dir::UpdateRequest::Kind kind, std::vector<uint8_t> &record,
                           const OlvaUUID &cluster, const dir::DirectoryInfo &info) {
  dir::AppliedUpdate applied;
  applied.request.kind = kind;
  applied.request.entry = reinterpret_cast<TarneEntry *>(record.data());
  applied.request.givenCluster = cluster;
  applied.request.cluster = cluster;
  applied.request.self = info.self;
  applied.entryLength = static_cast<uint32_t>(record.size());
  return applied;
}

std::string StoreFailureText(PEK_ReturnStatus status) {
  switch (status) {
    case TARNE_STATUS_BUSY:
      return "busy: another writer held the directory too long";
    case TARNE_STATUS_NO_CONNECTION:
      return "no connection: no member of the cluster answered";
    case TARNE_STATUS_LIMIT_EXCEEDED:
      return "limit exceeded";
    case TARNE_STATUS_QUOTA_EXCEEDED:
      return "quota exceeded: the cluster's space is exhausted (tarne-admin compact frees it)";
    default:
      char text[40];
      std::snprintf(text, sizeof text, "failure (status 0x%08X)", static_cast<unsigned>(status));
      return text;
  }
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
    std::fprintf(stderr, "tarne-admin: revision %llu of the entry already exists\n",
                 static_cast<unsigned long long>(header.revision));
  } else if (applied.status != TARNE_STATUS_SUCCESS) {
    std::fprintf(stderr, "tarne-admin: cannot write: %s\n",
                 StoreFailureText(applied.status).c_str());
  }
  return applied.status;
}

}  // namespace olva::admin

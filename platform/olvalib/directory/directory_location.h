// Where the directory lives and the knobs read from the environment when the library opens.
#ifndef OLVALIB_DIRECTORY_DIRECTORY_LOCATION_H
#define OLVALIB_DIRECTORY_DIRECTORY_LOCATION_H

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace olva::dir {

inline constexpr const char *kDirectoryVariable = "TARNE_DIRECTORY";
inline constexpr const char *kDefaultDirectoryPath = "/var/lib/tarne/directory.db";
// The node file of a host whose directory is a cluster: its identity and its TLS files.
inline constexpr const char *kNodeVariable = "TARNE_NODE";
inline constexpr const char *kDefaultNodePath = "/etc/tarne/node";
// The key prefix of a cluster location that names none.
inline constexpr const char *kDefaultClusterPrefix = "tarne";
// The longest key prefix a cluster location may name, in bytes: every key of its directory
// begins with it (escaped, up to three times as long), and the keys of one transaction must
// leave room for the largest payload.
inline constexpr size_t kMaxClusterPrefixBytes = 1024;
// The most requests one transaction applies; 1 measures a transaction per request.
inline constexpr const char *kBatchVariable = "TARNE_DIRECTORY_BATCH";

// TARNE_DIRECTORY when set and not empty, else the default path of a cluster host (the
// programs follow HostDirectoryLocation, which reads the node file between the two).
std::string DirectoryPath();
// TARNE_NODE when set and not empty, else the default node file.
std::string NodePath();
// A location beginning with etcd:// or etcds:// names a cluster, not a file.
bool IsClusterLocation(std::string_view location);

// etcd://HOST:PORT[,HOST:PORT...][/PREFIX], or etcds:// for TLS.
struct ClusterLocation {
  bool tls = false;
  std::vector<std::string> endpoints;  // HOST:PORT each
  std::string prefix;                  // without slashes at either end
};
// Nothing for a location that is not of that form: no endpoint, an endpoint without a port
// or with a port that is not 1 to 65535, an empty endpoint, a prefix with an empty part, or
// a prefix longer than kMaxClusterPrefixBytes.
std::optional<ClusterLocation> ParseClusterLocation(std::string_view location);

// TARNE_DIRECTORY_BATCH when it is a number from 1 to maximum, else fallback.
size_t BatchLimitFromEnvironment(size_t fallback, size_t maximum);

}  // namespace olva::dir

#endif  // OLVALIB_DIRECTORY_DIRECTORY_LOCATION_H

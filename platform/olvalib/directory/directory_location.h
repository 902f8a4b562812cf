// Where the directory lives and the knobs read from the environment when the library opens.
#ifndef OLVALIB_DIRECTORY_DIRECTORY_LOCATION_H
#define OLVALIB_DIRECTORY_DIRECTORY_LOCATION_H

#include <cstddef>
#include <string>
#include <string_view>

namespace olva::dir {

inline constexpr const char *kDirectoryVariable = "TARNE_DIRECTORY";
inline constexpr const char *kDefaultDirectoryPath = "/var/lib/tarne/directory.db";
// The most requests one transaction applies; 1 measures a transaction per request.
inline constexpr const char *kBatchVariable = "TARNE_DIRECTORY_BATCH";

// TARNE_DIRECTORY when set and not empty, else the default path of a cluster host.
std::string DirectoryPath();
// A location beginning with etcd:// or etcds:// names a cluster, not a file.
bool IsClusterLocation(std::string_view location);
// TARNE_DIRECTORY_BATCH when it is a number from 1 to maximum, else fallback.
size_t BatchLimitFromEnvironment(size_t fallback, size_t maximum);

}  // namespace olva::dir

#endif  // OLVALIB_DIRECTORY_DIRECTORY_LOCATION_H

// Who the directory serves: the node's own UUID and its server sub-clusters, as every store
// records them.
#ifndef OLVALIB_DIRECTORY_DIRECTORY_INFO_H
#define OLVALIB_DIRECTORY_DIRECTORY_INFO_H

#include <vector>

#include "client/tarne_client.h"

namespace olva::dir {

// What the directory knows about the node it serves.
struct DirectoryInfo {
  OlvaUUID self{};
  std::vector<OlvaUUID> clusters;  // server sub-clusters, the first one is the default
};

// A self and sub-clusters that a directory can record: at least one sub-cluster, no UUID
// given twice (the self UUID included), neither the null UUID nor the self marker.
bool ValidIdentity(const DirectoryInfo &info);

}  // namespace olva::dir

#endif  // OLVALIB_DIRECTORY_DIRECTORY_INFO_H

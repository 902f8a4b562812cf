#include "directory_info.h"

#include "uuid_util.h"

namespace olva::dir {

bool ValidIdentity(const DirectoryInfo &info) {
  if (info.clusters.empty() || IsNullUuid(info.self) || SameUuid(info.self, kSelfMarker)) {
    return false;
  }
  for (size_t i = 0; i < info.clusters.size(); ++i) {
    if (IsNullUuid(info.clusters[i]) || SameUuid(info.clusters[i], kSelfMarker) ||
        SameUuid(info.clusters[i], info.self)) {
      return false;
    }
    for (size_t j = 0; j < i; ++j) {
      if (SameUuid(info.clusters[i], info.clusters[j])) return false;
    }
  }
  return true;
}

}  // namespace olva::dir

// The one table of backends, by the location's scheme.
#include <string_view>

#include "backend_loader.h"
#include "directory_backend.h"
#include "sqlite/sqlite_backend.h"

namespace olva::dir {
namespace {

// The cluster backend's shared object, in the library's folder (the build names it so).
constexpr const char *kClusterBackendFile = "libtarne_etcd_backend.so";

// The cluster's backend, in a shared object of its own loaded at the first cluster location:
// a program on a file never loads gRPC.
const DirectoryBackend &ClusterBackend() {
  static const DirectoryBackend &backend = LoadBackend(kClusterBackendFile, "cluster backend");
  return backend;
}

struct BackendRow {
  std::string_view scheme;  // what the location begins with; empty: any other location
  const DirectoryBackend &(*backend)();
};

// A cluster location is never taken for a file name: the file's row comes last.
constexpr BackendRow kBackends[] = {
    {"etcd://", ClusterBackend},
    {"etcds://", ClusterBackend},
    {"", SqliteBackend},
};

}  // namespace

const DirectoryBackend &BackendFor(const std::string &location) {
  for (const BackendRow &row : kBackends) {
    if (location.starts_with(row.scheme)) return row.backend();
  }
  return SqliteBackend();  // not reached: the last row takes every location
}

}  // namespace olva::dir

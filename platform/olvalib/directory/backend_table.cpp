// The one table of backends, by the location's scheme.
#include <string_view>

#include "directory_backend.h"
#include "etcd/etcd_backend.h"
#include "sqlite/sqlite_backend.h"

namespace olva::dir {
namespace {

struct BackendRow {
  std::string_view scheme;  // what the location begins with; empty: any other location
  const DirectoryBackend &(*backend)();
};

// A cluster location is never taken for a file name: the file's row comes last.
constexpr BackendRow kBackends[] = {
    {"etcd://", EtcdBackend},
    {"etcds://", EtcdBackend},
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

// Creates a directory on an etcd cluster and a host's node file for it, through the library's
// own calls, for the benchmarks that need a fresh directory under a fresh prefix.
//
//   etcd_directory_create LOCATION NODE_FILE SELF CLUSTER          a new directory and its
//                                                                  first host
//   etcd_directory_create --join LOCATION NODE_FILE SELF CLUSTER   another host of the
//                                                                  directory: its node file
//
// LOCATION is etcd://HOST:PORT[,HOST:PORT...]/PREFIX. A directory already under the prefix is
// an error: a benchmark never measures one it did not start from empty.
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "client/tarne_status_codes.h"
#include "directory/directory_location.h"
#include "directory/etcd_store.h"
#include "directory/node_file.h"
#include "directory/uuid_util.h"

namespace {

int Fail(const std::string &what) {
  (void)std::fprintf(stderr, "etcd_directory_create: %s\n", what.c_str());
  return 1;
}

}  // namespace

int main(int argc, char **argv) {
  using namespace olva::dir;
  const bool join = argc == 6 && std::strcmp(argv[1], "--join") == 0;
  if (argc != 5 && !join) {
    return Fail("usage: etcd_directory_create [--join] LOCATION NODE_FILE SELF CLUSTER");
  }
  char **words = argv + (join ? 2 : 1);
  const std::optional<ClusterLocation> location = ParseClusterLocation(words[0]);
  if (!location || location->tls) return Fail(std::string("not an etcd:// location: ") + words[0]);
  NodeFile node;
  const std::optional<OlvaUUID> self = UuidFromText(words[2]);
  const std::optional<OlvaUUID> cluster = UuidFromText(words[3]);
  if (!self || !cluster) return Fail("bad UUID");
  node.identity.self = *self;
  node.identity.clusters.push_back(*cluster);

  std::string error;
  if (!join) {
    const PEK_ReturnStatus created = EtcdStore::CreateDirectory(*location, node.tls, false, &error);
    if (created != TARNE_STATUS_SUCCESS) return Fail("cannot create the directory: " + error);
  }
  if (WriteNodeFile(words[1], node, false, &error) != TARNE_STATUS_SUCCESS) {
    return Fail("cannot write the node file: " + error);
  }
  if (join && EtcdStore::Open(*location, node.tls, &error) == nullptr) {
    return Fail("cannot open the directory: " + error);
  }
  return 0;
}

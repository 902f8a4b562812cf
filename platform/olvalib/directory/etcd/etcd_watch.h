// A change watch on an etcd directory: a watch stream on the table order's keys, kept by one
// thread that moves to another member when its member goes away, stops answering or loses
// its leader. Waits are woken by the cluster's own events, not by polling.
#ifndef OLVALIB_DIRECTORY_ETCD_WATCH_H
#define OLVALIB_DIRECTORY_ETCD_WATCH_H

#include <memory>
#include <string>

#include "directory/directory_store.h"
#include "etcd_client.h"

namespace olva::dir::etcd {

// The watch looks for a member that accepts it for as long as it lives; it cannot Mark until
// one has. The client outlives the watch.
std::unique_ptr<ChangeWatch> WatchRange(Client &client, std::string begin, std::string end);

}  // namespace olva::dir::etcd

#endif  // OLVALIB_DIRECTORY_ETCD_WATCH_H

// The record of the directory on an etcd cluster (directory_backend.h).
#ifndef OLVALIB_DIRECTORY_ETCD_BACKEND_H
#define OLVALIB_DIRECTORY_ETCD_BACKEND_H

#include "directory/directory_backend.h"

namespace olva::dir {

const DirectoryBackend &EtcdBackend();

}  // namespace olva::dir

#endif  // OLVALIB_DIRECTORY_ETCD_BACKEND_H

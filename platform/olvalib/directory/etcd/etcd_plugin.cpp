// The cluster backend's shared object, which the library loads only for a cluster location
// (directory/backend_loader.h): its one exported symbol hands the loader the record.
#include "directory/directory_backend.h"
#include "etcd_backend.h"

extern "C" __attribute__((visibility("default"))) const olva::dir::DirectoryBackend *
tarne_directory_backend(const olva::dir::BackendHost *host) {
  // The waits that bound this backend's calls run in the program's copy of the runtime.
  olva::dir::CallBound::ReadFrom(host->callBound);
  return &olva::dir::EtcdBackend();
}

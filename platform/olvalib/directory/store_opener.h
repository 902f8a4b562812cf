// Opens the store a location names: a SQLite file, or an etcd cluster with this host's
// identity read from its node file.
#ifndef OLVALIB_DIRECTORY_STORE_OPENER_H
#define OLVALIB_DIRECTORY_STORE_OPENER_H

#include <memory>
#include <string>

#include "directory_info.h"
#include "directory_store.h"

namespace olva::dir {

// Nothing, and *error, when the directory cannot be opened: a missing or foreign file, a
// cluster location that does not parse, a node file that cannot be read, or no member
// answering.
std::unique_ptr<DirectoryStore> OpenDirectoryStore(const std::string &location,
                                                   const std::string &nodePath, DirectoryInfo *info,
                                                   std::string *error);

}  // namespace olva::dir

#endif  // OLVALIB_DIRECTORY_STORE_OPENER_H

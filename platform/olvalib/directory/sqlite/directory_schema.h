// The directory database: its tables, its creation and the identity it records.
#ifndef OLVALIB_DIRECTORY_DIRECTORY_SCHEMA_H
#define OLVALIB_DIRECTORY_DIRECTORY_SCHEMA_H

#include <string>
#include <vector>

#include "client/tarne_client.h"
#include "directory/directory_info.h"
#include "sqlite_connection.h"

namespace olva::dir {

inline constexpr const char *kFormatName = "tarne-directory";
inline constexpr int kFormatVersion = 1;

// Creates the database file, readable and writable by its owner only, with the schema and the
// node's identity. Already exists: the file is there and force is false (force replaces it,
// its -wal and -shm companions included). Bad parameter: no cluster, or a cluster given
// twice, or the self marker or null UUID used as an identity. Failure: *error says why.
PEK_ReturnStatus CreateDirectory(const std::string &path, const DirectoryInfo &info, bool force,
                                 std::string *error);

// Reads the node's identity; false (and *error) when the file is not a directory of this
// format.
bool ReadDirectoryInfo(Connection &connection, DirectoryInfo *info, std::string *error);

}  // namespace olva::dir

#endif  // OLVALIB_DIRECTORY_DIRECTORY_SCHEMA_H

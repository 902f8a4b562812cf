// The sub-cluster of the rows a thread was last given. A header carries no sub-cluster, so
// when one entry sits in several sub-clusters the header alone cannot tell which of its rows
// a next lookup continues from; each thread remembers that for its last few lookups.
#ifndef OLVALIB_DIRECTORY_CURSOR_MEMORY_H
#define OLVALIB_DIRECTORY_CURSOR_MEMORY_H

#include <optional>

#include "client/tarne_client.h"
#include "entry_key.h"

namespace olva::dir {

// Records that the query's lookup on this thread returned the row.
void RememberReturnedRow(const TarneQuery &query, const EntryKey &row);

// The sub-cluster of the row with the identity (uuid, owner, type, revision) that this thread
// returned last: for this query if it returned one, else for any query.
std::optional<OlvaUUID> RememberedCluster(const TarneQuery &query, const EntryKey &identity);

// The sub-cluster of the row with this identity that an all-clusters lookup of this thread
// returned, when it is the last row this thread returned at all: re-reading that entry with an
// exact query reads the same row.
std::optional<OlvaUUID> ClusterOfLastAllClustersRow(const EntryKey &identity);

}  // namespace olva::dir

#endif  // OLVALIB_DIRECTORY_CURSOR_MEMORY_H

// Where `tarne-admin restore` puts the entries of a dump, and how it takes them back after a
// failure: the one place where restoring into a SQLite file differs from restoring into a
// cluster. The file takes the whole dump in one transaction (all or nothing); a cluster
// takes it in batches, and a failed restore removes what it had loaded.
#ifndef TARNE_ADMIN_RESTORE_TARGET_H
#define TARNE_ADMIN_RESTORE_TARGET_H

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "admin_directory.h"
#include "directory/entry_key.h"

namespace olva::admin {

class RestoreTarget {
 public:
  virtual ~RestoreTarget() = default;

  // The entries the directory holds before the load; nothing, and *error, when it cannot
  // be read.
  virtual std::optional<uint64_t> CountEntries(std::string *error) = 0;
  // Stores the dump's number-th entry at its revision, under the key's owner and
  // sub-cluster. False, and *error, when it or an earlier entry not yet written failed.
  virtual bool Add(uint64_t number, const dir::EntryKey &key, const TarneEntry &entry,
                   std::string *error) = 0;
  // Makes every entry added durable; false, and *error, when that failed.
  virtual bool Finish(std::string *error) = 0;
  // Takes back what was loaded after a failure: "nothing was restored", or what is left.
  virtual std::string Abandon() = 0;
};

// The target of the directory the location names, opened beside the directory's store.
// Nothing, and *error, when it cannot be written.
std::unique_ptr<RestoreTarget> OpenRestoreTarget(const std::string &location,
                                                 const OpenDirectory &directory,
                                                 std::string *error);

// "entry N (uuid U, owner O, type T, revision R)", as restore's messages name entries.
std::string DescribeEntry(uint64_t number, const dir::EntryKey &key);

}  // namespace olva::admin

#endif  // TARNE_ADMIN_RESTORE_TARGET_H

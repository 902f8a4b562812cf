// Where `tarne-admin restore` puts the entries of a dump, and how it takes them back after a
// failure; each backend opens its own (directory_backend.h). The requests tarne-admin writes
// through a store are built here too, for the loads and for the commands alike.
#ifndef OLVALIB_DIRECTORY_BULK_LOAD_H
#define OLVALIB_DIRECTORY_BULK_LOAD_H

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "client/tarne_client.h"
#include "directory_info.h"
#include "directory_store.h"
#include "entry_key.h"

namespace olva::dir {

class BulkLoad {
 public:
  virtual ~BulkLoad() = default;

  // The entries the directory holds before the load; nothing, and *error, when it cannot
  // be read.
  virtual std::optional<uint64_t> CountEntries(std::string *error) = 0;
  // Stores the dump's number-th entry at its revision, under the key's owner and
  // sub-cluster. False, and *error, when it or an earlier entry not yet written failed.
  virtual bool Add(uint64_t number, const EntryKey &key, const TarneEntry &entry,
                   std::string *error) = 0;
  // Makes every entry added durable; false, and *error, when that failed.
  virtual bool Finish(std::string *error) = 0;
  // Takes back what was loaded after a failure: "nothing was restored", or what is left.
  virtual std::string Abandon() = 0;
};

// A load through the store's own batches, for a directory where no transaction holds a
// whole dump: a failed load deletes, as best it can, every entry it may have stored.
std::unique_ptr<BulkLoad> MakeBatchedLoad(DirectoryStore &store, const DirectoryInfo &info);

// "entry N (uuid U, owner O, type T, revision R)", as restore's messages name entries.
std::string DescribeEntry(uint64_t number, const EntryKey &key);

// The message for a request of a load that failed with the status; storeError says why the
// store failed.
std::string LoadFailure(uint64_t number, const EntryKey &key, PEK_ReturnStatus status,
                        const std::string &storeError);

// What a failure status of the store means, for messages.
std::string StoreFailureText(PEK_ReturnStatus status);

// A whole entry record, the header followed by the payload, as the store's requests take it.
std::vector<uint8_t> EntryRecord(const TarneEntry &header, std::span<const uint8_t> payload);

// A request of the kind for the record in the sub-cluster; the self marker as owner stands
// for the node itself.
AppliedUpdate Request(UpdateRequest::Kind kind, std::vector<uint8_t> &record,
                      const OlvaUUID &cluster, const DirectoryInfo &info);

}  // namespace olva::dir

#endif  // OLVALIB_DIRECTORY_BULK_LOAD_H

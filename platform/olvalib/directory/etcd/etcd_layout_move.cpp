// Moving a directory written in the earlier key layout (its prefix as given, unescaped) to the
// current one: every row copied under the current keys, then, in one transaction that holds
// only while the earlier rows did not change meanwhile, the marker moved and the earlier rows
// deleted. Until that transaction the copies are invisible (no marker), so a move that stops
// half way leaves the earlier directory whole, and running it again starts over.
#include "client/tarne_status_codes.h"
#include "etcd_keys.h"
#include "etcd_store.h"

namespace olva::dir {
namespace {

constexpr uint32_t kMovePage = 256;
constexpr int kMoveOperations = static_cast<int>(kMaxTransactionOperations);

// Whether the key exists; *answered false when no member answered.
bool KeyThere(etcd::Client &client, const std::string &key, bool *answered) {
  etcd::pb::RangeRequest request;
  request.set_key(key);
  request.set_count_only(true);
  etcd::pb::RangeResponse response;
  *answered =
      client
          .Range(request, &response, std::chrono::steady_clock::now() + etcd::kFirstAnswerDeadline)
          .ok();
  return *answered && response.count() > 0;
}

}  // namespace

PEK_ReturnStatus EtcdStore::MoveEarlierLayout(const ClusterLocation &location, const TlsFiles &tls,
                                              uint64_t *moved, std::string *error) {
  *moved = 0;
  std::unique_ptr<etcd::Client> client = etcd::Client::Connect(location, tls, error);
  if (client == nullptr) return TARNE_STATUS_FAILURE;
  const std::string keyPrefix = etcd::DirectoryKeyPrefix(location.prefix);
  const std::string earlier = etcd::EarlierKeyPrefix(location.prefix);
  if (!etcd::EarlierLayoutDistinct(location.prefix)) {
    *error = "no directory of the earlier key layout can be told apart under " + location.prefix;
    return TARNE_STATUS_NOT_FOUND;
  }
  bool answered = false;
  const bool current = KeyThere(*client, keyPrefix + "format", &answered);
  if (answered && current) {
    *error = "a directory of the current key layout is under " + location.prefix;
    return TARNE_STATUS_ALREADY_EXISTS;
  }
  const bool there = answered && KeyThere(*client, earlier + "format", &answered);
  if (!answered) {
    *error = "no member answered";
    return TARNE_STATUS_NO_CONNECTION;
  }
  if (!there) {
    *error = "no directory of the earlier key layout under " + location.prefix;
    return TARNE_STATUS_NOT_FOUND;
  }

  // The copies, in transactions of at most kMoveOperations puts and the request limit.
  etcd::pb::TxnRequest copies;
  uint64_t copyBytes = 0;
  const auto send = [&] {
    if (copies.success_size() == 0) return true;
    etcd::pb::TxnResponse response;
    const grpc::Status status = client->Txn(copies, &response);
    copies.Clear();
    copyBytes = 0;
    if (!status.ok()) *error = "cannot write: " + status.error_message();
    return status.ok();
  };
  int64_t revision = 0;  // every page read at the first one's revision
  for (const ColumnOrder &order : kEtcdOrders) {
    etcd::KeyRange range = etcd::OrderRange(earlier, order);
    etcd::pb::RangeRequest request;
    request.set_range_end(range.end);
    request.set_limit(kMovePage);
    for (bool more = true; more;) {
      request.set_key(range.begin);
      request.set_revision(revision);
      etcd::pb::RangeResponse page;
      const grpc::Status status = client->Range(request, &page);
      if (!status.ok()) {
        *error = "cannot read: " + status.error_message();
        return TARNE_STATUS_FAILURE;
      }
      revision = page.header().revision();
      for (const mvccpb::KeyValue &stored : page.kvs()) {
        const std::optional<EntryKey> row = etcd::ParseRowKey(earlier, order, stored.key());
        if (!row) continue;  // not a row of the earlier directory's
        std::string key = etcd::RowKey(keyPrefix, order, *row);
        const uint64_t bytes = key.size() + stored.value().size() + kOperationFraming;
        if (copies.success_size() == kMoveOperations ||
            copyBytes + bytes > kEtcdMaxRequestBytes - kRequestOverhead) {
          if (!send()) return TARNE_STATUS_FAILURE;
        }
        etcd::pb::PutRequest *put = copies.add_success()->mutable_request_put();
        put->set_key(std::move(key));
        put->set_value(stored.value());
        copyBytes += bytes;
        if (order == kTableOrder) ++*moved;
      }
      more = page.more() && page.kvs_size() > 0;
      if (more) range.begin = page.kvs(page.kvs_size() - 1).key() + '\0';
    }
  }
  if (!send()) return TARNE_STATUS_FAILURE;

  // The switch: only if nothing of the earlier directory changed since it was read.
  etcd::pb::TxnRequest change;
  const auto unchanged = [&](const std::string &begin, const std::string &end) {
    etcd::pb::Compare *compare = change.add_compare();
    compare->set_key(begin);
    if (!end.empty()) compare->set_range_end(end);
    compare->set_target(etcd::pb::Compare::MOD);
    compare->set_result(etcd::pb::Compare::LESS);
    compare->set_mod_revision(revision + 1);
  };
  unchanged(earlier + "format", {});
  for (const ColumnOrder &order : kEtcdOrders) {
    const etcd::KeyRange range = etcd::OrderRange(earlier, order);
    unchanged(range.begin, range.end);
    etcd::pb::DeleteRangeRequest *rows = change.add_success()->mutable_request_delete_range();
    rows->set_key(range.begin);
    rows->set_range_end(range.end);
  }
  change.add_success()->mutable_request_delete_range()->set_key(earlier + "format");
  etcd::pb::PutRequest *mark = change.add_success()->mutable_request_put();
  mark->set_key(keyPrefix + "format");
  mark->set_value(std::string(kEtcdFormatValue));
  etcd::pb::TxnResponse response;
  const grpc::Status status = client->Txn(change, &response);
  if (!status.ok()) {
    *error = "cannot write: " + status.error_message();
    return TARNE_STATUS_FAILURE;
  }
  if (!response.succeeded()) {
    *error =
        "the directory changed while it was moved (stop the hosts that write it, then move "
        "it again)";
    return TARNE_STATUS_BUSY;
  }
  return TARNE_STATUS_SUCCESS;
}

}  // namespace olva::dir

#include "entry_store.h"

#include <cstring>
#include <limits>

#include "client/tarne_status_codes.h"

namespace olva::dir {
namespace {

EntryKey KeyOfRow(const StatementUse &use) {
  EntryKey key;
  std::memcpy(key.uuid.bytes, use.Blob(0).data(), sizeof key.uuid.bytes);
  std::memcpy(key.owner.bytes, use.Blob(1).data(), sizeof key.owner.bytes);
  key.type = static_cast<uint8_t>(use.Int(2));
  key.revision = DecodeRevision(use.Blob(3).first<8>());
  std::memcpy(key.cluster.bytes, use.Blob(4).data(), sizeof key.cluster.bytes);
  return key;
}

// The fixed-size columns are checked by the schema; a row that still breaks them (a file
// changed by other means) is reported as a failure rather than read past its bytes.
bool RowIsWellFormed(const StatementUse &use) {
  return use.Blob(0).size() == 16 && use.Blob(1).size() == 16 && use.Blob(3).size() == 8 &&
         use.Blob(4).size() == 16 && use.Blob(5).size() == sizeof(TarneEntry);
}

PEK_ReturnStatus StoreStatus(int result) {
  return (result & 0xff) == SQLITE_BUSY || (result & 0xff) == SQLITE_LOCKED ? TARNE_STATUS_BUSY
                                                                            : TARNE_STATUS_FAILURE;
}

std::span<const uint8_t> BytesOf(const TarneEntry &header) {
  return {reinterpret_cast<const uint8_t *>(&header), sizeof header};
}

}  // namespace

bool IsStoreFailure(PEK_ReturnStatus status) {
  return status == TARNE_STATUS_FAILURE || status == TARNE_STATUS_BUSY;
}

PEK_ReturnStatus EntryStore::Scan(const MatchCriteria &criteria,
                                  const std::optional<EntryKey> &after, uint32_t limit,
                                  const RowSink &sink) {
  Resume resume;
  if (after) {
    resume = ResumeAfter(criteria, *after);
    if (resume.from == Resume::From::kNothing) return TARNE_STATUS_SUCCESS;
  }
  sqlite3_stmt *statement = connection_->Prepared(MatchStatementKey(criteria, resume),
                                                  [&] { return MatchSql(criteria, resume); });
  if (statement == nullptr) return TARNE_STATUS_FAILURE;
  StatementUse use(statement);

  // Bound values must outlive the statement's use.
  RevisionBytes fixedRevision{};
  RevisionBytes cursorRevision{};
  if (criteria.uuid) use.BindBlob(kFixedParameter + 0, criteria.uuid->bytes);
  if (criteria.owner) use.BindBlob(kFixedParameter + 1, criteria.owner->bytes);
  if (criteria.type) use.BindInt(kFixedParameter + 2, *criteria.type);
  if (criteria.revision) {
    fixedRevision = EncodeRevision(*criteria.revision);
    use.BindBlob(kFixedParameter + 3, fixedRevision);
  }
  if (criteria.cluster) use.BindBlob(kFixedParameter + 4, criteria.cluster->bytes);
  if (resume.from == Resume::From::kAfter) {
    cursorRevision = EncodeRevision(after->revision);
    use.BindBlob(kCursorParameter + 0, after->uuid.bytes);
    use.BindBlob(kCursorParameter + 1, after->owner.bytes);
    use.BindInt(kCursorParameter + 2, after->type);
    use.BindBlob(kCursorParameter + 3, cursorRevision);
    use.BindBlob(kCursorParameter + 4, after->cluster.bytes);
  }
  use.BindInt(kLimitParameter, limit);

  int step;
  while ((step = use.Step()) == SQLITE_ROW) {
    if (!RowIsWellFormed(use)) return TARNE_STATUS_FAILURE;
    RowView row{KeyOfRow(use), use.Blob(5), use.Blob(6)};
    TarneEntry header;
    std::memcpy(&header, row.header.data(), sizeof header);
    if (header.valueLen != row.value.size()) return TARNE_STATUS_FAILURE;
    if (!sink(row)) return TARNE_STATUS_SUCCESS;
  }
  if (step != SQLITE_DONE) return StoreStatus(step);
  return TARNE_STATUS_SUCCESS;
}

bool EntryStore::Begin() {
  return connection_->Execute("BEGIN IMMEDIATE");
}
bool EntryStore::Commit() {
  return connection_->Execute("COMMIT");
}
void EntryStore::Rollback() {
  connection_->Execute("ROLLBACK");
}

PEK_ReturnStatus EntryStore::Insert(const EntryKey &key, const TarneEntry &header,
                                    std::span<const uint8_t> value) {
  if (value.size() > connection_->MaxValueBytes()) return TARNE_STATUS_LIMIT_EXCEEDED;
  sqlite3_stmt *statement = connection_->Prepared(kKeyInsertEntry, [] {
    return std::string(
        "INSERT INTO entries(uuid, owner, type, revision, cluster, header, value) "
        "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)");
  });
  if (statement == nullptr) return TARNE_STATUS_FAILURE;
  const RevisionBytes revision = EncodeRevision(key.revision);
  const TarneEntry stored = StoredHeader(key, header, value.size());
  StatementUse use(statement);
  use.BindBlob(1, key.uuid.bytes);
  use.BindBlob(2, key.owner.bytes);
  use.BindInt(3, key.type);
  use.BindBlob(4, revision);
  use.BindBlob(5, key.cluster.bytes);
  use.BindBlob(6, BytesOf(stored));
  // A zero-length blob binds as NULL when its address is null; the column wants a value.
  static constexpr uint8_t kNoBytes[1] = {0};
  use.BindBlob(7, value.empty() ? std::span<const uint8_t>(kNoBytes, 0) : value);
  const int step = use.Step();
  if (step == SQLITE_DONE) return TARNE_STATUS_SUCCESS;
  if (step == SQLITE_CONSTRAINT_PRIMARYKEY) return TARNE_STATUS_ALREADY_EXISTS;
  // A row past the limit is this request's own fault; the transaction goes on without it.
  if (step == SQLITE_TOOBIG) return TARNE_STATUS_LIMIT_EXCEEDED;
  return StoreStatus(step);
}

PEK_ReturnStatus EntryStore::InsertNextRevision(EntryKey *key, const TarneEntry &header,
                                                std::span<const uint8_t> value) {
  sqlite3_stmt *latest = connection_->Prepared(kKeyLatestRevision, [] {
    return std::string(
        "SELECT revision FROM entries WHERE uuid = ?1 AND owner = ?2 AND type = ?3 "
        "AND cluster = ?4 ORDER BY revision DESC LIMIT 1");
  });
  sqlite3_stmt *dropOlder = connection_->Prepared(kKeyDeleteOlderRevisions, [] {
    return std::string(
        "DELETE FROM entries WHERE uuid = ?1 AND owner = ?2 AND type = ?3 AND cluster = ?4 "
        "AND revision < ?5");
  });
  if (latest == nullptr || dropOlder == nullptr) return TARNE_STATUS_FAILURE;
  uint64_t next = 1;
  {
    StatementUse use(latest);
    use.BindBlob(1, key->uuid.bytes);
    use.BindBlob(2, key->owner.bytes);
    use.BindInt(3, key->type);
    use.BindBlob(4, key->cluster.bytes);
    const int step = use.Step();
    if (step == SQLITE_ROW) {
      if (use.Blob(0).size() != 8) return TARNE_STATUS_FAILURE;
      const uint64_t current = DecodeRevision(use.Blob(0).first<8>());
      if (current == std::numeric_limits<uint64_t>::max()) return TARNE_STATUS_LIMIT_EXCEEDED;
      next = current + 1;
    } else if (step != SQLITE_DONE) {
      return StoreStatus(step);
    }
  }
  key->revision = next;
  const PEK_ReturnStatus inserted = Insert(*key, header, value);
  if (inserted != TARNE_STATUS_SUCCESS) return inserted;
  const RevisionBytes revision = EncodeRevision(next);
  StatementUse use(dropOlder);
  use.BindBlob(1, key->uuid.bytes);
  use.BindBlob(2, key->owner.bytes);
  use.BindInt(3, key->type);
  use.BindBlob(4, key->cluster.bytes);
  use.BindBlob(5, revision);
  const int step = use.Step();
  if (step != SQLITE_DONE) return StoreStatus(step);
  return TARNE_STATUS_SUCCESS;
}

PEK_ReturnStatus EntryStore::Remove(const OlvaUUID &uuid, const std::optional<OlvaUUID> &owner,
                                    uint8_t type, const std::optional<uint64_t> &revision,
                                    const OlvaUUID &cluster) {
  sqlite3_stmt *statement = connection_->Prepared(kKeyDeleteEntry, [] {
    return std::string(
        "DELETE FROM entries WHERE uuid = ?1 AND type = ?3 AND cluster = ?5 "
        "AND (?2 IS NULL OR owner = ?2) AND (?4 IS NULL OR revision = ?4)");
  });
  if (statement == nullptr) return TARNE_STATUS_FAILURE;
  RevisionBytes revisionBytes{};
  StatementUse use(statement);
  use.BindBlob(1, uuid.bytes);
  if (owner) use.BindBlob(2, owner->bytes);
  use.BindInt(3, type);
  if (revision) {
    revisionBytes = EncodeRevision(*revision);
    use.BindBlob(4, revisionBytes);
  }
  use.BindBlob(5, cluster.bytes);
  const int step = use.Step();
  if (step != SQLITE_DONE) return StoreStatus(step);
  return sqlite3_changes(connection_->Handle()) > 0 ? TARNE_STATUS_SUCCESS : TARNE_STATUS_NOT_FOUND;
}

std::optional<uint64_t> EntryStore::CountEntries() {
  sqlite3_stmt *statement = connection_->Prepared(
      kKeyCountEntries, [] { return std::string("SELECT count(*) FROM entries"); });
  if (statement == nullptr) return std::nullopt;
  StatementUse use(statement);
  if (use.Step() != SQLITE_ROW) return std::nullopt;
  return static_cast<uint64_t>(use.Int(0));
}

}  // namespace olva::dir

#include "read_ahead.h"

#include <cstring>

#include "uuid_util.h"

namespace olva::dir {
namespace {

bool SameKey(const EntryKey &a, const EntryKey &b) {
  return SameUuid(a.uuid, b.uuid) && SameUuid(a.owner, b.owner) && a.type == b.type &&
         a.revision == b.revision && SameUuid(a.cluster, b.cluster);
}

}  // namespace

void ReadAhead::Begin(const TarneQuery &query, const ReadAheadStamp &stamp, PageSize size) {
  valid_ = true;
  size_ = size;
  complete_ = false;
  query_ = query;
  stamp_ = stamp;
  rows_.clear();
  bytes_.clear();  // keeps its capacity: a listing reuses one buffer
  served_ = 0;
}

bool ReadAhead::Add(const RowView &row) {
  rows_.push_back({row.key, bytes_.size(), row.value.size()});
  bytes_.insert(bytes_.end(), row.header.begin(), row.header.end());
  bytes_.insert(bytes_.end(), row.value.begin(), row.value.end());
  return rows_.size() < size_.rows && bytes_.size() < size_.bytes;
}

ReadAhead::Outcome ReadAhead::Next(const TarneQuery &query, const EntryKey &cursor,
                                   const ReadAheadStamp &now, RowView *row) {
  if (!valid_ || served_ == 0 || now.generation != stamp_.generation ||
      now.commits != stamp_.commits || now.at - usedAt_ > kReadAheadLifetime ||
      now.at - stamp_.at > kReadAheadMaxAge || std::memcmp(&query, &query_, sizeof query) != 0 ||
      !SameKey(rows_[served_ - 1].key, cursor)) {
    return Outcome::kMiss;
  }
  if (served_ == rows_.size()) return complete_ ? Outcome::kNoMore : Outcome::kMiss;
  usedAt_ = now.at;
  const Row &next = rows_[served_++];
  const uint8_t *bytes = bytes_.data() + next.offset;
  *row =
      RowView{next.key, {bytes, sizeof(TarneEntry)}, {bytes + sizeof(TarneEntry), next.valueSize}};
  return Outcome::kRow;
}

ReadAhead &ThreadReadAhead() {
  thread_local ReadAhead page;
  return page;
}

}  // namespace olva::dir

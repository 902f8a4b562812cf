#include "match_criteria.h"

#include "uuid_util.h"

namespace olva::dir {
namespace {

template <typename T>
int Compare(const T &a, const T &b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

// The cursor's column against the value the query fixes, in the column's stored order.
int CompareWithFixed(const MatchCriteria &criteria, const EntryKey &cursor, Column column) {
  switch (column) {
    case Column::kUuid:
      return CompareUuid(cursor.uuid, *criteria.uuid);
    case Column::kOwner:
      return CompareUuid(cursor.owner, *criteria.owner);
    case Column::kType:
      return Compare<int>(cursor.type, *criteria.type);
    case Column::kRevision:
      return Compare(cursor.revision, *criteria.revision);
    case Column::kCluster:
      return CompareUuid(cursor.cluster, *criteria.cluster);
  }
  return 0;
}

}  // namespace

bool IsFixed(const MatchCriteria &criteria, Column column) {
  switch (column) {
    case Column::kUuid:
      return criteria.uuid.has_value();
    case Column::kOwner:
      return criteria.owner.has_value();
    case Column::kType:
      return criteria.type.has_value();
    case Column::kRevision:
      return criteria.revision.has_value();
    case Column::kCluster:
      return criteria.cluster.has_value();
  }
  return false;
}

MatchCriteria ResolveQuery(const TarneQuery &query, const DirectoryInfo &info) {
  MatchCriteria criteria;
  if ((query.flags & TARNE_QUERY_ANY_UUID) == 0) criteria.uuid = query.uuid;
  if ((query.flags & TARNE_QUERY_ANY_OWNER) == 0)
    criteria.owner = ResolveOwner(query.owner, info.self);
  if ((query.flags & TARNE_QUERY_ANY_TYPE) == 0) criteria.type = query.type;
  criteria.latest = (query.flags & TARNE_QUERY_LATEST_REVISION) != 0;
  if (!criteria.latest && (query.flags & TARNE_QUERY_ANY_REVISION) == 0) {
    criteria.revision = query.revision;
  }
  if ((query.flags & TARNE_QUERY_ALL_CLUSTERS) == 0) {
    criteria.cluster = IsNullUuid(query.cluster) ? info.clusters.front() : query.cluster;
  }
  return criteria;
}

ColumnOrder MatchOrder(const MatchCriteria &criteria) {
  if (criteria.uuid) return kTableOrder;
  if (criteria.owner) return kOwnerIndexOrder;
  if (criteria.type) return kTypeIndexOrder;
  return kTableOrder;
}

Resume ResumeAfter(const MatchCriteria &criteria, const EntryKey &cursor) {
  const ColumnOrder order = MatchOrder(criteria);
  // Every match shares the leading fixed columns, so the cursor is placed by them alone
  // until the first column that varies among matches.
  for (size_t i = 0; i < order.size(); ++i) {
    if (!IsFixed(criteria, order[i])) return {Resume::From::kAfter, i};
    const int comparison = CompareWithFixed(criteria, cursor, order[i]);
    if (comparison < 0) return {Resume::From::kStart, 0};
    if (comparison > 0) return {Resume::From::kNothing, 0};
  }
  return {Resume::From::kNothing, 0};  // the cursor is the only possible match
}

}  // namespace olva::dir

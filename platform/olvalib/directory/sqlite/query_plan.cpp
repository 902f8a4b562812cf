#include "query_plan.h"

#include "directory/uuid_util.h"
#include "sqlite_connection.h"

namespace olva::dir {
namespace {

constexpr std::array<const char *, kColumnCount> kColumnNames{"uuid", "owner", "type", "revision",
                                                              "cluster"};

// "?N" for a numbered parameter.
std::string Parameter(int number) {
  std::string text(1, '?');
  text += std::to_string(number);
  return text;
}

const char *Name(Column column) {
  return kColumnNames[static_cast<size_t>(column)];
}
int Number(Column column) {
  return static_cast<int>(column);
}

bool IsFixed(const MatchSpec &criteria, Column column) {
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

template <typename T>
int Compare(const T &a, const T &b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

// The cursor's column against the value the query fixes, in the column's stored order.
int CompareWithFixed(const MatchSpec &criteria, const EntryKey &cursor, Column column) {
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

uint32_t FixedMask(const MatchSpec &criteria) {
  uint32_t mask = 0;
  for (Column column : kTableOrder) {
    if (IsFixed(criteria, column)) mask |= 1u << Number(column);
  }
  return mask;
}

}  // namespace

MatchSpec ResolveQuery(const TarneQuery &query, const DirectoryInfo &info) {
  MatchSpec criteria;
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

ColumnOrder MatchOrder(const MatchSpec &criteria) {
  if (criteria.uuid) return kTableOrder;
  if (criteria.owner) return kOwnerIndexOrder;
  if (criteria.type) return kTypeIndexOrder;
  return kTableOrder;
}

Resume ResumeAfter(const MatchSpec &criteria, const EntryKey &cursor) {
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

std::string MatchSql(const MatchSpec &criteria, const Resume &resume) {
  const ColumnOrder order = MatchOrder(criteria);
  std::string sql =
      "SELECT uuid, owner, type, revision, cluster, header, value FROM entries AS e WHERE 1";
  // The leading fixed columns of the order are the index's search key. The other fixed
  // columns are filters, written with a unary plus: as plain equalities the planner would drop
  // them from the order it expects of the index, and sort.
  size_t searched = 0;
  while (searched < order.size() && IsFixed(criteria, order[searched])) ++searched;
  for (size_t i = 0; i < order.size(); ++i) {
    if (!IsFixed(criteria, order[i])) continue;
    sql += i < searched ? " AND e." : " AND +e.";
    sql += Name(order[i]);
    sql += " = ";
    sql += Parameter(kFixedParameter + Number(order[i]));
  }
  if (criteria.latest) {
    sql +=
        " AND NOT EXISTS (SELECT 1 FROM entries AS n WHERE n.uuid = e.uuid AND n.owner = "
        "e.owner AND n.type = e.type AND n.cluster = e.cluster AND n.revision > e.revision)";
  }
  if (resume.from == Resume::From::kAfter) {
    std::string columns;
    std::string values;
    for (size_t i = resume.firstColumn; i < order.size(); ++i) {
      if (!columns.empty()) {
        columns += ", ";
        values += ", ";
      }
      columns += "e.";
      columns += Name(order[i]);
      values += Parameter(kCursorParameter + Number(order[i]));
    }
    sql += " AND (";
    sql += columns;
    sql += ") > (";
    sql += values;
    sql += ")";
  }
  sql += " ORDER BY ";
  for (size_t i = 0; i < order.size(); ++i) {
    if (i != 0) sql += ", ";
    sql += "e.";
    sql += Name(order[i]);
  }
  sql += " LIMIT ";
  sql += Parameter(kLimitParameter);
  return sql;
}

uint32_t MatchStatementKey(const MatchSpec &criteria, const Resume &resume) {
  uint32_t key = FixedMask(criteria) | (criteria.latest ? 1u << kColumnCount : 0u);
  if (resume.from == Resume::From::kAfter) {
    key |= static_cast<uint32_t>(resume.firstColumn + 1) << (kColumnCount + 1);
  }
  return kFirstQueryKey + key;
}

}  // namespace olva::dir

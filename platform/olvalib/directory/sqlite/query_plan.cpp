#include "query_plan.h"

#include <array>

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

uint32_t FixedMask(const MatchCriteria &criteria) {
  uint32_t mask = 0;
  for (Column column : kTableOrder) {
    if (IsFixed(criteria, column)) mask |= 1u << Number(column);
  }
  return mask;
}

}  // namespace

std::string MatchSql(const MatchCriteria &criteria, const Resume &resume) {
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

uint32_t MatchStatementKey(const MatchCriteria &criteria, const Resume &resume) {
  uint32_t key = FixedMask(criteria) | (criteria.latest ? 1u << kColumnCount : 0u);
  if (resume.from == Resume::From::kAfter) {
    key |= static_cast<uint32_t>(resume.firstColumn + 1) << (kColumnCount + 1);
  }
  return kFirstQueryKey + key;
}

}  // namespace olva::dir

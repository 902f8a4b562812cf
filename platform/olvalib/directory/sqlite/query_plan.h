// How a query becomes SQL: the statement that reads a match's rows in its key order,
// the table's or an index's, from where the cursor resumes (directory/match_criteria.h).
#ifndef OLVALIB_DIRECTORY_QUERY_PLAN_H
#define OLVALIB_DIRECTORY_QUERY_PLAN_H

#include <cstdint>
#include <string>

#include "directory/match_criteria.h"

namespace olva::dir {

// SELECT uuid, owner, type, revision, cluster, header, value with the parameters ?1 to ?5 for
// the fixed fields, ?6 to ?10 for the cursor's columns and ?11 for the row limit.
std::string MatchSql(const MatchCriteria &criteria, const Resume &resume);
// Distinguishes the statements MatchSql can produce, for the statement cache.
uint32_t MatchStatementKey(const MatchCriteria &criteria, const Resume &resume);

inline constexpr int kFixedParameter = 1;   // + column
inline constexpr int kCursorParameter = 6;  // + column
inline constexpr int kLimitParameter = 11;

}  // namespace olva::dir

#endif  // OLVALIB_DIRECTORY_QUERY_PLAN_H

// Every shape of query is served by an index in its own order: no sort, so matches stream
// and a next lookup starts where the previous one ended.
#include "directory/query_plan.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "directory/directory_schema.h"
#include "directory/sqlite_connection.h"

namespace olva::test {
namespace {

std::string PlanOf(dir::Connection &connection, const std::string &sql) {
  sqlite3_stmt *statement = nullptr;
  const std::string explain = "EXPLAIN QUERY PLAN " + sql;
  EXPECT_EQ(sqlite3_prepare_v2(connection.Handle(), explain.c_str(), -1, &statement, nullptr),
            SQLITE_OK);
  std::string plan;
  while (sqlite3_step(statement) == SQLITE_ROW) {
    plan += reinterpret_cast<const char *>(sqlite3_column_text(statement, 3));
    plan += "\n";
  }
  sqlite3_finalize(statement);
  return plan;
}

TEST(QueryPlanTest, NoQueryShapeSortsItsMatches) {
  char folder[] = "/tmp/olvalib-plan-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string path = std::string(folder) + "/directory.db";
  dir::DirectoryInfo info;
  info.self.bytes[0] = 1;
  info.clusters = {OlvaUUID{{2}}};
  std::string error;
  ASSERT_EQ(dir::CreateDirectory(path, info, false, &error), 0u) << error;
  std::unique_ptr<dir::Connection> connection =
      dir::Connection::Open(path, dir::Connection::OpenMode::kExisting, &error);
  ASSERT_NE(connection, nullptr);

  for (unsigned shape = 0; shape < 64; ++shape) {
    dir::MatchSpec criteria;
    if (shape & 1) criteria.uuid = OlvaUUID{};
    if (shape & 2) criteria.owner = OlvaUUID{};
    if (shape & 4) criteria.type = 3;
    if (shape & 8) criteria.revision = 1;
    if (shape & 16) criteria.cluster = OlvaUUID{};
    criteria.latest = (shape & 32) != 0 && !criteria.revision;
    dir::EntryKey cursor;  // equal to every fixed value, so each resume column is reached
    cursor.type = 3;
    cursor.revision = 1;
    const dir::Resume resume = dir::ResumeAfter(criteria, cursor);
    for (const dir::Resume &each : {dir::Resume{}, resume}) {
      const std::string plan = PlanOf(*connection, dir::MatchSql(criteria, each));
      EXPECT_EQ(plan.find("TEMP B-TREE"), std::string::npos) << shape << "\n" << plan;
      if (criteria.uuid || criteria.owner || criteria.type) {
        EXPECT_EQ(plan.find("SCAN e"), std::string::npos) << shape << "\n" << plan;
      }
    }
  }
  connection.reset();
  std::filesystem::remove_all(folder);
}

TEST(QueryPlanTest, ResumePlacesTheCursorByTheFixedLeadingColumns) {
  dir::MatchSpec criteria;
  criteria.owner = OlvaUUID{{5}};
  criteria.type = 3;
  dir::EntryKey cursor;
  cursor.owner = OlvaUUID{{5}};
  cursor.type = 3;
  EXPECT_EQ(dir::ResumeAfter(criteria, cursor).from, dir::Resume::From::kAfter);
  EXPECT_EQ(dir::ResumeAfter(criteria, cursor).firstColumn, 2u);  // owner, type, then uuid
  cursor.type = 2;
  EXPECT_EQ(dir::ResumeAfter(criteria, cursor).from, dir::Resume::From::kStart);
  cursor.type = 4;
  EXPECT_EQ(dir::ResumeAfter(criteria, cursor).from, dir::Resume::From::kNothing);
}

}  // namespace
}  // namespace olva::test

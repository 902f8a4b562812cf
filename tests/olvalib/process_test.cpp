// Several processes on one directory: concurrent writers lose nothing, and a writer killed
// in the middle leaves a sound database with every entry whole or absent.
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>

#include "directory/directory_location.h"
#include "directory/directory_schema.h"
#include "directory/entry_store.h"
#include "directory_fixture.h"
#include "test_process.h"
#include "writer_payload.h"

namespace olva::test {
namespace {

// Checks every row of the directory with a connection of its own: the database's own
// integrity check, and each writer entry whole. The number of writer rows.
size_t CheckDirectory(const std::string &path) {
  std::string error;
  std::unique_ptr<dir::Connection> connection =
      dir::Connection::Open(path, dir::Connection::OpenMode::kExisting, &error);
  EXPECT_NE(connection, nullptr) << error;
  if (connection == nullptr) return 0;
  sqlite3_stmt *check =
      connection->Prepared(0x7000, [] { return std::string("PRAGMA integrity_check"); });
  {
    dir::StatementUse use(check);
    EXPECT_EQ(use.Step(), SQLITE_ROW);
    const std::span<const uint8_t> result = use.Blob(0);
    EXPECT_EQ(std::string(result.begin(), result.end()), "ok");
  }
  dir::EntryStore store(std::move(connection));
  dir::MatchSpec criteria;
  criteria.type = kWriterType;
  size_t rows = 0;
  EXPECT_EQ(store.Scan(criteria, std::nullopt, UINT32_MAX,
                       [&](const dir::RowView &row) {
                         TarneEntry header;
                         std::memcpy(&header, row.header.data(), sizeof header);
                         EXPECT_EQ(header.valueLen, row.value.size());
                         EXPECT_TRUE(IsWholeWriterPayload(row.value));
                         ++rows;
                         return true;
                       }),
            TARNE_STATUS_SUCCESS);
  return rows;
}

using ProcessTest = DirectoryTest;

TEST_F(ProcessTest, TwoWritingProcessesLoseNothing) {
  int firstOut = -1;
  int secondOut = -1;
  const pid_t first = StartProcess({TEST_WRITER_PATH, "1", "10000"}, &firstOut);
  const pid_t second = StartProcess({TEST_WRITER_PATH, "2", "10000"}, &secondOut);
  ASSERT_GT(first, 0);
  ASSERT_GT(second, 0);
  EXPECT_EQ(WaitProcess(first), 0);
  EXPECT_EQ(WaitProcess(second), 0);
  close(firstOut);
  close(secondOut);

  EXPECT_EQ(CheckDirectory(Path()), 20000u);
  // Each writer's entries, seen through the library of this third process.
  for (uint8_t tag : {1, 2}) {
    TarneQuery query = QueryAll();
    query.owner = WriterUuid(tag, 0xffffffff);
    query.flags &= static_cast<uint8_t>(~TARNE_QUERY_ANY_OWNER);
    const std::vector<TarneEntry> found = ListAll(query, 4096);
    ASSERT_EQ(found.size(), 10000u);
    std::set<uint32_t> numbers;
    for (const TarneEntry &header : found) {
      numbers.insert(static_cast<uint32_t>(header.uuid.bytes[12]) << 24 |
                     static_cast<uint32_t>(header.uuid.bytes[13]) << 16 |
                     static_cast<uint32_t>(header.uuid.bytes[14]) << 8 | header.uuid.bytes[15]);
    }
    EXPECT_EQ(numbers.size(), 10000u);
    EXPECT_EQ(*numbers.rbegin(), 9999u);
  }
}

TEST_F(ProcessTest, AWriterKilledMidWriteLeavesASoundDirectory) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    int out = -1;
    const pid_t writer = StartProcess({TEST_WRITER_PATH, "3", "forever"}, &out);
    ASSERT_GT(writer, 0);
    char said[16] = {};
    ASSERT_GT(read(out, said, sizeof said - 1), 0);  // it has committed at least once
    usleep(static_cast<useconds_t>(20000 + 30000 * attempt));
    kill(writer, SIGKILL);
    EXPECT_EQ(WaitProcess(writer), -1);
    close(out);
    EXPECT_GT(CheckDirectory(Path()), 0u);
  }
  // The library of this process still reads and writes the directory.
  Reopen();
  Put(Uuid(0x42), kSelf, 3, 1);
}

TEST(ReadOnlyDirectoryTest, AReaderLeavesNothingThatALaterWriterCannotUse) {
  // Permissions bind only an ordinary user: as root, the programs run as nobody.
  const passwd *nobody = getpwnam("nobody");
  const bool root = geteuid() == 0;
  if (root && (nobody == nullptr || access("/usr/bin/setpriv", X_OK) != 0)) {
    GTEST_SKIP() << "no ordinary user to run as";
  }
  const auto asOrdinaryUser = [root](std::vector<std::string> argv) {
    if (root)
      argv.insert(argv.begin(),
                  {"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"});
    return argv;
  };
  char folder[] = "/tmp/olvalib-readonly-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string path = std::string(folder) + "/directory.db";
  dir::DirectoryInfo info;
  info.self = kSelf;
  info.clusters = {kClusterA};
  std::string error;
  ASSERT_EQ(dir::CreateDirectory(path, info, false, &error), TARNE_STATUS_SUCCESS) << error;
  // A directory that no process has open: a plain SQLite close folds the log into the file
  // and removes the -wal and -shm files.
  sqlite3 *plain = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &plain), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(plain, "SELECT 1 FROM sqlite_schema", nullptr, nullptr, nullptr), 0);
  sqlite3_close(plain);
  ASSERT_FALSE(std::filesystem::exists(path + "-shm"));
  if (root) {
    ASSERT_EQ(chown(folder, nobody->pw_uid, nobody->pw_gid), 0);
    ASSERT_EQ(chown(path.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
  }
  setenv(dir::kDirectoryVariable, path.c_str(), 1);

  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  EXPECT_EQ(RunProcess(asOrdinaryUser({TEST_WRITER_PATH, "4", "read"})).exitStatus, 0);
  ASSERT_EQ(chmod(path.c_str(), 0600), 0);
  const ProcessResult written = RunProcess(asOrdinaryUser({TEST_WRITER_PATH, "4", "5"}));
  EXPECT_EQ(written.exitStatus, 0) << written.err;

  unsetenv(dir::kDirectoryVariable);
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace olva::test

// Several processes on one directory: writers that lose nothing, a writer killed mid-write,
// a change that wakes another process's wait, a reader that leaves nothing unusable.
#include <pwd.h>
#include <signal.h>
#include <sqlite3.h>

#include <future>
#include <map>

#include "directory_fixture.h"

namespace olva::test {
namespace {

// Per writer of olvalib_test_writer (type 21), read through the library: its tag, its rows
// and how many of them are damaged (payloads not all of one byte, or of a length the writer
// never writes).
std::vector<std::string> CheckWriterEntries() {
  std::map<int, std::pair<int, int>> writers;  // tag: rows, damaged
  TarneQuery query = QueryAll();
  query.type = 21;
  query.flags &= uint8_t(~TARNE_QUERY_ANY_TYPE);
  EXPECT_EQ(TARNE_ForEachEntryForCluster(
                &query,
                [](void *context, const TarneEntry *entry, uint32_t, OlvaUUID) -> int32_t {
                  const std::string payload = PayloadOf(entry);
                  auto &[rows, damaged] =
                      (*static_cast<decltype(writers) *>(context))[entry->uuid.bytes[1]];
                  ++rows;
                  damaged += payload.size() < 9 || payload.size() > 508 ||
                             payload.find_first_not_of(payload[0]) != std::string::npos;
                  return 0;
                },
                &writers, 0, 0, 0),
            TARNE_STATUS_SUCCESS);
  std::vector<std::string> rows;
  for (const auto &[tag, counts] : writers) {
    char line[64];
    (void)std::snprintf(line, sizeof line, "%02X %d %d", tag, counts.first, counts.second);
    rows.push_back(line);
  }
  return rows;
}

using ProcessTest = AnyBackendTest;
using SqliteProcessTest = DirectoryTest;

TEST_P(ProcessTest, TwoWritingProcessesLoseNothing) {
  int firstOut = -1, secondOut = -1;
  const pid_t first = StartProcess({TEST_WRITER_PATH, "1", "10000"}, &firstOut);
  const pid_t second =  // on a cluster, another host
      StartProcess({TEST_WRITER_PATH, "2", "10000"}, &secondOut, nullptr, OtherHost());
  EXPECT_EQ(WaitProcess(first), 0);
  EXPECT_EQ(WaitProcess(second), 0);
  close(firstOut);
  close(secondOut);
  ExpectSoundDirectory(location_, nodePath_);
  EXPECT_EQ(CheckWriterEntries(), std::vector<std::string>({"01 10000 0", "02 10000 0"}))
      << "through this third process";
}

TEST_P(ProcessTest, AWriterKilledMidWriteLeavesASoundDirectory) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    int out = -1;
    const pid_t writer = StartProcess({TEST_WRITER_PATH, "3", "forever"}, &out);
    char said[16] = {};
    ASSERT_GT(read(out, said, sizeof said - 1), 0);  // it has committed at least once
    usleep(static_cast<useconds_t>(20000 + 30000 * attempt));
    kill(writer, SIGKILL);
    EXPECT_EQ(WaitProcess(writer), -1);
    close(out);
    // Every entry whole; the file sound, or on a cluster every row also under its owner's
    // and its type's key.
    const std::vector<std::string> rows = CheckWriterEntries();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_TRUE(rows[0].starts_with("03 ") && rows[0].ends_with(" 0")) << rows[0];
    ExpectSoundDirectory(location_, nodePath_);
  }
  Put(Uuid(0x42), kSelf, 3, 1);  // this process's library still writes
}

// On a cluster, the other process is another host. The delay from its add completing to this
// wait returning goes to the test's output: a figure, not a bound.
TEST_P(ProcessTest, AnotherProcessWakesAWait) {
  TarneQuery query = QueryAll();
  query.type = 21;
  query.flags &= uint8_t(~TARNE_QUERY_ANY_TYPE);
  std::chrono::steady_clock::time_point woken;
  auto entry = std::async(std::launch::async, [&] {
    const PEK_ReturnStatus status = TARNE_WaitForEntryForCluster(&query, 20, 0);
    woken = std::chrono::steady_clock::now();
    return status;
  });
  EXPECT_EQ(entry.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
  int out = -1;
  const pid_t writer = StartProcess({TEST_WRITER_PATH, "5", "1"}, &out, nullptr, OtherHost());
  const std::string said = ReadAll(out);
  ASSERT_EQ(WaitProcess(writer), 0) << said;
  ASSERT_EQ(entry.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(entry.get(), TARNE_STATUS_SUCCESS);
  // steady_clock is CLOCK_MONOTONIC, one clock for every process of the machine.
  const size_t at = said.find("completed ");
  ASSERT_NE(at, std::string::npos) << said;
  const long long completed = std::stoll(said.substr(at + 10));
  const double delay =
      double(
          std::chrono::duration_cast<std::chrono::nanoseconds>(woken.time_since_epoch()).count() -
          completed) /
      1e6;
  std::printf("wake-up delay after the other %s's add completed: %.2f ms\n",
              backend() == Backend::kEtcd ? "host" : "process", delay);
  RecordProperty("wake_delay_ms", std::to_string(delay));
}

TEST_F(SqliteProcessTest, AReaderLeavesNothingThatALaterWriterCannotUse) {
  // Permissions bind only an ordinary user: as root, the programs run as nobody.
  const passwd *nobody = getpwnam("nobody");
  const bool root = geteuid() == 0;
  if (root && (nobody == nullptr || access("/usr/bin/setpriv", X_OK) != 0)) {
    GTEST_SKIP() << "no ordinary user to run as";
  }
  const std::vector<std::string> asNobody{"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup",
                                          "--clear-groups"};
  const auto asOrdinaryUser = [&](std::vector<std::string> argv) {
    argv.insert(argv.begin(), asNobody.begin(), root ? asNobody.end() : asNobody.begin());
    return argv;
  };
  // The build tree must be reachable by that user (a checkout under a private home is not).
  if (root && RunProcess(asOrdinaryUser({TARNE_ADMIN_PATH, "--help"})) != 0) {
    GTEST_SKIP() << "the ordinary user cannot run the programs from this build tree";
  }
  // A directory that no process has open: the last connection, a plain SQLite one, folds the
  // log into the file and removes the -wal and -shm files.
  Close();
  sqlite3 *plain = nullptr;
  ASSERT_EQ(sqlite3_open(path_.c_str(), &plain), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(plain, "SELECT 1 FROM sqlite_schema", nullptr, nullptr, nullptr), 0);
  sqlite3_close(plain);
  ASSERT_FALSE(std::filesystem::exists(path_ + "-shm"));
  for (const std::string &file : {folder_, path_}) {
    ASSERT_TRUE(!root || chown(file.c_str(), nobody->pw_uid, nobody->pw_gid) == 0);
  }
  ASSERT_EQ(chmod(path_.c_str(), 0444), 0);
  EXPECT_EQ(RunProcess(asOrdinaryUser({TARNE_ADMIN_PATH, "info", "--directory", path_})), 0);
  ASSERT_EQ(chmod(path_.c_str(), 0600), 0);
  EXPECT_EQ(RunProcess(asOrdinaryUser({TEST_WRITER_PATH, "4", "5"})), 0);
}

INSTANTIATE_TEST_SUITE_P(Backends, ProcessTest, kBothBackends, BackendName);

}  // namespace
}  // namespace olva::test

// What the directory's tests share: entries and queries, a fresh directory opened through
// the library on either backend (a SQLite file, or a key prefix of its own on the test run's
// etcd cluster), completions, and the directory's programs run as other processes.
#ifndef TARNE_TESTS_OLVALIB_DIRECTORY_FIXTURE_H
#define TARNE_TESTS_OLVALIB_DIRECTORY_FIXTURE_H

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "client/tarne_client.h"
#include "client/tarne_status_codes.h"
#include "directory/directory_backend.h"
#include "directory/directory_location.h"
#include "directory/node_file.h"

namespace olva::test {

// Distinct UUIDs by tag (byte 0) and number (byte 15).
inline OlvaUUID Uuid(uint8_t tag, uint8_t number = 0) {
  return OlvaUUID{{tag, 0, 0, 0, 0, 0, 0x40, 0, 0, 0, 0, 0, 0, 0, 0, number}};
}
inline const OlvaUUID kSelf = Uuid(0x5e), kClusterA = Uuid(0xca), kClusterB = Uuid(0xcb);
// Another host of the same cluster directory (a node file of its own).
inline const OlvaUUID kOtherHost = Uuid(0x5f);
// The owner of entries that no host of a test is.
inline const OlvaUUID kOwner = Uuid(0x0a);
inline const OlvaUUID kSelfMarker{{0, 0, 0, 2}};

inline TarneEntry *AsEntry(std::vector<uint8_t> &bytes) {
  return reinterpret_cast<TarneEntry *>(bytes.data());
}
// A whole entry record: header, then payload.
inline std::vector<uint8_t> MakeEntry(const OlvaUUID &uuid, const OlvaUUID &owner, uint8_t type,
                                      uint64_t revision, const std::string &payload) {
  std::vector<uint8_t> bytes(sizeof(TarneEntry) + payload.size());
  TarneEntry *header = AsEntry(bytes);
  header->uuid = uuid;
  header->owner = owner;
  header->revision = revision;
  header->type = type;
  header->valueLen = static_cast<uint32_t>(payload.size());
  std::memcpy(bytes.data() + sizeof(TarneEntry), payload.data(), payload.size());
  return bytes;
}
inline std::string PayloadOf(const TarneEntry *entry) {
  return {reinterpret_cast<const char *>(TarneEntry_Payload(entry)), entry->valueLen};
}
inline TarneQuery Exact(const TarneEntry &header) {
  TarneQuery query{};
  query.owner = header.owner;
  query.uuid = header.uuid;
  query.revision = header.revision;
  query.type = header.type;
  return query;
}
// Every wildcard set.
inline TarneQuery QueryAll() {
  TarneQuery query{};
  query.flags = TARNE_QUERY_ANY_OWNER | TARNE_QUERY_ANY_UUID | TARNE_QUERY_ANY_REVISION |
                TARNE_QUERY_ANY_TYPE;
  return query;
}

// Counts completions and keeps their statuses. A wait that fails leaves requests in flight
// whose completions still come here, so the object waits for them before it goes: freed, its
// lock would be taken in memory the next test reuses, and the writer would hang there.
class Completions {
 public:
  Completions() = default;
  Completions(const Completions &) = delete;
  Completions &operator=(const Completions &) = delete;
  ~Completions() {
    std::unique_lock lock(mutex_);
    if (arrived_.wait_for(lock, kDrainBound, [&] { return seen_.size() >= awaited_; })) return;
    // Every call to a cluster has a deadline, so a completion is lost or the machine is
    // starved: end the run rather than let the library write into freed memory.
    (void)std::fprintf(stderr, "%zu of %zu completions after 60 s more: ending the run\n",
                       seen_.size(), awaited_);
    std::abort();
  }
  static int32_t Callback(void *context, TarneEntry *entry, uint32_t, OlvaUUID,
                          PEK_ReturnStatus status) {
    auto *self = static_cast<Completions *>(context);
    // Notified under the lock: the waiter may go as soon as it sees the count.
    std::lock_guard lock(self->mutex_);
    self->seen_.emplace_back(entry, status);
    self->arrived_.notify_all();
    return 0;
  }
  // Every (entry, status) once count arrived; fails the test after 20 s.
  std::vector<std::pair<TarneEntry *, PEK_ReturnStatus>> WaitFor(size_t count) {
    std::unique_lock lock(mutex_);
    awaited_ = std::max(awaited_, count);
    EXPECT_TRUE(
        arrived_.wait_for(lock, std::chrono::seconds(20), [&] { return seen_.size() >= count; }))
        << seen_.size() << " of " << count << " completions in 20 s";
    return seen_;
  }

 private:
  // How long the completions a failed wait left may still take to come.
  static constexpr std::chrono::seconds kDrainBound{60};
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<std::pair<TarneEntry *, PEK_ReturnStatus>> seen_;
  size_t awaited_ = 0;
};

enum class Backend { kSqlite, kEtcd };
inline std::string BackendName(const ::testing::TestParamInfo<Backend> &info) {
  return info.param == Backend::kSqlite ? "Sqlite" : "Etcd";
}
inline void PrintTo(Backend backend, std::ostream *out) {
  *out << (backend == Backend::kSqlite ? "Sqlite" : "Etcd");
}

// The file that names the test run's etcd cluster (HOST:PORT,...), set by CTest for the tests
// that need one.
inline constexpr const char *kEndpointsFileVariable = "TARNE_TEST_ETCD_ENDPOINTS_FILE";

// The endpoints of the test run's cluster. Skips the test when the variable is unset (the
// binary run by hand); fails it when the file is missing or empty. Callers return when the
// test HasFatalFailure() or IsSkipped().
inline std::string SharedClusterEndpoints() {
  const char *file = std::getenv(kEndpointsFileVariable);
  if (file == nullptr || file[0] == '\0') {
    [] { GTEST_SKIP() << kEndpointsFileVariable << " is not set: no etcd cluster to run on"; }();
    return {};
  }
  std::ifstream in(file);
  std::string endpoints;
  std::getline(in, endpoints);
  [&] { ASSERT_FALSE(endpoints.empty()) << "no endpoints in " << file; }();
  return endpoints;
}

// A key prefix that no other test uses.
inline std::string FreshPrefix() {
  std::random_device random;
  char text[32];
  (void)std::snprintf(text, sizeof text, "test-%08x%08x", random(), random());
  return text;
}

// Writes the node file of a host with that identity (and TLS files); fails the test if it
// cannot.
inline void WriteNode(const std::string &path, const dir::DirectoryInfo &identity,
                      const dir::TlsFiles &tls = {}) {
  std::string error;
  ASSERT_EQ(dir::WriteNodeFile(path, {identity, tls, {}}, false, &error), TARNE_STATUS_SUCCESS)
      << error;
}

// Creates the directory at the location as tarne-admin init does, for a host with that
// identity: a file records it; on a cluster (which it may join) the node file at nodePath
// does. Fails the test if it cannot.
inline void InitDirectory(const std::string &location, const std::string &nodePath,
                          const dir::DirectoryInfo &identity = {kSelf, {kClusterA}},
                          const dir::TlsFiles &tls = {}) {
  std::error_code ignored;
  std::filesystem::remove(nodePath, ignored);
  dir::InitRequest request;
  request.location = location;
  request.nodePath = nodePath;
  request.identity = identity;
  if (tls.Given()) request.ca = tls.ca, request.cert = tls.cert, request.key = tls.key;
  std::string usage;
  ASSERT_EQ(dir::BackendFor(location).Init(request, &usage), dir::AdminOutcome::kDone)
      << location << ": " << usage;
}

// tarne-admin check's findings on the directory, as the host of that node file: every row
// sound, and on a cluster under its owner's and its type's key too. Fails the test otherwise.
inline void ExpectSoundDirectory(const std::string &location, const std::string &nodePath) {
  std::vector<std::string> problems;
  uint64_t rows = 0;
  EXPECT_TRUE(dir::BackendFor(location).Check(
      location, nodePath, [&](std::string problem) { problems.push_back(std::move(problem)); },
      &rows));
  EXPECT_EQ(problems, std::vector<std::string>{});
}

// A fresh directory opened through the library: on a file, or on its own prefix of the test
// run's cluster with a node file of its own. location_ is what TARNE_DIRECTORY names.
class DirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/olvalib-test-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    folder_ = folder;
    if (backend() == Backend::kSqlite) {
      path_ = location_ = folder_ + "/directory.db";
    } else {
      const std::string endpoints = ClusterEndpoints();
      if (HasFatalFailure() || IsSkipped()) return;
      location_ = (Tls().Given() ? "etcds://" : "etcd://") + endpoints + "/" + FreshPrefix();
      nodePath_ = folder_ + "/node";
      setenv(dir::kNodeVariable, nodePath_.c_str(), 1);
    }
    ASSERT_NO_FATAL_FAILURE(InitDirectory(location_, nodePath_, {kSelf, Clusters()}, Tls()));
    setenv(dir::kDirectoryVariable, location_.c_str(), 1);
    ASSERT_EQ(TARNE_Initialize(1, 0, &handle_), TARNE_STATUS_SUCCESS) << location_;
  }
  void TearDown() override {
    Close();
    unsetenv(dir::kDirectoryVariable);
    unsetenv(dir::kNodeVariable);
    std::filesystem::remove_all(folder_);
  }
  void Close() {
    EXPECT_TRUE(handle_ == -1 || TARNE_Deinitialize(handle_) == TARNE_STATUS_SUCCESS);
    handle_ = -1;
  }
  virtual std::vector<OlvaUUID> Clusters() const { return {kClusterA}; }
  virtual Backend backend() const { return Backend::kSqlite; }
  // The cluster's endpoints (HOST:PORT,...): the test run's; and this host's TLS files.
  virtual std::string ClusterEndpoints() { return SharedClusterEndpoints(); }
  virtual dir::TlsFiles Tls() const { return {}; }

  // The environment of a process that is another host of this directory: on a cluster, one
  // with a node file of its own (self kOtherHost, the same sub-clusters, the same TLS files);
  // a SQLite file serves one host only, so there it is this one.
  std::vector<std::string> OtherHost(const dir::TlsFiles &tls = {}) {
    if (backend() == Backend::kSqlite) return {};
    const std::string path = folder_ + "/node-other";
    if (!std::filesystem::exists(path)) WriteNode(path, {kOtherHost, Clusters()}, tls);
    return {std::string(dir::kNodeVariable) + "=" + path};
  }

  // One request through the library; its completion status.
  using Request = PEK_ReturnStatus (*)(TarneEntry *, TarneUpdateCompletion, void *, OlvaUUID);
  static PEK_ReturnStatus Apply(Request request, std::vector<uint8_t> &entry,
                                const OlvaUUID &cluster = {}) {
    Completions done;
    const PEK_ReturnStatus queued = request(AsEntry(entry), &Completions::Callback, &done, cluster);
    return queued != TARNE_STATUS_SUCCESS ? queued : done.WaitFor(1).at(0).second;
  }
  // Adds an entry whose payload names it; fails the test unless it is stored.
  static void Put(const OlvaUUID &uuid, const OlvaUUID &owner, uint8_t type, uint64_t revision,
                  const OlvaUUID &cluster = {}) {
    std::vector<uint8_t> entry =
        MakeEntry(uuid, owner, type, revision,
                  "entry " + std::to_string(uuid.bytes[0]) + "/" + std::to_string(uuid.bytes[15]) +
                      " rev " + std::to_string(revision));
    ASSERT_EQ(Apply(TARNE_AddEntryForCluster, entry, cluster), TARNE_STATUS_SUCCESS);
  }
  // The headers of every match, through first and next lookups into a buffer of that size.
  static std::vector<TarneEntry> ListAll(const TarneQuery &query, uint32_t bufferSize = 1024) {
    std::vector<uint8_t> buffer(bufferSize);
    std::vector<TarneEntry> headers;
    for (int next = 0; TARNE_FindEntryForCluster(&query, next, AsEntry(buffer), bufferSize, 0) ==
                           TARNE_STATUS_SUCCESS &&
                       headers.size() < 100000;  // or a stuck cursor
         next = 1) {
      headers.push_back(*AsEntry(buffer));
    }
    return headers;
  }

  int32_t handle_ = -1;
  std::string folder_;
  std::string path_;      // the SQLite file; empty on a cluster
  std::string location_;  // TARNE_DIRECTORY
  std::string nodePath_;  // TARNE_NODE on a cluster
};

// The same tests on both backends, so that they cannot drift apart:
//   using LookupTest = AnyBackendTest;
//   TEST_P(LookupTest, ...)
//   INSTANTIATE_TEST_SUITE_P(Backends, LookupTest, kBothBackends, BackendName);
// An instance on etcd ends in /Etcd, which is how CMake gives it the cluster.
class AnyBackendTest : public DirectoryTest, public ::testing::WithParamInterface<Backend> {
 protected:
  Backend backend() const override { return GetParam(); }
};
class TwoClusterAnyBackendTest : public AnyBackendTest {
 protected:
  std::vector<OlvaUUID> Clusters() const override { return {kClusterA, kClusterB}; }
};
inline const auto kBothBackends = ::testing::Values(Backend::kSqlite, Backend::kEtcd);

// Starts the program with its standard output and error on a pipe (*out, the read end), or
// discarded without out. With release, it is held back until the test closes *release, so
// that the test can prepare for its process id first. environment: NAME=VALUE words that
// env(1) adds to this process's environment (another host's TARNE_NODE, say).
inline pid_t StartProcess(std::vector<std::string> argv, int *out, int *release = nullptr,
                          const std::vector<std::string> &environment = {}) {
  argv.insert(argv.begin(), environment.begin(), environment.end());
  argv.insert(argv.begin(), "/usr/bin/env");
  std::vector<char *> words;
  for (std::string &word : argv) words.push_back(word.data());
  words.push_back(nullptr);
  int output[2], gate[2];
  if (pipe2(output, O_CLOEXEC) != 0 || pipe2(gate, O_CLOEXEC) != 0) return -1;
  const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
  const pid_t pid = fork();
  if (pid == 0) {  // only async-signal-safe calls until exec
    close(gate[1]);
    char go;
    while (release != nullptr && read(gate[0], &go, 1) < 0 && errno == EINTR) {
    }
    dup2(out != nullptr ? output[1] : null, 1);
    dup2(out != nullptr ? output[1] : null, 2);
    execv(words[0], words.data());
    _exit(127);
  }
  for (int unused : {output[1], gate[0], null, out != nullptr ? -1 : output[0]}) close(unused);
  if (out != nullptr) *out = output[0];
  release != nullptr ? void(*release = gate[1]) : void(close(gate[1]));
  return pid;
}
// The exit status once it ended, -1 when a signal ended it; -2 when it still ran after that
// many seconds (it is then killed).
inline int WaitProcess(pid_t pid, int seconds = 120) {
  int status = 0;
  for (int waited = 0; waited <= seconds * 100; ++waited) {
    const pid_t ended = waitpid(pid, &status, WNOHANG);
    if (ended == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (ended < 0 && errno != EINTR) return -1;
    usleep(10000);
  }
  kill(pid, SIGKILL);
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return -2;
}
inline int RunProcess(const std::vector<std::string> &argv,
                      const std::vector<std::string> &environment = {}) {
  return WaitProcess(StartProcess(argv, nullptr, nullptr, environment));
}
// Everything the process wrote until it closed the pipe (ended).
inline std::string ReadAll(int fd) {
  std::string text;
  char chunk[4096];
  for (ssize_t got; (got = read(fd, chunk, sizeof chunk)) != 0;) {
    if (got > 0) text.append(chunk, size_t(got));
    if (got < 0 && errno != EINTR) break;
  }
  close(fd);
  return text;
}

}  // namespace olva::test

#endif  // TARNE_TESTS_OLVALIB_DIRECTORY_FIXTURE_H
